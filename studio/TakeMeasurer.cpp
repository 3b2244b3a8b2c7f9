#include "studio/TakeMeasurer.h"
#include "core/Core.h"
#include "core/ProgramSettings.h"
#include "studio/TakeReading.h"
#include "library/SoundLibrary.h"
#include "studio/RecordingSession.h"
#include "store/ProgramDatabase.h"
#include "store/TakeFiguresStore.h"
#include <algorithm>
#include <cmath>

namespace tamblor {

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
                // A take on the clock is the take runner's to read.
                if (state == S::Idle && (previous == S::Writing || previous == S::WritingOn) &&
                    !recording_.endedOnClock())
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
    if (slot <= 0 || isPending(slot) || !database_.isOpen() || (held_ && held_(slot)))
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
    while (!queue_.empty() && held_ && held_(queue_.front()))
        queue_.pop_front(); // taken over by the take runner since it was asked for
    if (job_.isRunning() || queue_.empty())
        return;
    const int slot = queue_.front();
    queue_.pop_front();
    measuring_ = slot;
    const QString path = library_.slotFileNative(slot);
    const LoudnessPreferences preferences = ProgramSettings(app_.drives()).loudness();
    const double silenceBelow = preferences.silenceThresholdDbfs;
    emit started(slot);
    job_.start([this, slot, path, silenceBelow](jobs::JobControl& control) {
        // The file's key is taken first: a file that changes while it is measured is stale at once.
        const std::optional<store::TakeFiguresStore::FileKey> key = store::TakeFiguresStore::keyOf(path);
        if (!key)
            return;
        store::TakeFigures f;
        try {
            const std::optional<TakeReading> reading = TakeReading::of(path, silenceBelow, [&control](int percent) {
                control.progress(percent);
                return !control.cancelled();
            });
            if (!reading)
                return; // cancelled
            f = reading->figures();
        } catch (const Failure&) {
            // Not readable as it is (damaged): stored without figures.
        }
        f.slot = slot;
        f.fileSize = key->size;
        f.fileMtimeMs = key->mtimeMs;
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
