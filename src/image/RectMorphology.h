// Erosion and dilation by a square, for the masks and depth maps the tracker's pyramids erode at
// every level of every frame: as a minimum (maximum) along the columns and then along the rows,
// a vector of pixels at a time. The results are cv::erode's and cv::dilate's with a
// (2 radius + 1)-square rectangle and a constant border, exactly (a minimum does not round); at
// the size of a face the call costs of OpenCV's morphology were most of its time.
#pragma once

#include <opencv2/core.hpp>

namespace image_kernels {

enum class Morphology { kErode, kDilate };

// `in` CV_8UC1 or CV_32FC1 (no NaN) into `out` (the same type and size; may be `in`), pixels beyond the
// image reading as `border`. Radius 0 copies. Throws cv::Exception on other input.
void RectMorphology(const cv::Mat& in, cv::Mat& out, Morphology operation, int radius, double border);

}  // namespace image_kernels
