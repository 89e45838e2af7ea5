#include "synth/DepthErrors.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

DepthRegions MakeDepthRegions(const cv::Mat& headMask, int bandPx) {
    const cv::Mat head = headMask != 0;
    const cv::Mat background = headMask == 0;
    // Distance of each head pixel to the nearest background pixel, and the other way round: a
    // pixel next to the outline is 1 away.
    cv::Mat inside, outside;
    cv::distanceTransform(head, inside, cv::DIST_L2, cv::DIST_MASK_PRECISE);
    cv::distanceTransform(background, outside, cv::DIST_L2, cv::DIST_MASK_PRECISE);
    const float band = static_cast<float>(bandPx);
    DepthRegions regions;
    regions.face = (head & (inside > band)) / 255;
    regions.outline = (head & (inside <= band)) / 255;
    regions.band = regions.outline | (background & (outside <= band)) / 255;
    return regions;
}

void CDepthErrors::Add(const cv::Mat& measuredZ, const cv::Mat& trueZ, const cv::Mat& region) {
    CV_Assert(measuredZ.type() == CV_32FC1 && trueZ.type() == CV_32FC1 && region.type() == CV_8UC1);
    CV_Assert(measuredZ.size() == trueZ.size() && region.size() == trueZ.size());
    // Relief sums about the frame's own means: the frames of a set lie at different depths.
    double trueSum = 0.0, measuredSum = 0.0, crossSum = 0.0, trueSquares = 0.0;
    long withDepth = 0;
    for (int j = 0; j < region.rows; ++j) {
        const unsigned char* inRegion = region.ptr<unsigned char>(j);
        const float* measured = measuredZ.ptr<float>(j);
        const float* truth = trueZ.ptr<float>(j);
        for (int i = 0; i < region.cols; ++i) {
            if (!inRegion[i]) continue;
            ++pixels_;
            if (measured[i] == 0.0f) continue;
            errorsMm_.push_back(measured[i] - truth[i]);
            trueSum += truth[i];
            measuredSum += measured[i];
            crossSum += static_cast<double>(truth[i]) * measured[i];
            trueSquares += static_cast<double>(truth[i]) * truth[i];
            ++withDepth;
        }
    }
    if (withDepth == 0) return;
    reliefCross_ += crossSum - trueSum * measuredSum / withDepth;
    reliefSpread_ += trueSquares - trueSum * trueSum / withDepth;
}

double CDepthErrors::ReliefScale() const { return reliefSpread_ > 0.0 ? reliefCross_ / reliefSpread_ : 0.0; }

double CDepthErrors::ShareWithDepth() const {
    return pixels_ ? static_cast<double>(errorsMm_.size()) / pixels_ : 0.0;
}

double CDepthErrors::QuantileMm(double q) const {
    if (errorsMm_.empty()) return 0.0;
    std::vector<float> sorted(errorsMm_.size());
    std::transform(errorsMm_.begin(), errorsMm_.end(), sorted.begin(), [](float e) { return std::fabs(e); });
    const auto rank = static_cast<std::size_t>(std::clamp(q, 0.0, 1.0) * (sorted.size() - 1) + 0.5);
    std::nth_element(sorted.begin(), sorted.begin() + rank, sorted.end());
    return sorted[rank];
}

double CDepthErrors::ShareOffBy(double limitMm) const {
    if (!pixels_) return 0.0;
    const auto off = std::count_if(errorsMm_.begin(), errorsMm_.end(), [limitMm](float e) { return std::fabs(e) > limitMm; });
    return static_cast<double>(off) / pixels_;
}

double CDepthErrors::ShareNearerBy(double limitMm) const {
    if (!pixels_) return 0.0;
    const auto nearer = std::count_if(errorsMm_.begin(), errorsMm_.end(), [limitMm](float e) { return e < -limitMm; });
    return static_cast<double>(nearer) / pixels_;
}
