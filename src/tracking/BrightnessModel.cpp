#include "tracking/BrightnessModel.h"

#include <algorithm>
#include <cmath>

#include "tracking/RobustWeights.h"

namespace {

constexpr std::size_t kFewestPairs = 12;
constexpr double kLeastGain = 0.5, kMostGain = 2.0;
// Each round leaves out the pairs beyond three robust deviations of the last gain.
constexpr int kTrimmings = 3;
// A trimming that changes the gain by less than this (a hundredth of a grey level at mid-grey) ends the fit.
constexpr double kSettled = 1e-4;

// The ratio of sums over the pairs `keep` admits; NaN when there are too few or nothing to divide by.
template <typename Keep>
double Ratio(const std::vector<float>& reference, const std::vector<float>& current, std::size_t n, Keep keep) {
    double sumReference = 0.0, sumCurrent = 0.0;
    std::size_t count = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (!keep(k)) continue;
        sumReference += reference[k];
        sumCurrent += current[k];
        ++count;
    }
    return count >= kFewestPairs && sumReference > 0.0 ? sumCurrent / sumReference : std::nan("");
}

}  // namespace

void CBrightnessModel::Fit(const std::vector<float>& reference, const std::vector<float>& current) {
    const std::size_t n = std::min(reference.size(), current.size());
    double gain = fitted_ ? gain_ : Ratio(reference, current, n, [](std::size_t) { return true; });
    misfit_.resize(n);
    for (int round = 0; round < kTrimmings && std::isfinite(gain); ++round) {
        for (std::size_t k = 0; k < n; ++k)
            misfit_[k] = static_cast<float>(std::fabs(current[k] - gain * reference[k]));
        const double bound = 3.0 * CRobustWeights::Scale(misfit_, 0.0f, scratch_);
        const double trimmed = Ratio(reference, current, n, [&](std::size_t k) { return misfit_[k] <= bound; });
        if (!std::isfinite(trimmed)) break;
        const bool settled = std::fabs(trimmed - gain) < kSettled * gain;
        gain = trimmed;
        if (settled) break;
    }
    if (gain >= kLeastGain && gain <= kMostGain) {
        gain_ = static_cast<float>(gain);
        fitted_ = true;
    }
}
