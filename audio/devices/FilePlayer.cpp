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
#include <sndfile.h>

namespace tamblor::audio {

namespace {

constexpr size_t RingSamples = 1u << 17; // about 1.5 s of 44100 stereo
constexpr size_t ReadFrames = 4096;

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
    // The shared reader decides what the file holds, so the player plays exactly what the other
    // windows send, normalize and cut, and a damaged file is reported in the same words.
    const RiffLayout layout = RiffReader::read(fileName_);
    WaveInfo info;
    info.fileName = fileName_;
    info.format = layout.format;
    info.dataOffset = qint64(layout.dataOffset);
    info.dataSize = qint64(layout.dataSize);
    info.fileSize = qint64(layout.fileSize);
    errno = 0;
    auto sound = std::make_unique<SndFileReader>(fileName_);
    const int channels = layout.format.channels;
    if (channels < 1 || channels > 2 || layout.format.sampleRate <= 0)
        throw Failure(Failure::InvalidPropertyValue);
    // No further than the whole frames the reader found (libsndfile may count a last part).
    info.frames = std::min<qint64>(sound->frames(), layout.frames());
    sound_ = std::move(sound);
    file_ = sound_->handle();
    info_ = info;
    fileChannels_ = channels;
}

void FilePlayer::closeFile()
{
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
    sf_seek(file_, start, SEEK_SET);
    const quint64 g = requestGen_.load();
    readerGen_.store(g);
    seenGen_.store(g);
    ring_.discardAll();
    framePos_.store(start);
    readerEof_.store(false);
    finished_.store(false);
    endPosted_.store(false);
    paused_.store(false);
    quitReader_.store(false);
    const StreamFormat format{info_.format.sampleRate, 2, 1024};
    stream_ = backend_.openOutput(deviceId_, format,
                                  {[this](int16_t* out, size_t frames) { render(out, frames); },
                                   [this](size_t frames) { prepare(frames); }});
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
    stream_.reset();
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

void FilePlayer::postEnd()
{
    if (endPosted_.exchange(true))
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
    if (playing_ && finished_.load())
        postEnd();
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
    framePos_.store(seekTarget_.load());
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
        framePos_.fetch_add(qint64(got), std::memory_order_relaxed);
        if (got < frames && eof)
            finished_.store(true);
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
    const int channels = fileChannels_;
    std::vector<int16_t> chunk(ReadFrames * 2);
    std::vector<int16_t> stereo(ReadFrames * 2);
    quint64 gen = readerGen_.load();
    quint64 seekedGen = gen;
    qint64 at = framePos_.load(); // the decoder's frame; nothing past info_.frames is played
    while (!quitReader_.load()) {
        const quint64 g = requestGen_.load(std::memory_order_acquire);
        if (g != gen) {
            gen = g;
            readerEof_.store(false);
            readerGen_.store(g, std::memory_order_release);
        }
        if (seenGen_.load(std::memory_order_acquire) != gen) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        if (seekedGen != gen) {
            at = seekTarget_.load();
            sf_seek(file_, at, SEEK_SET);
            seekedGen = gen;
        }
        if (!readerEof_.load() && ring_.space() >= ReadFrames * 2) {
            const qint64 want = std::clamp<qint64>(info_.frames - at, 0, qint64(ReadFrames));
            const sf_count_t n = want > 0 ? sf_readf_short(file_, chunk.data(), sf_count_t(want)) : 0;
            const size_t frames = n > 0 ? size_t(n) : 0;
            at += qint64(frames);
            const int16_t* data = chunk.data();
            if (channels == 1) {
                for (size_t i = 0; i < frames; ++i)
                    stereo[2 * i] = stereo[2 * i + 1] = chunk[i];
                data = stereo.data();
            }
            ring_.write(data, frames * 2);
            if (frames < ReadFrames)
                readerEof_.store(true, std::memory_order_release);
            continue;
        }
        if (finished_.load())
            postEnd();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace tamblor::audio
