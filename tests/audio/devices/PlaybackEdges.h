#pragma once
// Where a played file begins and ends in a recording of what came out of the sound server: how
// many of its frames are missing at the start and at the end.
//
// The file is loud noise (see edgeNoise), so each short stretch of it is found in the file by
// correlation. The recording (at its own rate) is converted to the file's rate; its first and
// last loud samples mark where the sound began and ended, and the stretch just inside each
// mark, found in the file, says which file frame was heard there.
#include <QString>
#include <cstdint>
#include <vector>

namespace tamblor::audio::measure {

// Noise whose every sample is loud (8000 to 16000 either way), channels independent: no stretch
// repeats, and the first and last frames are as loud as the rest.
std::vector<int16_t> edgeNoise(size_t frames, int channels, unsigned seed);

struct Edges {
    bool heard = false;      // anything loud in the recording at all
    qint64 missingStart = 0; // file frames not heard at the start (negative: heard early)
    qint64 missingEnd = 0;   // file frames not heard at the end
    qint64 middle = 0;       // heard span minus the frames between the two (gaps: > 0)
    double matchStart = 0;   // correlation of the stretches found (1 is a perfect match)
    double matchEnd = 0;
    QString text(int fileRate) const;
};

// `recording`: interleaved stereo at `recordingRate`; `file`: the samples the file decodes to
// (interleaved, `channels`), at `fileRate`. The left channel (the only one of mono) is compared.
Edges findEdges(const std::vector<int16_t>& recording, int recordingRate, const std::vector<int16_t>& file,
                int fileRate, int channels);

} // namespace tamblor::audio::measure
