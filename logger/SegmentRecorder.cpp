#include "logger/SegmentRecorder.h"
#include "logger/SegmentTimes.h"
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace tamblor::logger {

namespace {

// A run of this many full-scale samples in a row on one channel counts as a clip.
constexpr int ClipRun = 3;

QString duration(double seconds)
{
    const qint64 s = qint64(std::llround(seconds));
    if (s >= 60)
        return QString("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QString("%1 s").arg(seconds, 0, 'f', seconds < 10 ? 3 : 1);
}

} // namespace

SegmentRecorder::SegmentRecorder(RecorderSettings settings)
    : settings_(std::move(settings)), clock_(settings_.rate), clipRun_(size_t(settings_.channels), 0),
      zeros_(size_t(4096 * settings_.channels), 0)
{
}

SegmentRecorder::~SegmentRecorder() = default;

QString SegmentRecorder::pathFor(qint64 startMs) const
{
    const QString day = QDir(settings_.folder).filePath(SegmentTimes::localDate(startMs).toString("yyyy-MM-dd"));
    const QString stamp = SegmentTimes::stamp(startMs);
    const QString suffix = suffixOf(settings_.encoding);
    QString path = QDir(day).filePath(stamp + suffix);
    // Never over a file that is there (a restart within the same second).
    for (int n = 2; QFileInfo::exists(path); ++n)
        path = QDir(day).filePath(stamp + "-" + QString::number(n) + suffix);
    return path;
}

void SegmentRecorder::begin(qint64 wallMs)
{
    clock_.start(wallMs);
    position_ = 0;
    filled_ = 0;
    stallFilled_ = 0;
    stalled_ = false;
    lastDelivered_ = 0;
    fills_.clear();
    begun_ = true;
    blockedUntilFrame_ = -1;
    nextBoundaryMs_ = SegmentTimes::boundaryAfter(wallMs, settings_.segmentMinutes);
    openAt(SegmentTimes::boundaryAtOrBefore(wallMs, settings_.segmentMinutes), wallMs);
}

void SegmentRecorder::noteInput(qint64 delivered, qint64 wallMs)
{
    if (!begun_)
        return;
    // A stall begins when the input falls a second behind its line; while it lasts, whatever
    // it is behind is filled at every note, so that it comes back on time.
    const qint64 total = delivered + stallFilled_;
    if (stalled_ && delivered > lastDelivered_)
        stalled_ = false;
    else if (!stalled_ && clock_.stallFrames(total, wallMs) > 0)
        stalled_ = true;
    lastDelivered_ = delivered;
    const qint64 behind = stalled_ ? clock_.framesBehind(total, wallMs) : 0;
    if (behind > 0) {
        fills_.push_back({total, behind});
        stallFilled_ += behind;
    }
    clock_.note(delivered + stallFilled_, wallMs);
    addFrames(nullptr, 0);
}

void SegmentRecorder::addFrames(const int16_t* samples, qint64 frames)
{
    qint64 done = 0;
    while (true) {
        while (!fills_.empty() && fills_.front().at <= position_) {
            const qint64 n = fills_.front().frames;
            fills_.pop_front();
            put(nullptr, n, true);
        }
        if (done >= frames)
            break;
        qint64 n = frames - done;
        if (!fills_.empty())
            n = std::min(n, fills_.front().at - position_);
        put(samples + done * settings_.channels, n, false);
        done += n;
    }
}

void SegmentRecorder::addLost(qint64 frames)
{
    if (frames > 0)
        put(nullptr, frames, true);
}

void SegmentRecorder::end()
{
    if (!begun_)
        return;
    while (!fills_.empty()) {
        const qint64 n = fills_.front().frames;
        fills_.pop_front();
        put(nullptr, n, true);
    }
    if (file_.isOpen()) {
        // Ended before its boundary by more than a frame: short.
        closeCurrent(double(record_.endMs) - clock_.wallOf(position_) > 1000.0 / settings_.rate);
    }
    if (blockedUntilFrame_ >= 0 && unrecorded) {
        unrecorded({blockedFromMs_, qint64(clock_.wallOf(position_)), blockedFrames_, blockedCause_});
        blockedUntilFrame_ = -1;
    }
    begun_ = false;
}

void SegmentRecorder::put(const int16_t* samples, qint64 frames, bool silence)
{
    const int channels = settings_.channels;
    while (frames > 0) {
        const qint64 cut = clock_.frameAt(nextBoundaryMs_);
        if (cut <= position_) {
            const qint64 boundary = nextBoundaryMs_;
            nextBoundaryMs_ = SegmentTimes::boundaryAfter(boundary, settings_.segmentMinutes);
            if (blockedUntilFrame_ >= 0) {
                if (unrecorded)
                    unrecorded({blockedFromMs_, boundary, blockedFrames_, blockedCause_});
                blockedUntilFrame_ = -1;
            } else if (file_.isOpen()) {
                closeCurrent(false);
            }
            // The cut frame is the first due at or after the boundary: its segment begins there
            // (later only when the cut came late, after a fill or a change of the drift).
            openAt(boundary, std::max<qint64>(boundary, qint64(std::floor(clock_.wallOf(position_)))));
            continue;
        }
        qint64 k = std::min(frames, cut - position_);
        if (silence)
            k = std::min<qint64>(k, qint64(zeros_.size()) / channels);
        if (file_.isOpen()) {
            const int16_t* data = silence ? zeros_.data() : samples;
            const qint64 before = file_.frames();
            if (silence) {
                auto& losses = record_.losses;
                if (!losses.empty() && losses.back().position + losses.back().frames == before)
                    losses.back().frames += k;
                else
                    losses.push_back({before, k});
            }
            if (!file_.write(data, k)) {
                const qint64 written = file_.frames() - before;
                measure(data, written);
                fail(position_ + written);
                blockedFrames_ += k - written;
            } else {
                measure(data, k);
                sinceHeader_ += k;
                if (sinceHeader_ >= qint64(settings_.headerEverySeconds * settings_.rate)) {
                    file_.refreshHeader();
                    sinceHeader_ = 0;
                }
            }
        } else {
            blockedFrames_ += k;
        }
        if (silence)
            filled_ += k;
        else
            samples += k * channels;
        position_ += k;
        frames -= k;
    }
}

void SegmentRecorder::openAt(qint64 boundaryMs, qint64 startMs)
{
    record_ = SegmentRecord{};
    record_.startMs = startMs;
    record_.utcOffsetSeconds = SegmentTimes::utcOffsetSeconds(startMs);
    record_.boundaryMs = boundaryMs;
    record_.endMs = nextBoundaryMs_;
    record_.sampleRate = settings_.rate;
    record_.channels = settings_.channels;
    record_.plannedFrames = qint64(std::llround(double(record_.endMs - startMs) * settings_.rate / 1000.0));
    record_.path = pathFor(startMs);
    sinceHeader_ = 0;
    clippedRuns_ = 0;
    std::fill(clipRun_.begin(), clipRun_.end(), 0);
    QDir().mkpath(QFileInfo(record_.path).absolutePath());
    SegmentFacts facts;
    facts.startMs = startMs;
    facts.utcOffsetSeconds = record_.utcOffsetSeconds;
    facts.framesSinceMidnight = SegmentTimes::framesSinceMidnight(startMs, settings_.rate);
    facts.title = QFileInfo(record_.path).completeBaseName();
    if (!file_.open(record_.path, settings_.encoding, settings_.rate, settings_.channels, facts)) {
        blockedCause_ = "the file " + record_.path + " could not be made: " + file_.error();
        blockedUntilFrame_ = clock_.frameAt(nextBoundaryMs_);
        blockedFromMs_ = startMs;
        blockedFrames_ = 0;
        return;
    }
    loudness_ = std::make_unique<audio::LoudnessEngine>(settings_.channels, settings_.rate);
    audio::SilenceSettings quiet;
    quiet.thresholdDbfs = settings_.silenceThresholdDbfs;
    quiet.silentSeconds = 1.0;
    silence_ = std::make_unique<audio::SilenceDetector>(settings_.channels, settings_.rate, quiet);
    if (opened)
        opened(record_);
}

void SegmentRecorder::measure(const int16_t* samples, qint64 frames)
{
    if (frames <= 0)
        return;
    loudness_->add(samples, size_t(frames));
    silence_->add(samples, size_t(frames));
    const int channels = settings_.channels;
    for (qint64 i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const int16_t s = samples[i * channels + c];
            // The run's length, negative for one at negative full scale.
            int& run = clipRun_[size_t(c)];
            if (s >= 32767)
                run = run > 0 ? run + 1 : 1;
            else if (s <= -32768)
                run = run < 0 ? run - 1 : -1;
            else
                run = 0;
            if (run == ClipRun || run == -ClipRun)
                ++clippedRuns_;
        }
    }
}

void SegmentRecorder::fail(qint64 at)
{
    record_.result = SegmentResult::DiskFull;
    blockedCause_ = "writing failed: " + file_.error();
    closeCurrent(true);
    blockedUntilFrame_ = clock_.frameAt(nextBoundaryMs_);
    blockedFromMs_ = qint64(clock_.wallOf(at));
    blockedFrames_ = 0;
}

void SegmentRecorder::closeCurrent(bool endedEarly)
{
    SegmentFigures& f = record_.figures;
    if (loudness_) {
        f.integratedLufs = loudness_->integratedLufs();
        f.rangeLu = loudness_->rangeLu();
        f.truePeakDbtp = loudness_->truePeakDbtp();
        f.maxMomentaryLufs = loudness_->maxMomentaryLufs();
        f.maxShortTermLufs = loudness_->maxShortTermLufs();
    }
    if (silence_)
        f.longestSilenceSeconds = silence_->longestSilenceSeconds();
    f.clippedRuns = clippedRuns_;
    const QString writeError = file_.error();
    file_.close(f);
    record_.frames = file_.frames();
    record_.closed = true;
    record_.ppm = clock_.ppm();

    const double seconds = double(record_.frames) / settings_.rate;
    const bool late = record_.startMs > record_.boundaryMs;
    QStringList reasons;
    qint64 lost = 0;
    for (const Loss& l : record_.losses)
        lost += l.frames;
    if (record_.result == SegmentResult::DiskFull)
        reasons << "writing failed after " + duration(seconds) + ": " + writeError;
    if (lost > 0)
        reasons << QString("%1 frames (%2) the input lost, filled with silence in %3 place(s)")
                       .arg(lost)
                       .arg(duration(double(lost) / settings_.rate))
                       .arg(record_.losses.size());
    const bool silent = seconds > 0 && f.longestSilenceSeconds >= seconds / 2;
    if (silent)
        reasons << "silent for " + duration(f.longestSilenceSeconds);
    if (f.clippedRuns > 0)
        reasons << QString("%1 clipped run(s)").arg(f.clippedRuns);
    if (late)
        reasons << "begun " + duration(double(record_.startMs - record_.boundaryMs) / 1000.0) + " after its boundary";
    if (endedEarly && record_.result != SegmentResult::DiskFull)
        reasons << "ended " + duration(double(record_.endMs) / 1000.0 - clock_.wallOf(position_) / 1000.0) +
                       " before its boundary";
    if (!record_.result) {
        if (lost > 0)
            record_.result = SegmentResult::Gap;
        else if (silent)
            record_.result = SegmentResult::Silent;
        else if (f.clippedRuns > 0)
            record_.result = SegmentResult::Clipped;
        else if (late || endedEarly)
            record_.result = SegmentResult::Short;
        else
            record_.result = SegmentResult::Ok;
    }
    record_.reason = reasons.join("; ");
    record_.sha256 = fileSha256(record_.path);
    loudness_.reset();
    silence_.reset();
    if (closed)
        closed(record_);
}

} // namespace tamblor::logger
