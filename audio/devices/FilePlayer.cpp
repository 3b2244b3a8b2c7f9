#include "audio/devices/FilePlayer.h"
#include "audio/core/ThreadRole.h"
#include "audio/format/FileFailure.h"
#include "audio/format/RiffReader.h"
#include "platform/Failure.h"
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <sndfile.h>

namespace tamblor::audio {

namespace {

constexpr size_t RingSamples = 1u << 17; // about 1.5 s of 44100 stereo
constexpr size_t ReadFrames = 4096;
// What the ring holds before the device starts: more than the device's first queue.
constexpr double PrefillSeconds = 0.4;

} // namespace

FilePlayer::FilePlayer(AudioBackend& backend, QObject* parent)
    : QObject(parent), backend_(backend), ring_(RingSamples)
{
}

FilePlayer::~FilePlayer()
{
    teardown();
    closeFile();
}

void FilePlayer::setFileName(const QString& path)
{
    teardown();
    closeFile();
    fileName_ = path;
    startFrame_ = 0;
}

namespace {

bool isFlac(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == "fLaC";
}

} // namespace

void FilePlayer::openFile()
{
    if (file_)
        return;
    if (fileName_.isEmpty())
        throw Failure(Failure::BadFileNameOrNumber);
    const QFileInfo fi(fileName_);
    if (!fi.exists())
        throw Failure(Failure::FileNotFound);
    if (!fi.isReadable())
        throw Failure(Failure::PermissionDenied);
    WaveInfo info;
    info.fileName = fileName_;
    std::unique_ptr<SndFileReader> sound;
    if (isFlac(fileName_)) {
        // A FLAC file (the logger's segments): libsndfile alone reads it, as 16-bit frames.
        errno = 0;
        sound = std::make_unique<SndFileReader>(fileName_);
        info.format = WaveFormat::pcm(sound->sampleRate(), sound->channels(), 16);
        info.frames = sound->frames();
        info.dataSize = info.frames * info.format.blockAlign;
        info.fileSize = fi.size();
    } else {
        // The shared reader decides what the file holds, so the player plays exactly what the
        // other windows send, normalize and cut, and a damaged file is reported in the same words.
        const RiffLayout layout = RiffReader::read(fileName_);
        info.format = layout.format;
        info.dataOffset = qint64(layout.dataOffset);
        info.dataSize = qint64(layout.dataSize);
        info.fileSize = qint64(layout.fileSize);
        errno = 0;
        sound = std::make_unique<SndFileReader>(fileName_);
        // No further than the whole frames the reader found (libsndfile may count a last part).
        info.frames = std::min<qint64>(sound->frames(), layout.frames());
    }
    const int channels = info.format.channels;
    if (channels < 1 || channels > 2 || info.format.sampleRate <= 0)
        throw Failure(Failure::InvalidPropertyValue);
    sound_ = std::move(sound);
    file_ = sound_->handle();
    info_ = info;
    fileChannels_ = channels;
}

void FilePlayer::closeFile()
{
    decoder_.reset();
    sound_.reset();
    file_ = nullptr;
    info_ = WaveInfo{};
}

WaveInfo FilePlayer::wave()
{
    openFile();
    return info_;
}

qint64 FilePlayer::framesToTime(qint64 frames) const
{
    const WaveFormat& f = info_.format;
    if (timeFormat_ == TimeFormat::Milliseconds)
        return f.sampleRate > 0 ? frames * 1000 / f.sampleRate : 0;
    if (f.isPcm())
        return frames * f.blockAlign;
    return info_.frames > 0 ? frames * info_.dataSize / info_.frames : 0;
}

qint64 FilePlayer::timeToFrames(qint64 value) const
{
    const WaveFormat& f = info_.format;
    if (timeFormat_ == TimeFormat::Milliseconds)
        return value * f.sampleRate / 1000;
    if (f.isPcm())
        return f.blockAlign > 0 ? value / f.blockAlign : 0;
    return info_.dataSize > 0 ? value * info_.frames / info_.dataSize : 0;
}

qint64 FilePlayer::position() const { return framesToTime(positionFrames()); }

void FilePlayer::setPosition(qint64 value)
{
    if (!file_ && !fileName_.isEmpty()) {
        try {
            openFile();
        } catch (const Failure&) {
            return; // nothing to seek in
        }
    }
    setPositionFrames(timeToFrames(value));
}

qint64 FilePlayer::positionFrames() const
{
    if (!playing_)
        return startFrame_;
    if (requestGen_.load() != seenGen_.load())
        return seekTarget_.load();
    return framePos_.load();
}

void FilePlayer::setPositionFrames(qint64 frame)
{
    frame = std::clamp<qint64>(frame, 0, info_.frames);
    if (!playing_) {
        startFrame_ = frame;
        return;
    }
    seekTarget_.store(frame);
    requestGen_.fetch_add(1, std::memory_order_acq_rel);
}

void FilePlayer::play()
{
    TAMBLOR_ONLY_UI_THREAD();
    teardown();
    openFile();
    const qint64 start = std::clamp<qint64>(startFrame_, 0, info_.frames);
    const quint64 g = requestGen_.load();
    readerGen_.store(g);
    seenGen_.store(g);
    ring_.discardAll();
    framePos_.store(start);
    base_ = start;
    played_ = 0;
    tail_ = 0;
    starved_.store(0);
    readerEof_.store(false);
    finished_.store(false);
    endPosted_.store(false);
    paused_.store(false);
    quitReader_.store(false);
    openStream();
    tap_.setFormat(deviceRate_, 2);
    try {
        restartFeed(start);
        // The device's first queue comes from the ring: it holds the first frames already.
        while (ring_.available() < size_t(PrefillSeconds * deviceRate_) * 2 && feed()) {
        }
    } catch (const Failure&) {
        teardown();
        throw;
    }
    ++playId_;
    reader_ = std::thread([this] { readerLoop(); });
    playing_ = true;
    try {
        stream_->start();
    } catch (const Failure&) {
        teardown();
        throw;
    }
    QMetaObject::invokeMethod(this, [this] { emit playbackStarted(); }, Qt::QueuedConnection);
}

void FilePlayer::openStream()
{
    const int fileRate = info_.format.sampleRate;
    const OutputHandler handler{[this](int16_t* out, size_t frames) { render(out, frames); },
                                [this](size_t frames) { prepare(frames); }};
    StreamFormat format{fileRate, 2, 1024, DeviceQueueSeconds};
    try {
        stream_ = backend_.openOutput(deviceId_, format, handler);
        deviceRate_ = fileRate;
    } catch (const Failure& refused) {
        if (refused.number() != Failure::DeviceUnavailable)
            throw;
        // The device cannot play this rate: the file is converted, never played short.
        for (int rate : ConversionRates) {
            if (rate == fileRate)
                continue;
            try {
                format.sampleRate = rate;
                stream_ = backend_.openOutput(deviceId_, format, handler);
                deviceRate_ = rate;
                break;
            } catch (const Failure&) {
                // the next rate
            }
        }
        if (!stream_)
            throw;
    }
    resampler_.reset();
    if (deviceRate_ != fileRate)
        resampler_ = std::make_unique<PlaybackResampler>(fileRate, deviceRate_);
    // After the last frame the device plays its queue out; as much again covers a sound
    // server that mixes ahead of the card and drops what it mixed of a stream that goes away.
    drainFrames_ = qint64(std::ceil(2.0 * stream_->outputLatency() * deviceRate_));
}

void FilePlayer::restartFeed(qint64 frame)
{
    if (!decoder_)
        decoder_ = std::make_unique<PlaybackDecoder>(file_, fileChannels_, info_.frames);
    decoder_->seek(frame);
    if (resampler_)
        resampler_->clear();
    pending_.clear();
    pendingAt_ = 0;
    decodedAll_ = false;
}

bool FilePlayer::feed()
{
    if (pendingAt_ < pending_.size()) {
        const size_t fits = std::min(ring_.space(), pending_.size() - pendingAt_) & ~size_t(1);
        pendingAt_ += ring_.write(pending_.data() + pendingAt_, fits);
        return fits > 0;
    }
    if (decodedAll_) {
        // Once set, every frame is in the ring (the callback relies on that).
        readerEof_.store(true, std::memory_order_release);
        return false;
    }
    decoded_.resize(ReadFrames * 2);
    const size_t frames = decoder_->read(decoded_.data(), ReadFrames);
    decodedAll_ = frames < ReadFrames;
    pending_.clear();
    pendingAt_ = 0;
    if (resampler_)
        resampler_->process(decoded_.data(), frames, decodedAll_, pending_);
    else
        pending_.assign(decoded_.begin(), decoded_.begin() + ptrdiff_t(frames * 2));
    return true;
}

void FilePlayer::stop()
{
    TAMBLOR_ONLY_UI_THREAD();
    teardown();
    startFrame_ = 0;
}

void FilePlayer::teardown()
{
    if (stream_)
        stream_->stop();
    quitReader_.store(true);
    if (reader_.joinable())
        reader_.join();
    if (stream_)
        underflows_ = stream_->underflows();
    stream_.reset();
    resampler_.reset();
    playing_ = false;
    paused_.store(false);
    levels_.clear();
}

void FilePlayer::pause()
{
    TAMBLOR_ONLY_UI_THREAD();
    if (playing_)
        paused_.store(true);
}

void FilePlayer::resume()
{
    TAMBLOR_ONLY_UI_THREAD();
    paused_.store(false);
}

void FilePlayer::postEnd(bool again)
{
    // Posted twice at most (the reader's and waitIdle's); the first to run ends the play.
    if (endPosted_.exchange(true) && !again)
        return;
    const quint64 id = playId_;
    QMetaObject::invokeMethod(this, [this, id] {
        if (id != playId_ || !playing_)
            return;
        teardown();
        startFrame_ = 0;
        emit playbackEnded();
    }, Qt::QueuedConnection);
}

void FilePlayer::waitIdle()
{
    TAMBLOR_ONLY_UI_THREAD();
    // The reader may have claimed the end and not posted it yet: post it here all the same.
    if (playing_ && finished_.load())
        postEnd(true);
    QCoreApplication::processEvents();
}

bool FilePlayer::acknowledgeSeek()
{
    const quint64 g = requestGen_.load(std::memory_order_acquire);
    if (g == seenGen_.load(std::memory_order_relaxed))
        return true;
    if (readerGen_.load(std::memory_order_acquire) != g)
        return false; // the reader may still be putting frames from before the seek
    ring_.discardAll();
    base_ = seekTarget_.load();
    played_ = 0;
    tail_ = 0;
    framePos_.store(base_);
    finished_.store(false);
    seenGen_.store(g, std::memory_order_release);
    return true;
}

void FilePlayer::render(int16_t* out, size_t frames)
{
    TAMBLOR_ONLY_DEVICE_CALLBACK();
    size_t got = 0;
    if (acknowledgeSeek() && !paused_.load(std::memory_order_relaxed)) {
        // Read the end flag before the ring: once it is set, every frame is in the ring.
        const bool eof = readerEof_.load(std::memory_order_acquire);
        got = ring_.read(out, frames * 2) / 2;
        tap_.put(out, got, 2);
        played_ += qint64(got);
        const int fileRate = info_.format.sampleRate;
        const qint64 inFile = fileRate == deviceRate_ ? played_ : played_ * fileRate / deviceRate_;
        framePos_.store(std::min(base_ + inFile, info_.frames), std::memory_order_relaxed);
        if (got < frames && eof) {
            // The last frame is on its way: it is heard once the device's queue has played out.
            tail_ += qint64(frames - got);
            if (tail_ >= drainFrames_)
                finished_.store(true);
        } else if (got < frames) {
            starved_.fetch_add(frames - got, std::memory_order_relaxed);
        }
    }
    std::fill(out + got * 2, out + frames * 2, int16_t(0));
    levels_.measureStereo(out, frames);
}

void FilePlayer::prepare(size_t frames)
{
    // Stepped clock only: wait (briefly, bounded) until the reader has the frames ready.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
        if (acknowledgeSeek()) {
            if (paused_.load() || readerEof_.load() || ring_.available() >= frames * 2)
                return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

void FilePlayer::readerLoop()
{
    ThreadRoleScope role(ThreadRole::Worker);
    quint64 gen = readerGen_.load();
    quint64 seekedGen = gen;
    while (!quitReader_.load()) {
        const quint64 g = requestGen_.load(std::memory_order_acquire);
        if (g != gen) {
            // A seek: nothing more goes into the ring until the callback has emptied it.
            gen = g;
            readerEof_.store(false);
            readerGen_.store(g, std::memory_order_release);
        }
        if (seenGen_.load(std::memory_order_acquire) != gen) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        if (seekedGen != gen) {
            restartFeed(seekTarget_.load());
            seekedGen = gen;
        }
        if (feed())
            continue;
        if (finished_.load())
            postEnd();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace tamblor::audio
