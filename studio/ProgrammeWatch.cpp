#include "studio/ProgrammeWatch.h"
#include "audio/core/ThreadRole.h"
#include "audio/devices/FilePlayer.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/RecordingWriter.h"
#include "core/Core.h"
#include "library/LibraryLayout.h"
#include "studio/PlaybackSession.h"
#include "studio/RecordingSession.h"
#include <QCoreApplication>
#include <QFileInfo>
#include <limits>

namespace tamblor {

ProgrammeWatch::ProgrammeWatch(Core& app, RecordingSession& recording, PlaybackSession& playback,
                               ProgramStarter& starter, QObject* parent)
    : QObject(parent), recording_(recording), playback_(playback), alarm_(app, starter, this),
      reading_(silentReading())
{
    // Opened before the worker, their one reader, starts.
    recording_.input().tap().open();
    playback_.player().tap().open();
    worker_ = std::make_unique<WatchWorker>(recording_.input().tap(), playback_.player().tap(),
                                            [this](WatchReport report) {
                                                // On the worker: handed to this object's thread.
                                                QMetaObject::invokeMethod(
                                                    this, [this, report = std::move(report)] { receive(report); },
                                                    Qt::QueuedConnection);
                                            });
    auto changed = [this] {
        // What was heard before the change belongs to what was watched then.
        worker_->take({recording_.input().tap().position(), playback_.player().tap().position()});
        follow();
        emit updated();
    };
    connect(&recording_, &RecordingSession::stateChanged, this, changed);
    connect(&playback_, &PlaybackSession::stateChanged, this, changed);
    // The sessions end their take and their playback first (they were made before the watch).
    connect(&app, &Core::programEnding, this, [this] { finish(); });
}

ProgrammeWatch::~ProgrammeWatch()
{
    // The worker is joined before the taps close; reports still on their way are dropped with
    // this object.
    worker_->stop();
    recording_.input().tap().close();
    playback_.player().tap().close();
}

audio::LoudnessReading ProgrammeWatch::silentReading()
{
    const double none = -std::numeric_limits<double>::infinity();
    return {none, none, none, none, none, 0.0, none, none, 0.0};
}

ProgrammeWatch::Source ProgrammeWatch::meterSource() const
{
    // A take armed or written, a check of the input, the input kept running for the next take.
    if (recording_.state() != RecordingSession::State::Idle || recording_.input().isCapturing())
        return Source::Input;
    return playback_.isPlaying() ? Source::Output : Source::None;
}

ProgrammeWatch::Programme ProgrammeWatch::watchedProgramme() const
{
    using RS = RecordingSession::State;
    const RS state = recording_.state();
    if (state == RS::Writing || state == RS::WritingOn)
        return {Source::Input, recording_.slot(), recording_.writer().fileName()};
    if (playback_.isPlaying()) {
        const QString file = playback_.player().fileName();
        return {Source::Output, LibraryLayout::slotOfFileName(QFileInfo(file).fileName()), file};
    }
    return {};
}

audio::SampleTap& ProgrammeWatch::tapOf(Source source) const
{
    return source == Source::Input ? recording_.input().tap() : playback_.player().tap();
}

bool ProgrammeWatch::follow()
{
    TAMBLOR_ONLY_UI_THREAD();
    bool changed = false;
    const Source source = meterSource();
    if (source != plan_.meterSource || (source != Source::None && tapOf(source).generation() != generation_)) {
        plan_.meterSource = source;
        changed = true;
        if (source != Source::None) {
            // A new source: the meter starts afresh. With none, the last figures stay to be read.
            const audio::SampleTap& tap = tapOf(source);
            plan_.meterChannels = tap.channels();
            plan_.meterRate = tap.sampleRate();
            ++plan_.meterEpoch;
            generation_ = tap.generation();
            reading_ = silentReading();
        }
    }
    const Programme programme = watchedProgramme();
    if (!(programme == programme_)) {
        alarm_.end();
        programme_ = programme;
        changed = true;
        plan_.alarmSource = programme.source;
        ++plan_.alarmEpoch;
        if (programme.source != Source::None) {
            const audio::SampleTap& tap = tapOf(programme.source);
            alarm_.begin(programme.slot, programme.file);
            plan_.alarmChannels = tap.channels();
            plan_.alarmRate = tap.sampleRate();
            plan_.silence = alarm_.settings();
        }
    }
    if (changed)
        worker_->plan(plan_);
    return changed;
}

void ProgrammeWatch::tick()
{
    TAMBLOR_ONLY_UI_THREAD();
    const bool changed = follow();
    worker_->take();
    if (changed)
        emit updated();
}

void ProgrammeWatch::waitIdle()
{
    TAMBLOR_ONLY_UI_THREAD();
    worker_->waitIdle();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void ProgrammeWatch::receive(const WatchReport& report)
{
    TAMBLOR_ONLY_UI_THREAD();
    bool moved = false;
    // A report of a meter or a programme since replaced is dropped.
    if (report.reading && report.meterEpoch == plan_.meterEpoch) {
        reading_ = *report.reading;
        moved = true;
    }
    if (report.silence && report.alarmEpoch == plan_.alarmEpoch) {
        alarm_.follow(*report.silence);
        moved = true;
    }
    if (moved)
        emit updated();
}

void ProgrammeWatch::finish()
{
    waitIdle();
    worker_->stop();
}

bool ProgrammeWatch::isLive() const
{
    if (plan_.meterSource == Source::Output)
        return playback_.state() == PlaybackSession::State::Playing;
    return plan_.meterSource != Source::None;
}

void ProgrammeWatch::resetMeter()
{
    TAMBLOR_ONLY_UI_THREAD();
    if (plan_.meterChannels > 0) {
        ++plan_.meterEpoch;
        worker_->plan(plan_);
    }
    reading_ = silentReading();
    emit updated();
}

} // namespace tamblor
