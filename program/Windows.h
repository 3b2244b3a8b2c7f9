#pragma once
namespace tamblor {
class Application;
class Studio;
namespace web {
class WebService;
}
namespace logger {
class LoggerReader;
}
// Registers every tool window with the application's window registry; the windows that show
// the library, a take, a playback or the record events are handed the studio, the web server's
// settings window its service, the Logger window the logger read from beside it. Sets the main menu's line about the next record event.
void registerWindows(Application& app, Studio& studio, web::WebService& web, logger::LoggerReader& logger);
} // namespace tamblor
