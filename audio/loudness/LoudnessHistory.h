#pragma once
// What a loudness measurement keeps of the whole programme: the energy of every 400 ms gating
// block (one each 100 ms) and of every 3 s short-term block (one each second) that passes the
// absolute gate of -70 LUFS, and from them the gated integrated loudness (ITU-R BS.1770: a
// relative gate 10 LU below the loudness of the blocks above the absolute gate) and the
// loudness range (EBU Tech 3342: the spread between the 10th and the 95th percentile of the
// short-term loudness, above a relative gate 20 LU below their mean). An hour keeps 36 000
// gating blocks, a day under a million.
#include <cstddef>
#include <vector>

namespace tamblor::audio {

// Loudness (LUFS) of a mean square energy of the K-weighted signal, and back; -inf for 0.
double loudnessOfEnergy(double energy);
double energyOfLoudness(double lufs);

class LoudnessHistory {
public:
    void addGatingBlock(double energy);
    void addShortTermBlock(double energy);
    void clear();

    // The gated mean energy of the programme; 0 when no block passes the gates.
    double integratedEnergy() const;
    // The loudness range in LU; 0 when no short-term block passes the gates.
    double rangeLu() const;

private:
    std::vector<double> gating_;
    std::vector<double> shortTerm_;
};

} // namespace tamblor::audio
