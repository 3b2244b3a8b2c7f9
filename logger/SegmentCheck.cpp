#include "logger/SegmentCheck.h"
#include "logger/SegmentFile.h"
#include <QFileInfo>
#include <QPointer>

namespace tamblor::logger {

SegmentCheck::SegmentCheck(QObject* parent) : QObject(parent) {}

SegmentCheck::~SegmentCheck()
{
    stop_ = true;
    join();
}

void SegmentCheck::join()
{
    if (worker_.joinable())
        worker_.join();
}

bool SegmentCheck::start(std::vector<Item> items)
{
    if (running_)
        return false;
    join();
    running_ = true;
    stop_ = false;
    worker_ = std::thread([this, items = std::move(items)] {
        std::vector<Finding> findings;
        int checked = 0;
        for (const Item& item : items) {
            if (stop_)
                break;
            if (!QFileInfo::exists(item.path)) {
                findings.push_back({item.id, item.path, "the file is missing"});
            } else {
                const QByteArray sha = fileSha256(item.path);
                if (sha.isEmpty())
                    findings.push_back({item.id, item.path, "the file cannot be read"});
                else if (sha != item.sha256)
                    findings.push_back({item.id, item.path, "the file is not what was recorded (its SHA-256 differs)"});
            }
            ++checked;
        }
        QMetaObject::invokeMethod(
            this,
            [this, findings = std::move(findings), checked] {
                running_ = false;
                emit finished(findings, checked);
            },
            Qt::QueuedConnection);
    });
    return true;
}

} // namespace tamblor::logger
