#include "web/SnapshotPublisher.h"
#include "core/Core.h"
#include "schedule/EventTiming.h"
#include "studio/Studio.h"
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>

namespace tamblor::web {

SnapshotPublisher::SnapshotPublisher(Core& app, Studio& studio, SnapshotBox& box, QObject* parent)
    : QObject(parent), app_(app), studio_(studio), box_(box)
{
    timer_.setInterval(PublishMs);
    connect(&timer_, &QTimer::timeout, this, &SnapshotPublisher::publish);
    auto library = [this] { libraryChanged_ = true; };
    auto events = [this] { eventsChanged_ = true; };
    connect(&studio_.library(), &SoundLibrary::slotChanged, this, library);
    connect(&studio_.figures(), &store::TakeFiguresStore::figuresChanged, this, library);
    connect(&studio_.events(), &schedule::EventStore::eventChanged, this, events);
    connect(&studio_.events(), &schedule::EventStore::eventRemoved, this, events);
    connect(&studio_.runs(), &schedule::RunStore::runChanged, this, events);
    connect(&studio_.database(), &store::ProgramDatabase::opened, this, [this] {
        libraryChanged_ = true;
        eventsChanged_ = true;
    });
}

void SnapshotPublisher::setRunning(bool running)
{
    if (running && !timer_.isActive()) {
        publish();
        timer_.start();
    } else if (!running) {
        timer_.stop();
    }
}

void SnapshotPublisher::publish()
{
    auto s = std::make_shared<StudioSnapshot>(last_ ? *last_ : StudioSnapshot{});
    s->databaseOpen = studio_.database().isOpen();
    if (libraryChanged_) {
        libraryChanged_ = false;
        gatherLibrary(*s);
    }
    if (eventsChanged_) {
        eventsChanged_ = false;
        gatherEvents(*s);
    }
    s->now = now();
    // The next starts, worked out from the events as last gathered.
    std::vector<NowState::Next> next;
    for (const EventRow& row : s->events)
        if (row.event.enabled)
            if (const auto o = schedule::EventTiming::nextStart(row.event, s->now.atMs))
                next.push_back({row.event.id, row.event.name, o->startMs});
    std::sort(next.begin(), next.end(), [](const auto& a, const auto& b) { return a.startMs < b.startMs; });
    if (next.size() > size_t(NextStarts))
        next.resize(NextStarts);
    s->now.next = std::move(next);
    for (EventRow& row : s->events)
        if (row.event.enabled)
            if (const auto o = schedule::EventTiming::nextStart(row.event, s->now.atMs))
                row.nextStartMs = o->startMs;
    if (s->now.atMs - freeSpaceAt_ >= FreeSpaceMs || s->now.atMs < freeSpaceAt_) {
        freeSpaceAt_ = s->now.atMs;
        const QStorageInfo storage(QFileInfo(studio_.library().indexPath()).absolutePath());
        s->freeBytes = storage.isValid() ? storage.bytesAvailable() : -1;
        s->totalBytes = storage.isValid() ? storage.bytesTotal() : -1;
    }
    last_ = s;
    box_.put(s);
}

NowState SnapshotPublisher::now() const
{
    NowState n;
    n.atMs = app_.clock().now().toMSecsSinceEpoch();
    RecordingSession& take = studio_.recording();
    switch (take.state()) {
    case RecordingSession::State::Idle:
        n.take = "idle";
        break;
    case RecordingSession::State::Armed:
        n.take = "armed";
        break;
    case RecordingSession::State::Writing:
    case RecordingSession::State::WritingOn:
        n.take = "recording";
        break;
    }
    if (take.state() != RecordingSession::State::Idle) {
        n.slot = take.slot();
        if (n.slot >= 1 && n.slot <= studio_.library().slotCount())
            n.name = studio_.library().record(n.slot).SoundName.trimmed();
        n.elapsed = take.elapsedText();
        if (const auto event = studio_.scheduler().recording()) {
            n.eventName = event->name;
            n.eventId = event->id;
        }
    }
    ProgrammeWatch& watch = studio_.watch();
    n.meterSource = watch.source() == ProgrammeWatch::Source::Input    ? "input"
                    : watch.source() == ProgrammeWatch::Source::Output ? "output"
                                                                       : "none";
    const audio::LoudnessReading r = watch.reading();
    n.momentaryLufs = r.momentaryLufs;
    n.shortTermLufs = r.shortTermLufs;
    n.truePeakDbtp = r.truePeakDbtp;
    n.alarmRaised = watch.alarm().isRaised();
    n.alarmSlot = watch.alarm().slot();
    n.silentSeconds = watch.alarm().silentSeconds();
    return n;
}

void SnapshotPublisher::gatherLibrary(StudioSnapshot& s)
{
    s.takes.clear();
    SoundLibrary& library = studio_.library();
    if (!library.isOpen())
        return;
    const int count = library.slotCount();
    for (int slot = 1; slot <= count && slot <= schedule::RecordEvent::MaxSlot; ++slot) {
        const IndexRecord record = library.record(slot);
        if (!record.isUsed())
            continue;
        SlotRow row;
        row.slot = slot;
        row.name = record.SoundName.trimmed();
        row.length = record.LengthText.trimmed();
        row.date = record.RecordDate.trimmed();
        row.file = library.slotFileNative(slot);
        const QFileInfo info(row.file);
        row.fileSize = info.isFile() ? info.size() : -1;
        if (studio_.database().isOpen()) {
            try {
                row.figures = studio_.figures().find(slot);
            } catch (const Failure&) {
            }
        }
        s.takes[slot] = row;
    }
}

void SnapshotPublisher::gatherEvents(StudioSnapshot& s)
{
    s.events.clear();
    s.runsByResult.fill(0);
    if (!studio_.database().isOpen())
        return;
    try {
        for (const schedule::RecordEvent& e : studio_.events().all())
            s.events.push_back({e, std::nullopt, studio_.runs().list(e.id, RecentRuns)});
        store::Statement q = studio_.database().connection().prepare(
            "SELECT result, count(*) FROM runs WHERE result IS NOT NULL GROUP BY result");
        while (q.step())
            if (const auto result = schedule::resultFromText(q.textAt(0)))
                s.runsByResult[size_t(*result)] = q.int64At(1);
    } catch (const Failure&) {
        // The pages show what could be read; the studio tells the operator of the database.
    }
}

} // namespace tamblor::web
