#include "tracking/RobustWeights.h"

#include <algorithm>
#include <cmath>

#include "tracking/TrackerParameters.h"

float CRobustWeights::Scale(const std::vector<float>& residuals, float floor, std::vector<float>& scratch) {
    if (residuals.empty()) return floor;
    scratch.resize(residuals.size());
    std::transform(residuals.begin(), residuals.end(), scratch.begin(), [](float r) { return std::fabs(r); });
    const auto middle = scratch.begin() + static_cast<long>(scratch.size() / 2);
    std::nth_element(scratch.begin(), middle, scratch.end());
    const float scale = kMadToSigma * *middle;
    return scale > floor ? scale : floor;  // also when the median is NaN
}
