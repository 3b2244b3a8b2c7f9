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
    for (const QString& folder : {settings_.folder, settings_.secondFolder}) {
        if (folder.isEmpty())
            continue;
        auto copy = std::make_unique<Copy>();
        copy->folder = folder;
        copies_.push_back(std::move(copy));
    }
}

SegmentRecorder::~SegmentRecorder() = default;

QString SegmentRecorder::nameFor(qint64 startMs) const
{
    const QString day = SegmentTimes::localDate(startMs).toString("yyyy-MM-dd");
    const QString stamp = SegmentTimes::stamp(startMs);
    const QString suffix = suffixOf(settings_.encoding);
    const auto taken = [&](const QString& name) {
        for (const auto& c : copies_)
            if (QFileInfo::exists(QDir(QDir(c->folder).filePath(day)).filePath(name)))
                return true;
        return false;
    };
    QString name = stamp + suffix;
    // Never over a file that is there (a restart within the same second).
    for (int n = 2; taken(name); ++n)
        name = stamp + "-" + QString::number(n) + suffix;
    return day + "/" + name;
}

bool SegmentRecorder::anyOpen() const
{
    for (const auto& c : copies_)
        if (c->file.isOpen())
            return true;
    return false;
}

void SegmentRecorder::begin(qint64 wallMs)
{
    clock_.start(wallMs);
    position_ = 0;
    filled_ = 0;
    stallFilled_ = 0;
    dead_ = false;
    lastDelivered_ = 0;
    lastGrowthMs_ = wallMs;
    holding_ = false;
    held_.clear();
    handed_ = 0;
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
    const qint64 total = delivered + stallFilled_;
    const bool grew = delivered > lastDelivered_;
    lastDelivered_ = delivered;
    if (grew)
        lastGrowthMs_ = wallMs;
    if (holding_) {
        // A sound server that stalls often hands over what it kept when it comes back: frames
        // late are not frames lost. Nothing is filled until the input has either caught up with
        // its line (it was only late) or delivered for a while and stayed behind (that much it
        // lost); frames after the stall wait meanwhile, so that a fill can still go before them.
        // A server keeps what it can and drops what comes when it is full, so the loss lies
        // where what it kept ends: after the last burst that gained on the line.
        const qint64 behind = clock_.framesBehind(total, wallMs);
        if (resumedMs_ < 0 && delivered > holdFromIn_)
            resumedMs_ = wallMs;
        if (double(lastBehind_ - behind) > BurstMs * clock_.nominalRate() / 1000.0)
            lossAtIn_ = delivered;
        lastBehind_ = behind;
        if (double(behind) <= CaughtUpMs * clock_.nominalRate() / 1000.0)
            release(0);
        else if (resumedMs_ >= 0 && wallMs - resumedMs_ >= SettleMs)
            release(behind);
        else if (resumedMs_ < 0 && wallMs - holdSinceMs_ >= HoldMs) {
            // Nothing came back for so long that the input is taken as dead: what it is behind
            // is filled now, and at every look after, so the segments keep closing on time.
            release(behind);
            dead_ = true;
        } else {
            return; // the clock is not told of a count that may yet catch up
        }
    } else if (dead_) {
        if (grew)
            dead_ = false;
        else if (const qint64 behind = clock_.framesBehind(total, wallMs); behind > 0) {
            fills_.push_back({total, behind});
            stallFilled_ += behind;
        }
    } else if (clock_.stallFrames(total, wallMs) > 0) {
        // The notes since the input last delivered went in while it was already stalling.
        clock_.forgetAfter(lastGrowthMs_);
        holding_ = true;
        holdFromIn_ = delivered;
        lossAtIn_ = delivered;
        lastBehind_ = clock_.framesBehind(total, wallMs);
        holdSinceMs_ = wallMs;
        resumedMs_ = -1;
        return;
    }
    clock_.note(delivered + stallFilled_, wallMs);
    place(nullptr, 0, false);
}

void SegmentRecorder::release(qint64 fill)
{
    holding_ = false;
    if (fill > 0) {
        fills_.push_back({lossAtIn_ + stallFilled_, fill});
        stallFilled_ += fill;
    }
    std::deque<Held> held;
    held.swap(held_);
    for (const Held& h : held)
        place(h.silence ? nullptr : h.samples.data(), h.frames, h.silence);
}

void SegmentRecorder::addFrames(const int16_t* samples, qint64 frames)
{
    accept(samples, frames, false);
}

void SegmentRecorder::addLost(qint64 frames)
{
    if (frames > 0)
        accept(nullptr, frames, true);
}

void SegmentRecorder::accept(const int16_t* samples, qint64 frames, bool silence)
{
    if (holding_) {
        // Frames up to where the input stalled go on; those after it wait for the verdict.
        const qint64 now = std::clamp<qint64>(holdFromIn_ - handed_, 0, frames);
        place(samples, now, silence);
        if (frames > now) {
            Held h;
            h.silence = silence;
            h.frames = frames - now;
            if (!silence)
                h.samples.assign(samples + now * settings_.channels, samples + frames * settings_.channels);
            held_.push_back(std::move(h));
        }
    } else {
        place(samples, frames, silence);
    }
    handed_ += frames;
}

void SegmentRecorder::place(const int16_t* samples, qint64 frames, bool silence)
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
        put(silence ? nullptr : samples + done * settings_.channels, n, silence);
        done += n;
    }
}

void SegmentRecorder::end()
{
    if (!begun_)
        return;
    // A stall still undecided at the end: what came after it is written as it came, and what
    // never came is not made up (the segment ends short).
    if (holding_)
        release(0);
    while (!fills_.empty()) {
        const qint64 n = fills_.front().frames;
        fills_.pop_front();
        put(nullptr, n, true);
    }
    if (anyOpen()) {
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
            } else if (anyOpen()) {
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
        if (anyOpen()) {
            const int16_t* data = silence ? zeros_.data() : samples;
            if (silence) {
                auto& losses = record_.losses;
                if (!losses.empty() && losses.back().position + losses.back().frames == segmentFrames_)
                    losses.back().frames += k;
                else
                    losses.push_back({segmentFrames_, k});
            }
            const qint64 written = writeCopies(data, k);
            measure(data, written);
            segmentFrames_ += written;
            if (written < k) {
                blockAll(position_ + written);
                blockedFrames_ += k - written;
            } else {
                sinceHeader_ += k;
                if (sinceHeader_ >= qint64(settings_.headerEverySeconds * settings_.rate)) {
                    for (auto& c : copies_)
                        c->file.refreshHeader();
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
    const QString name = nameFor(startMs);
    sinceHeader_ = 0;
    segmentFrames_ = 0;
    clippedRuns_ = 0;
    std::fill(clipRun_.begin(), clipRun_.end(), 0);
    SegmentFacts facts;
    facts.startMs = startMs;
    facts.utcOffsetSeconds = record_.utcOffsetSeconds;
    facts.framesSinceMidnight = SegmentTimes::framesSinceMidnight(startMs, settings_.rate);
    facts.title = QFileInfo(name).completeBaseName();
    QStringList causes;
    for (auto& c : copies_) {
        c->path = QDir(c->folder).filePath(name);
        c->problem.clear();
        QDir().mkpath(QFileInfo(c->path).absolutePath());
        if (!c->file.open(c->path, settings_.encoding, settings_.rate, settings_.channels, facts)) {
            c->problem = "the file " + c->path + " could not be made: " + c->file.error();
            causes << c->problem;
            if (copyFailed)
                copyFailed(c->folder, c->problem);
        }
    }
    record_.path = copies_.front()->path;
    if (copies_.size() > 1)
        record_.second.path = copies_[1]->path;
    if (!anyOpen()) {
        blockedCause_ = causes.join("; ");
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

qint64 SegmentRecorder::writeCopies(const int16_t* data, qint64 frames)
{
    qint64 most = 0;
    for (auto& c : copies_) {
        if (!c->file.isOpen())
            continue;
        const qint64 before = c->file.frames();
        if (c->file.write(data, frames)) {
            most = frames;
            continue;
        }
        most = std::max(most, c->file.frames() - before);
        failCopy(*c, "writing failed after " + duration(double(c->file.frames()) / settings_.rate) + ": " +
                         c->file.error());
    }
    return most;
}

void SegmentRecorder::failCopy(Copy& copy, const QString& problem)
{
    copy.problem = problem;
    // The copy ends here, a valid file with what it took; the other carries on.
    copy.file.close(figuresNow());
    if (copyFailed)
        copyFailed(copy.folder, problem);
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

void SegmentRecorder::blockAll(qint64 at)
{
    // No copy takes the frames any more: the segment ends and the span to the boundary has no file.
    record_.result = SegmentResult::DiskFull;
    QStringList causes;
    for (const auto& c : copies_)
        causes << c->problem;
    blockedCause_ = causes.join("; ");
    closeCurrent(true);
    blockedUntilFrame_ = clock_.frameAt(nextBoundaryMs_);
    blockedFromMs_ = qint64(clock_.wallOf(at));
    blockedFrames_ = 0;
}

SegmentFigures SegmentRecorder::figuresNow() const
{
    SegmentFigures f;
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
    return f;
}

void SegmentRecorder::closeCurrent(bool endedEarly)
{
    record_.figures = figuresNow();
    const SegmentFigures& f = record_.figures;
    for (auto& c : copies_)
        if (c->file.isOpen())
            c->file.close(f);
    // A copy that failed holds what its header came to say before the failure (the header
    // may not have been written again after it): that is what a reader gets.
    const auto framesOf = [](const Copy& c) {
        return c.problem.isEmpty() ? c.file.frames() : std::max<qint64>(SegmentFile::framesIn(c.path), 0);
    };
    record_.frames = framesOf(*copies_.front());
    record_.problem = copies_.front()->problem;
    if (copies_.size() > 1) {
        record_.second.frames = framesOf(*copies_[1]);
        record_.second.problem = copies_[1]->problem;
    }
    record_.closed = true;
    record_.ppm = clock_.ppm();

    const double seconds = double(segmentFrames_) / settings_.rate;
    const bool late = record_.startMs > record_.boundaryMs;
    QStringList reasons;
    qint64 lost = 0;
    for (const Loss& l : record_.losses)
        lost += l.frames;
    // A copy that ended early (with two folders, which one).
    for (const auto& c : copies_)
        if (!c->problem.isEmpty())
            reasons << (copies_.size() > 1 ? "the copy in " + c->folder + " is not whole: " + c->problem : c->problem);
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
    if (record_.second.exists())
        record_.second.sha256 = fileSha256(record_.second.path);
    loudness_.reset();
    silence_.reset();
    if (closed)
        closed(record_);
}

} // namespace tamblor::logger
