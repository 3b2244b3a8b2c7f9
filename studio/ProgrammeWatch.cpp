#include "studio/ProgrammeWatch.h"
#include "audio/devices/FilePlayer.h"
#include "audio/devices/InputDevice.h"
#include "audio/devices/RecordingWriter.h"
#include "library/LibraryLayout.h"
#include "studio/PlaybackSession.h"
#include "studio/RecordingSession.h"
#include <QFileInfo>
#include <limits>

namespace tamblor {

namespace {
// Frames taken from a tap at a time.
constexpr size_t kChunkFrames = 4096;
} // namespace

ProgrammeWatch::ProgrammeWatch(Core& app, RecordingSession& recording, PlaybackSession& playback,
                               ProgramStarter& starter, QObject* parent)
    : QObject(parent), recording_(recording), playback_(playback), alarm_(app, starter, this)
{
    recording_.input().tap().open();
    playback_.player().tap().open();
    auto changed = [this] {
        drain(); // what was heard before the change belongs to what was watched then
        follow();
        emit updated();
    };
    connect(&recording_, &RecordingSession::stateChanged, this, changed);
    connect(&playback_, &PlaybackSession::stateChanged, this, changed);
}

ProgrammeWatch::~ProgrammeWatch()
{
    recording_.input().tap().close();
    playback_.player().tap().close();
}

ProgrammeWatch::Source ProgrammeWatch::meterSource() const
{
    if (recording_.state() != RecordingSession::State::Idle)
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

void ProgrammeWatch::follow()
{
    const Source source = meterSource();
    if (source != source_ || (source != Source::None && tapOf(source).generation() != generation_)) {
        source_ = source;
        if (source != Source::None) {
            // A new source: the meter starts afresh. With none, the last figures stay to be read.
            const audio::SampleTap& tap = tapOf(source);
            meter_ = std::make_unique<audio::LoudnessEngine>(tap.channels(), tap.sampleRate());
            generation_ = tap.generation();
        }
    }
    const Programme programme = watchedProgramme();
    if (!(programme == programme_)) {
        alarm_.end();
        programme_ = programme;
        if (programme.source != Source::None) {
            const audio::SampleTap& tap = tapOf(programme.source);
            alarm_.begin(programme.slot, programme.file, tap.channels(), tap.sampleRate());
        }
    }
}

void ProgrammeWatch::drain()
{
    for (Source s : {Source::Input, Source::Output}) {
        audio::SampleTap& tap = tapOf(s);
        const size_t channels = size_t(tap.channels());
        scratch_.resize(kChunkFrames * channels);
        for (;;) {
            const size_t frames = tap.take(scratch_.data(), kChunkFrames);
            if (frames == 0)
                break;
            if (s == source_ && meter_ && size_t(meter_->channels()) == channels)
                meter_->add(scratch_.data(), frames);
            if (s == programme_.source)
                alarm_.add(scratch_.data(), frames);
        }
    }
}

void ProgrammeWatch::tick()
{
    follow();
    drain();
    emit updated();
}

bool ProgrammeWatch::isLive() const
{
    if (source_ == Source::Output)
        return playback_.state() == PlaybackSession::State::Playing;
    return source_ != Source::None;
}

audio::LoudnessReading ProgrammeWatch::reading() const
{
    if (meter_)
        return meter_->reading();
    const double none = -std::numeric_limits<double>::infinity();
    return {none, none, none, none, none, 0.0, none, none, 0.0};
}

void ProgrammeWatch::resetMeter()
{
    if (meter_)
        meter_->reset();
    emit updated();
}

} // namespace tamblor
