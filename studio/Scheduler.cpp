#include "studio/Scheduler.h"
#include "core/Core.h"
#include "core/DeviceChoice.h"
#include "core/SharedState.h"
#include "audio/format/RiffReader.h"
#include "audio/format/SndFileReader.h"
#include "audio/files/Normalize.h"
#include "audio/jobs/Job.h"
#include "audio/devices/AudioBackend.h"
#include "library/SoundLibrary.h"
#include "library/WorkingTakes.h"
#include "studio/RecordingSession.h"
#include "platform/CodePage.h"
#include "platform/Failure.h"
#include "platform/NativeFile.h"
#include "platform/SafeReplace.h"
#include "schedule/EventStore.h"
#include "schedule/NameTemplate.h"
#include "schedule/RunStore.h"
#include "store/ProgramDatabase.h"
#include "store/ProgramState.h"
#include "store/TakeFiguresStore.h"
#include "core/ProgramSettings.h"
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <cmath>

namespace tamblor {

using schedule::EventTiming::localDay;
using schedule::Occurrence;
using schedule::RecordEvent;
using schedule::RecordRun;
using schedule::RunResult;
using schedule::TakePlanner;

namespace {

QString timeText(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms).toString("HH:mm:ss");
}

QString megabytes(qint64 bytes)
{
    return QString::number((bytes + 1024 * 1024 - 1) / (1024 * 1024)) + " MB";
}

// Said of a run of a fixed-slot event whose take did not replace the slot's; `where` is where
// the take is ("in slot 12").
QString keepsItsTake(int fixedSlot, const QString& where)
{
    return QString(" Slot %1 keeps its take; this one is %2.").arg(fixedSlot).arg(where);
}

// The frames of audio a working file holds, counted as a take cut short plays (the audio that
// is there, whatever its header says); -1 when it cannot be read.
int64_t audioFrames(const QString& native, int* rate = nullptr)
{
    try {
        const audio::RiffLayout layout = audio::RiffReader::read(native);
        if (rate)
            *rate = layout.format.sampleRate;
        return std::max<int64_t>(0, layout.frames());
    } catch (const Failure&) {
        return -1;
    }
}

} // namespace

Scheduler::Scheduler(Core& app, SoundLibrary& library, RecordingSession& recording,
                     store::ProgramDatabase& database, schedule::EventStore& events, schedule::RunStore& runs,
                     store::TakeFiguresStore& figures, DeviceChoice& devices, QObject* parent)
    : QObject(parent), app_(app), library_(library), recording_(recording), database_(database), events_(events),
      runs_(runs), figures_(figures), devices_(devices)
{
    freeSpace_ = [](const QString& path) {
        QStorageInfo info(QFileInfo(path).absolutePath());
        return info.isValid() ? info.bytesAvailable() : qint64(-1);
    };
    connect(&database_, &store::ProgramDatabase::opened, this, [this] {
        try {
            recover();
        } catch (const Failure& f) {
            tell("The record events could not be looked over: " + f.text());
        }
    });
    connect(&events_, &schedule::EventStore::eventChanged, this, [this](qint64 id) {
        reloadEvents();
        planner_.eventChanged(id, nowMs(), situation(), hasRun());
        emit changed();
    });
    connect(&events_, &schedule::EventStore::eventRemoved, this, [this](qint64 id) {
        reloadEvents();
        planner_.eventRemoved(id);
        emit changed();
    });
    // A take being read back when the program ends is finished first: a fixed slot it replaced
    // gets its entry, and the run its result and figures, while the index and database are open.
    connect(&app_, &Core::programEnding, this, &Scheduler::finishChecks);
    connect(&recording_, &RecordingSession::stateChanged, this, [this](RecordingSession::State s, RecordingSession::State) {
        if (s == RecordingSession::State::Idle)
            sessionEnded();
    });
}

void Scheduler::tell(const QString& text, Notice::Severity severity)
{
    app_.notices().tell(QStringLiteral("scheduler"), text, severity);
}

Scheduler::~Scheduler()
{
    checks_.clear(); // each job waits for its body; nothing it posted arrives
}

qint64 Scheduler::nowMs() const
{
    return app_.clock().now().toMSecsSinceEpoch();
}

void Scheduler::reloadEvents()
{
    std::vector<RecordEvent> all = events_.all();
    refuseImpossible(all);
    std::erase_if(all, [](const RecordEvent& e) { return !e.problem().isEmpty(); });
    planner_.setEvents(std::move(all));
}

void Scheduler::refuseImpossible(const std::vector<RecordEvent>& events)
{
    std::map<qint64, QString> now;
    for (const RecordEvent& e : events) {
        const QString problem = e.problem();
        if (problem.isEmpty())
            continue;
        now[e.id] = problem;
        const auto before = refused_.find(e.id);
        if (before == refused_.end() || before->second != problem)
            tell("Record event \"" + e.name + "\" cannot run and records nothing until it is repaired: " + problem);
    }
    refused_ = std::move(now);
}

Scheduler::Input Scheduler::inputOf(const RecordEvent& event) const
{
    const SharedState& st = app_.state();
    const int device = event.device ? deviceOf(event).value_or(*event.device) : st.RecordDevice;
    return {device, event.format.value_or(st.FormatIndex), event.channels.value_or(st.ChannelMode)};
}

std::optional<int> Scheduler::deviceOf(const RecordEvent& event) const
{
    if (!event.device)
        return std::nullopt;
    if (event.deviceName.isEmpty())
        return event.device;
    audio::AudioBackend& cards = app_.audio();
    const int count = cards.inputDeviceCount();
    if (*event.device >= 0 && *event.device < count && cards.inputDeviceName(*event.device) == event.deviceName)
        return event.device;
    for (int i = 0; i < count; ++i)
        if (cards.inputDeviceName(i) == event.deviceName)
            return i;
    return std::nullopt;
}

std::optional<qint64> Scheduler::measuredFirstSample(const Active& a, qint64 now)
{
    if (recording_.writer().framesWritten() <= 0 || a.rate <= 0 || a.channels <= 0)
        return std::nullopt;
    const quint64 first = recording_.writer().firstSampleWritten();
    const quint64 delivered = recording_.input().samplesDelivered();
    if (delivered < first)
        return std::nullopt;
    return now - qint64((delivered - first) / quint64(a.channels)) * 1000 / a.rate;
}

TakePlanner::UnderWay Scheduler::underWay() const
{
    return TakePlanner::UnderWay{active_->take, active_->writing, active_->writingSinceSteadyMs, active_->fromMs};
}

TakePlanner::Situation Scheduler::situation() const
{
    TakePlanner::Situation s;
    if (active_)
        s.underWay = underWay();
    s.inputFree = recording_.state() == RecordingSession::State::Idle;
    return s;
}

TakePlanner::HasRun Scheduler::hasRun() const
{
    return [this](qint64 eventId, qint64 startMs) {
        return runWaitsToBeStored(eventId, startMs) || runs_.hasRun(eventId, startMs);
    };
}

bool Scheduler::runWaitsToBeStored(qint64 eventId, qint64 scheduledStartMs) const
{
    return std::any_of(unsaved_.begin(), unsaved_.end(), [&](const RecordRun& r) {
        return r.eventId.value_or(0) == eventId && r.scheduledStartMs == scheduledStartMs;
    });
}

QString Scheduler::takeName(const RecordEvent& event, const Occurrence& o) const
{
    return schedule::NameTemplate::expand(event.nameTemplate, event.name, QDateTime::fromMSecsSinceEpoch(o.startMs));
}

void Scheduler::saveRun(RecordRun& run)
{
    const auto same = [&run](const RecordRun& r) {
        return r.eventId == run.eventId && r.scheduledStartMs == run.scheduledStartMs;
    };
    const bool waiting = std::any_of(unsaved_.begin(), unsaved_.end(), same);
    const std::pair<qint64, qint64> key{run.eventId.value_or(0), run.scheduledStartMs};
    if (run.id == 0)
        if (const auto known = storedIds_.find(key); known != storedIds_.end())
            run.id = known->second;
    try {
        if (run.id == 0) {
            runs_.append(run);
            storedIds_[key] = run.id;
        } else
            runs_.update(run);
    } catch (const Failure& f) {
        std::erase_if(unsaved_, same);
        unsaved_.push_back(run);
        if (!waiting)
            tell("The run of \"" + run.eventName + "\" could not be stored: " + f.text() +
                 " It is stored as soon as the database can be written again.");
        return;
    }
    std::erase_if(unsaved_, same);
    if (!run.result || *run.result == RunResult::OK)
        return;
    const QString text = "Record event \"" + run.eventName + "\" at " + timeText(run.scheduledStartMs) + ": " +
                         schedule::resultText(*run.result) + ". " + run.detail;
    if (gathering_)
        gathered_ << text;
    else
        tell(text);
}

void Scheduler::storeWaitingRuns()
{
    std::vector<RecordRun> waiting = unsaved_;
    for (RecordRun& run : waiting) {
        RecordRun r = run;
        saveRun(r);
        if (!runWaitsToBeStored(run))
            continue;
        break; // the database still refuses: the rest waits for the next tick
    }
}

void Scheduler::tellGathered()
{
    gathering_ = false;
    if (gathered_.isEmpty())
        return;
    constexpr int MaxLines = 5;
    QStringList lines = gathered_.mid(0, MaxLines);
    if (gathered_.size() > MaxLines)
        lines << QString("... and %1 more; every result is listed in Tools, Record Events.").arg(gathered_.size() - MaxLines);
    gathered_.clear();
    tell(lines.join('\n'));
}

void Scheduler::recordResult(const RecordEvent& event, const Occurrence& o, RunResult result, const QString& detail)
{
    RecordRun run;
    run.eventId = event.id;
    run.eventName = event.name;
    run.scheduledStartMs = o.startMs;
    run.result = result;
    run.detail = detail;
    saveRun(run);
}

void Scheduler::recover()
{
    gathering_ = true;
    reloadEvents();
    const qint64 now = nowMs();
    const TakePlanner::Reading reading{now, app_.clock().steadyMs()};

    // Takes under way when the program died: completed with what their files hold.
    const WorkingTakes working(library_);
    for (RecordRun run : runs_.underWay()) {
        if (run.slot > 0 && working.exists(run.slot)) {
            recoverWorkingTake(run);
            continue;
        }
        int64_t frames = 0;
        int rate = run.sampleRate;
        const QString path = run.slot > 0 ? library_.slotFileNative(run.slot) : QString();
        try {
            if (!path.isEmpty() && QFileInfo::exists(path)) {
                audio::SndFileReader reader(path);
                frames = reader.frames();
            }
        } catch (const Failure&) {
            frames = 0; // not readable: the take is reported with no length
        }
        run.lengthFrames = frames;
        // Completed in the index: the take ended while the program ran, and only its run could
        // not be stored (the database failed, as it does on a full drive).
        bool ended = false;
        if (run.slot > 0 && frames > 0) {
            try {
                const auto record = library_.read(run.slot);
                ended = record && record->Status == SlotStatus::Used;
                if (record && record->Status == SlotStatus::Reserved) {
                    const int seconds = rate > 0 ? int(std::lround(double(frames) / rate)) : 0;
                    library_.complete(run.slot, seconds, localDay(run.firstSampleMs.value_or(run.scheduledStartMs)));
                    const auto event = events_.find(run.eventId.value_or(0));
                    const Occurrence o{QDate(), run.scheduledStartMs, run.scheduledStartMs, false};
                    library_.rename(run.slot, event ? takeName(*event, o) : run.eventName);
                }
            } catch (const Failure& f) {
                tell(f.text());
            }
        }
        const QString kept = QString(" The %1 s recorded were kept in slot %2.")
                                 .arg(rate > 0 ? double(frames) / rate : 0.0, 0, 'f', 1)
                                 .arg(run.slot);
        const auto event = events_.find(run.eventId.value_or(0));
        const qint64 fromMs = run.firstSampleMs.value_or(run.scheduledStartMs);
        const qint64 planned =
            event ? (run.scheduledStartMs + qint64(event->plannedSeconds()) * 1000 - fromMs) * rate / 1000 : 0;
        const qint64 free = freeSpace_(library_.slotFileNative(1));
        if (ended && planned > 0 && frames >= planned) {
            run.result = fromMs > run.scheduledStartMs ? RunResult::LateStart : RunResult::OK;
            run.detail = run.result == RunResult::OK ? QString()
                                                     : "The rest from " + timeText(fromMs) + " was recorded.";
        } else if (ended && free >= 0 && free < DiskReserveBytes) {
            run.result = RunResult::DiskFull;
            run.detail = "The disk filled during the take; its result could not be stored then." + kept;
        } else if (ended) {
            run.result = RunResult::Short;
            run.detail = "The take ended before its end while its result could not be stored." + kept;
        } else {
        run.result = RunResult::Interrupted;
        run.detail = frames > 0 ? QString("The program ended during the take; the %1 s it holds were kept in slot %2.")
                                      .arg(rate > 0 ? frames / rate : 0)
                                      .arg(run.slot)
                                : QString("The program ended during the take; nothing of it could be kept.");
        }
        saveRun(run);
        if (frames > 0) {
            // Its figures, read back as for any take (an interrupted take replaces no fixed slot).
            RecordEvent event;
            event.id = run.eventId.value_or(0);
            event.name = run.eventName;
            check(run, event, path);
        }
    }
    // Working files of no take under way (the program ended during their takes, or before
    // they were put where they go).
    for (const int fixedSlot : working.onDisk())
        keepLeftOver(fixedSlot);

    // Starts while the program was not running: missed, or recorded late when enough is left.
    const std::optional<int64_t> beat = store::ProgramState(database_).number(HeartbeatKey);
    carryOut(planner_.start(reading, beat ? std::optional<qint64>(*beat) : std::nullopt, situation(), hasRun()), now);
    lastBeat_ = 0;
    tellGathered();
    emit changed();
}

void Scheduler::tick()
{
    if (!planner_.started() || !database_.isOpen())
        return;
    const qint64 now = nowMs();
    const TakePlanner::StepPlan step = planner_.readClock({now, app_.clock().steadyMs()}, situation(), hasRun());
    if (step.step != TakePlanner::ClockStep::None) {
        gathering_ = true;
        carryOut(step.actions, now);
        tellGathered();
        emit changed();
    }
    beat(now);
    if (!unsaved_.empty())
        storeWaitingRuns();
    if (active_) {
        if (!active_->writing)
            measureDue(now);
        if (const auto action = TakePlanner::forTakeUnderWay({now, app_.clock().steadyMs()}, underWay()))
            carryOut(*action, now);
    }
    if (active_ && active_->writing)
        prepareFollowOn(now);
    if (active_ && active_->writing && !active_->run.measuredFirstSampleMs) {
        if (const auto measured = measuredFirstSample(*active_, now)) {
            active_->run.measuredFirstSampleMs = measured;
            saveRun(active_->run);
        }
    }
    // An input that could not be opened for one take is offered to the next waiting one.
    std::vector<Action> actions;
    do {
        actions = planner_.serve(now, situation(), hasRun());
        carryOut(actions, now);
    } while (!actions.empty() && actions.back().what == TakePlanner::Do::Open);
    // An input left running for a take that did not take it up is closed.
    if (followOn_ && !active_) {
        followOn_.reset();
        recording_.releaseKeptInput();
    }
}

void Scheduler::prepareFollowOn(qint64 now)
{
    const Active& a = *active_;
    const std::optional<Take> next = planner_.following(underWay());
    const bool sameInput = next && inputOf(next->event) == a.input;
    recording_.setKeepInputAfterLength(sameInput);
    if (!next || sameInput || now < a.take.occurrence.endMs)
        return;
    // Another input: this take is ended as soon as the input has delivered its last frame, so
    // the next one opens its input at its start, not a tick later.
    const quint64 last = a.due.value_or(0) + quint64(a.framesAsked) * quint64(a.channels);
    if (recording_.input().samplesDelivered() >= last)
        recording_.endClockedTake();
}

void Scheduler::beat(qint64 now)
{
    if (now - lastBeat_ < HeartbeatMs && now >= lastBeat_)
        return;
    try {
        store::ProgramState(database_).setNumber(HeartbeatKey, now);
        lastBeat_ = now;
    } catch (const Failure&) {
        // Tried again at the next tick; a missed start is then found from the last one stored.
    }
}

void Scheduler::carryOut(const std::vector<Action>& actions, qint64 now)
{
    for (const Action& a : actions)
        carryOut(a, now);
}

void Scheduler::carryOut(const Action& action, qint64 now)
{
    using Do = TakePlanner::Do;
    switch (action.what) {
    case Do::Open:
        begin(action.take, action.startNow, now);
        break;
    case Do::Start:
        if (active_ && !active_->writing)
            startWriting(now);
        break;
    case Do::Stop:
        if (active_ && active_->writing)
            recording_.handle(RecordingSession::Event::Stop);
        break;
    case Do::Cancel:
        if (active_ && !active_->writing)
            cancelOpening();
        break;
    case Do::Record:
        recordResult(action.take.event, action.take.occurrence, action.result, action.detail);
        break;
    }
}

void Scheduler::begin(const Take& take, bool startNow, qint64 now)
{
    const Occurrence& o = take.occurrence;
    // An unattended take never records from whatever card now has the settings' number.
    if (!take.event.device && !devices_.present(DeviceChoice::Device::Record)) {
        recordResult(take.event, o, RunResult::DeviceBusy,
                     "The input \"" + devices_.keptName(DeviceChoice::Device::Record) +
                         "\" is not there; nothing was recorded from another card.");
        return;
    }
    if (take.event.device && !deviceOf(take.event)) {
        recordResult(take.event, o, RunResult::DeviceBusy,
                     "The input \"" + take.event.deviceName + "\" is not there; nothing was recorded from another card.");
        return;
    }
    const Input input = inputOf(take.event);
    // The input left running by the take before is taken up only by the one that follows it on.
    std::optional<FollowOn> follow;
    if (followOn_ && followOn_->endMs == o.startMs && followOn_->input == input && recording_.input().isCapturing() &&
        now - o.startMs < OpenLeadMs)
        follow = followOn_;
    followOn_.reset();
    if (!follow)
        recording_.releaseKeptInput();
    recording_.applyInput(input.device, input.format, input.channels);
    const qint64 lengthMs = o.endMs - std::max(now, o.startMs);
    const qint64 expected = qint64(recording_.fileBytesPerSecond()) * lengthMs / 1000;
    const qint64 free = freeSpace_(library_.slotFileNative(1));
    if (free >= 0 && free < expected + DiskReserveBytes) {
        recordResult(take.event, o, RunResult::DiskFull,
                     "Only " + megabytes(free) + " are free on the library's drive; the take needs " +
                         megabytes(expected) + " and " + megabytes(DiskReserveBytes) + " are kept free. Nothing was recorded.");
        return;
    }
    // A fixed-slot take goes to its slot's working file; one already there (its take was left
    // by a program that ended during it) is kept first, never written over.
    const int fixedSlot = take.event.destination == schedule::Destination::FixedSlot ? take.event.fixedSlot : 0;
    if (fixedSlot > 0 && WorkingTakes(library_).exists(fixedSlot))
        keepLeftOver(fixedSlot);
    if (!recording_.armForClock("the record event \"" + take.event.name + "\" holds the input until " +
                                    timeText(o.endMs),
                                fixedSlot)) {
        const QString reason = recording_.refusal().isEmpty() ? QString("The input is taken.") : recording_.refusal();
        recordResult(take.event, o, RunResult::DeviceBusy, "The input could not be opened: " + reason);
        return;
    }
    Active a;
    a.take = take;
    a.input = input;
    a.openedAt = recording_.input().samplesDelivered();
    if (follow) {
        // It begins with the frame after the last of the take before: none lost, none twice.
        a.take.late = false;
        a.openedAt = follow->nextSample;
        a.due = follow->nextSample;
    }
    a.channels = recording_.input().channels();
    a.rate = recording_.input().sampleRate();
    a.name = takeName(take.event, o);
    active_ = a;
    emit changed();
    if (startNow || follow)
        startWriting(now);
}

void Scheduler::measureDue(qint64 now)
{
    Active& a = *active_;
    const quint64 delivered = recording_.input().samplesDelivered();
    if (delivered <= a.openedAt)
        return;
    // The input's newest sample is about "now": the one due at the start is that far on.
    const qint64 ahead = (a.take.occurrence.startMs - now) * a.rate / 1000 * a.channels;
    const qint64 due = qint64(delivered) + ahead;
    if (due >= qint64(a.openedAt) && (!a.due || quint64(due) > *a.due))
        a.due = quint64(due);
}

void Scheduler::startWriting(qint64 now)
{
    Active& a = *active_;
    const Occurrence& o = a.take.occurrence;
    const quint64 delivered = recording_.input().samplesDelivered();
    if (!a.take.late && !a.due) {
        // Started at (or just after) its start: the sample due then, as far as the input has it.
        const qint64 due = qint64(delivered) + (o.startMs - now) * a.rate / 1000 * a.channels;
        a.due = quint64(std::max<qint64>(due, qint64(a.openedAt)));
        a.dueAsWorkedOut = quint64(std::max<qint64>(due, 0));
    } else {
        a.dueAsWorkedOut = a.take.late ? delivered : *a.due;
    }
    quint64 first = a.take.late ? delivered : *a.due;
    first = a.openedAt + (first - a.openedAt) / quint64(a.channels) * quint64(a.channels);
    const qint64 fromMs = a.take.late ? now : o.startMs;
    a.framesAsked = (o.endMs - fromMs) * a.rate / 1000;
    a.due = first;
    a.fromMs = fromMs;
    a.writingSinceSteadyMs = app_.clock().steadyMs();
    if (!recording_.startWritingFrom(first, a.framesAsked))
        return; // refused: the session is idle again and the run was recorded
    a.writing = true;
    a.run = RecordRun();
    a.run.eventId = a.take.event.id;
    a.run.eventName = a.take.event.name;
    a.run.scheduledStartMs = o.startMs;
    a.run.firstSampleMs = fromMs;
    a.run.sampleRate = a.rate;
    a.run.slot = recording_.slot();
    saveRun(a.run);
    emit changed();
}

void Scheduler::cancelOpening()
{
    cancelling_ = true;
    recording_.handle(RecordingSession::Event::Stop);
    cancelling_ = false;
    active_.reset();
}

void Scheduler::sessionEnded()
{
    if (cancelling_ || !active_)
        return;
    Active a = std::move(*active_);
    active_.reset();
    const RecordingSession::Ending ending = recording_.lastEnding();
    using E = RecordingSession::Ending;
    if (!a.writing) {
        const bool full = ending == E::WriteFailed;
        QString detail;
        switch (ending) {
        case E::WriteFailed: detail = "The sound file could not be created."; break;
        case E::DeviceLost: detail = "The input was lost before the start."; break;
        case E::ProgramEnded: detail = "The program ended before the start; nothing was recorded."; break;
        default: detail = "The take was stopped before its start, while its input was being opened; nothing was recorded."; break;
        }
        recordResult(a.take.event, a.take.occurrence, full ? RunResult::DiskFull : RunResult::Short, detail);
        emit changed();
        return;
    }
    RecordRun run = a.run;
    if (!run.measuredFirstSampleMs)
        run.measuredFirstSampleMs = measuredFirstSample(a, nowMs());
    const qint64 frames = recording_.writer().framesWritten();
    const int slot = recording_.slot();
    // A fixed-slot take is in its slot's working file; `slot` is then the fixed slot.
    const bool working = recording_.intoWorkingFile();
    lastTiming_ = Timing{a.dueAsWorkedOut, recording_.writer().firstSampleWritten(), a.channels, a.framesAsked, frames};
    if (ending == E::LengthReached && recording_.input().isCapturing())
        followOn_ = FollowOn{a.input, a.take.occurrence.endMs,
                             recording_.writer().firstSampleWritten() + quint64(frames) * quint64(a.channels)};
    run.lengthFrames = frames;
    run.slot = frames > 0 ? slot : 0;
    bool inFull = false; // the detail is the planner's
    switch (ending) {
    case E::LengthReached:
    {
        const auto [result, detail] = TakePlanner::resultInFull(a.take, run.firstSampleMs.value_or(0));
        run.result = result;
        run.detail = detail;
        inFull = true;
        break;
    }
    case E::WriteFailed:
        run.result = RunResult::DiskFull;
        run.detail = "The disk filled during the take.";
        break;
    case E::DeviceLost:
        run.result = RunResult::Short;
        run.detail = "The input failed during the take.";
        break;
    case E::ProgramEnded:
        run.result = RunResult::Short;
        run.detail = "The program ended during the take.";
        break;
    case E::SizeLimit:
        run.result = RunResult::Short;
        run.detail = "The sound file reached the largest size a wave file can have.";
        break;
    default:
        run.result = RunResult::Short;
        run.detail = "The take was stopped before its end.";
        break;
    }
    // Where the take is: its slot, or for a working take that will not replace its fixed slot
    // (it is not OK, or the program ends before it is read back) the place it is kept in now.
    QString where = QString("in slot %1").arg(slot);
    QString path = library_.slotFileNative(slot);
    if (working && frames > 0) {
        path = WorkingTakes(library_).fileNative(slot);
        if (*run.result != RunResult::OK || app_.isEnding()) {
            const Kept kept = keepWorkingTake(slot, frames, a.rate,
                                              localDay(run.firstSampleMs.value_or(run.scheduledStartMs)), a.name);
            run.slot = kept.slot;
            path = kept.native;
            where = kept.where;
        }
    }
    if (!inFull)
        run.detail += frames > 0 ? QString(" The %1 s recorded were kept %2.").arg(double(frames) / a.rate, 0, 'f', 1).arg(where)
                                 : QString(" Nothing was recorded.");
    if (frames > 0 && !working) {
        try {
            library_.rename(slot, a.name);
        } catch (const Failure& f) {
            tell(SoundLibrary::indexFailureText(f));
        }
    }
    const bool replaces = working && frames > 0 && *run.result == RunResult::OK && !app_.isEnding();
    if (working && frames > 0 && !replaces)
        run.detail += keepsItsTake(slot, where);
    saveRun(run);
    emit changed();
    if (frames > 0 && !app_.isEnding())
        check(run, a.take.event, path, replaces ? slot : 0, a.name);
}

void Scheduler::check(RecordRun run, const RecordEvent& event, const QString& path, int replaces, const QString& name)
{
    const QString target = replaces > 0 ? library_.slotFileNative(replaces) : QString();
    double silenceBelow = TakeReading::SilentBelowDbfs;
    try {
        silenceBelow = ProgramSettings(app_.drives()).loudness().silenceThresholdDbfs;
    } catch (const Failure&) {
        // The settings cannot be read: the longest silence is that below the Silent level.
    }
    auto job = std::make_unique<jobs::Job>();
    jobs::Job* j = job.get();
    checks_.push_back(Check{std::move(job), replaces > 0 ? replaces : run.slot, replaces});
    connect(j, &jobs::Job::finished, this, [this, j, run] {
        if (j->failure()) {
            RecordRun r = run;
            r.detail += " The take could not be read back: " + j->failure()->text();
            saveRun(r);
        }
        // Dropped once this delivery is over.
        QMetaObject::invokeMethod(this, [this, j] {
            std::erase_if(checks_, [j](const Check& c) { return c.job.get() == j; });
        }, Qt::QueuedConnection);
    });
    const bool good = *run.result == RunResult::OK || *run.result == RunResult::LateStart;
    j->start([this, path, replaces, target, run, event, name, good, silenceBelow](jobs::JobControl& control) {
        // The take as recorded: what it is judged by.
        const TakeReading asRecorded = *TakeReading::of(path, silenceBelow);
        const bool usable = good && !asRecorded.silent() && !asRecorded.clipped();
        // After recording: the take normalized in place (through the safe replace of the
        // normalizer, so a failure leaves the take as recorded).
        QString after;
        bool normalized = false;
        if (usable && event.after != schedule::AfterRecording::Nothing) {
            audio::NormalizeReport report;
            QString file = path;
            try {
                if (event.after == schedule::AfterRecording::PeakNormalize) {
                    normalized = audio::NormalizeFile(file, std::clamp(event.peakPercent, 0, 100), {}, {}, &report);
                    after = QString(" Peak normalized to %1 % (%2 dB).").arg(event.peakPercent).arg(report.gainDb, 0, 'f', 1);
                } else {
                    normalized = audio::NormalizeToLoudness(file, {event.loudnessLufs, event.ceilingDbtp}, {}, {}, &report);
                    after = QString(" Loudness normalized to %1 LUFS (%2 dB%3).")
                                .arg(event.loudnessLufs)
                                .arg(report.gainDb, 0, 'f', 1)
                                .arg(report.heldByCeiling ? ", held by the true-peak ceiling" : "");
                }
            } catch (const Failure& f) {
                after = " It could not be normalized: " + f.text() + ".";
            }
        }
        // The figures kept are those of the file as it stays: read again only when the
        // normalize changed it (its gain moves the silence against the threshold and the
        // samples against full scale, so they are not worked out from the first reading).
        const TakeReading kept = normalized ? *TakeReading::of(path, silenceBelow) : asRecorded;
        // A usable working take becomes its fixed slot's file in one step; until then the slot
        // holds its old take, and a failure leaves both files as they were.
        bool replaced = false;
        QString replaceFailure;
        if (replaces > 0 && usable) {
            try {
                SafeReplace into(target, path);
                into.adopt();
                into.commit();
                replaced = true;
            } catch (const Failure& f) {
                replaceFailure = f.text();
            }
        }
        store::TakeFigures figures = kept.figures();
        if (const auto key = store::TakeFiguresStore::keyOf(replaced ? target : path)) {
            figures.fileSize = key->size;
            figures.fileMtimeMs = key->mtimeMs;
        }
        RecordRun done = run;
        done.detail += after;
        control.post([this, done, asRecorded, figures, replaces, replaced, name, replaceFailure] {
            applyCheck(done, asRecorded, figures, replaces, replaced, name, replaceFailure);
        });
    });
}

void Scheduler::applyCheck(RecordRun run, const TakeReading& c, store::TakeFigures figures, int replaces, bool replaced,
                           const QString& name, const QString& replaceFailure)
{
    const bool good = run.result == RunResult::OK || run.result == RunResult::LateStart;
    if (good && c.silent()) {
        run.detail = QString("Nothing above %1 dBFS in the whole take.").arg(TakeReading::SilentBelowDbfs) +
                     (run.result == RunResult::LateStart ? " " + run.detail : QString());
        run.result = RunResult::Silent;
    } else if (good && c.clipped()) {
        run.detail = QString("The take holds full-scale samples (%1 times).").arg(c.clippedRuns) +
                     (run.result == RunResult::LateStart ? " " + run.detail : QString());
        run.result = RunResult::Clipped;
    }
    if (replaces > 0 && !replaced) {
        // Judged Silent or Clipped, or its file could not take the slot's place: the working
        // take is kept, and the fixed slot keeps its own.
        if (!replaceFailure.isEmpty())
            run.detail += QString(" It could not take the place of slot %1's file: %2.").arg(replaces).arg(replaceFailure);
        const Kept kept = keepWorkingTake(replaces, c.frames, c.sampleRate,
                                          localDay(run.firstSampleMs.value_or(run.scheduledStartMs)), name);
        run.slot = kept.slot;
        run.detail += keepsItsTake(replaces, kept.where);
        if (run.result == RunResult::OK) // said by saveRun for any other result
            tell("Record event \"" + run.eventName + "\" at " + timeText(run.scheduledStartMs) + ":" + run.detail);
    }
    run.detail = run.detail.trimmed();
    // The take's figures, for the slot that holds it in the end (none for a take kept as a file
    // of its own); a fixed slot given this take lets go of the figures of the one it held.
    figures.slot = replaced ? replaces : run.slot;
    figures.measuredAtMs = nowMs();
    try {
        run.figuresId = figures_.storeNewTake(figures);
    } catch (const Failure& f) {
        tell("The figures of the take of \"" + run.eventName + "\" could not be stored: " + f.text());
    }
    if (replaced) {
        // The fixed slot's entry: the new take's length, name and day (that of its start).
        IndexRecord done = SoundLibrary::completedRecord(
            replaces, int(std::lround(double(c.frames) / std::max(1, c.sampleRate))),
            localDay(run.firstSampleMs.value_or(run.scheduledStartMs)));
        done.setSoundName(codepage::toUpper(name));
        run.slot = replaces;
        try {
            library_.write(replaces, done);
        } catch (const Failure& f) {
            library_.writeWhenPossible(replaces, done);
            tell(SoundLibrary::indexFailureText(f) + ". The entry of slot " + QString::number(replaces) +
                 " is written as soon as the index can be written again.");
        }
    }
    saveRun(run);
    emit changed();
}

Scheduler::Kept Scheduler::keepWorkingTake(int fixedSlot, qint64 frames, int rate, const QDate& day, const QString& name)
{
    WorkingTakes working(library_);
    const int seconds = rate > 0 ? int(std::lround(double(frames) / rate)) : 0;
    try {
        const WorkingTakes::Kept k = working.keep(fixedSlot, seconds, day, name);
        return Kept{k.slot, k.native, k.where()};
    } catch (const Failure& f) {
        // Where it was: the next start (or the next take of the slot) keeps it.
        return Kept{0, working.fileNative(fixedSlot),
                    "in " + working.filePath(fixedSlot) + " (it could not be moved: " + f.text() + ")"};
    }
}

void Scheduler::keepLeftOver(int fixedSlot)
{
    const WorkingTakes working(library_);
    const QString native = working.fileNative(fixedSlot);
    int rate = 0;
    const int64_t frames = audioFrames(native, &rate);
    // A header with nothing after it is no take.
    if (frames == 0 && QFile::remove(native))
        return;
    // Named after the event that records into the slot, when there is one.
    QString name = QString("SLOT %1 TAKE").arg(fixedSlot);
    for (const RecordEvent& e : events_.all()) {
        if (e.destination == schedule::Destination::FixedSlot && e.fixedSlot == fixedSlot) {
            name = e.name;
            break;
        }
    }
    const QString path = working.filePath(fixedSlot);
    const Kept kept =
        keepWorkingTake(fixedSlot, std::max<int64_t>(frames, 0), rate, QFileInfo(native).lastModified().date(), name);
    const QString text = QString("A take for slot %1 was found in %2, left by a program that ended during it; it was "
                                 "kept %3. Slot %1 keeps its own take.")
                             .arg(fixedSlot)
                             .arg(path, kept.where);
    if (gathering_)
        gathered_ << text;
    else
        tell(text);
}

void Scheduler::recoverWorkingTake(RecordRun run)
{
    // Written to its fixed slot's working file, which it never replaced (a take cut off
    // replaces no fixed slot): kept with what it holds.
    const int fixedSlot = run.slot;
    const QString native = WorkingTakes(library_).fileNative(fixedSlot);
    int fileRate = 0;
    const int64_t frames = audioFrames(native, &fileRate);
    const int rate = run.sampleRate > 0 ? run.sampleRate : fileRate;
    run.lengthFrames = std::max<int64_t>(frames, 0);
    run.result = RunResult::Interrupted;
    if (frames == 0 && QFile::remove(native)) {
        run.slot = 0;
        run.detail = QString("The program ended during the take; nothing of it could be kept. Slot %1 keeps its take.")
                         .arg(fixedSlot);
        saveRun(run);
        return;
    }
    const auto event = events_.find(run.eventId.value_or(0));
    const Occurrence o{QDate(), run.scheduledStartMs, run.scheduledStartMs, false};
    const QString name = event ? takeName(*event, o) : run.eventName;
    const Kept kept = keepWorkingTake(fixedSlot, run.lengthFrames, rate,
                                      localDay(run.firstSampleMs.value_or(run.scheduledStartMs)), name);
    run.slot = kept.slot;
    run.detail = (frames > 0 ? QString("The program ended during the take; the %1 s it holds were kept %2.")
                                   .arg(rate > 0 ? frames / rate : 0)
                                   .arg(kept.where)
                             : QString("The program ended during the take; its file, which could not be read, was "
                                       "kept %1.")
                                   .arg(kept.where)) +
                 QString(" Slot %1 keeps its take.").arg(fixedSlot);
    saveRun(run);
    if (frames > 0) {
        // Its figures, read back as for any take.
        RecordEvent asRun;
        asRun.id = run.eventId.value_or(0);
        asRun.name = run.eventName;
        check(run, asRun, kept.native);
    }
}

bool Scheduler::holds(int slot) const
{
    if (slot <= 0)
        return false;
    if (active_ && active_->writing && recording_.slot() == slot)
        return true;
    return std::any_of(checks_.begin(), checks_.end(),
                       [slot](const Check& c) { return c.slot == slot || c.target == slot; });
}

void Scheduler::finishChecks()
{
    while (!checks_.empty()) {
        jobs::Job* j = checks_.front().job.get();
        j->finish();
        std::erase_if(checks_, [j](const Check& c) { return c.job.get() == j; });
    }
}

std::optional<schedule::EventTiming::EventStart> Scheduler::next() const
{
    return planner_.next(nowMs());
}

std::optional<RecordEvent> Scheduler::recording() const
{
    if (!active_)
        return std::nullopt;
    return active_->take.event;
}

bool Scheduler::recordNow(qint64 eventId)
{
    const auto event = events_.find(eventId);
    if (!event)
        return false;
    if (active_ || recording_.state() != RecordingSession::State::Idle) {
        tell("\"" + event->name + "\" cannot be recorded now: the input is taken.");
        return false;
    }
    const qint64 now = nowMs();
    const Occurrence o{localDay(now), now, now + qint64(event->plannedSeconds()) * 1000, false};
    carryOut(TakePlanner::opening(Take{*event, o, false}, now), now);
    return active_.has_value();
}

} // namespace tamblor
