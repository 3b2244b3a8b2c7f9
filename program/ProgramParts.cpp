#include "program/ProgramParts.h"
#include "app/Application.h"
#include "info/InfoWindows.h"
#include "logger/LoggerReader.h"
#include "loggerweb/LoggerWeb.h"
#include "program/Windows.h"
#include "studio/Studio.h"
#include "web/WebService.h"
#include <QCoreApplication>

namespace tamblor {

ProgramParts::ProgramParts(Application& app)
    : app_(app), studio_(std::make_unique<Studio>(app)), web_(std::make_unique<web::WebService>(app, *studio_)),
      logger_(std::make_unique<logger::LoggerReader>(app)),
      // Its pages join the web server's router before the server can start.
      loggerWeb_(std::make_unique<loggerweb::LoggerWeb>(app, *web_, *logger_))
{
    registerWindows(app, *studio_, *web_, *logger_);
}

ProgramParts::~ProgramParts()
{
    // The windows hold on to the parts; they go first.
    app_.windows().destroyAll();
    loggerWeb_.reset();
    logger_.reset();
    web_.reset();
    studio_.reset();
}

bool ProgramParts::start()
{
    if (!app_.start())
        return false;
    installHelpFileIfMissing(app_, shippedHelpFile(QCoreApplication::applicationDirPath()));
    return true;
}

} // namespace tamblor
