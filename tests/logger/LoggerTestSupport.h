#pragma once
// What the logger's tests share: a counting signal through the segment cutter and its frames
// checked end to end across files, segment files read whole, the bext chunk read back byte by
// byte, and segment rows made by hand.
#include "logger/SegmentRecorder.h"
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace logger_test {

// Every sample of a file (interleaved, the top 16 bits of each) as libsndfile reads it.
struct FileSamples {
    std::vector<int16_t> samples;
    int64_t frames = -1;
    int channels = 0;
    int rate = 0;
    int bits = 0; // 24 or 16
    // The number a frame of the counting signal carries (two channels at least).
    uint32_t number(int64_t i) const;
};
FileSamples readSamples(const QString& path);

// A counting input through the cutter from `fromMs` to `toMs`, `ratio` times the nominal rate,
// noted every `stepMs` as the logger's polls do. Frame n (from `first`) carries n % 32768 in its
// first channel and n / 32768 in the others; the rows of the segments closed, and the frames given.
struct Recorded {
    std::vector<tamblor::logger::SegmentRecord> rows;
    int64_t given = 0;
};
Recorded recordCounting(const tamblor::logger::RecorderSettings& settings, qint64 fromMs, qint64 toMs,
                        double ratio = 1.0, qint64 stepMs = 100, uint32_t first = 0);
// How many frames of `s` do not carry the numbers from `first` on.
int64_t misnumbered(const FileSamples& s, uint32_t first);

// The segment files below a folder, in the order of their names (their start times).
QStringList segmentFiles(const QString& folder);

// The counting signal (mono) over the files in order: the frame each file begins with, and
// how many frames did not follow the one before.
struct Joined {
    std::vector<int64_t> firstFrames;
    int64_t frames = 0;
    int64_t wrong = 0;
};
Joined joinCounting(const QStringList& files);

// The bext chunk of a WAV file as its bytes say, read without libsndfile.
struct Bext {
    bool found = false;
    QString description, originator, originatorReference, date, time;
    uint64_t timeReference = 0;
    int version = 0;
    int16_t loudnessValue = 0, loudnessRange = 0, maxTruePeak = 0, maxMomentary = 0, maxShortTerm = 0;
    uint32_t dataBytes = 0;   // the data chunk's size field
    uint32_t riffBytes = 0;   // the RIFF size field
};
Bext readBext(const QByteArray& file);

// Milliseconds since 1970 of a local date and time (in the zone set now), and of a time of
// 7 December 2026 in UTC.
qint64 localMs(int y, int m, int d, int hh, int mm, int ss = 0);
qint64 utcMs(int hh, int mm, int ss, int ms = 0);

// A closed OK mono segment row of `minutes` from `startMs`, its file named below `folder` as the
// cutter names it (the file itself not made).
tamblor::logger::SegmentRecord closedRow(const QString& folder, qint64 startMs, int minutes, int rate);

} // namespace logger_test
