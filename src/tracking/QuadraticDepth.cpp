#include "tracking/QuadraticDepth.h"

#include <opencv2/imgproc.hpp>

namespace quadratic_depth {
namespace {

// Weighs the neighbours that fill a hole: a binomial as wide as the fit.
const cv::Mat& FillTaps() {
    static const cv::Mat taps = (cv::Mat_<float>(2 * kReach + 1, 1) << 1, 6, 15, 20, 15, 6, 1) / 64.0f;
    return taps;
}

// The centre value of a least-squares parabola through seven samples; applied along rows and then
// columns it fits 1, x, y, x^2, xy and y^2 (and x^2 y, x y^2, x^2 y^2) over the 7 x 7 square.
const cv::Mat& FitTaps() {
    static const cv::Mat taps = (cv::Mat_<float>(2 * kReach + 1, 1) << -2, 3, 6, 7, 6, 3, -2) / 21.0f;
    return taps;
}

// Below this share of a full window's weight a pixel has nothing to be filled from.
constexpr float kNoSpread = 1e-6f;

}  // namespace

void Fit(const cv::Mat& depth, const cv::Mat& weights, const cv::Mat& inside, cv::Mat& out, Scratch& scratch) {
    CV_Assert(depth.type() == CV_32FC1 && weights.type() == CV_32FC1 && inside.type() == CV_8UC1);
    CV_Assert(depth.size() == weights.size() && depth.size() == inside.size());
    const cv::Mat& fill = FillTaps();
    // depth is zero wherever its weight is zero: it is its own weighted product.
    cv::sepFilter2D(depth, scratch.weighted, CV_32F, fill, fill, cv::Point(-1, -1), 0.0, cv::BORDER_REPLICATE);
    cv::sepFilter2D(weights, scratch.spread, CV_32F, fill, fill, cv::Point(-1, -1), 0.0, cv::BORDER_REPLICATE);
    cv::max(scratch.spread, kNoSpread, scratch.spread);
    cv::divide(scratch.weighted, scratch.spread, scratch.filled);
    depth.copyTo(scratch.filled, inside);
    const cv::Mat& taps = FitTaps();
    cv::sepFilter2D(scratch.filled, out, CV_32F, taps, taps, cv::Point(-1, -1), 0.0, cv::BORDER_REPLICATE);
}

}  // namespace quadratic_depth
