#include "image/Kernels.h"

#include <gtest/gtest.h>

namespace {

TEST(Kernels, ConvolutionTablesAreHandedOverReversedWithMirroredAnchor) {
    const float taps[4] = {1.0f, 2.0f, 3.0f, 4.0f};
    const image_kernels::CorrelationKernel kernel = image_kernels::FromConvolution(taps, 4, 1);
    EXPECT_EQ(kernel.anchor, 2);
    EXPECT_EQ(kernel.taps.at<float>(0), 4.0f);
    EXPECT_EQ(kernel.taps.at<float>(3), 1.0f);
    EXPECT_NEAR(cv::sum(image_kernels::Gaussian15().taps)[0], 1.0, 1e-6);
}

}  // namespace
