#include "program/Windows.h"
#include "app/Application.h"
#include "app/prefs/frmMyPreferences.h"
#include "app/prefs/frmWebServer.h"
#include "editor/frmEditor.h"
#include "events/EventNotice.h"
#include "events/frmEditEvent.h"
#include "events/frmRecordEvents.h"
#include "info/frmAbout.h"
#include "info/frmHelp.h"
#include "loggerexport/frmLoggerExport.h"
#include "loggerview/frmLogger.h"
#include "send/frmSend.h"
#include "tools/frmNormalize.h"
#include "tools/frmWaveGen.h"
#include "wavefiles/frmDialog1.h"
#include "wavefiles/frmWaveFiles.h"

namespace tamblor {

void registerWindows(Application& app, Studio& studio, web::WebService& web, logger::LoggerReader& logger)
{
    app.windows().registerWindow(WindowName::frmAbout, [](Application& a) { return new frmAbout(a); });
    app.windows().registerWindow(WindowName::frmHelp, [](Application& a) { return new frmHelp(a); });
    app.windows().registerWindow(WindowName::frmMyPreferences,
                                 [&studio](Application& a) { return new frmMyPreferences(a, &studio.remote()); });
    app.windows().registerWindow(WindowName::frmWebServer, [&web](Application& a) { return new frmWebServer(a, web); });
    app.windows().registerWindow(WindowName::frmSend, [&studio](Application& a) { return new frmSend(a, studio.library()); });
    app.windows().registerWindow(WindowName::frmNormalize, [](Application& a) { return new frmNormalize(a); });
    app.windows().registerWindow(WindowName::frmWaveGen, [](Application& a) { return new frmWaveGen(a); });
    app.windows().registerWindow(WindowName::frmLoggerExport, [](Application& a) { return new frmLoggerExport(a); });
    app.windows().registerWindow(WindowName::frmWaveFiles, [&studio](Application& a) { return new frmWaveFiles(a, studio); });
    app.windows().registerWindow(WindowName::frmDialog1, [&studio](Application& a) { return new frmDialog1(a, studio.library()); });
    app.windows().registerWindow(WindowName::frmEditor, [](Application& a) { return new frmEditor(a); });
    app.windows().registerWindow(WindowName::frmRecordEvents,
                                 [&studio](Application& a) { return new events::frmRecordEvents(a, studio); });
    app.windows().registerWindow(WindowName::frmEditEvent,
                                 [&studio](Application& a) { return new events::frmEditEvent(a, studio); });
    app.windows().registerWindow(WindowName::frmLogger, [&logger](Application& a) { return new frmLogger(a, logger); });
    // The main menu's line about the next event; it goes with the studio's event store.
    new events::EventNotice(app, studio.scheduler(), studio.events(), studio.runs());
}

} // namespace tamblor
