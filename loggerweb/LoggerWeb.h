#pragma once
// The logger's part of the web server, made beside it in the main program: the Logger page
// (/logger and /logger.json, answered only while a Logger.db is on this root) and the logger's
// lines of /metrics. The server's threads read only a snapshot that the user-interface thread
// makes from the LoggerReader (read-only) while the server runs, every few seconds.
#include "loggerweb/LoggerPages.h"
#include <QObject>
#include <QTimer>
#include <memory>
#include <mutex>

namespace tamblor {
class Core;
namespace web {
class WebService;
}
} // namespace tamblor

namespace tamblor::loggerweb {

class LoggerWeb : public QObject {
    Q_OBJECT
public:
    static constexpr int PublishMs = 10000;

    // Adds the page and the metrics to the service's router: before the server starts.
    LoggerWeb(Core& core, web::WebService& service, logger::LoggerReader& reader, QObject* parent = nullptr);

    // Makes the snapshot now (also done on the timer while the server runs).
    void publish();
    std::shared_ptr<const LoggerSnapshot> snapshot() const;

private:
    // Shared with the router's handlers, which may outlive this object by a request.
    struct Box {
        std::mutex mutex;
        std::shared_ptr<const LoggerSnapshot> snapshot = std::make_shared<LoggerSnapshot>();
        std::shared_ptr<const LoggerSnapshot> get()
        {
            std::lock_guard lock(mutex);
            return snapshot;
        }
    };

    Core& core_;
    logger::LoggerReader& reader_;
    QTimer timer_;
    std::shared_ptr<Box> box_ = std::make_shared<Box>();
};

} // namespace tamblor::loggerweb
