#include "audio/loudness/LoudnessHistory.h"
#include <algorithm>
#include <cmath>
#include <limits>

namespace tamblor::audio {

namespace {

double absoluteGate()
{
    static const double gate = energyOfLoudness(-70.0);
    return gate;
}
constexpr double kIntegratedGate = 0.1; // -10 LU
constexpr double kRangeGate = 0.01;     // -20 LU

} // namespace

double loudnessOfEnergy(double energy)
{
    return energy > 0 ? 10.0 * std::log10(energy) - 0.691 : -std::numeric_limits<double>::infinity();
}

double energyOfLoudness(double lufs) { return std::pow(10.0, (lufs + 0.691) / 10.0); }

void LoudnessHistory::addGatingBlock(double energy)
{
    if (energy >= absoluteGate())
        gating_.push_back(energy);
}

void LoudnessHistory::addShortTermBlock(double energy)
{
    if (energy >= absoluteGate())
        shortTerm_.push_back(energy);
}

void LoudnessHistory::clear()
{
    gating_.clear();
    shortTerm_.clear();
}

double LoudnessHistory::integratedEnergy() const
{
    if (gating_.empty())
        return 0.0;
    double sum = 0;
    for (double e : gating_)
        sum += e;
    const double gate = sum / double(gating_.size()) * kIntegratedGate;
    double gated = 0;
    size_t count = 0;
    for (double e : gating_)
        if (e >= gate) {
            gated += e;
            ++count;
        }
    return count ? gated / double(count) : 0.0;
}

double LoudnessHistory::rangeLu() const
{
    if (shortTerm_.empty())
        return 0.0;
    std::vector<double> sorted = shortTerm_;
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (double e : sorted)
        sum += e;
    const double gate = sum / double(sorted.size()) * kRangeGate;
    const auto first = std::lower_bound(sorted.begin(), sorted.end(), gate);
    const size_t n = size_t(sorted.end() - first);
    if (n == 0)
        return 0.0;
    // The percentiles as the nearest rank.
    const double high = first[ptrdiff_t(double(n - 1) * 0.95 + 0.5)];
    const double low = first[ptrdiff_t(double(n - 1) * 0.10 + 0.5)];
    return loudnessOfEnergy(high) - loudnessOfEnergy(low);
}

} // namespace tamblor::audio
