#pragma once
// The wave file writer of the recording chain: while enabled it writes the input device's
// buffers (after the gain) as 16-bit PCM WAV, or as Microsoft ADPCM, at the input's rate and
// channel count.
//
// Writing happens on the input's worker thread, never on the UI thread. The header is rewritten
// as the file grows, so a recording cut short still opens. The writer keeps the most recent
// buffers (the pre-roll) so that writing can start with a buffer the UI has already seen: the
// handler of bufferFilled(sequence, ...) may call setEnabled(true, sequence).
#include "audio/core/WaveFormat.h"
#include <QObject>
#include <QString>
#include <deque>
#include <mutex>
#include <vector>

typedef struct sf_private_tag SNDFILE;

namespace tamblor::audio {

class InputDevice;

class RecordingWriter : public QObject {
    Q_OBJECT
public:
    // About three seconds of 44100 stereo, six of mono, more at lower rates.
    static constexpr int PreRollBuffers = 128;

    explicit RecordingWriter(InputDevice& input, QObject* parent = nullptr);
    ~RecordingWriter() override;

    void setFileName(const QString& path) { fileName_ = path; }
    QString fileName() const { return fileName_; }

    enum class Encoding { Pcm16, MsAdpcm };
    // Takes effect with the next file.
    void setEncoding(Encoding encoding) { encoding_ = encoding; }
    Encoding encoding() const { return encoding_; }
    // The format the file is written in at the input's current rate and channels; its
    // avgBytesPerSecond is what the file grows by each second.
    WaveFormat fileFormat() const;

    // A wave file cannot pass 4 GiB (its sizes are 32-bit). Writing stops, and the file is
    // closed complete, before its size would pass this many bytes; then limitReached() follows.
    static constexpr qint64 WaveSizeLimit = 0xFFFFFFFFLL - 0xFFFF;
    void setSizeLimit(qint64 bytes) { sizeLimit_ = bytes; }
    qint64 sizeLimit() const { return sizeLimit_; }

    // True: creates the file now (throws Failure when it cannot) and writes from the buffer
    // numbered `fromSequence` on, taken from the pre-roll when already processed (the oldest
    // kept buffer when it is older than the pre-roll). Without a number, writing starts with
    // the first buffer not processed yet.
    // False: writing ends with the buffer that holds the last sample the device delivered
    // before the call; then the file is closed.
    // Enabling while enabled, or disabling while disabled, does nothing.
    void setEnabled(bool enabled, qint64 fromSequence = -1);
    bool isEnabled() const { return enabled_; }
    // Creates the file now (throws Failure) and writes from the input's sample numbered
    // `firstSample` (counted as InputDevice::samplesDelivered(), the first sample of a frame;
    // taken from the pre-roll when already processed), exactly `frames` frames when more than
    // 0; then the file is closed and lengthReached() follows. A take on a clock: its first
    // sample is the one due at its start.
    void enableFromSample(quint64 firstSample, qint64 frames = 0);
    // While enabled: no sample from the input's sample numbered `atSample` on is written (a
    // pause), until resume(); the file stays open and the same take goes on after it. Counted as
    // InputDevice::samplesDelivered(); without a number, from the first sample not delivered yet.
    void pause(qint64 atSample = -1);
    // Writing goes on with the input's sample numbered `atSample` (without a number, the first
    // sample not delivered yet).
    void resume(qint64 atSample = -1);
    bool isPaused() const { return paused_; }
    // While enabled: the file ends before the input's sample numbered `atSample` (the first
    // sample of a frame, counted as InputDevice::samplesDelivered()): no sample from it on is
    // written, whenever the input delivers it. The file stays open until setEnabled(false).
    void endBeforeSample(quint64 atSample);
    // The input sample the current (or last) file begins with; exact after InputDevice::waitIdle().
    quint64 firstSampleWritten() const;

    // Frames written to the current (or last) file; exact after InputDevice::waitIdle().
    qint64 framesWritten() const;

signals:
    // Writing failed (a full disk, ...); the file is closed and writing has stopped.
    void writeFailed(int number, const QString& description);
    // The file reached the size limit; it is closed and writing has stopped.
    void limitReached();
    // The file holds the frames enableFromFrame() asked for; it is closed and writing has stopped.
    void lengthReached();

private:
    friend class InputDevice;
    struct Command {
        bool enable;
        SNDFILE* file;
        qint64 fromSequence;
        size_t untilSample; // disable: due once the input has consumed this far
        WaveFormat format;
        qint64 frameLimit;
        bool fromSample;     // fromSequence is ignored; writing begins at firstSample
        quint64 firstSample;
        bool lengthBound;    // frameLimit is the length asked for, not the size limit
        quint64 generation;  // of the file it opens
        int gate = 0;        // 1 pause, 2 resume at firstSample (the other fields unused)
    };
    struct Kept {
        qint64 sequence = 0;
        size_t position = 0; // the input's samples before this buffer
        int channels = 2;
        std::vector<int16_t> samples;
    };
    // Worker thread only.
    // `position` counts the input's samples before this buffer.
    void onBuffer(qint64 sequence, const int16_t* samples, size_t frames, int channels, size_t position);
    // Applies the commands that are due once the input has consumed `position` samples.
    void service(size_t position);
    // Writes the part of a buffer that belongs to the file (from the first frame on).
    void writeFrom(const int16_t* samples, size_t frames, int channels, size_t position);
    void write(const int16_t* samples, size_t frames, int channels);
    void enable(const Command& command);
    void closeFile();
    // Frames of `format` that a file of `bytes` bytes can hold.
    static qint64 framesWithin(const WaveFormat& format, qint64 bytes);

    InputDevice& input_;
    QString fileName_;
    Encoding encoding_ = Encoding::Pcm16;
    qint64 sizeLimit_ = WaveSizeLimit;
    bool enabled_ = false; // as the UI last set it
    bool paused_ = false;  // as the UI last set it
    // Counts the files opened (UI thread): news of an earlier file's end that arrives after a
    // new file was opened is not about the new one.
    quint64 generation_ = 0;

    mutable std::mutex mutex_;
    std::vector<Command> pending_;
    qint64 written_ = 0;
    quint64 firstWritten_ = 0;

    // Worker state.
    std::deque<Kept> preRoll_;
    SNDFILE* file_ = nullptr;
    qint64 startSequence_ = 0;
    WaveFormat fileFormat_;  // of the open file
    qint64 frameLimit_ = 0; // frames the open file may hold
    bool lengthBound_ = false;
    bool fromSample_ = false;
    quint64 firstSample_ = 0;
    bool firstSeen_ = false; // the first frame of the open file has been written
    // Pauses and resumes of the open file not reached yet: at this input sample, writing
    // stops (false) or goes on (true). In order.
    std::deque<std::pair<quint64, bool>> gates_;
    bool gateOpen_ = true;
    quint64 fileGeneration_ = 0;
};

} // namespace tamblor::audio
