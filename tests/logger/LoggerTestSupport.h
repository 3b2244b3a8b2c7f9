#pragma once
// What the logger's tests share: a counting signal's frames checked end to end across files,
// segment files read whole, and the bext chunk read back byte by byte.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace logger_test {

// Every sample of a file (interleaved 16-bit) as libsndfile reads it; `frames` and `rate` set.
struct FileSamples {
    std::vector<int16_t> samples;
    int64_t frames = -1;
    int channels = 0;
    int rate = 0;
};
FileSamples readSamples(const QString& path);

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

// Milliseconds since 1970 of a local date and time (in the zone set now).
qint64 localMs(int y, int m, int d, int hh, int mm, int ss = 0);

} // namespace logger_test
