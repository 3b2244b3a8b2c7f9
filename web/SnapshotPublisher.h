#pragma once
// Makes the studio's snapshot for the web pages on the user-interface thread, PublishMs apart
// (5 times a second) while running, and puts it in the box the server's threads read. What is
// dear to gather (the library's slots with their figures, the events with their runs, the counts
// of results) is gathered again only after the studio said it changed; the free space at most
// every FreeSpaceMs.
#include "web/StudioSnapshot.h"
#include <QObject>
#include <QTimer>

namespace tamblor {
class Core;
class Studio;
} // namespace tamblor

namespace tamblor::web {

class SnapshotPublisher : public QObject {
    Q_OBJECT
public:
    static constexpr int PublishMs = 200;
    static constexpr qint64 FreeSpaceMs = 5000;
    static constexpr int RecentRuns = 10;
    static constexpr int NextStarts = 5;

    SnapshotPublisher(Core& app, Studio& studio, SnapshotBox& box, QObject* parent = nullptr);

    void setRunning(bool running);
    bool isRunning() const { return timer_.isActive(); }
    // Makes a snapshot now and puts it in the box.
    void publish();

private:
    void gatherLibrary(StudioSnapshot& s);
    void gatherEvents(StudioSnapshot& s);
    NowState now() const;

    Core& app_;
    Studio& studio_;
    SnapshotBox& box_;
    QTimer timer_;
    bool libraryChanged_ = true;
    bool eventsChanged_ = true;
    std::shared_ptr<const StudioSnapshot> last_;
    qint64 freeSpaceAt_ = 0;
};

} // namespace tamblor::web
