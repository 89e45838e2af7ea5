#include "support/StereoPairs.h"

#include <opencv2/imgproc.hpp>

namespace test_support {

cv::Mat Texture(int width, int height, unsigned seed) {
    cv::RNG rng(seed);
    cv::Mat noise(height, width, CV_32F);
    rng.fill(noise, cv::RNG::UNIFORM, 0.0, 1.0);
    cv::GaussianBlur(noise, noise, cv::Size(0, 0), 1.2);
    cv::Mat texture;
    cv::normalize(noise, noise, 0, 255, cv::NORM_MINMAX);
    noise.convertTo(texture, CV_8U);
    return texture;
}

cv::Mat ShiftedLeft(const cv::Mat& left, double disparity) {
    const cv::Mat shift = (cv::Mat_<double>(2, 3) << 1, 0, -disparity, 0, 1, 0);
    cv::Mat right;
    cv::warpAffine(left, right, shift, left.size(), cv::INTER_CUBIC, cv::BORDER_REPLICATE);
    return right;
}

}  // namespace test_support
