#include "support/StereoPairs.h"

#include <cstdlib>

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

cv::Mat RightOfPlane(const cv::Mat& left, double d0, double slopeX, double slopeY, int offsetY) {
    cv::Mat mapX(left.size(), CV_32F), mapY(left.size(), CV_32F), right;
    for (int y = 0; y < left.rows; ++y) {
        for (int x = 0; x < left.cols; ++x) {
            mapX.at<float>(y, x) = static_cast<float>((x + d0 + slopeY * (y - offsetY)) / (1 - slopeX));
            mapY.at<float>(y, x) = static_cast<float>(y - offsetY);
        }
    }
    cv::remap(left, right, mapX, mapY, cv::INTER_CUBIC, cv::BORDER_REPLICATE);
    return right;
}

cv::Rect ValidWindow(const svsParameterBlock& b) {
    // Across the whole width the search and the horizontal offset take no columns.
    const int n = b.matching.fullWidth ? 0 : b.numDisparities, ox = b.matching.fullWidth ? 0 : b.offsetX;
    const int x0 = (b.corrWindowWidth + b.prefilterWindowWidth + 2 * n - 4) / 2 + std::max(-ox, 0);
    const int y0 = (b.corrWindowHeight + b.prefilterWindowHeight - 2) / 2 + std::max(-b.offsetY, 0);
    const int width = b.width + 4 - b.corrWindowWidth - b.prefilterWindowWidth - 2 * n - std::abs(ox);
    const int height = b.height + 2 - b.corrWindowHeight - b.prefilterWindowHeight - std::abs(b.offsetY);
    return cv::Rect(x0, y0, width, height);
}

double DisparityAt(const svsParameterBlock& b, const std::vector<std::int16_t>& disparity, int x, int y) {
    const cv::Rect window = ValidWindow(b);
    if (!window.contains(cv::Point(x, y))) return -1.0;
    const std::int16_t d = disparity[static_cast<std::size_t>(y - window.y) * b.width + (x - window.x)];
    return d < 0 ? -1.0 : d / 16.0 - b.offsetX;
}

}  // namespace test_support
