#pragma once
// What the web pages show of the studio, as one value that the user-interface thread makes on
// its clock and the server's threads only read: the take under way, the meter and the alarm, the
// next starts, the events with their recent runs, the library's slots with their figures, and
// the free space. The server's threads never touch the studio itself.
#include "schedule/RecordEvent.h"
#include "schedule/RecordRun.h"
#include "store/TakeFigures.h"
#include <QString>
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace tamblor::web {

struct NowState {
    qint64 atMs = 0; // when this was taken (the program's clock)
    // The take: "idle", "armed" or "recording".
    QString take = "idle";
    int slot = 0;
    QString name;
    QString elapsed; // "01:23"
    QString eventName; // the record event whose take it is, if any
    std::optional<qint64> eventId;
    // The meter (LUFS, dBTP; -inf before it has heard anything) and what it listens to.
    QString meterSource = "none";
    double momentaryLufs = 0;
    double shortTermLufs = 0;
    double truePeakDbtp = 0;
    bool alarmRaised = false;
    int alarmSlot = 0;
    double silentSeconds = 0;
    struct Next {
        qint64 eventId = 0;
        QString name;
        qint64 startMs = 0;
    };
    std::vector<Next> next;
};

struct SlotRow {
    int slot = 0;
    QString name;
    QString length; // as the index keeps it ("01:05" or seconds)
    QString date;
    std::optional<store::TakeFigures> figures;
    QString file;   // the native path of its sound file, made from the slot number by the library
    qint64 fileSize = -1; // -1 when the file is missing
};

struct EventRow {
    schedule::RecordEvent event;
    std::optional<qint64> nextStartMs;
    std::vector<schedule::RecordRun> recent; // newest first
};

struct StudioSnapshot {
    NowState now;
    std::map<int, SlotRow> takes; // the used slots only
    std::vector<EventRow> events;
    std::array<qint64, schedule::RunResultCount> runsByResult{};
    qint64 freeBytes = -1;
    qint64 totalBytes = -1;
    bool databaseOpen = false;
};

// The newest snapshot, handed from the user-interface thread to the server's threads.
class SnapshotBox {
public:
    void put(std::shared_ptr<const StudioSnapshot> snapshot)
    {
        std::lock_guard lock(mutex_);
        snapshot_ = std::move(snapshot);
    }
    std::shared_ptr<const StudioSnapshot> get() const
    {
        std::lock_guard lock(mutex_);
        return snapshot_ ? snapshot_ : std::make_shared<const StudioSnapshot>();
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const StudioSnapshot> snapshot_;
};

} // namespace tamblor::web
