// Synthetic stereo material for tests: textured images and pairs with a known disparity, and the
// stereo library's disparity layout read back.
#pragma once

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "platform/svs/svs.h"

namespace test_support {

// Deterministic random texture (smoothed noise stretched to 0..255), 8-bit gray.
cv::Mat Texture(int width, int height, unsigned seed);

// The right image of a fronto-parallel plane seen with the given disparity (pixels, may be
// fractional): right(x, y) = left(x + disparity, y), edges replicated.
cv::Mat ShiftedLeft(const cv::Mat& left, double disparity);

// The right image of a plane seen with disparity d(x, y) = d0 + slopeX x + slopeY y at left pixel
// (x, y), its rows offsetY lower: right(x, y + offsetY) = left(xl, y) with xl - d(xl, y) = x.
cv::Mat RightOfPlane(const cv::Mat& left, double d0, double slopeX, double slopeY, int offsetY = 0);

// The disparity in pixels (the horopter offset taken out) of pixel (x, y) of a disparity image
// in the library's layout for block b; negative where there is none or the pixel lies outside
// the valid window.
double DisparityAt(const svsParameterBlock& b, const std::vector<std::int16_t>& disparity, int x, int y);

// The valid window of block b, as the library's layout defines it; worked out here on its own
// rather than by svsGetValidWindow, so that the tests check the library's layout against it.
cv::Rect ValidWindow(const svsParameterBlock& b);

}  // namespace test_support
