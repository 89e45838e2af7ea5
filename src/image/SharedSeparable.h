// Several separable filters of one float image in one sweep, for the tracker's pyramids, which
// filter every level of every frame: an image's smoothing and both its derivatives share their
// vertical passes, and each row is filtered while the rows around it are in the cache. The
// results are those of image_kernels::Separable (border replicated) up to rounding.
#pragma once

#include <initializer_list>

#include <opencv2/core.hpp>

#include "image/Kernels.h"

namespace image_kernels {

// `in` correlated along its rows by `horizontal` and along its columns by `vertical`, into `out`.
struct SeparableOutput {
    const CorrelationKernel* horizontal;
    const CorrelationKernel* vertical;
    cv::Mat* out;
};

// At most kMaxSharedOutputs outputs, kernels of at most kMaxSharedTaps taps; `in` CV_32FC1. An
// output may be `in` itself. Throws cv::Exception on other input.
constexpr int kMaxSharedOutputs = 4;
constexpr int kMaxSharedTaps = 15;
void SeparableShared(const cv::Mat& in, std::initializer_list<SeparableOutput> outputs);

}  // namespace image_kernels
