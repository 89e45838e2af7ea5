#include "image/Kernels.h"

#include <opencv2/imgproc.hpp>

namespace image_kernels {

namespace {

constexpr float kPrefilter5[5] = {0.03504f, 0.24878f, 0.43234f, 0.24878f, 0.03504f};
constexpr float kDerivative5[5] = {0.10689f, 0.28461f, 0.0f, -0.28461f, -0.10689f};
constexpr float kHorizontalDifference3[3] = {0.5f, 0.0f, -0.5f};
// Deliberately the opposite sign of the horizontal difference: callers rely on it.
constexpr float kVerticalDifference3[3] = {-0.5f, 0.0f, 0.5f};
constexpr float kGaussian15[15] = {0.0004886943f, 0.0024031636f, 0.009246346f, 0.027839608f, 0.06560222f,
                                   0.12099898f,   0.1746972f,    0.19744757f,  0.1746972f,   0.12099898f,
                                   0.06560222f,   0.027839608f,  0.009246346f, 0.0024031636f, 0.0004886943f};

}  // namespace

void Separable(const cv::Mat& in, cv::Mat& out, const CorrelationKernel& horizontal,
               const CorrelationKernel& vertical) {
    cv::sepFilter2D(in, out, CV_32F, horizontal.taps, vertical.taps, cv::Point(horizontal.anchor, vertical.anchor),
                    0.0, cv::BORDER_REPLICATE);
}

CorrelationKernel FromConvolution(const float* taps, int size, int anchor) {
    CorrelationKernel kernel{cv::Mat(size, 1, CV_32F), size - 1 - anchor};
    for (int i = 0; i < size; ++i) kernel.taps.at<float>(size - 1 - i) = taps[i];
    return kernel;
}

const CorrelationKernel& Prefilter5() {
    static const CorrelationKernel kernel = FromConvolution(kPrefilter5, 5, 2);
    return kernel;
}

const CorrelationKernel& Derivative5() {
    static const CorrelationKernel kernel = FromConvolution(kDerivative5, 5, 2);
    return kernel;
}

const CorrelationKernel& HorizontalDifference3() {
    static const CorrelationKernel kernel = FromConvolution(kHorizontalDifference3, 3, 1);
    return kernel;
}

const CorrelationKernel& VerticalDifference3() {
    static const CorrelationKernel kernel = FromConvolution(kVerticalDifference3, 3, 1);
    return kernel;
}

const CorrelationKernel& Gaussian15() {
    static const CorrelationKernel kernel = FromConvolution(kGaussian15, 15, 7);
    return kernel;
}

}  // namespace image_kernels
