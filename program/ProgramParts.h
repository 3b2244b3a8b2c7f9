#pragma once
// What the program's windows stand on, made over an application in the order they need one
// another and ended in the reverse: the studio (library, recorder, player, record events), the
// web service beside it (off until switched on), the logger's reader (its database read-only,
// its lock looked at) with the logger's page and metrics on the web server, and every window
// registered over them. Made, then started: between the two, whoever makes it may still set
// the studio up (a test stops its clock). The windows are destroyed first when it ends.
#include <memory>

namespace tamblor {
class Application;
class Studio;
namespace web {
class WebService;
}
namespace logger {
class LoggerReader;
}
namespace loggerweb {
class LoggerWeb;
}

class ProgramParts {
public:
    explicit ProgramParts(Application& app);
    ~ProgramParts();
    ProgramParts(const ProgramParts&) = delete;
    ProgramParts& operator=(const ProgramParts&) = delete;

    // Starts the application (its start-up steps, the main menu shown) and, once its folders
    // exist, places the shipped help text if it is missing. False if the start failed (told).
    bool start();

    Studio& studio() { return *studio_; }
    web::WebService& web() { return *web_; }
    logger::LoggerReader& logger() { return *logger_; }

private:
    Application& app_;
    std::unique_ptr<Studio> studio_;
    std::unique_ptr<web::WebService> web_;
    std::unique_ptr<logger::LoggerReader> logger_;
    std::unique_ptr<loggerweb::LoggerWeb> loggerWeb_;
};

} // namespace tamblor
