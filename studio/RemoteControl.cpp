#include "studio/RemoteControl.h"
#include "core/Core.h"
#include "core/ProgramSettings.h"
#include "library/SoundLibrary.h"
#include "remote/Ports.h"
#include "store/LineEventStore.h"
#include "studio/PlaybackSession.h"
#include "studio/SilenceAlarm.h"
#include <QFileInfo>

namespace tamblor {

using remote::InputFunction;
using remote::LineEvent;
using remote::OutputFunction;

RemoteControl::Choice RemoteControl::choiceOf(int value)
{
    switch (value) {
    case 1: return Choice::Parallel;
    case 2: return Choice::PrairieDigital;
    case 3: return Choice::Serial;
    default: return Choice::Off;
    }
}

RemoteControl::RemoteControl(Core& app, SoundLibrary& library, RecordingSession& recording,
                             PlaybackSession& playback, SilenceAlarm& alarm, store::LineEventStore& log,
                             QObject* parent)
    : QObject(parent), app_(app), library_(library), recording_(recording), playback_(playback), log_(log),
      opener_([](const remote::LineMap& map) { return remote::makeDevicePort(map); }),
      lines_([this](const remote::LineMap& map) { return opener_(map); })
{
    connect(&lines_, &remote::LineWatch::event, this, &RemoteControl::onEvent);
    connect(&lines_, &remote::LineWatch::problemChanged, this, [this] {
        updateProblem();
        emit linesChanged();
    });
    connect(&recording_, &RecordingSession::stateChanged, this, [this] { updateTally(); });
    connect(&recording_, &RecordingSession::pausedChanged, this, [this] { updateTally(); });
    connect(&playback_, &PlaybackSession::ended, this, [this] { lines_.pulseOutput(OutputFunction::Eom); });
    connect(&alarm, &SilenceAlarm::raised, this, [this] { lines_.setOutput(OutputFunction::Alarm, true); });
    connect(&alarm, &SilenceAlarm::cleared, this, [this] { lines_.setOutput(OutputFunction::Alarm, false); });
    connect(&app_, &Core::programEnded, this, [this] {
        timer_.stop();
        lines_.stop();
    });
    timer_.setInterval(PollMs);
    connect(&timer_, &QTimer::timeout, this, &RemoteControl::poll);
}

RemoteControl::~RemoteControl()
{
    timer_.stop();
    lines_.blockSignals(true);
    lines_.stop();
}

void RemoteControl::setTimerRunning(bool running)
{
    timerWanted_ = running;
    if (running && lines_.started())
        timer_.start();
    else
        timer_.stop();
}

void RemoteControl::applySettings()
{
    choice_ = choiceOf(app_.state().RemoteControl);
    if (choice_ == Choice::PrairieDigital)
        app_.notices().raise(PrairieNoticeKey, "remote",
                             "The Prairie Digital Model 30 card is not supported on this machine: nothing documents "
                             "how to read it. Choose \"Serial\" in the preferences and wire the contacts to a serial "
                             "port's modem lines (see the help text on wiring).");
    else
        app_.notices().clear(PrairieNoticeKey);

    if (choice_ != Choice::Parallel && choice_ != Choice::Serial) {
        const bool was = lines_.started();
        timer_.stop();
        lines_.stop();
        stopDueUs_ = -1;
        updateProblem();
        if (was)
            emit linesChanged();
        return;
    }
    const auto kind = choice_ == Choice::Parallel ? remote::LinePort::Kind::Parallel : remote::LinePort::Kind::Serial;
    const remote::LineMap map = ProgramSettings(app_.drives()).remoteLines(kind);
    if (lines_.started() && lines_.map() == map)
        return;
    lines_.start(map);
    updateTally();
    updateProblem();
    if (timerWanted_)
        timer_.start();
    emit linesChanged();
}

void RemoteControl::poll()
{
    lines_.poll();
    if (stopDueUs_ >= 0 && lines_.nowUs() >= stopDueUs_) {
        stopDueUs_ = -1;
        if (recording_.writingNow() || recording_.paused())
            recording_.handle(RecordingSession::Event::Stop);
    }
}

void RemoteControl::updateProblem()
{
    const auto problem = lines_.started() ? lines_.problem() : std::nullopt;
    if (problem)
        app_.notices().raise(NoticeKey, "remote", problem->text(), problem->port, Notice::Severity::Error);
    else
        app_.notices().clear(NoticeKey);
}

void RemoteControl::updateTally() { lines_.setOutput(OutputFunction::Tally, recording_.writingNow()); }

void RemoteControl::onEvent(const LineEvent& event)
{
    QString action;
    try {
        action = act(event);
    } catch (const Failure& f) {
        action = "failed: " + f.text();
        app_.notices().fail("remote", f);
    }
    log(event, action);
    emit acted(event, action);
    emit linesChanged();
}

QString RemoteControl::act(const LineEvent& e)
{
    if (e.kind == LineEvent::Kind::Ignored)
        return QStringLiteral("ignored: a pulse of %1 ms, shorter than the debounce")
            .arg(double(e.pulseUs) / 1000.0, 0, 'f', 1);
    const bool closed = e.kind == LineEvent::Kind::Closed;
    if (e.function == InputFunction::Play)
        return play(closed);
    if (recording_.clocked())
        return QStringLiteral("nothing: a record event's take holds the recorder");
    const auto mode = RecordingSession::startModeOf(app_.state().RecordStartMode);
    if (mode != RecordingSession::StartMode::Momentary && mode != RecordingSession::StartMode::Continuous)
        return QStringLiteral("nothing: the record start mode is neither Momentary nor Continous");
    if (e.function == InputFunction::Stop) {
        if (mode != RecordingSession::StartMode::Momentary)
            return QStringLiteral("nothing: in Continous mode the operator's Stop ends the take");
        return closed ? stop() : QStringLiteral("nothing");
    }
    if (mode == RecordingSession::StartMode::Momentary)
        return closed ? record(true) : QStringLiteral("nothing");
    return record(closed);
}

QString RemoteControl::startTake()
{
    using State = RecordingSession::State;
    if (recording_.state() == State::Idle) {
        recording_.handle(RecordingSession::Event::Press); // arms as a press does
        if (recording_.state() != State::Armed)
            return "refused: " + recording_.refusal();
        if (!recording_.startWritingNow())
            return QStringLiteral("refused: the take could not start");
        return QStringLiteral("armed and started slot %1").arg(recording_.slot());
    }
    if (recording_.state() == State::Armed) {
        if (!recording_.startWritingNow())
            return QStringLiteral("refused: the take could not start");
        return QStringLiteral("started slot %1").arg(recording_.slot());
    }
    return QString();
}

QString RemoteControl::record(bool closed)
{
    const auto mode = RecordingSession::startModeOf(app_.state().RecordStartMode);
    if (closed) {
        stopDueUs_ = -1; // a stop waiting for its delay is called off
        const QString started = startTake();
        if (!started.isEmpty())
            return started;
        if (mode == RecordingSession::StartMode::Continuous && recording_.paused()) {
            recording_.resumeWriting();
            return QStringLiteral("went on with slot %1").arg(recording_.slot());
        }
        return QStringLiteral("nothing: already recording");
    }
    // Continuous: open pauses.
    if (recording_.writingNow()) {
        recording_.pauseWriting();
        return QStringLiteral("paused slot %1").arg(recording_.slot());
    }
    return QStringLiteral("nothing");
}

QString RemoteControl::stop()
{
    using State = RecordingSession::State;
    if (recording_.state() == State::Idle)
        return QStringLiteral("nothing: no take");
    if (recording_.state() == State::Armed) {
        recording_.handle(RecordingSession::Event::Stop);
        return QStringLiteral("freed the armed slot");
    }
    const int delay = app_.state().StopDelay;
    if (delay > 0) {
        stopDueUs_ = lines_.nowUs() + int64_t(delay) * 1000000;
        return QStringLiteral("stops slot %1 in %2 s").arg(recording_.slot()).arg(delay);
    }
    const int slot = recording_.slot();
    recording_.handle(RecordingSession::Event::Stop);
    return QStringLiteral("stopped slot %1").arg(slot);
}

QString RemoteControl::play(bool closed)
{
    if (!closed) {
        if (!playback_.isPlaying())
            return QStringLiteral("nothing: not playing");
        playback_.handle(PlaybackSession::Event::Stop);
        return QStringLiteral("stopped the player");
    }
    const int slot = selectedSlot_;
    if (slot <= 0)
        return QStringLiteral("nothing: no slot selected");
    if (library_.record(slot).Status != SlotStatus::Used)
        return QStringLiteral("nothing: slot %1 holds no sound file").arg(slot);
    const QString file = library_.slotFileNative(slot);
    if (QFileInfo(file).size() == 0)
        return QStringLiteral("nothing: the sound file of slot %1 does not exist").arg(slot);
    if (playback_.isPlaying())
        playback_.handle(PlaybackSession::Event::Stop); // from the start, also after a pause
    playback_.setFile(file);
    playback_.handle(PlaybackSession::Event::Play);
    return playback_.isPlaying() ? QStringLiteral("played slot %1").arg(slot)
                                 : QStringLiteral("refused: slot %1 could not be played").arg(slot);
}

void RemoteControl::log(const LineEvent& e, const QString& action)
{
    store::LineEventRow row;
    // The edge's time on the wall clock: now, less how long ago it was on the lines' clock.
    row.at = app_.clock().now().addMSecs(-(lines_.nowUs() - e.atUs) / 1000);
    row.port = lines_.map().port;
    row.line = e.line;
    row.function = QString::fromLatin1(remote::name(e.function));
    row.edge = QString::fromLatin1(LineEvent::name(e.kind));
    if (e.kind == LineEvent::Kind::Ignored)
        row.pulseMs = double(e.pulseUs) / 1000.0;
    row.action = action;
    try {
        log_.add(row);
    } catch (const Failure& f) {
        app_.notices().fail("database", f);
    }
}

QString RemoteControl::stateText() const
{
    if (!lines_.started())
        return choice_ == Choice::PrairieDigital ? QStringLiteral("Remote lines: Prairie Digital is not supported")
                                                 : QStringLiteral("Remote lines: off");
    QString text = "Remote lines: " + lines_.map().port;
    if (const auto p = lines_.problem())
        return text + " - " + QString::fromLatin1(remote::PortProblem::causeName(p->cause));
    if (!lines_.isOpen())
        return text + " - opening";
    for (int f = 0; f < remote::InputFunctions; ++f) {
        const auto function = InputFunction(f);
        if (!lines_.wired(function))
            continue;
        text += QStringLiteral("  %1 (%2) %3")
                    .arg(QString::fromLatin1(remote::name(function)), lines_.lineName(function),
                         lines_.closed(function) ? QStringLiteral("closed") : QStringLiteral("open"));
    }
    return text;
}

} // namespace tamblor
