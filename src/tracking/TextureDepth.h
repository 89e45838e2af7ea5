// The depth a smoothed image's grey levels move with.
//
// Smoothed over a footprint, an image moves as the texture inside the footprint moves, weighted
// by where the texture's contrast is: the eyes sit in their sockets, the brows stand out, and a
// footprint at a pixel of the cheek may move mostly as the eye beside it does. A brightness row
// that takes the footprint's own depth then reads a turn out of the image plane as partly a
// slide, the more so the fewer pixels the face has. Averaged with the texture's gradient energy
// as weights, over the same footprint, the depth is the one the smoothed grey levels follow.
#pragma once

#include <opencv2/core.hpp>

#include "image/Kernels.h"

// Over the pixels `inside` (8-bit, non-zero: usable), the depth averaged with the weights
// |grad intensity|^2 through `passes` passes of `kernel` along both axes; elsewhere `depth`
// as it is. All images float but `inside`, of one size.
void TextureWeightedDepth(const cv::Mat& intensity, const cv::Mat& depth, const cv::Mat& inside,
                          const image_kernels::CorrelationKernel& kernel, int passes, cv::Mat& out);
