#include "tracking/FramePyramid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/TrackingFixtures.h"
#include "tracking/TrackerParameters.h"

namespace {

constexpr float kFocal = 300.0f;
constexpr int kWidth = 96, kHeight = 80;

float Texture(int col, int row) { return 120 + 50 * std::sin(0.4 * col) + 40 * std::cos(0.3 * row); }

// A plane at 1000 in front of a wall at 2000: the plane covers columns 16..79, rows 12..67, with
// a stereo hole (no depth) of 3 x 3 pixels at (40..42, 30..32).
RenderedFrame PlaneWithHole() {
    RenderedFrame frame = PlaneFrame(kWidth, kHeight, 1000.0f, kFocal, Texture);
    for (int row = 0; row < kHeight; ++row)
        for (int col = 0; col < kWidth; ++col) {
            const bool plane = col >= 16 && col < 80 && row >= 12 && row < 68;
            const float depth = plane ? 1000.0f : 2000.0f;
            frame.x.at<float>(row, col) *= depth / 1000.0f;
            frame.y.at<float>(row, col) *= depth / 1000.0f;
            frame.z.at<float>(row, col) = depth;
        }
    frame.z(cv::Rect(40, 30, 3, 3)).setTo(0.0f);
    frame.x(cv::Rect(40, 30, 3, 3)).setTo(0.0f);
    frame.y(cv::Rect(40, 30, 3, 3)).setTo(0.0f);
    return frame;
}

class Pyramid : public ::testing::Test {
protected:
    void SetUp() override { frame = MakeTrackedFrame(PlaneWithHole(), region, 1, kFocal); }
    const CDepthMaskRegion region{0, kWidth, 0, kHeight, 900.0f, 1100.0f};
    std::unique_ptr<CTrackedFrame> frame;
    CFramePyramid pyramid;
};

// What the estimator samples must be the level's own images, at every level and pixel.
TEST_F(Pyramid, TheInterleavedSamplesAreTheLevelsImages) {
    ASSERT_TRUE(pyramid.Build(*frame, cv::Rect(5, 3, 80, 70), 3, CTrackerParameters::DOUBLE, 0));
    cv::Mat samples(3, 3, CV_8U);  // a buffer of the wrong shape is remade
    for (int index = 0; index < pyramid.Levels(); ++index) {
        const PyramidLevel& level = pyramid.Level(index);
        CFramePyramid::Interleave(level, samples);
        ASSERT_EQ(samples.size(), level.usable.size());
        ASSERT_EQ(samples.channels(), CFramePyramid::kSampleChannels);
        EXPECT_TRUE(level.depthWeight.empty());
        const cv::Mat planes[] = {level.intensity, level.intensityGradX, level.intensityGradY,
                                  level.depth,     level.depthGradX,     level.depthGradY,
                                  cv::Mat::zeros(level.usable.size(), CV_32F),
                                  cv::Mat::zeros(level.usable.size(), CV_32F)};
        std::vector<cv::Mat> channels;
        cv::split(samples, channels);
        for (int c = 0; c < CFramePyramid::kSampleChannels; ++c)
            EXPECT_EQ(cv::norm(channels[static_cast<std::size_t>(c)], planes[c], cv::NORM_INF), 0.0) << index << " " << c;
    }
}

TEST_F(Pyramid, NeitherHolesNorTheBackgroundBleedIntoTheHead) {
    ASSERT_TRUE(pyramid.Build(*frame, cv::Rect(0, 0, kWidth, kHeight), 3, CTrackerParameters::DOUBLE, 0));
    ASSERT_EQ(pyramid.Levels(), 3);
    const PyramidLevel& fine = pyramid.Level(0);
    EXPECT_EQ(fine.usable.at<unsigned char>(31, 41), 0);  // the hole makes no row
    EXPECT_EQ(fine.usable.at<unsigned char>(40, 8), 0);   // nor does the wall
    EXPECT_EQ(fine.usable.at<unsigned char>(40, 60), 1);
    // The hole is filled from its neighbours, so the filters around it see the plane.
    EXPECT_NEAR(fine.depth.at<float>(31, 41), 1000.0f, 1.0f);
    EXPECT_LT(std::fabs(fine.depthGradX.at<float>(31, 44)), 1.0f);
    for (int level = 0; level < pyramid.Levels(); ++level) {
        const PyramidLevel& l = pyramid.Level(level);
        int usable = 0;
        for (int row = 0; row < l.usable.rows; ++row)
            for (int col = 0; col < l.usable.cols; ++col) {
                if (!l.usable.at<unsigned char>(row, col)) continue;
                ++usable;
                ASSERT_NEAR(l.depth.at<float>(row, col), 1000.0f, 0.5f) << level << " " << col << " " << row;
            }
        EXPECT_GT(usable, 0) << level;
    }
}

TEST_F(Pyramid, LevelPixelsSitOnHalvedFramePixelsAndKeepTheirRays) {
    // Away from the hole and the silhouettes, whose masked averages pull a ray inwards.
    ASSERT_TRUE(pyramid.Build(*frame, cv::Rect(47, 34, 30, 32), 3, CTrackerParameters::DOUBLE, 4));
    ASSERT_EQ(pyramid.Levels(), 3);
    const cv::Point origins[] = {{44, 32}, {22, 16}, {11, 8}};
    for (int level = 0; level < 3; ++level) {
        const PyramidLevel& l = pyramid.Level(level);
        EXPECT_EQ(l.origin, origins[level]) << level;
        // On the plane the ray of level pixel i is that of frame pixel 2^level i.
        for (int row = 0; row < l.usable.rows; ++row)
            for (int col = 0; col < l.usable.cols; ++col) {
                if (!l.usable.at<unsigned char>(row, col)) continue;
                const float frameColumn = static_cast<float>((l.origin.x + col) << level);
                ASSERT_NEAR(l.rayX.at<float>(row, col), (frameColumn - kWidth / 2.0f) / kFocal, 2e-4f) << level;
            }
    }
    EXPECT_FALSE(pyramid.Build(*frame, cv::Rect(200, 200, 10, 10), 3, CTrackerParameters::DOUBLE, 0));
}

TEST_F(Pyramid, DepthBoundsErosionAndWindowEdgesDecideWhichPixelsMakeRows) {
    ASSERT_TRUE(pyramid.Build(*frame, cv::Rect(0, 0, kWidth, kHeight), 1, CTrackerParameters::DOUBLE, 5, 950.0f, 990.0f));
    EXPECT_EQ(cv::countNonZero(pyramid.Level(0).usable), 0);  // the plane lies beyond the bounds
    // Both bounds given, they alone decide: the wall, outside the frame's own mask, is within them.
    ASSERT_TRUE(pyramid.Build(*frame, cv::Rect(0, 0, kWidth, kHeight), 1, CTrackerParameters::DOUBLE, 0, 1500.0f,
                              2500.0f));
    EXPECT_GT(cv::countNonZero(pyramid.Level(0).usable), 0);

    ASSERT_TRUE(pyramid.Build(*frame, cv::Rect(0, 0, kWidth, kHeight), 1, CTrackerParameters::DOUBLE, 5));
    const cv::Mat& usable = pyramid.Level(0).usable;
    EXPECT_EQ(usable.at<unsigned char>(40, 20), 0);  // within five pixels of the silhouette
    EXPECT_EQ(usable.at<unsigned char>(40, 21), 1);
    EXPECT_EQ(usable.at<unsigned char>(31, 45), 1);  // a small hole is closed, not eroded around

    // The depth rows' own erosion goes on from there, and the samples carry its weight.
    ASSERT_TRUE(pyramid.Build(*frame, cv::Rect(0, 0, kWidth, kHeight), 2, CTrackerParameters::DOUBLE, 5, -1.0f, -1.0f,
                              CTrackerParameters::DEPTH_PLAIN, 3));
    const cv::Mat& weight = pyramid.Level(0).depthWeight;
    ASSERT_EQ(weight.size(), pyramid.Level(0).usable.size());
    EXPECT_EQ(weight.at<float>(40, 23), 0.0f);
    EXPECT_EQ(weight.at<float>(40, 24), 1.0f);
    EXPECT_EQ(weight.at<float>(40, 71), 1.0f);  // the plane's last column is 79
    EXPECT_EQ(weight.at<float>(40, 72), 0.0f);
    EXPECT_EQ(weight.at<float>(31, 41), 1.0f);  // the closed hole as well
    for (int level = 0; level < pyramid.Levels(); ++level) {
        const PyramidLevel& l = pyramid.Level(level);
        cv::Mat samples;
        CFramePyramid::Interleave(l, samples);
        std::vector<cv::Mat> channels;
        cv::split(samples, channels);
        EXPECT_EQ(cv::norm(channels[6], l.depthWeight, cv::NORM_INF), 0.0) << level;
        // At least one erosion at every level, within what the rows may use.
        EXPECT_GT(cv::countNonZero(l.depthWeight), 0) << level;
        EXPECT_LT(cv::countNonZero(l.depthWeight), cv::countNonZero(l.usable)) << level;
    }

    // A window cut through the plane: its edge is not a silhouette, but the filters read past it.
    ASSERT_TRUE(pyramid.Build(*frame, cv::Rect(30, 20, 30, 30), 1, CTrackerParameters::DOUBLE, 0));
    const cv::Mat& cut = pyramid.Level(0).usable;
    const int reach = CFramePyramid::EdgeReach(CTrackerParameters::DOUBLE);
    EXPECT_EQ(cut.at<unsigned char>(15, reach - 1), 0);
    EXPECT_EQ(cut.at<unsigned char>(15, reach), 1);
}

}  // namespace

namespace {

double InteriorVariance(const cv::Mat& image, int margin) {
    cv::Scalar mean, deviation;
    cv::meanStdDev(image(cv::Rect(margin, margin, image.cols - 2 * margin, image.rows - 2 * margin)), mean, deviation);
    return deviation[0] * deviation[0];
}

}  // namespace

// The weights of the estimator's blocks lean on NoiseGain saying what the pyramid's smoothing does
// to white noise: a filter pass added or dropped in one must show in the other.
TEST(PyramidNoise, NoiseGainIsWhatTheSmoothingLeavesOfWhiteNoise) {
    cv::RNG random(7);
    RenderedFrame frame = PlaneFrame(160, 140, 1000.0f, kFocal, [](int, int) { return 128; });
    cv::Mat grey(frame.left.size(), CV_32F);
    random.fill(grey, cv::RNG::NORMAL, 128.0, 20.0);
    grey.convertTo(frame.left, CV_8U);
    cv::Mat depthNoise(frame.z.size(), CV_32F);
    random.fill(depthNoise, cv::RNG::NORMAL, 0.0, 4.0);
    frame.z += depthNoise;
    const auto tracked = MakeTrackedFrame(frame, CDepthMaskRegion(0, 160, 0, 140, 900.0f, 1100.0f), 1, kFocal);
    cv::Mat rawIntensity;
    frame.left.convertTo(rawIntensity, CV_32F, 1.0 / 25500.0);
    const double intensityVariance = InteriorVariance(rawIntensity, 12);
    const double depthVariance = InteriorVariance(frame.z, 12);
    for (const int mode : {CTrackerParameters::DOUBLE, CTrackerParameters::DIRECT, CTrackerParameters::ANALYTIC}) {
        CFramePyramid pyramid;
        ASSERT_TRUE(pyramid.Build(*tracked, cv::Rect(0, 0, 160, 140), 1, mode, 0, 900.0f, 1100.0f));
        const PyramidLevel& level = pyramid.Level(0);
        EXPECT_NEAR(InteriorVariance(level.intensity, 12) / intensityVariance, CFramePyramid::NoiseGain(mode, true),
                    0.15 * CFramePyramid::NoiseGain(mode, true))
            << mode;
        EXPECT_NEAR(InteriorVariance(level.depth, 12) / depthVariance, CFramePyramid::NoiseGain(mode, false),
                    0.15 * CFramePyramid::NoiseGain(mode, false))
            << mode;
    }
    EXPECT_NEAR(CFramePyramid::NoiseGain(CTrackerParameters::DOUBLE, false) /
                    CFramePyramid::NoiseGain(CTrackerParameters::DOUBLE, true), 2.9, 0.1);
    // A finest level smoothed fewer times, and the weights told so.
    for (const int passes : {1, 2}) {
        CFramePyramid pyramid;
        ASSERT_TRUE(pyramid.Build(*tracked, cv::Rect(0, 0, 160, 140), 2, CTrackerParameters::DOUBLE, 0, 900.0f,
                                  1100.0f, 0, 0, 0, passes));
        const double gain = CFramePyramid::NoiseGain(CTrackerParameters::DOUBLE, true, passes);
        EXPECT_NEAR(InteriorVariance(pyramid.Level(0).intensity, 12) / intensityVariance, gain, 0.15 * gain) << passes;
        EXPECT_GT(gain, 1.3 * CFramePyramid::NoiseGain(CTrackerParameters::DOUBLE, true, passes + 1)) << passes;
    }
}
