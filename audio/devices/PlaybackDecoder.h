#pragma once
// The player's view of an open sound file: stereo frames of 16-bit samples from any frame on.
// Mono is copied to both channels; floating-point samples play at their level (1.0 is full
// scale, what lies beyond it is clipped), where libsndfile alone would round them to silence.
// Integer encodings are decoded by libsndfile exactly as before.
#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <vector>

typedef struct sf_private_tag SNDFILE;

namespace tamblor::audio {

class PlaybackDecoder {
public:
    // `frames`: the whole frames the file holds (nothing past them is read).
    PlaybackDecoder(SNDFILE* file, int channels, qint64 frames);

    void seek(qint64 frame);
    qint64 position() const { return at_; }
    // Up to `frames` frames into `stereo` (2 samples a frame); fewer only at the end.
    size_t read(int16_t* stereo, size_t frames);

private:
    SNDFILE* file_;
    int channels_;
    qint64 frames_;
    bool float_ = false;
    qint64 at_ = 0;
    std::vector<int16_t> shorts_;
    std::vector<float> floats_;
};

} // namespace tamblor::audio
