// The element-wise passes of a pyramid build, each one loop over the pixels where a chain of
// whole-image OpenCV calls would walk the images once per call, eight pixels at a time. Each gives,
// pixel for pixel and bit for bit, what that chain gives (the tests hold them to it).
//
// Outputs are (re)allocated to the inputs' size; nothing is kept between calls.
#pragma once

#include <opencv2/core.hpp>

namespace pyramid_passes {

// A depth bound of this value is no bound.
constexpr float kNoBound = -1.0f;

// Where the first level's inputs over one window of a frame go (the caller's buffers, reused
// when their size and type fit), all CV_32F but `inside`.
struct FirstLevel {
    cv::Mat* inside;     // CV_8U, 255 where a pixel may make a row, else 0
    cv::Mat* weights;    // 1 where inside, else 0
    cv::Mat* intensity;  // the intensity, NaN read as 0
    cv::Mat* depth;      // depth, X / Z and Y / Z where inside, else 0
    cv::Mat* rayX;
    cv::Mat* rayY;
};

// A pixel is inside when its mask is set and its depth lies in (0, far) and within the bounds
// (minDepth / maxDepth of -1: no bound), and both rays are finite and below `far` in magnitude.
void SelectFirstLevel(const cv::Mat& intensity, const cv::Mat& depth, const cv::Mat& pointX, const cv::Mat& pointY,
                      const cv::Mat& mask, float minDepth, float maxDepth, float far, const FirstLevel& out);

// weighted / max(weights, least), and 0 where the weights do not exceed `least`.
void DivideByWeights(const cv::Mat& weighted, const cv::Mat& weights, float least, cv::Mat& out);

// `inside` (CV_8U, 255 or 0) where the halved weights reach `share`, and `weights` its 1 / 0.
void InsideFromShare(const cv::Mat& halvedWeights, float share, cv::Mat& inside, cv::Mat& weights);

// 1 where inside, silhouette and supported are all set and the pixel lies at least `edge`
// pixels from every side, else 0 (all CV_8U).
void UsablePixels(const cv::Mat& inside, const cv::Mat& silhouette, const cv::Mat& supported, int edge,
                  cv::Mat& usable);

}  // namespace pyramid_passes
