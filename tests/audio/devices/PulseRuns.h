#pragma once
// Runs on a real device, for the PortAudio tests and the measuring program: one file played by
// the FilePlayer while a sound server's monitor is recorded, and how much of the file was heard;
// one quiet take, and whether the input was taken for lost.
#include "PlaybackEdges.h"
#include <QString>

namespace tamblor::audio {
class AudioBackend;
}

namespace tamblor::audio::measure {

struct PlaybackCase {
    int rate = 44100;
    bool adpcm = false; // Microsoft ADPCM as the recorder writes it, else 16-bit PCM
    int channels = 2;
    QString name() const;
};

struct PlaybackRun {
    Edges edges;
    int fileRate = 0;
    int deviceRate = 0;    // the rate the device played at
    quint64 underflows = 0; // times the device ran dry
    quint64 starved = 0;    // frames of silence because the player's reader fell behind
    QString failure;        // why nothing could be measured; empty when measured
    QString text() const;
};

// Writes the case's file (`seconds` of edge noise) into `folder`, plays it on `device` with a
// FilePlayer while `monitor` is recorded, and finds the file in the recording.
PlaybackRun playAndMeasure(AudioBackend& backend, int device, const QString& monitor, const PlaybackCase& c,
                           const QString& folder, double seconds, unsigned seed);

struct QuietRun {
    bool lost = false;
    qint64 lostAfterMs = -1;
    qint64 firstBufferMs = -1; // when the device first delivered
    qint64 framesWritten = 0;
    QString text() const;
};

// Arms the input `device` (8000 mono) and, after a second, records into `file` until `seconds`
// have passed, looking for a lost device at each tick of a 50 ms timer, as the recorder does.
QuietRun recordQuietly(AudioBackend& backend, int device, const QString& file, int seconds);

} // namespace tamblor::audio::measure
