#include "studio/TakeMeasurer.h"
#include "core/Core.h"
#include "core/ProgramSettings.h"
#include "audio/files/Loudness.h"
#include "library/SoundLibrary.h"
#include "studio/RecordingSession.h"
#include "store/ProgramDatabase.h"
#include "store/TakeFiguresStore.h"
#include <algorithm>
#include <cmath>

namespace tamblor {

namespace {

// A figure as the database keeps it: nothing for -inf (silence has no loudness, no peak).
std::optional<double> kept(double value)
{
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

} // namespace

TakeMeasurer::TakeMeasurer(Core& app, SoundLibrary& library, RecordingSession& recording,
                           store::ProgramDatabase& database, store::TakeFiguresStore& figures, QObject* parent)
    : QObject(parent), app_(app), library_(library), recording_(recording), database_(database), figures_(figures)
{
    connect(&library_, &SoundLibrary::slotChanged, this, [this](int slot) {
        try {
            if (!library_.record(slot).isUsed())
                figures_.remove(slot);
        } catch (const Failure&) {
        }
    });
    connect(&job_, &jobs::Job::finished, this, &TakeMeasurer::done);
    // A take is measured as soon as it is complete, whoever ended it.
    connect(&recording_, &RecordingSession::stateChanged, this,
            [this](RecordingSession::State state, RecordingSession::State previous) {
                using S = RecordingSession::State;
                if (state == S::Idle && (previous == S::Writing || previous == S::WritingOn))
                    request(recording_.slot());
            });
}

TakeMeasurer::~TakeMeasurer() { stopAll(); }

bool TakeMeasurer::isPending(int slot) const
{
    return measuring_ == slot || std::find(queue_.begin(), queue_.end(), slot) != queue_.end();
}

void TakeMeasurer::request(int slot)
{
    if (slot <= 0 || isPending(slot) || !database_.isOpen())
        return;
    if (recording_.state() != RecordingSession::State::Idle && recording_.slot() == slot)
        return; // its take is being written; it is measured when complete
    try {
        if (!library_.record(slot).isUsed())
            return;
        const QString path = library_.slotFileNative(slot);
        if (!store::TakeFiguresStore::keyOf(path) || figures_.current(slot, path))
            return;
    } catch (const Failure&) {
        return; // no index, no database: nothing to measure for or to store in
    }
    queue_.push_back(slot);
    startNext();
}

void TakeMeasurer::startNext()
{
    if (job_.isRunning() || queue_.empty())
        return;
    const int slot = queue_.front();
    queue_.pop_front();
    measuring_ = slot;
    const QString path = library_.slotFileNative(slot);
    const LoudnessPreferences preferences = ProgramSettings(app_.drives()).loudness();
    audio::SilenceSettings silence;
    silence.thresholdDbfs = preferences.silenceThresholdDbfs;
    emit started(slot);
    job_.start([this, slot, path, silence](jobs::JobControl& control) {
        // The file's key is taken first: a file that changes while it is measured is stale at once.
        const std::optional<store::TakeFiguresStore::FileKey> key = store::TakeFiguresStore::keyOf(path);
        if (!key)
            return;
        store::TakeFigures f;
        f.slot = slot;
        f.fileSize = key->size;
        f.fileMtimeMs = key->mtimeMs;
        try {
            const std::optional<audio::LoudnessFigures> measured = audio::measureLoudness(
                path,
                [&control](int percent) {
                    control.progress(percent);
                    return !control.cancelled();
                },
                silence);
            if (!measured)
                return; // cancelled
            f.peakDbfs = kept(measured->samplePeakDbfs);
            f.integratedLufs = kept(measured->integratedLufs);
            f.lraLu = std::isfinite(measured->integratedLufs) ? kept(measured->rangeLu) : std::nullopt;
            f.truePeakDbtp = kept(measured->truePeakDbtp);
            f.longestSilenceS = measured->longestSilenceSeconds;
        } catch (const Failure&) {
            // Not measurable as it is (compressed, damaged): stored without figures.
        }
        control.post([this, f]() mutable {
            f.measuredAtMs = app_.clock().now().toMSecsSinceEpoch();
            try {
                figures_.store(f);
            } catch (const Failure&) {
                // The database refused it: the figures are measured again when next asked for.
            }
        });
    });
}

void TakeMeasurer::done()
{
    const int slot = measuring_;
    measuring_ = 0;
    emit measured(slot);
    startNext();
}

void TakeMeasurer::finishAll()
{
    while (job_.isRunning())
        job_.finish(); // done() starts the next one
}

void TakeMeasurer::stopAll()
{
    queue_.clear();
    job_.stop();
    measuring_ = 0;
}

} // namespace tamblor
