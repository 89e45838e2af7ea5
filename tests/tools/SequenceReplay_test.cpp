// A written sequence is a configuration directory the stereo source replays frame by frame,
// through each of the three recorded 3D paths.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "acquisition/StereoSource.h"
#include "image/Image.h"
#include "synth/HeadScene.h"
#include "synth/SequenceWriter.h"
#include "tracking/TrackedFrame.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFirstIndex = 1;
constexpr int kFrames = 3;

class SequenceReplayTest : public ::testing::TestWithParam<const char*> {
protected:
    static void SetUpTestSuite() {
        // Some pixels without depth, as a stereo camera leaves them.
        SceneOptions options;
        options.stereo.dropout = 0.05;
        const auto scene = CHeadScene::Create(options, nullptr);
        ASSERT_NE(scene, nullptr);
        for (int k = 0; k < kFrames; ++k)
            frames_.push_back(scene->Render(CRigidMotion::FromRotationVector({0, 0.05 * k, 0}, {10.0 * k, 0, 950})));
    }
    static void TearDownTestSuite() { frames_.clear(); }
    void TearDown() override { fs::remove_all(folder_); }

    static std::vector<RenderedFrame> frames_;
    const std::string folder_ = (fs::temp_directory_path() / ("vantorel_replay_" + std::to_string(::getpid()))).string();
};

std::vector<RenderedFrame> SequenceReplayTest::frames_;

cv::Mat View(CImage* image) { return iplFullView(image->GetIplImage()); }

TEST_P(SequenceReplayTest, TheSourceReplaysEveryWrittenFrameThenReportsTheEnd) {
    SequenceOptions options;
    options.folder = folder_;
    options.firstIndex = kFirstIndex;
    options.frameCount = kFrames;
    options.trackerCamera = GetParam();
    std::string error;
    const auto writer = CSequenceWriter::Create(options, &error);
    ASSERT_NE(writer, nullptr) << error;
    for (int k = 0; k < kFrames; ++k) ASSERT_TRUE(writer->WriteFrame(kFirstIndex + k, frames_[k], &error)) << error;
    ASSERT_TRUE(writer->WriteConfiguration(&error)) << error;

    std::ifstream param(folder_ + "/Param.cfg");
    ASSERT_TRUE(param.good());
    CStereoSource source(&param);  // grabs the first frame
    for (int k = 0; k < kFrames; ++k) {
        if (k > 0) {
            ASSERT_EQ(source.GrabImage(), 1) << "frame " << k;
        }
        CTrackedFrame* frame = source.GetCurrentFrame();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->GetIndex(), k + 1);

        // Intensity arrives as 0..255 scaled by 1/25500.
        cv::Mat expectedIntensity;
        frames_[k].left.convertTo(expectedIntensity, CV_32F, 1.0 / 25500.0);
        EXPECT_LT(cv::norm(View(frame->GetIntensity()), expectedIntensity, cv::NORM_INF), 1e-7);

        // Depth within the disparity's 1/16-pixel quantisation (exact for the other paths); where
        // there is none, a depth no face region takes in (0, or a far plane beyond 100 m).
        const cv::Mat z = View(frame->GetDepth());
        const cv::Mat& truth = frames_[k].z;
        EXPECT_GT(cv::countNonZero(truth == 0.0f), 2000);
        for (int row = 0; row < truth.rows; ++row)
            for (int col = 0; col < truth.cols; ++col) {
                const float zTrue = truth.at<float>(row, col);
                if (zTrue == 0.0f) {
                    ASSERT_TRUE(z.at<float>(row, col) == 0.0f || z.at<float>(row, col) >= 1e5f) << col << "," << row;
                    continue;
                }
                const float tolerance = zTrue * zTrue / (16.0f * 380.0f * 90.0f) + 1e-3f * zTrue;
                ASSERT_NEAR(z.at<float>(row, col), zTrue, tolerance) << "pixel " << col << "," << row;
            }
    }
    EXPECT_EQ(source.GrabImage(), 0);  // the sequence has ended
    EXPECT_EQ(source.GetCurrentFrame()->GetIndex(), kFrames);
}

INSTANTIATE_TEST_SUITE_P(EveryRecordedPath, SequenceReplayTest, ::testing::Values("xyz", "disparity", "iff"));

}  // namespace
