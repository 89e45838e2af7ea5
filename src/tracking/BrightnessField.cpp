#include "tracking/BrightnessField.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <opencv2/core.hpp>

#include "tracking/RobustWeights.h"

namespace {

// Three unknowns want more pairs than a gain alone.
constexpr std::size_t kFewestPairs = 24;
constexpr double kLeastGain = 0.5, kMostGain = 2.0;
constexpr int kTrimmings = 3;
// Rays spread less than this across an axis (a pixel or two) say nothing of a slope along it.
constexpr double kLeastSpread = 4e-3;
// A refit that moves the gain anywhere within the rays' spread by less than this ends the fit.
constexpr double kSettled = 1e-4;

using Gains = CBrightnessField::Gains;

// Least squares of the current levels on the reference's times (1, u, v) over the pairs `keep`
// admits, the rays centred for conditioning. False when too few, or when the gain at a corner
// of the rays' box leaves what an exposure and a lamp make.
template <typename Keep>
bool Solve(const std::vector<float>& reference, const std::vector<float>& current, const std::vector<float>& u,
           const std::vector<float>& v, std::size_t n, bool slopes, Keep keep, Gains& out, double spread[2]) {
    double count = 0.0, sumU = 0.0, sumV = 0.0;
    double low[2] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    double high[2] = {std::numeric_limits<double>::lowest(), std::numeric_limits<double>::lowest()};
    for (std::size_t k = 0; k < n; ++k) {
        if (!keep(k)) continue;
        count += 1.0;
        sumU += u[k];
        sumV += v[k];
        low[0] = std::min(low[0], static_cast<double>(u[k]));
        high[0] = std::max(high[0], static_cast<double>(u[k]));
        low[1] = std::min(low[1], static_cast<double>(v[k]));
        high[1] = std::max(high[1], static_cast<double>(v[k]));
    }
    if (count < static_cast<double>(kFewestPairs)) return false;
    const double meanU = sumU / count, meanV = sumV / count;
    cv::Matx33d normal = cv::Matx33d::zeros();
    cv::Vec3d right(0.0, 0.0, 0.0);
    double squares[2] = {0.0, 0.0};
    for (std::size_t k = 0; k < n; ++k) {
        if (!keep(k)) continue;
        const double du = u[k] - meanU, dv = v[k] - meanV, r = reference[k];
        squares[0] += du * du;
        squares[1] += dv * dv;
        const cv::Vec3d f(r, r * du, r * dv);
        for (int i = 0; i < 3; ++i) {
            right[i] += f[i] * current[k];
            for (int j = 0; j < 3; ++j) normal(i, j) += f[i] * f[j];
        }
    }
    // An axis without spread keeps no slope: its unknown is pinned at 0.
    for (int axis = 0; axis < 2; ++axis) {
        spread[axis] = std::sqrt(squares[axis] / count);
        if (slopes && spread[axis] >= kLeastSpread) continue;
        for (int j = 0; j < 3; ++j) normal(axis + 1, j) = normal(j, axis + 1) = 0.0;
        normal(axis + 1, axis + 1) = 1.0;
        right[axis + 1] = 0.0;
    }
    cv::Vec3d x;
    if (!cv::solve(normal, right, x, cv::DECOMP_CHOLESKY)) return false;
    const Gains fitted{static_cast<float>(x[0] - x[1] * meanU - x[2] * meanV), static_cast<float>(x[1]),
                       static_cast<float>(x[2])};
    for (const double cornerU : {low[0], high[0]})
        for (const double cornerV : {low[1], high[1]}) {
            const double gain = fitted.constant + fitted.alongX * cornerU + fitted.alongY * cornerV;
            if (!(gain >= kLeastGain && gain <= kMostGain)) return false;  // NaN fails too
        }
    out = fitted;
    return true;
}

}  // namespace

void CBrightnessField::Fit(const std::vector<float>& reference, const std::vector<float>& current,
                           const std::vector<float>& u, const std::vector<float>& v, bool slopes) {
    const std::size_t n = std::min({reference.size(), current.size(), u.size(), v.size()});
    Gains gains = gains_;
    double spread[2] = {0.0, 0.0};
    if (!fitted_ && !Solve(reference, current, u, v, n, slopes, [](std::size_t) { return true; }, gains, spread))
        return;
    misfit_.resize(n);
    for (int round = 0; round < kTrimmings; ++round) {
        for (std::size_t k = 0; k < n; ++k)
            misfit_[k] = std::fabs(current[k] - gains.At(u[k], v[k]) * reference[k]);
        const double bound = 3.0 * CRobustWeights::Scale(misfit_, 0.0f, scratch_);
        Gains trimmed;
        if (!Solve(reference, current, u, v, n, slopes, [&](std::size_t k) { return misfit_[k] <= bound; }, trimmed,
                   spread))
            break;
        const double change = std::fabs(trimmed.constant - gains.constant) +
                              std::fabs(trimmed.alongX - gains.alongX) * spread[0] +
                              std::fabs(trimmed.alongY - gains.alongY) * spread[1];
        gains = trimmed;
        if (change < kSettled * gains.constant) break;
    }
    gains_ = gains;
    fitted_ = true;
}
