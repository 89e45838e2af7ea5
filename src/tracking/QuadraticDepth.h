// The depth a pyramid level compares, from a local quadratic fit rather than a Gaussian.
//
// A Gaussian of variance s^2 moves a smooth surface's depth by about s^2 / 2 times its Laplacian
// in the image, and that shift belongs to the view, not to the face: as the head turns, the part
// of the face that is steep in the image changes, the shift moves over the face, and the rows read
// a turn a few per cent long on a face a few millimetres a pixel (40 pixels across). A 7 x 7
// Savitzky-Golay fit of degree two keeps any quadratic surface exactly and keeps about as much of
// a pixel's white noise as the prefilter does (0.11 of its variance against 0.10); noisier or
// coarser depth (a stereo camera's) still loses by it, which is why it is a choice.
#pragma once

#include <opencv2/core.hpp>

namespace quadratic_depth {

// How far the fit reaches on each side, in pixels.
constexpr int kReach = 3;

struct Scratch {
    cv::Mat weighted, spread, filled;
};

// `depth` CV_32F, zero where `inside` (CV_8U) is not set; `weights` its float form (1 inside, 0
// elsewhere). Holes and the outside get their neighbours' weighted mean first, so that every pixel
// within kReach of a pixel with depth has a value the fit may read and no zero drags it down; the
// pixels with depth keep their own. Out: the fitted depth at every pixel.
void Fit(const cv::Mat& depth, const cv::Mat& weights, const cv::Mat& inside, cv::Mat& out, Scratch& scratch);

}  // namespace quadratic_depth
