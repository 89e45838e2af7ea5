// Sub-pixel refinement of a disparity image: for each matched pixel, the shift of the right image
// that best aligns a square window around it with the left image, to first order (one
// Lucas-Kanade step along the row). Both matchers interpolate a parabola through their matching
// costs instead, which draws disparities towards whole pixels and, with the semi-global
// smoothness, flattens curved surfaces.
#include "platform/svs/svs_internal.h"

#include <algorithm>
#include <climits>

#include <opencv2/imgproc.hpp>

namespace svs_internal {

namespace {

// A step is a correction of the matcher's disparity, not a new match.
constexpr float kLargestStepPx = 0.5f;
// Below this sum of squared gradients (grey levels per pixel, squared) the window is too flat.
constexpr float kFlatWindow = 1e-3f;
// The brightness offset between the cameras is taken over this many windows across.
constexpr int kOffsetWindows = 3;

cv::Mat WindowSum(const cv::Mat& values, int window) {
    cv::Mat sums;
    cv::boxFilter(values, sums, CV_32F, cv::Size(window, window), cv::Point(-1, -1), false, cv::BORDER_CONSTANT);
    return sums;
}

// Recomputes the two window sums of the pixels whose offset square reaches a disparity more than
// `surfaceJump` pixels from their own, over the pixels of their own surface alone, the offset
// included: across a depth edge the other surface's texture and residuals would pull the shift.
void KeepToOwnSurface(const cv::Mat& disparity, const cv::Mat& used, const cv::Mat& rawResidual, const cv::Mat& slope,
                      int window, int surfaceJump, cv::Mat& covariance, cv::Mat& variance) {
    const int half = window / 2, wide = kOffsetWindows * window, wideHalf = wide / 2, limit = 16 * surfaceJump;
    cv::Mat matched = disparity.clone(), unmatched = disparity.clone();
    matched.setTo(SHRT_MIN, disparity < 0);
    unmatched.setTo(SHRT_MAX, disparity < 0);
    cv::Mat highest, lowest;
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(wide, wide));
    cv::dilate(matched, highest, square);
    cv::erode(unmatched, lowest, square);
    const auto ownSurface = [&](int j, int i, int d) {
        const int dq = disparity.at<std::int16_t>(j, i);
        return used.at<float>(j, i) != 0.0f && std::abs(dq - d) <= limit;
    };
    for (int y = 0; y < disparity.rows; ++y)
        for (int x = 0; x < disparity.cols; ++x) {
            const int d = disparity.at<std::int16_t>(y, x);
            if (d < 0 || (highest.at<std::int16_t>(y, x) - d <= limit && d - lowest.at<std::int16_t>(y, x) <= limit))
                continue;
            float sum = 0.0f;
            int count = 0;
            for (int j = std::max(0, y - wideHalf); j <= std::min(disparity.rows - 1, y + wideHalf); ++j)
                for (int i = std::max(0, x - wideHalf); i <= std::min(disparity.cols - 1, x + wideHalf); ++i)
                    if (ownSurface(j, i, d)) {
                        sum += rawResidual.at<float>(j, i);
                        ++count;
                    }
            const float offset = count ? sum / static_cast<float>(count) : 0.0f;
            float c = 0.0f, v = 0.0f;
            for (int j = std::max(0, y - half); j <= std::min(disparity.rows - 1, y + half); ++j)
                for (int i = std::max(0, x - half); i <= std::min(disparity.cols - 1, x + half); ++i)
                    if (ownSurface(j, i, d)) {
                        const float g = slope.at<float>(j, i);
                        c += (rawResidual.at<float>(j, i) - offset) * g;
                        v += g * g;
                    }
            covariance.at<float>(y, x) = c;
            variance.at<float>(y, x) = v;
        }
}

}  // namespace

void RefineSubpixel(const cv::Mat& left, const cv::Mat& right, cv::Mat& disparity, int window, int surfaceJump) {
    cv::Mat leftF, rightF, gradient;
    left.convertTo(leftF, CV_32F);
    right.convertTo(rightF, CV_32F);
    cv::Sobel(rightF, gradient, CV_32F, 1, 0, 3, 1.0 / 8);

    // Where each left pixel's match lies in the right image; pixels without a match, or whose
    // match falls outside the image, take no part.
    cv::Mat mapX(disparity.size(), CV_32F), mapY(disparity.size(), CV_32F), used(disparity.size(), CV_32F);
    for (int y = 0; y < disparity.rows; ++y) {
        const auto* d = disparity.ptr<std::int16_t>(y);
        auto* mx = mapX.ptr<float>(y);
        auto* my = mapY.ptr<float>(y);
        auto* u = used.ptr<float>(y);
        for (int x = 0; x < disparity.cols; ++x) {
            mx[x] = x - d[x] / 16.0f;
            my[x] = static_cast<float>(y);
            u[x] = d[x] >= 0 && mx[x] >= 0.0f ? 1.0f : 0.0f;
        }
    }
    // Cubic: linear interpolation would itself draw the shift towards whole pixels.
    cv::Mat warped, warpedGradient;
    cv::remap(rightF, warped, mapX, mapY, cv::INTER_CUBIC, cv::BORDER_REPLICATE);
    cv::remap(gradient, warpedGradient, mapX, mapY, cv::INTER_CUBIC, cv::BORDER_REPLICATE);
    // A brightness offset between the cameras shows as a residual that varies slowly across the
    // image; taken out over a wider square, it no longer pulls the shift.
    const cv::Mat rawResidual = (leftF - warped).mul(used);
    const cv::Mat offset = WindowSum(rawResidual, kOffsetWindows * window) /
                           cv::max(WindowSum(used, kOffsetWindows * window), 1.0f);
    const cv::Mat residual = (rawResidual - offset).mul(used);
    const cv::Mat slope = warpedGradient.mul(used);

    // The shift s minimising the window's sum of (r + s g)^2: s = -sum(r g) / sum(g^2).
    cv::Mat covariance = WindowSum(residual.mul(slope), window);
    cv::Mat variance = WindowSum(slope.mul(slope), window);
    if (surfaceJump > 0) KeepToOwnSurface(disparity, used, rawResidual, slope, window, surfaceJump, covariance, variance);

    for (int y = 0; y < disparity.rows; ++y) {
        auto* d = disparity.ptr<std::int16_t>(y);
        const auto* u = used.ptr<float>(y);
        const auto* c = covariance.ptr<float>(y);
        const auto* v = variance.ptr<float>(y);
        for (int x = 0; x < disparity.cols; ++x) {
            if (u[x] == 0.0f || v[x] < kFlatWindow) continue;
            // Matching left x with right x - d - s: the disparity grows by s.
            const float step = std::clamp(-c[x] / v[x], -kLargestStepPx, kLargestStepPx);
            d[x] = cv::saturate_cast<std::int16_t>(d[x] + 16.0f * step);
        }
    }
}

}  // namespace svs_internal
