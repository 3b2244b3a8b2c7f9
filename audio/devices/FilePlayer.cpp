#include "audio/devices/FilePlayer.h"
#include "platform/Failure.h"
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <chrono>
#include <sndfile.h>

namespace tamblor::audio {

namespace {

constexpr size_t RingSamples = 1u << 17; // about 1.5 s of 44100 stereo
constexpr size_t ReadFrames = 4096;

// Reads the fmt chunk and finds the data chunk of a RIFF WAVE file. Sizes that claim more than
// the file holds are cut to what it holds.
bool scanRiff(const QString& path, WaveInfo& info)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    info.fileSize = f.size();
    const QByteArray head = f.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return false;
    bool haveFormat = false;
    while (!f.atEnd()) {
        const QByteArray chunk = f.read(8);
        if (chunk.size() < 8)
            break;
        const qint64 size = qFromLittleEndian<quint32>(chunk.constData() + 4);
        const qint64 body = f.pos();
        if (chunk.startsWith("fmt ")) {
            const QByteArray fmt = f.read(std::min<qint64>(size, 64));
            if (fmt.size() < 16)
                return false;
            const char* p = fmt.constData();
            WaveFormat w;
            w.formatTag = qFromLittleEndian<quint16>(p);
            w.channels = qFromLittleEndian<quint16>(p + 2);
            w.sampleRate = int(qFromLittleEndian<quint32>(p + 4));
            w.avgBytesPerSecond = int(qFromLittleEndian<quint32>(p + 8));
            w.blockAlign = qFromLittleEndian<quint16>(p + 12);
            w.bitsPerSample = qFromLittleEndian<quint16>(p + 14);
            w.samplesPerBlock = fmt.size() >= 20 && w.formatTag == WaveFormat::MsAdpcm
                                    ? qFromLittleEndian<quint16>(p + 18) : 0;
            info.format = w;
            haveFormat = true;
        } else if (chunk.startsWith("data")) {
            info.dataOffset = body;
            info.dataSize = std::min(size, info.fileSize - body);
            return haveFormat;
        }
        if (!f.seek(body + size + (size & 1)))
            break;
    }
    return false;
}

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
    WaveInfo info;
    info.fileName = fileName_;
    SF_INFO sf{};
    SNDFILE* file = sf_open(QFile::encodeName(fileName_).constData(), SFM_READ, &sf);
    if (!file || sf.channels < 1 || sf.channels > 2 || sf.samplerate <= 0) {
        if (file)
            sf_close(file);
        throw Failure(Failure::InvalidPropertyValue);
    }
    info.frames = sf.frames;
    if (!scanRiff(fileName_, info)) {
        // Not a plain RIFF file (libsndfile reads others): describe it as 16-bit PCM.
        info.format = WaveFormat::pcm(sf.samplerate, sf.channels, 16);
        info.dataSize = sf.frames * info.format.blockAlign;
        info.fileSize = fi.size();
    }
    file_ = file;
    info_ = info;
    fileChannels_ = sf.channels;
}

void FilePlayer::closeFile()
{
    if (file_)
        sf_close(file_);
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
    if (playing_)
        paused_.store(true);
}

void FilePlayer::resume()
{
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
    const int channels = fileChannels_;
    std::vector<int16_t> chunk(ReadFrames * 2);
    std::vector<int16_t> stereo(ReadFrames * 2);
    quint64 gen = readerGen_.load();
    quint64 seekedGen = gen;
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
            sf_seek(file_, seekTarget_.load(), SEEK_SET);
            seekedGen = gen;
        }
        if (!readerEof_.load() && ring_.space() >= ReadFrames * 2) {
            const sf_count_t n = sf_readf_short(file_, chunk.data(), sf_count_t(ReadFrames));
            const size_t frames = n > 0 ? size_t(n) : 0;
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
