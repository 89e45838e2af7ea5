// The right camera's rows and exposure measured from the pair and undone before matching
// (AUTO_ALIGN).
#include "platform/svs/svs.h"
#include "platform/svs/svs_internal.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "support/StereoPairs.h"

namespace {

using test_support::DisparityAt;
using test_support::Texture;
using test_support::ValidWindow;

// A smooth texture (waves of 7 to 40 pixels, and light changing across the image), so that the
// right camera's image can be drawn exactly, off the left one by any fraction of a pixel.
double Waves(double x, double y) {
    static const double waves[][4] = {{0.9, 0.2, 0.0, 22}, {-0.3, 0.8, 1.0, 20}, {0.5, -0.6, 2.0, 18},
                                      {0.15, 0.5, 0.5, 16}, {0.7, 0.4, 1.5, 14}, {-0.6, -0.2, 2.5, 12},
                                      {0.02, 0.01, 0.3, 40}};
    double level = 118.0;
    for (const auto& w : waves) level += w[3] * std::sin(w[0] * x + w[1] * y + w[2]);
    return level;
}

// right(x, y) shows the left image at (x + disparity, y - rows(x)): its rows lie `offset + tilt *
// (x / 320 - 0.5)` lower; its grey levels are gain * level + brighter.
void Pair(double disparity, double offset, double tilt, double gain, double brighter, cv::Mat& left, cv::Mat& right) {
    left.create(240, 320, CV_8UC1);
    right.create(240, 320, CV_8UC1);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            left.at<unsigned char>(y, x) = cv::saturate_cast<unsigned char>(Waves(x, y));
            const double lower = offset + tilt * (x / 320.0 - 0.5);
            right.at<unsigned char>(y, x) =
                cv::saturate_cast<unsigned char>(gain * Waves(x + disparity, y - lower) + brighter);
        }
}

double MeanAbsoluteError(const svsParameterBlock& b, const cv::Mat& left, const cv::Mat& right, double d0) {
    std::vector<std::int16_t> out(320 * 240);
    EXPECT_EQ(svsCalcStereo(out.data(), left.data, right.data, &b), 0);
    const cv::Rect window = ValidWindow(b);
    double sum = 0.0;
    int count = 0;
    for (int y = window.y + 8; y < window.br().y - 8; ++y)
        for (int x = window.x + 8; x < window.br().x - 8; ++x) {
            const double d = DisparityAt(b, out, x, y);
            if (d < 0) continue;
            sum += std::fabs(d - d0);
            ++count;
        }
    EXPECT_GT(count, 0.8 * (window.width - 16) * (window.height - 16));
    return count ? sum / count : 1e9;
}

svsParameterBlock Recommended() {
    svsParameterBlock b = svsDefaultParameters();
    b.matching.matcher = SVS_MATCHER_SEMI_GLOBAL;
    b.corrWindowWidth = b.corrWindowHeight = 5;
    b.matching.smoothnessSmall = 50;
    b.matching.smoothnessLarge = 200;
    b.matching.leftRightCheck = 1;
    b.matching.subpixelWindow = 5;
    return b;
}

TEST(SvsAlign, MeasuresTheRightCamerasRowsAndExposure) {
    cv::Mat left, right;
    Pair(17.3, 0.35, -0.4, 1.12, -9.0, left, right);
    const auto measured = svs_internal::MeasureRightAlignment(left, right, SVS_ALIGN_ROWS | SVS_ALIGN_EXPOSURE, 48);
    ASSERT_GT(measured.points, 60);
    for (const double u : {-0.45, 0.0, 0.45})
        EXPECT_NEAR(measured.RowShift(u, 0.0), 0.35 - 0.4 * u, 0.03) << u;
    EXPECT_NEAR(measured.RowShift(0.0, 0.45) - measured.RowShift(0.0, -0.45), 0.0, 0.04);
    EXPECT_NEAR(measured.gain, 1.12, 0.02);
    EXPECT_NEAR(measured.offset, -9.0, 2.5);
    // Asked for the rows alone, the exposure stays as it is.
    const auto rows = svs_internal::MeasureRightAlignment(left, right, SVS_ALIGN_ROWS, 48);
    EXPECT_EQ(rows.gain, 1.0);
    EXPECT_EQ(rows.offset, 0.0);
    EXPECT_NEAR(rows.RowShift(0.0, 0.0), 0.35, 0.03);
}

TEST(SvsAlign, UndoingItGivesTheMatcherBackItsAccuracy) {
    cv::Mat left, aligned, misaligned;
    Pair(21.6, 0.0, 0.0, 1.0, 0.0, left, aligned);
    Pair(21.6, -0.45, 0.0, 0.9, 12.0, left, misaligned);
    svsParameterBlock b = Recommended();
    const double perfect = MeanAbsoluteError(b, left, aligned, 21.6);
    const double off = MeanAbsoluteError(b, left, misaligned, 21.6);
    b.matching.autoAlign = SVS_ALIGN_ROWS | SVS_ALIGN_EXPOSURE;
    const double undone = MeanAbsoluteError(b, left, misaligned, 21.6);
    EXPECT_GT(off, 2.0 * perfect);
    EXPECT_LT(undone, 1.5 * perfect + 0.01) << perfect << " " << off;
    // A pair that needs nothing is matched as it came.
    const auto nothing = svs_internal::MeasureRightAlignment(left, aligned, SVS_ALIGN_ROWS | SVS_ALIGN_EXPOSURE, 48);
    EXPECT_GT(nothing.points, 0);
    EXPECT_EQ(svs_internal::AlignRight(aligned, nothing).data, aligned.data);
    EXPECT_EQ(MeanAbsoluteError(b, left, aligned, 21.6), perfect);
}

TEST(SvsAlign, APairWithoutCornersIsMatchedUnchanged) {
    const cv::Mat flat(240, 320, CV_8UC1, cv::Scalar(90));
    const auto measured = svs_internal::MeasureRightAlignment(flat, flat, SVS_ALIGN_ROWS | SVS_ALIGN_EXPOSURE, 48);
    EXPECT_EQ(measured.points, 0);
    EXPECT_EQ(svs_internal::AlignRight(flat, measured).data, flat.data);
    // Too small to follow corners in: measured as nothing, matched as ever.
    const cv::Mat tiny = Texture(24, 24, 1);
    EXPECT_EQ(svs_internal::MeasureRightAlignment(tiny, tiny, SVS_ALIGN_ROWS, 4).points, 0);
}

}  // namespace
