#include "tracking/TextureDepth.h"

#include <gtest/gtest.h>

namespace {

constexpr int kPasses = 3;

// A depth ramp along the columns, 5 mm a column from 1000 mm.
cv::Mat Ramp(cv::Size size) {
    cv::Mat depth(size, CV_32F);
    for (int row = 0; row < size.height; ++row)
        for (int col = 0; col < size.width; ++col) depth.at<float>(row, col) = 1000.0f + 5.0f * col;
    return depth;
}

// Grey levels stepping up at `column`.
cv::Mat Step(cv::Size size, int column) {
    cv::Mat intensity(size, CV_32F, cv::Scalar(0.002));
    intensity.colRange(column, size.width).setTo(0.004);
    return intensity;
}

// Near a lone edge the smoothed grey levels move as the edge does: the depth there is the edge's;
// where no texture reaches, and where there is none at all, each pixel keeps its own.
TEST(TextureDepth, NearTheTextureTheDepthIsTheTexturesAndElsewhereThePixelsOwn) {
    const cv::Size size(48, 12);
    const cv::Mat depth = Ramp(size), inside(size, CV_8U, cv::Scalar(255));
    cv::Mat out;
    TextureWeightedDepth(Step(size, 20), depth, inside, image_kernels::Prefilter5(), kPasses, out);
    // The edge's differences sit on columns 19 and 20: the depth near it is theirs, 1095 to 1100,
    // whatever the pixel's own (1085 to 1120 here).
    for (const int col : {17, 19, 22, 24}) {
        EXPECT_GE(out.at<float>(6, col), 1095.0f) << col;
        EXPECT_LE(out.at<float>(6, col), 1100.0f) << col;
    }
    for (const int col : {2, 40, 46}) EXPECT_EQ(out.at<float>(6, col), depth.at<float>(6, col)) << col;

    TextureWeightedDepth(cv::Mat(size, CV_32F, cv::Scalar(0.003)), depth, inside, image_kernels::Prefilter5(),
                         kPasses, out);
    EXPECT_EQ(cv::norm(out, depth, cv::NORM_INF), 0.0);
}

// The wall behind the face stays still while the face turns: its texture says nothing of the
// face's depth, and pixels outside the face keep theirs.
TEST(TextureDepth, TextureOutsideTheFaceIsNotFollowed) {
    const cv::Size size(48, 12);
    const cv::Mat depth = Ramp(size);
    cv::Mat inside(size, CV_8U, cv::Scalar(0));
    inside.colRange(24, 48).setTo(255);
    cv::Mat out;
    TextureWeightedDepth(Step(size, 20), depth, inside, image_kernels::Prefilter5(), kPasses, out);
    EXPECT_EQ(cv::norm(out, depth, cv::NORM_INF), 0.0);
}

}  // namespace
