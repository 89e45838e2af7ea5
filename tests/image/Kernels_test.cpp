#include "image/Kernels.h"

#include <gtest/gtest.h>

namespace {

TEST(Kernels, ConvolutionTablesAreHandedOverReversedWithMirroredAnchor) {
    const float taps[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    const image_kernels::CorrelationKernel kernel = image_kernels::FromConvolution(taps, 4, 1);
    EXPECT_EQ(kernel.anchor, 2);
    ASSERT_EQ(kernel.taps.total(), 4u);
    EXPECT_EQ(kernel.taps.at<float>(0), 4.0f);
    EXPECT_EQ(kernel.taps.at<float>(3), 1.0f);
}

TEST(Kernels, SmoothingKernelsKeepAConstantAndDerivativesRemoveIt) {
    EXPECT_NEAR(cv::sum(image_kernels::Gaussian15().taps)[0], 1.0, 1e-6);
    EXPECT_NEAR(cv::sum(image_kernels::Prefilter5().taps)[0], 1.0, 1e-4);
    EXPECT_NEAR(cv::sum(image_kernels::Derivative5().taps)[0], 0.0, 1e-7);
    EXPECT_EQ(image_kernels::Gaussian15().anchor, 7);
}

}  // namespace
