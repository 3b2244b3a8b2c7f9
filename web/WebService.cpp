#include "web/WebService.h"
#include "core/Core.h"
#include "studio/Studio.h"

namespace tamblor::web {

WebService::WebService(Core& app, Studio& studio, HttpServer::Limits limits, QObject* parent)
    : QObject(parent), app_(app), studio_(studio), log_(app.drives().toNative(LogDosPath)),
      tokens_(studio.database()), audit_(studio.database()), desk_(app, studio, audit_, log_),
      publisher_(app, studio, box_), router_(box_, credentials_, desk_, log_),
      server_([this](const HttpRequest& r) { return router_.handle(r); }, [this](const QString& line) { log_.add(line); },
              limits)
{
    connect(&tokens_, &TokenStore::changed, this, &WebService::loadTokens);
    connect(&studio.database(), &store::ProgramDatabase::opened, this, &WebService::loadTokens);
    connect(&app, &Core::settingsApplied, this, &WebService::applySettings);
    // Before the database closes; no action is waited for from then on.
    connect(&app, &Core::programEnding, this, &WebService::stop);
    app.addStartStep([this] { applySettings(); });
}

WebService::~WebService()
{
    stop();
}

void WebService::loadTokens()
{
    try {
        credentials_.setTokens(tokens_.all());
    } catch (const Failure& f) {
        credentials_.setTokens({});
        log_.add("the tokens could not be read: " + f.description());
    }
}

void WebService::applySettings()
{
    if (app_.isEnding())
        return;
    const WebPreferences wanted = ProgramSettings(app_.drives()).web();
    router_.setSettings({wanted.viewWithoutToken, wanted.trustedProxy});
    const bool same = wanted.enabled == running_.enabled && wanted.address == running_.address && wanted.port == running_.port;
    if (server_.isRunning() && same)
        return;
    const bool wasRunning = server_.isRunning();
    desk_.close();
    server_.stop();
    publisher_.setRunning(false);
    running_ = wanted;
    lastError_.clear();
    if (wanted.enabled) {
        loadTokens();
        publisher_.setRunning(true);
        desk_.open();
        if (!server_.start(wanted.address, wanted.port, &lastError_)) {
            publisher_.setRunning(false);
            running_.enabled = false;
            log_.add(lastError_);
            app_.notices().tell("web", "The web server did not start: " + lastError_ + ".", Notice::Severity::Warning);
        } else {
            log_.add(QString("listening on %1 port %2").arg(wanted.address).arg(server_.port()));
        }
    } else if (wasRunning) {
        log_.add("stopped");
    }
    if (wasRunning != server_.isRunning() || server_.isRunning())
        emit runningChanged(server_.isRunning());
}

void WebService::stop()
{
    desk_.close();
    const bool wasRunning = server_.isRunning();
    server_.stop();
    publisher_.setRunning(false);
    running_ = WebPreferences{};
    running_.enabled = false;
    if (wasRunning)
        emit runningChanged(false);
}

} // namespace tamblor::web
