#include "tracking/CandidateAgreement.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Above ratio times best and above floor; a scale that is not a number is above anything.
bool FarAbove(float scale, float best, float ratio, float floor) {
    return !(scale <= std::max(ratio * best, floor));
}

}  // namespace

double RotationAngleBetween(const cv::Matx33d& a, const cv::Matx33d& b) {
    const cv::Matx33d relative = a.t() * b;
    const double cosine = std::clamp((cv::trace(relative) - 1.0) / 2.0, -1.0, 1.0);
    return std::acos(cosine);
}

std::vector<bool> AgreeingCandidates(const std::vector<cv::Matx33d>& rotations, double maxAngleRad,
                                     const std::vector<float>& misfits) {
    const std::size_t n = rotations.size();
    std::vector<bool> agree(n, true);
    if (n == 2 && misfits.size() == 2 && RotationAngleBetween(rotations[0], rotations[1]) > maxAngleRad) {
        const float first = misfits[0], second = misfits[1];
        if (first < second) agree[1] = false;
        if (second < first) agree[0] = false;
    }
    if (n < 3) return agree;
    std::vector<double> angles(n * n, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            angles[i * n + j] = angles[j * n + i] = RotationAngleBetween(rotations[i], rotations[j]);
    std::size_t medoid = 0;
    double best = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < n; ++i) {
        double sum = 0.0;
        for (std::size_t j = 0; j < n; ++j) sum += angles[i * n + j];
        if (sum < best) best = sum, medoid = i;
    }
    for (std::size_t i = 0; i < n; ++i) agree[i] = !(angles[medoid * n + i] > maxAngleRad);
    return agree;
}

bool ResidualJumped(float scale, float lastBest, float ratio, float floor) {
    return lastBest > 0.0f && FarAbove(scale, lastBest, ratio, floor);
}

std::vector<bool> PoorFits(const std::vector<float>& scales, const std::vector<bool>& counted, float ratio,
                           float floor) {
    const std::size_t n = std::min(scales.size(), counted.size());
    std::vector<bool> poor(scales.size(), false);
    float best = std::numeric_limits<float>::infinity();
    for (std::size_t k = 0; k < n; ++k)
        if (counted[k] && scales[k] < best) best = scales[k];
    if (!std::isfinite(best)) return poor;
    for (std::size_t k = 0; k < n; ++k) poor[k] = counted[k] && FarAbove(scales[k], best, ratio, floor);
    return poor;
}
