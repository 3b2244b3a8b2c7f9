#pragma once
// Plays a wave file on the output device numbered DeviceID.
//
// The file is decoded by a reader thread into a lock-free ring; the device callback only copies
// from the ring, so it never waits for the disk. Positions are offsets into the file's sample
// data, in milliseconds or in bytes of the file's own format (TimeFormat).
//
// Every frame is heard: the ring holds the file's first frames before the device starts, the
// device is asked for a queue deep enough to ride out a busy machine, and the end of the file
// counts only once the device has played its whole queue after the last frame (silence goes
// in behind it); only then is the device stopped and playbackEnded() sent. A device that cannot
// play the file's rate plays it converted to one it can.
#include "audio/core/WaveFormat.h"
#include "audio/devices/AudioBackend.h"
#include "audio/devices/PeakLevels.h"
#include "audio/devices/PlaybackDecoder.h"
#include "audio/devices/PlaybackResampler.h"
#include "audio/devices/SampleTap.h"
#include "audio/devices/SpscRing.h"
#include "audio/format/SndFileReader.h"
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

typedef struct sf_private_tag SNDFILE;

namespace tamblor::audio {

// What the player knows of its file (its "wave object").
struct WaveInfo {
    QString fileName;
    WaveFormat format;
    qint64 dataOffset = 0; // byte offset of the sample data in the file
    qint64 dataSize = 0;   // bytes of sample data in the file's own format
    qint64 frames = 0;     // sample frames
    qint64 fileSize = 0;   // whole length of the file in bytes
};

class FilePlayer : public QObject {
    Q_OBJECT
public:
    enum class TimeFormat { Milliseconds, Bytes };

    explicit FilePlayer(AudioBackend& backend, QObject* parent = nullptr);
    ~FilePlayer() override;

    int deviceCount() const { return backend_.outputDeviceCount(); }
    QString deviceName(int device) const { return backend_.outputDeviceName(device); }
    // The chosen device as a message names it (its name, or its number).
    QString deviceLabel() const { return backend_.outputDeviceLabel(deviceId_); }
    void setDeviceId(int device) { deviceId_ = device; }
    int deviceId() const { return deviceId_; }
    void setTimeFormat(TimeFormat format) { timeFormat_ = format; }
    TimeFormat timeFormat() const { return timeFormat_; }

    // Naming another file stops the one playing (without playbackEnded).
    void setFileName(const QString& path);
    QString fileName() const { return fileName_; }
    // Opens the named file when needed. Throws Failure: 52 no name, 53 missing, 70 not
    // readable, 380 not a sound file this player can decode.
    WaveInfo wave();

    // Plays the named file from the current position (0 unless set since the last stop), at
    // the file's own rate (or converted, see ConversionRates), always as stereo (mono is copied
    // to both channels). Playing again while playing starts over. Throws Failure (the file's,
    // or 68 when the device refuses every rate).
    void play();
    // The rates a device that refuses the file's own rate is tried at, in this order.
    static constexpr int ConversionRates[] = {44100, 48000};
    // The queue asked of the device, in seconds.
    static constexpr double DeviceQueueSeconds = 0.2;
    // The rate the device plays at (the file's, unless converted); 0 while idle.
    int deviceRate() const { return playing_ ? deviceRate_ : 0; }
    // Stops and rewinds to 0; playbackEnded() is not sent: the caller knows.
    void stop();
    // Holds playing (the device plays silence) and keeps the position; no-op when not playing.
    void pause();
    void resume();
    bool isPlaying() const { return playing_; }
    bool isPaused() const { return playing_ && paused_.load(); }
    // The output device failed while playing (see AudioStream::hasFailed).
    bool deviceFailed() const { return stream_ && stream_->hasFailed(); }
    // Times the device ran dry while playing this file (see AudioStream::underflows).
    quint64 underflows() const { return stream_ ? stream_->underflows() : underflows_; }
    // Frames of silence the device was given since play() because the reader fell behind.
    quint64 starvedFrames() const { return starved_.load(); }

    // Position in the time format. Setting it seeks; while idle it sets where play() starts.
    qint64 position() const;
    void setPosition(qint64 value);
    qint64 positionFrames() const;
    void setPositionFrames(qint64 frame);
    qint64 framesToTime(qint64 frames) const;
    qint64 timeToFrames(qint64 value) const;

    // Peaks of what was last sent to the device (0 while paused or idle).
    PeakLevels levels() const { return levels_.load(); }
    // A copy of the file's frames as the device callback hands them on (stereo, at the
    // device's rate), for a reader of its own such as a loudness meter. The silence of a pause
    // and after the end is not the file's and is left out.
    SampleTap& tap() { return tap_; }

    // Lets pending events run, after making sure the end of the file, when the device has
    // reached it, is reported by playbackEnded() among them. Call on the UI thread.
    void waitIdle();

signals:
    void playbackStarted();
    // The file has played to its end and its last frame has been heard (not sent for stop()).
    void playbackEnded();

private:
    void openFile();
    void closeFile();
    void teardown();
    void openStream();
    void restartFeed(qint64 frame);
    bool feed();
    void readerLoop();
    void render(int16_t* out, size_t frames);
    void prepare(size_t frames);
    bool acknowledgeSeek(); // consumer side; true when no seek is pending any more
    void postEnd(bool again = false);

    AudioBackend& backend_;
    int deviceId_ = 0;
    TimeFormat timeFormat_ = TimeFormat::Milliseconds;
    QString fileName_;
    std::unique_ptr<SndFileReader> sound_;
    SNDFILE* file_ = nullptr; // sound_'s handle
    WaveInfo info_;
    int fileChannels_ = 2; // as the file holds them
    std::unique_ptr<AudioStream> stream_;
    int deviceRate_ = 0;
    quint64 underflows_ = 0; // of the last stream
    qint64 drainFrames_ = 0; // silence after the last frame until it has been heard
    bool playing_ = false;
    qint64 startFrame_ = 0;
    quint64 playId_ = 0;

    SpscRing<int16_t> ring_; // stereo frames at the device's rate
    // The feed: decoded (and converted) frames on their way to the ring. The UI thread fills
    // the ring before the device starts, the reader thread afterwards.
    std::unique_ptr<PlaybackDecoder> decoder_;
    std::unique_ptr<PlaybackResampler> resampler_;
    std::vector<int16_t> decoded_;
    std::vector<int16_t> pending_;
    size_t pendingAt_ = 0;
    bool decodedAll_ = false;
    std::thread reader_;
    std::atomic<bool> quitReader_{false};
    // Seeking while playing: the UI raises requestGen_ with a new target; the reader stops
    // filling and raises readerGen_; the callback then drops the ring and raises seenGen_; only
    // then does the reader seek the file and fill again, so no stale frame is ever played.
    std::atomic<quint64> requestGen_{0};
    std::atomic<quint64> readerGen_{0};
    std::atomic<quint64> seenGen_{0};
    std::atomic<qint64> seekTarget_{0};
    std::atomic<bool> readerEof_{false};
    std::atomic<bool> paused_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> endPosted_{false};
    std::atomic<qint64> framePos_{0}; // file frame, written by the callback
    std::atomic<quint64> starved_{0};
    // Callback only: the file frame it started from, device frames played since, and frames
    // of silence played after the last one.
    qint64 base_ = 0;
    qint64 played_ = 0;
    qint64 tail_ = 0;
    PeakLevelCell levels_;
    SampleTap tap_;
};

} // namespace tamblor::audio
