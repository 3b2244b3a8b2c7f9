#include "studio/Scheduler.h"
#include "core/Core.h"
#include "core/DeviceChoice.h"
#include "core/SharedState.h"
#include "audio/format/SndFileReader.h"
#include "audio/files/Normalize.h"
#include "audio/jobs/Job.h"
#include "audio/devices/AudioBackend.h"
#include "library/SoundLibrary.h"
#include "studio/RecordingSession.h"
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

// Said of a run of a fixed-slot event whose take did not replace the slot's.
QString keepsItsTake(int fixedSlot, int slot)
{
    return QString(" Slot %1 keeps its take; this one is in slot %2.").arg(fixedSlot).arg(slot);
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
    for (RecordRun run : runs_.underWay()) {
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
            check(run, event, run.slot);
        }
    }

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
    if (!recording_.armForClock("the record event \"" + take.event.name + "\" holds the input until " +
                                timeText(o.endMs))) {
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
    lastTiming_ = Timing{a.dueAsWorkedOut, recording_.writer().firstSampleWritten(), a.channels, a.framesAsked, frames};
    if (ending == E::LengthReached && recording_.input().isCapturing())
        followOn_ = FollowOn{a.input, a.take.occurrence.endMs,
                             recording_.writer().firstSampleWritten() + quint64(frames) * quint64(a.channels)};
    run.lengthFrames = frames;
    run.slot = frames > 0 ? slot : 0;
    const QString kept = frames > 0
                             ? QString(" The %1 s recorded were kept in slot %2.").arg(double(frames) / a.rate, 0, 'f', 1).arg(slot)
                             : QString(" Nothing was recorded.");
    switch (ending) {
    case E::LengthReached:
    {
        const auto [result, detail] = TakePlanner::resultInFull(a.take, run.firstSampleMs.value_or(0));
        run.result = result;
        run.detail = detail;
        break;
    }
    case E::WriteFailed:
        run.result = RunResult::DiskFull;
        run.detail = "The disk filled during the take." + kept;
        break;
    case E::DeviceLost:
        run.result = RunResult::Short;
        run.detail = "The input failed during the take." + kept;
        break;
    case E::ProgramEnded:
        run.result = RunResult::Short;
        run.detail = "The program ended during the take." + kept;
        break;
    case E::SizeLimit:
        run.result = RunResult::Short;
        run.detail = "The sound file reached the largest size a wave file can have." + kept;
        break;
    default:
        run.result = RunResult::Short;
        run.detail = "The take was stopped before its end." + kept;
        break;
    }
    if (frames > 0) {
        try {
            library_.rename(slot, a.name);
        } catch (const Failure& f) {
            tell(SoundLibrary::indexFailureText(f));
        }
    }
    if (a.take.event.destination == schedule::Destination::FixedSlot && frames > 0 && *run.result != RunResult::OK)
        run.detail += keepsItsTake(a.take.event.fixedSlot, slot);
    saveRun(run);
    emit changed();
    if (frames > 0 && !app_.isEnding())
        check(run, a.take.event, slot);
}

void Scheduler::check(RecordRun run, const RecordEvent& event, int slot)
{
    const QString path = library_.slotFileNative(slot);
    const bool replace = event.destination == schedule::Destination::FixedSlot && *run.result == RunResult::OK &&
                         event.fixedSlot != slot && event.fixedSlot >= 1 && event.fixedSlot <= RecordEvent::MaxSlot;
    const QString target = replace ? library_.slotFileNative(event.fixedSlot) : QString();
    double silenceBelow = TakeReading::SilentBelowDbfs;
    try {
        silenceBelow = ProgramSettings(app_.drives()).loudness().silenceThresholdDbfs;
    } catch (const Failure&) {
        // The settings cannot be read: the longest silence is that below the Silent level.
    }
    auto job = std::make_unique<jobs::Job>();
    jobs::Job* j = job.get();
    checks_.push_back(Check{std::move(job), slot, replace ? event.fixedSlot : 0});
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
    j->start([this, path, replace, target, run, event, good, silenceBelow](jobs::JobControl& control) {
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
        bool replaced = false;
        if (replace && usable) {
            SafeReplace copy(target);
            NativeFile& out = copy.create();
            NativeFile in = NativeFile::open(path, NativeFile::Mode::Read);
            out.copyFrom(in, 0, 0, in.size());
            in.close();
            copy.commit();
            replaced = true;
        }
        store::TakeFigures figures = kept.figures();
        if (const auto key = store::TakeFiguresStore::keyOf(replaced ? target : path)) {
            figures.fileSize = key->size;
            figures.fileMtimeMs = key->mtimeMs;
        }
        RecordRun done = run;
        done.detail += after;
        control.post([this, done, event, asRecorded, figures, replaced] {
            applyCheck(done, event, asRecorded, figures, replaced);
        });
    });
}

void Scheduler::applyCheck(RecordRun run, const RecordEvent& event, const TakeReading& c, store::TakeFigures figures,
                           bool fixedDone)
{
    const bool fixed = event.destination == schedule::Destination::FixedSlot;
    // A take that was not OK already says that the fixed slot kept its own (see sessionEnded).
    const bool keepingSaid = fixed && run.result != RunResult::OK;
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
    if (fixed && !fixedDone && !keepingSaid && run.result != RunResult::OK && run.slot != event.fixedSlot)
        run.detail += keepsItsTake(event.fixedSlot, run.slot);
    run.detail = run.detail.trimmed();
    // The take's figures, for the slot that holds it in the end; a fixed slot given this take
    // lets go of the figures of the one it held.
    figures.slot = fixedDone ? event.fixedSlot : run.slot;
    figures.measuredAtMs = nowMs();
    try {
        run.figuresId = figures_.storeNewTake(figures);
    } catch (const Failure& f) {
        tell("The figures of the take of \"" + run.eventName + "\" could not be stored: " + f.text());
    }
    try {
        if (fixedDone) {
            const int from = run.slot;
            IndexRecord done = SoundLibrary::completedRecord(
                event.fixedSlot, int(std::lround(double(c.frames) / std::max(1, c.sampleRate))),
                localDay(run.firstSampleMs.value_or(run.scheduledStartMs)));
            const std::optional<IndexRecord> taken = library_.read(from);
            done.setSoundName(taken ? taken->SoundName.trimmed() : event.name);
            library_.write(event.fixedSlot, done);
            library_.release(from);
            library_.removeSoundFile(from);
            run.slot = event.fixedSlot;
        }
    } catch (const Failure& f) {
        tell(SoundLibrary::indexFailureText(f));
    }
    saveRun(run);
    emit changed();
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
