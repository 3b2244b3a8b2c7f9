#include "studio/RecordingSession.h"
#include "core/Core.h"
#include "core/RecordingFormats.h"
#include "core/TimeText.h"
#include "library/SoundLibrary.h"
#include "platform/CodePage.h"
#include "library/WorkingTakes.h"
#include <QFile>
#include <QFileInfo>
#include "platform/Failure.h"
#include "platform/NumericText.h"

namespace tamblor {

RecordingSession::RecordingSession(Core& app, SoundLibrary& library, QObject* parent)
    : QObject(parent), app_(app), library_(library),
      input_(std::make_unique<audio::InputDevice>(app.audio())),
      writer_(std::make_unique<audio::RecordingWriter>(*input_))
{
    // The input's buffers move the take whether or not a window shows it.
    connect(input_.get(), &audio::InputDevice::bufferFilled, this, [this](qint64 sequence, int left, int right) {
        reportFailure([&] { buffer(sequence, left, right); });
    });
    connect(input_.get(), &audio::InputDevice::captureEnded, this, [this] {
        // The end of an earlier capture can arrive after a new one has started: leave that open.
        if (!input_->isCapturing())
            input_->release();
    });
    connect(writer_.get(), &audio::RecordingWriter::writeFailed, this, [this](int number, const QString& text) {
        const QString file = takeFilePath();
        app_.notices().fail("recording", Failure(number, text), Failure(number, text).text() + " (" + file + ")", file);
        reportFailure([this] { handle(Event::WriteFailure); });
    });
    connect(writer_.get(), &audio::RecordingWriter::limitReached, this, [this] {
        app_.notices().tell("recording",
                            "The sound file reached the largest size a wave file can have (4 GB). "
                            "The recording was stopped there and kept.",
                            Notice::Severity::Warning, takeFilePath());
        reportFailure([this] { handle(Event::LimitReached); });
    });
    connect(writer_.get(), &audio::RecordingWriter::lengthReached, this, [this] {
        lengthReached_ = true;
        reportFailure([this] { handle(Event::LimitReached); });
    });
    connect(&app_, &Core::programEnding, this, [this] {
        try {
            handle(Event::ProgramEnding);
        } catch (const Failure&) {
            // The program ends; the file is closed and its slot stays reserved for the next start.
        }
    });
}

void RecordingSession::reportFailure(const std::function<void()>& step)
{
    try {
        step();
    } catch (const Failure& f) {
        app_.notices().fail("recording", f);
    } catch (const std::exception& e) {
        app_.notices().tell("recording", QString::fromLocal8Bit(e.what()), Notice::Severity::Error);
    }
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

RecordingSession::StartMode RecordingSession::startModeOf(int settingsValue)
{
    switch (settingsValue) {
    case 1: return StartMode::Vox;
    case 2: return StartMode::Momentary;
    case 3: return StartMode::Continuous;
    default: return StartMode::Off;
    }
}

void RecordingSession::setAutomatic(bool automatic)
{
    if (automatic_ == automatic)
        return;
    automatic_ = automatic;
    emit automaticChanged(automatic);
}

void RecordingSession::applyInput(int device, int formatIndex, int channelMode)
{
    if (checking_) {
        // The check keeps its input; these are the settings once it ends.
        beforeCheck_.device = device;
        if (isRecordingFormat(formatIndex))
            beforeCheck_.rate = RecordingFormats[size_t(formatIndex)].rate;
        if (channelMode == 0 || channelMode == 1)
            beforeCheck_.mode = channelMode;
    } else {
        input_->setDeviceId(device);
        if (isRecordingFormat(formatIndex))
            input_->setSampleRate(RecordingFormats[size_t(formatIndex)].rate);
        if (channelMode == 0 || channelMode == 1)
            input_->setMode(channelMode);
    }
    if (isRecordingFormat(formatIndex)) {
        const RecordingFormat& format = RecordingFormats[size_t(formatIndex)];
        writer_->setEncoding(format.adpcm ? audio::RecordingWriter::Encoding::MsAdpcm
                                          : audio::RecordingWriter::Encoding::Pcm16);
    }
}

bool RecordingSession::openForCheck(int device, int formatIndex, int channelMode)
{
    refusal_.clear();
    if (state_ != State::Idle) {
        refusal_ = clocked_ && !holder_.isEmpty() ? "The input cannot be checked now: " + holder_ + "."
                                                  : QStringLiteral("The input cannot be checked now: a take holds it.");
        return false;
    }
    if (input_->isCapturing() && !checking_) {
        refusal_ = QStringLiteral("The input cannot be checked now: it is kept running for the record event that follows.");
        return false;
    }
    endCheck();
    checkYielded_ = false;
    beforeCheck_ = {input_->deviceId(), input_->sampleRate(), input_->mode()};
    try {
        input_->setDeviceId(device);
        if (isRecordingFormat(formatIndex))
            input_->setSampleRate(RecordingFormats[size_t(formatIndex)].rate);
        if (channelMode == 0 || channelMode == 1)
            input_->setMode(channelMode);
        input_->start();
    } catch (const Failure& f) {
        input_->release();
        input_->setDeviceId(beforeCheck_.device);
        input_->setSampleRate(beforeCheck_.rate);
        input_->setMode(beforeCheck_.mode);
        refusal_ = failureText(f);
        return false;
    }
    checking_ = true;
    emit checkChanged(true);
    return true;
}

void RecordingSession::yieldCheck()
{
    if (!checking_)
        return;
    checkYielded_ = true;
    endCheck();
}

void RecordingSession::endCheck()
{
    if (!checking_)
        return;
    checking_ = false;
    input_->stop();
    input_->release();
    levelLeft_ = levelRight_ = 0;
    input_->setDeviceId(beforeCheck_.device);
    input_->setSampleRate(beforeCheck_.rate);
    input_->setMode(beforeCheck_.mode);
    emit levelsChanged(0, 0);
    emit checkChanged(false);
}

void RecordingSession::applySettings()
{
    const SharedState& s = st();
    applyInput(s.RecordDevice, s.FormatIndex, s.ChannelMode);
    // Automatic start follows the VOX start mode.
    setAutomatic(startModeOf(s.RecordStartMode) == StartMode::Vox);
}

bool RecordingSession::armForClock(const QString& holder, int32_t fixedSlot)
{
    refusal_.clear();
    if (state_ != State::Idle)
        return false;
    holder_ = holder;
    startMode_ = StartMode::Momentary;
    clocked_ = true;
    if (!arm(fixedSlot)) {
        clocked_ = false;
        setState(State::Idle);
        return false;
    }
    return true;
}

QString RecordingSession::takeFilePath() const
{
    return working_ ? WorkingTakes(library_).filePath(slot_) : library_.slotFilePath(slot_);
}

bool RecordingSession::startWritingFrom(quint64 firstSample, qint64 frames)
{
    if (state_ != State::Armed || !clocked_)
        return false;
    clockedFrames_ = frames;
    return beginWriting([&] { writer_->enableFromSample(firstSample, frames); });
}

bool RecordingSession::startWritingNow()
{
    if (state_ != State::Armed || clocked_)
        return false;
    const quint64 first = input_->samplesDelivered();
    return beginWriting([&] { writer_->enableFromSample(first, 0); });
}

void RecordingSession::pauseWriting()
{
    if (paused_ || clocked_ || stopping_ || (state_ != State::Writing && state_ != State::WritingOn))
        return;
    writer_->pause(qint64(input_->samplesDelivered()));
    paused_ = true;
    emit pausedChanged(true);
}

void RecordingSession::resumeWriting()
{
    if (!paused_ || stopping_ || (state_ != State::Writing && state_ != State::WritingOn))
        return;
    writer_->resume(qint64(input_->samplesDelivered()));
    paused_ = false;
    emit pausedChanged(false);
}

void RecordingSession::releaseKeptInput()
{
    yieldCheck();
    if (state_ == State::Idle)
        closeInput();
}

void RecordingSession::endClockedTake()
{
    if (!clocked_ || (state_ != State::Writing && state_ != State::WritingOn))
        return;
    closeInput(); // what the input delivered is written, and the file closed
    lastEnding_ = clockedFrames_ > 0 && writer_->framesWritten() >= clockedFrames_ ? Ending::LengthReached : Ending::Stopped;
    finish(true);
}

void RecordingSession::setState(State s)
{
    const State previous = state_;
    state_ = s;
    if (s == State::Idle || s == State::Armed) {
        stopping_ = false;
        const bool wasPaused = paused_;
        paused_ = false;
        if (wasPaused)
            emit pausedChanged(false);
    }
    if (s == State::Idle) {
        if (previous != State::Idle)
            endedOnClock_ = clocked_;
        clocked_ = false;
    }
    switch (s) {
    case State::Idle:
        recordState_ = 0;
        break;
    case State::Armed:
        recordState_ = 1;
        break;
    case State::Writing:
        recordState_ = 2;
        break;
    case State::WritingOn:
        recordState_ = std::min<int>(recordState_ + 1, INT16_MAX);
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
            startMode_ = modeChosen_.value_or(startModeOf(st().RecordStartMode));
            if (!arm())
                setState(State::Idle); // refused: the view shows the idle window again
            else if (startMode_ == StartMode::Off)
                startWriting(-1); // writing starts at once
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
            if (clocked_)
                refusePress();
            else
                startWriting(-1);
            break;
        case Event::LoudBuffer:
            startWriting(triggerSequence_); // writing starts with that very buffer
            break;
        case Event::Tick:
            lookAtInput();
            if (inputLost())
                handle(Event::DeviceFailure);
            break;
        case Event::DeviceFailure: {
            const QString text = failureText(Failure(Failure::DeviceIOError));
            lastEnding_ = Ending::DeviceLost;
            abandon(); // nothing was written
            app_.notices().fail("recording", Failure(Failure::DeviceIOError), text, input_->deviceLabel());
            break;
        }
        case Event::Stop:
        case Event::WindowClosing:
        case Event::ProgramEnding:
            lastEnding_ = e == Event::ProgramEnding ? Ending::ProgramEnded : Ending::Abandoned;
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
            if (clocked_)
                refusePress();
            else if (!stopping_)
                setState(State::WritingOn); // writing goes on
            break;
        case Event::Tick:
            lookAtInput();
            if (inputLost())
                handle(Event::DeviceFailure);
            else if (stopping_)
                continueStopping();
            else if (state_ == State::Writing)
                tickWriting();
            break;
        case Event::DeviceFailure: {
            // The take ends with what was captured; its length is that of the file.
            const QString text = failureText(Failure(Failure::DeviceIOError));
            lastEnding_ = Ending::DeviceLost;
            finish(true);
            app_.notices().fail("recording", Failure(Failure::DeviceIOError), text, input_->deviceLabel());
            break;
        }
        case Event::WriteFailure:
        case Event::LimitReached:
            lastEnding_ = e == Event::WriteFailure ? Ending::WriteFailed
                          : lengthReached_        ? Ending::LengthReached
                                                  : Ending::SizeLimit;
            finish(true);
            break;
        case Event::Stop:
        case Event::WindowClosing:
            if (stopping_)
                break; // it ends at the frame due at the first press
            lastEnding_ = Ending::Stopped;
            // The take ends with the frame due at the press: at once when the input has
            // delivered it, else once it has (a later tick or buffer).
            if (!stopAtPress())
                finish(false);
            break;
        case Event::ProgramEnding:
            // The program's end never waits for a late input: what it delivered is written.
            lastEnding_ = Ending::ProgramEnded;
            finish(false);
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
    emit levelsChanged(left, right);
    const int32_t threshold = st().VoxThreshold;
    // Buffers of an earlier capture may still be on their way; they never start a take.
    if (state_ == State::Armed && sequence > armSequence_ && automatic_ && !clocked_ &&
        (left > threshold || right > threshold)) {
        lastLevelTime_ = app_.clock().secondsSinceMidnight();
        triggerSequence_ = sequence;
        try {
            handle(Event::LoudBuffer);
        } catch (...) {
            triggerSequence_ = -1;
            throw;
        }
        triggerSequence_ = -1;
    }
    if (stopping_)
        continueStopping();
}

bool RecordingSession::arm(int32_t fixedSlot)
{
    yieldCheck(); // a take comes before a check of its input
    refusal_.clear();
    int32_t reserved = 0;
    try {
        QString file;
        if (fixedSlot > 0) {
            // Beside the library: no slot is reserved, and a file already there is another
            // take's, never written over.
            const WorkingTakes working(library_);
            file = working.fileNative(fixedSlot);
            if (QFileInfo::exists(file)) {
                refuse(Failure::FileAlreadyExists,
                       "An earlier take for slot " + QString::number(fixedSlot) + " is still in " +
                           working.filePath(fixedSlot) + ".");
                return false;
            }
            slot_ = fixedSlot;
            working_ = true;
        } else {
            reserved = library_.reserveFreeSlot(); // also removes any old file of the slot
            if (reserved == 0) {
                refuse(0, LibraryLayout::LimitMessage);
                return false;
            }
            slot_ = reserved;
            working_ = false;
            file = library_.slotFileNative(slot_);
        }
        takeName_.clear();
        lastEnding_ = Ending::None;
        lengthReached_ = false;
        keepInput_ = false;
        clockedFrames_ = 0;
        writer_->setFileName(file);
        armSequence_ = input_->lastSequence();
        input_->start();
        paceStartSample_ = input_->samplesDelivered();
        paceChannels_ = input_->channels();
        pace_.restart(input_->sampleRate(), 0);
    } catch (const Failure& f) {
        // Nothing is left half armed: the device is closed and the slot is free again.
        input_->release();
        if (reserved != 0) {
            try {
                library_.release(reserved);
            } catch (const Failure&) {
                // The index refused the reservation already; the first failure is the one shown.
            }
        }
        refuse(f.number(), f.text());
        return false;
    }
    elapsedText_ = secondsToTimeText(0);
    setState(State::Armed);
    emit slotReserved(slot_);
    return true;
}

bool RecordingSession::startWriting(qint64 fromSequence)
{
    return beginWriting([&] { writer_->setEnabled(true, fromSequence); });
}

bool RecordingSession::beginWriting(const std::function<void()>& enableWriter)
{
    try {
        enableWriter();
    } catch (const Failure& f) {
        // The file cannot be created: the take is abandoned and the slot freed.
        lastEnding_ = Ending::WriteFailed;
        abandon();
        app_.notices().fail("recording", f, takeFilePath());
        return false;
    }
    startTime_ = app_.clock().secondsSinceMidnight();
    startDate_ = app_.clock().now().date();
    // Quiet is counted from the start at the earliest, also when the take was started by hand
    // with "Auto Start" ticked.
    lastLevelTime_ = startTime_;
    setState(State::Writing);
    return true;
}

void RecordingSession::tickWriting()
{
    const SharedState& s = st();
    const int32_t now = app_.clock().secondsSinceMidnight();
    if (automatic_ && (levelLeft_ > s.VoxThreshold || levelRight_ > s.VoxThreshold))
        lastLevelTime_ = now;

    elapsedText_ = secondsToTimeText(secondsAcrossMidnight(startTime_, now));
    emit elapsedChanged(elapsedText_);

    // Both channels quiet: stop, after StopDelay seconds of quiet when a delay is set.
    if (automatic_ && !clocked_ && levelLeft_ < s.VoxThreshold && levelRight_ < s.VoxThreshold) {
        if (s.StopDelay <= 0 || secondsAcrossMidnight(lastLevelTime_, now) >= s.StopDelay)
            finish(false);
    }
}

bool RecordingSession::inputLost() { return input_->lost(TickMs); }

void RecordingSession::lookAtInput()
{
    const quint64 delivered = input_->samplesDelivered();
    if (!input_->isCapturing() || delivered < paceStartSample_)
        return;
    pace_.look((delivered - paceStartSample_) / quint64(paceChannels_), app_.clock().steadyMs());
}

bool RecordingSession::stopAtPress()
{
    // A paused take writes nothing more; an input that has not delivered yet has no pace.
    if (paused_ || !pace_.running() || !input_->isCapturing())
        return false;
    const qint64 now = app_.clock().steadyMs();
    // The input is looked at every tick; the frame due now is carried on from the look least
    // late. The count the input has delivered is the device callback's, up to date even when
    // this thread was held up: only sound still on its way makes it short.
    const quint64 due = pace_.dueAt(now);
    const quint64 delivered = (input_->samplesDelivered() - paceStartSample_) / quint64(paceChannels_);
    const quint64 late = quint64(input_->bufferFrames()) + quint64(input_->sampleRate()) * StopLateMs / 1000;
    if (due <= delivered + late)
        return false; // not behind: what it delivered is the take
    stopBeforeSample_ = paceStartSample_ + due * quint64(paceChannels_);
    writer_->endBeforeSample(stopBeforeSample_);
    stopping_ = true;
    stopDeadlineMs_ = now + StopWaitMs;
    return true;
}

void RecordingSession::continueStopping()
{
    if (!stopping_)
        return;
    const quint64 delivered = input_->samplesDelivered();
    if (delivered >= stopBeforeSample_) {
        finish(false); // the file ends with the frame due at the press
        return;
    }
    if (app_.clock().steadyMs() < stopDeadlineMs_)
        return;
    // The input is still behind: the take ends with what it delivered, and says what is missing.
    const double missing = double((stopBeforeSample_ - delivered) / quint64(paceChannels_)) /
                           double(std::max(1, input_->sampleRate()));
    const QString file = takeFilePath();
    finish(false);
    app_.notices().tell(QStringLiteral("recording"),
                        QStringLiteral("The input had not delivered its sound up to the press of Stop %1 s after it; "
                                       "the take ends with the last sound delivered, %2 s before the press.")
                            .arg(StopWaitMs / 1000)
                            .arg(missing, 0, 'f', 1),
                        Notice::Severity::Warning, file);
}

QString RecordingSession::failureText(const Failure& f) const
{
    return f.text() + " (recording device \"" + input_->deviceLabel() + "\")";
}

void RecordingSession::refusePress()
{
    // A take on a clock is never disturbed by a press: its length and its first frame are the
    // clock's.
    app_.notices().tell(QStringLiteral("recording"),
                        QStringLiteral("Record cannot start now: %1.")
                            .arg(holder_.isEmpty() ? QStringLiteral("a take on a clock holds the input") : holder_),
                        Notice::Severity::Warning);
}

void RecordingSession::refuse(int number, const QString& text)
{
    refusal_ = text;
    Notice n;
    n.source = QStringLiteral("recording");
    n.number = number;
    n.text = text;
    app_.notices().post(std::move(n));
}

void RecordingSession::closeInput()
{
    // The rest of the input is processed and written before the device closes.
    writer_->setEnabled(false);
    input_->stop();
    input_->release();
    levelLeft_ = levelRight_ = 0;
}

void RecordingSession::finish(bool ended)
{
    // The writer has closed a file that reached its length; the input may go on for the next.
    const bool keep = keepInput_ && clocked_ && lastEnding_ == Ending::LengthReached;
    keepInput_ = false;
    if (!keep)
        closeInput();
    if ((ended || working_) && writer_->framesWritten() == 0) {
        // The take failed before its first frame: it leaves no entry and no empty file.
        removeEmptyTake();
        abandon();
        return;
    }
    if (working_) {
        // The index is the take runner's to write once it knows where the take goes.
        setState(State::Idle);
        return;
    }
    const Clock& clock = app_.clock();
    // The index gives the length of the file, whatever the wall clock says: a card that takes a
    // second to deliver its first buffer after the press (a sound server on a freshly started
    // program) makes a take shorter than the time between press and stop.
    const int rate = std::max(1, writer_->fileFormat().sampleRate);
    const int32_t seconds = toInt32(double(writer_->framesWritten()) / double(rate));
    // A take by hand is dated the day it is completed, as the index has always had it; a take
    // on a clock is dated by its start, as its run and a fixed slot's copy are, so an event
    // across midnight keeps the day it was planned for.
    IndexRecord done = SoundLibrary::completedRecord(slot_, seconds, clocked_ ? startDate_ : clock.now().date());
    if (!clocked_ && !takeName_.trimmed().isEmpty())
        done.setSoundName(codepage::toUpper(takeName_));
    takeName_.clear();
    try {
        library_.write(slot_, done);
    } catch (const Failure& f) {
        // The take is on the disk; only its entry waits for the index.
        library_.writeWhenPossible(slot_, done);
        setState(State::Idle);
        app_.notices().fail("recording", f,
                            SoundLibrary::indexFailureText(f) + ". The take is kept in " + library_.slotFilePath(slot_) +
                                "; its entry is completed as soon as the index can be written again, or by "
                                "\"Delete File Index\".",
                            library_.indexPath());
        return;
    }
    emit takeCompleted(slot_);
    setState(State::Idle);
}

void RecordingSession::nameTake(const QString& name)
{
    if (state_ != State::Idle && !clocked_)
        takeName_ = name;
}

void RecordingSession::removeEmptyTake()
{
    try {
        if (working_) {
            // Made for this take (arming refuses one that is there): nothing else is in it.
            const QString file = WorkingTakes(library_).fileNative(slot_);
            if (QFileInfo::exists(file) && !QFile::remove(file))
                throw Failure(Failure::PermissionDenied);
        } else {
            library_.removeSoundFile(slot_);
        }
    } catch (const Failure&) {
        // Left for the next take of this slot, which removes any old file first (a working
        // file left is kept at the next start like any other).
    }
}

void RecordingSession::abandon()
{
    closeInput();
    if (working_) {
        // Nothing was reserved; nothing was written.
        removeEmptyTake();
        setState(State::Idle);
        return;
    }
    try {
        library_.release(slot_);
    } catch (const Failure& f) {
        IndexRecord freed; // a reserved slot holds no name
        try {
            freed = library_.record(slot_);
        } catch (const Failure&) {
            // Not even readable: the length and date of the slot's record are left blank.
        }
        freed.Status = SlotStatus::Free;
        library_.writeWhenPossible(slot_, freed);
        setState(State::Idle);
        app_.notices().fail("recording", f,
                            SoundLibrary::indexFailureText(f) + ". Slot " + QString::number(slot_) +
                                " stays reserved until the index can be written again, or \"Delete File Index\" "
                                "frees it.",
                            library_.indexPath());
        return;
    }
    setState(State::Idle);
}

} // namespace tamblor
