#include "library/session/RecordingSession.h"
#include "app/Application.h"
#include "app/TimeText.h"
#include "library/SlotIndex.h"
#include "platform/Failure.h"
#include "platform/NumericText.h"

namespace tamblor {

namespace {

// Seconds from `from` to `to`, both seconds since midnight, across one midnight.
int32_t secondsBetween(int32_t from, int32_t to)
{
    int32_t s = to - from;
    if (s < 0)
        s += 86400;
    return s;
}

} // namespace

RecordingSession::RecordingSession(Application& app, SlotIndex& index, QObject* parent)
    : QObject(parent), app_(app), index_(index),
      input_(std::make_unique<audio::InputDevice>(app.audio())),
      writer_(std::make_unique<audio::RecordingWriter>(*input_))
{
    connect(writer_.get(), &audio::RecordingWriter::writeFailed, this, [this](int number, const QString& text) {
        app_.showMessage(Failure(number, text).text());
        handle(Event::WriteFailure);
    });
    connect(writer_.get(), &audio::RecordingWriter::limitReached, this, [this] {
        handle(Event::LimitReached);
        app_.showMessage("The sound file reached the largest size a wave file can have (4 GB). "
                         "The recording was stopped there and kept.");
    });
    connect(&app_, &Application::programEnding, this, [this] {
        try {
            handle(Event::ProgramEnding);
        } catch (const Failure&) {
            // The program ends; the file is closed and its slot stays reserved for the next start.
        }
    });
}

RecordingSession::~RecordingSession()
{
    // Nobody listens any more; the take is still kept.
    blockSignals(true);
    try {
        handle(Event::ProgramEnding);
    } catch (...) {
        // The file is closed below; the slot stays reserved and is completed at the next start.
    }
}

const char* RecordingSession::name(State s)
{
    switch (s) {
    case State::Idle: return "Idle";
    case State::Armed: return "Armed";
    case State::Writing: return "Writing";
    case State::WritingOn: return "WritingOn";
    }
    return "?";
}

const char* RecordingSession::name(Event e)
{
    switch (e) {
    case Event::Press: return "Press";
    case Event::LoudBuffer: return "LoudBuffer";
    case Event::Tick: return "Tick";
    case Event::Stop: return "Stop";
    case Event::DeviceFailure: return "DeviceFailure";
    case Event::WriteFailure: return "WriteFailure";
    case Event::LimitReached: return "LimitReached";
    case Event::WindowClosing: return "WindowClosing";
    case Event::ProgramEnding: return "ProgramEnding";
    }
    return "?";
}

SharedState& RecordingSession::st() { return app_.state(); }

void RecordingSession::applySettings()
{
    static const int rates[] = {8000, 11025, 22050, 44100, 22050, 44100};
    const SharedState& s = st();
    input_->setDeviceId(s.RecordDevice);
    if (s.FormatIndex >= 0 && s.FormatIndex <= 5) {
        input_->setSampleRate(rates[s.FormatIndex]);
        // Formats 4 and 5 are Microsoft ADPCM.
        writer_->setEncoding(s.FormatIndex >= 4 ? audio::RecordingWriter::Encoding::MsAdpcm
                                                : audio::RecordingWriter::Encoding::Pcm16);
    }
    if (s.ChannelMode == 0 || s.ChannelMode == 1)
        input_->setMode(s.ChannelMode);
}

void RecordingSession::setState(State s)
{
    const State previous = state_;
    state_ = s;
    switch (s) {
    case State::Idle:
        st().RecordState = 0;
        break;
    case State::Armed:
        st().RecordState = 1;
        break;
    case State::Writing:
        st().RecordState = 2;
        break;
    case State::WritingOn:
        st().RecordState = int16_t(std::min<int>(st().RecordState + 1, INT16_MAX));
        break;
    }
    emit stateChanged(s, previous);
}

void RecordingSession::handle(Event e)
{
    switch (state_) {
    case State::Idle:
        switch (e) {
        case Event::Press:
            if (!arm())
                setState(State::Idle); // refused: the view shows the idle window again
            else if (st().RecordStartMode == 0)
                startWriting(-1); // start mode Off: writing starts at once
            break;
        case Event::Stop:
            setState(State::Idle); // the view shows the stopped button again
            break;
        case Event::LoudBuffer:
        case Event::Tick:
        case Event::DeviceFailure:
        case Event::WriteFailure:
        case Event::LimitReached:
        case Event::WindowClosing:
        case Event::ProgramEnding:
            break;
        }
        break;

    case State::Armed:
        switch (e) {
        case Event::Press:
            startWriting(-1);
            break;
        case Event::LoudBuffer:
            startWriting(triggerSequence_); // writing starts with that very buffer
            break;
        case Event::Tick:
            if (inputLost())
                handle(Event::DeviceFailure);
            break;
        case Event::DeviceFailure: {
            const QString text = failureText(Failure(Failure::DeviceIOError));
            abandon(); // nothing was written
            app_.showMessage(text);
            break;
        }
        case Event::Stop:
        case Event::WindowClosing:
        case Event::ProgramEnding:
            abandon(); // an armed slot holds nothing: it is freed
            break;
        case Event::WriteFailure:
        case Event::LimitReached:
            break;
        }
        break;

    case State::Writing:
    case State::WritingOn:
        switch (e) {
        case Event::Press:
            setState(State::WritingOn); // writing goes on
            break;
        case Event::Tick:
            if (inputLost())
                handle(Event::DeviceFailure);
            else if (state_ == State::Writing)
                tickWriting();
            break;
        case Event::DeviceFailure: {
            // The take ends with what was captured; its length is that of the file.
            const QString text = failureText(Failure(Failure::DeviceIOError));
            finish(true);
            app_.showMessage(text);
            break;
        }
        case Event::WriteFailure:
        case Event::LimitReached:
            finish(true);
            break;
        case Event::Stop:
        case Event::WindowClosing:
        case Event::ProgramEnding:
            finish(false); // every captured sample is written; the take is kept
            break;
        case Event::LoudBuffer:
            break;
        }
        break;
    }
}

void RecordingSession::buffer(qint64 sequence, int left, int right)
{
    levelLeft_ = left;
    levelRight_ = right;
    const int32_t threshold = st().VoxThreshold;
    // Buffers of an earlier capture may still be on their way; they never start a take.
    if (state_ == State::Armed && sequence > armSequence_ && automatic_ &&
        (left > threshold || right > threshold)) {
        st().LastLevelTime = app_.clock().secondsSinceMidnight();
        triggerSequence_ = sequence;
        try {
            handle(Event::LoudBuffer);
        } catch (...) {
            triggerSequence_ = -1;
            throw;
        }
        triggerSequence_ = -1;
    }
}

bool RecordingSession::arm()
{
    SharedState& s = st();
    if (!index_.chooseFreeSlot()) {
        app_.showMessage(SlotIndex::LimitMessage);
        return false;
    }
    try {
        index_.reserveCurrentSlot(); // also removes any old file of the slot
        s.SoundPath = index_.slotFilePath(s.CurrentSlot);
        writer_->setFileName(app_.drives().toNative(s.SoundPath));
        armSequence_ = input_->lastSequence();
        input_->start();
    } catch (const Failure& f) {
        // Nothing is left half armed: the device is closed and the slot is free again.
        input_->release();
        try {
            index_.release(s.CurrentSlot);
        } catch (const Failure&) {
            // The index refused the reservation already; the first failure is the one shown.
        }
        app_.showMessage(f.text());
        return false;
    }
    setState(State::Armed);
    emit slotReserved(s.CurrentSlot);
    return true;
}

bool RecordingSession::startWriting(qint64 fromSequence)
{
    try {
        writer_->setEnabled(true, fromSequence);
    } catch (const Failure& f) {
        // The file cannot be created: the take is abandoned and the slot freed.
        abandon();
        app_.showMessage(f.text());
        return false;
    }
    startTime_ = app_.clock().secondsSinceMidnight();
    // Quiet is counted from the start at the earliest, also when the take was started by hand
    // with "Auto Start" ticked.
    st().LastLevelTime = startTime_;
    setState(State::Writing);
    return true;
}

void RecordingSession::tickWriting()
{
    SharedState& s = st();
    const int32_t now = app_.clock().secondsSinceMidnight();
    if (automatic_ && (levelLeft_ > s.VoxThreshold || levelRight_ > s.VoxThreshold))
        s.LastLevelTime = now;

    s.Seconds = secondsBetween(startTime_, now);
    SecondsToTimeText(s);
    emit elapsedChanged(s.TimeText);

    // Both channels quiet: stop, after StopDelay seconds of quiet when a delay is set.
    if (automatic_ && levelLeft_ < s.VoxThreshold && levelRight_ < s.VoxThreshold) {
        if (s.StopDelay <= 0 || secondsBetween(s.LastLevelTime, now) >= s.StopDelay)
            finish(false);
    }
}

bool RecordingSession::inputLost() { return input_->lost(TickMs); }

QString RecordingSession::failureText(const Failure& f) const
{
    QString device;
    try {
        device = input_->deviceName(input_->deviceId());
    } catch (const Failure&) {
        device = QString::number(input_->deviceId());
    }
    return f.text() + " (recording device \"" + device + "\")";
}

void RecordingSession::closeInput()
{
    // The rest of the input is processed and written before the device closes.
    writer_->setEnabled(false);
    input_->stop();
    input_->release();
    levelLeft_ = levelRight_ = 0;
}

void RecordingSession::finish(bool lengthFromFile)
{
    SharedState& s = st();
    closeInput();
    if (lengthFromFile && writer_->framesWritten() == 0) {
        // The take failed before its first frame: it leaves no entry and no empty file.
        try {
            index_.removeSoundFile(s.CurrentSlot);
        } catch (const Failure&) {
            // Left for the next take of this slot, which removes any old file first.
        }
        abandon();
        return;
    }
    const Clock& clock = app_.clock();
    try {
        if (lengthFromFile) {
            const int rate = std::max(1, writer_->fileFormat().sampleRate);
            const int32_t seconds = toInt32(double(writer_->framesWritten()) / double(rate));
            index_.completeSlot(s.CurrentSlot, seconds, clock.now().date());
        } else {
            index_.completeCurrentSlot(startTime_, clock.secondsSinceMidnight(), clock.now().date());
        }
        s.SlotText = QString::number(s.CurrentSlot).rightJustified(3, ' ');
        emit takeCompleted(s.CurrentSlot);
    } catch (...) {
        setState(State::Idle);
        throw;
    }
    setState(State::Idle);
}

void RecordingSession::abandon()
{
    closeInput();
    try {
        index_.release(st().CurrentSlot);
    } catch (...) {
        setState(State::Idle);
        throw;
    }
    setState(State::Idle);
}

} // namespace tamblor
