#pragma once
// One segment file being written through libsndfile: WAV (16- or 24-bit PCM) with a Broadcast
// WAVE `bext` chunk, or FLAC with the same facts as Vorbis comments. The header is brought up to
// date every HeaderEveryFrames, so a program killed outright leaves a file that opens with all
// but the last moments in it; the loudness fields (bext version 2) are written at the close.
#include "logger/SegmentRecord.h"
#include <QString>
#include <cstdint>

typedef struct sf_private_tag SNDFILE;

namespace tamblor::logger {

// The facts a segment's header carries.
struct SegmentFacts {
    qint64 startMs = 0;
    int utcOffsetSeconds = 0;
    qint64 framesSinceMidnight = 0;
    QString title; // the file's stamp
};

class SegmentFile {
public:
    SegmentFile() = default;
    ~SegmentFile();
    SegmentFile(const SegmentFile&) = delete;
    SegmentFile& operator=(const SegmentFile&) = delete;

    // Creates the file (never over an existing one). False with error() set when it cannot.
    bool open(const QString& path, FileEncoding encoding, int rate, int channels, const SegmentFacts& facts);
    bool isOpen() const { return file_ != nullptr; }
    // Writes interleaved frames; false with error() set when not all were written (a full disk).
    bool write(const int16_t* samples, qint64 frames);
    // Writes the header as the file stands now (the sizes of a WAV file).
    void refreshHeader();
    // Writes the loudness fields and closes the file.
    void close(const SegmentFigures& figures);
    qint64 frames() const { return frames_; }
    QString error() const { return error_; }
    // The errno of the failed write (ENOSPC for a full disk), 0 when unknown.
    int errorNumber() const { return errno_; }

    // Frames a segment file's header says it holds (what a reader gets); -1 when it does not open.
    static qint64 framesIn(const QString& path);
    // The description the bext chunk carries (also the FLAC comment).
    static QString description(const SegmentFacts& facts, int rate);

private:
    void setBroadcastInfo(const SegmentFigures* figures);

    SNDFILE* file_ = nullptr;
    FileEncoding encoding_ = FileEncoding::Wav16;
    int rate_ = 0;
    SegmentFacts facts_;
    qint64 frames_ = 0;
    QString error_;
    int errno_ = 0;
};

// The SHA-256 of a file in lower-case hex; empty when it cannot be read.
QByteArray fileSha256(const QString& path);

} // namespace tamblor::logger
