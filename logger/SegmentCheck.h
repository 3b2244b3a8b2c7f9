#pragma once
// The daily proof that the kept segments are still what was recorded: every file read again on a
// worker thread of its own (hours of audio must not hold up the recording) and its SHA-256
// compared with the one noted at its close. A mismatch or a file that cannot be read is a
// finding; the findings come back on the thread the check was made on.
#include <QObject>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <thread>
#include <vector>

namespace tamblor::logger {

class SegmentCheck : public QObject {
    Q_OBJECT
public:
    struct Item {
        qint64 id = 0;
        QString path;
        QByteArray sha256;
    };
    struct Finding {
        qint64 id = 0;
        QString path;
        QString problem;
    };

    explicit SegmentCheck(QObject* parent = nullptr);
    ~SegmentCheck() override;

    // Begins a check of `items` unless one is under way (false then).
    bool start(std::vector<Item> items);
    bool isRunning() const { return running_; }

signals:
    // Every item read (or the check stopped); the findings in the order of the items.
    void finished(const std::vector<tamblor::logger::SegmentCheck::Finding>& findings, int checked);

private:
    void join();

    std::thread worker_;
    std::atomic<bool> stop_{false};
    bool running_ = false;
};

} // namespace tamblor::logger
