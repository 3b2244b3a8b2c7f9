#pragma once
// The K-weighting of ITU-R BS.1770: a high shelf (+4 dB above about 1.7 kHz, the head's
// effect) followed by a high-pass (the RLB curve, about 38 Hz), designed for any sample rate
// from the analog prototype and run as one fourth-order filter per channel in double
// precision. What a loudness measurement needs of the filtered signal is its energy, so that
// is what comes out: the sum of the squares of the filtered samples of each channel.
#include <cstddef>
#include <vector>

namespace tamblor::audio {

class KWeighting {
public:
    KWeighting(int channels, int sampleRate);

    // Filters `frames` samples of every channel (one plane of floats per channel, full scale
    // at 1.0) and adds the squares of the filtered samples to energy[channel]. Channels whose
    // `skip` is set (weight 0 in the sum, such as a low-frequency effects channel) are passed by.
    void run(const float* const* planes, size_t frames, double* energy, const std::vector<bool>& skip);

    // Forgets the signal so far (the filters start from silence again).
    void reset();

    // The filter's coefficients: b[0..4] over a[0..4], a[0] being 1.
    const double* b() const { return b_; }
    const double* a() const { return a_; }

private:
    double b_[5];
    double a_[5];
    // Four delayed values of the filter's inner state per channel.
    std::vector<double> state_;
    // Zeros beside a channel left over when the channels are taken two by two.
    std::vector<float> silence_;
    int channels_;
};

} // namespace tamblor::audio
