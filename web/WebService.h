#pragma once
// The web server of the program, made beside the studio: the pages a producer opens from
// anywhere (what is recording, what was recorded, the takes), served by an HttpServer on threads
// of its own. Off until the operator switches it on; listens where Tamblor.ini says (the local
// host by default). The user-interface thread publishes the studio's snapshot for it 5 times a
// second, hands it the tokens whenever they change, carries out the operator's actions and
// writes the audit rows; nothing else of the studio is touched by the server's threads.
//
// It applies the settings at start-up and whenever the preferences are applied, and stops when
// the program ends (before the database closes).
#include "core/ProgramSettings.h"
#include "web/AuditTrail.h"
#include "web/Credentials.h"
#include "web/HttpServer.h"
#include "web/SnapshotPublisher.h"
#include "web/StudioDesk.h"
#include "web/TokenStore.h"
#include "web/WebLog.h"
#include "web/WebRouter.h"
#include <QObject>
#include <memory>

namespace tamblor {
class Core;
class Studio;
} // namespace tamblor

namespace tamblor::web {

class WebService : public QObject {
    Q_OBJECT
public:
    static constexpr const char* LogDosPath = "c:\\Tamblor\\Web.log";

    WebService(Core& app, Studio& studio, HttpServer::Limits limits = {}, QObject* parent = nullptr);
    ~WebService() override;

    // Starts, restarts or stops the server as the settings in Tamblor.ini say. A server that
    // cannot listen is told to the operator (and lastError() says why).
    void applySettings();
    void stop();
    bool isRunning() const { return server_.isRunning(); }
    int port() const { return server_.port(); }
    int connections() const { return server_.connections(); }
    const QString& lastError() const { return lastError_; }

    TokenStore& tokens() { return tokens_; }
    AuditTrail& audit() { return audit_; }
    WebLog& log() { return log_; }
    WebRouter& router() { return router_; }
    SnapshotPublisher& publisher() { return publisher_; }
    StudioDesk& desk() { return desk_; }

signals:
    // The server started or stopped.
    void runningChanged(bool running);

private:
    void loadTokens();

    Core& app_;
    Studio& studio_;
    WebLog log_;
    SnapshotBox box_;
    Credentials credentials_;
    TokenStore tokens_;
    AuditTrail audit_;
    StudioDesk desk_;
    SnapshotPublisher publisher_;
    WebRouter router_;
    HttpServer server_;
    WebPreferences running_;
    QString lastError_;
};

} // namespace tamblor::web
