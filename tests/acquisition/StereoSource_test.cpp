#include "acquisition/StereoSource.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "acquisition/StereoCameraSVS.h"
#include "image/Image.h"
#include "support/RecordingFolder.h"
#include "synth/HeadScene.h"
#include "synth/SequenceWriter.h"

namespace {

constexpr int W = 320;
constexpr int H = 240;

class StereoSourceTest : public ::testing::Test {
protected:
    // Frames 1..last of a plane at depth 2 + frame / 8 seen with focal 400 from (160, 120);
    // intensity is the frame number, 255 in the top-left pixel.
    // xSign, ySign: -1 records X growing leftward, Y upward.
    std::unique_ptr<CStereoSource> Source(int last, const std::string& paramLines, const std::string& camera = "",
                                          float xSign = 1.0f, float ySign = 1.0f) {
        for (int frame = 1; frame <= last; ++frame) {
            const std::string base = folder.Path("f" + std::to_string(frame));
            const float z = 2.0f + frame / 8.0f;
            auto intensity = MakeFilledImage<std::uint8_t>(W, H, IPL_DEPTH_8U, [frame](int x, int y) {
                return x + y == 0 ? 255 : frame;
            });
            intensity->Save((base + "-i.pgm").c_str(), 0);
            MakeFilledImage<float>(W, H, IPL_DEPTH_32F, [z, xSign](int x, int) { return xSign * (x - 160) * z / 400; })
                ->Save((base + "-x.pgm").c_str(), 0);
            MakeFilledImage<float>(W, H, IPL_DEPTH_32F, [z, ySign](int, int y) { return ySign * (y - 120) * z / 400; })
                ->Save((base + "-y.pgm").c_str(), 0);
            MakeFilledImage<float>(W, H, IPL_DEPTH_32F, [z](int, int) { return z; })->Save((base + "-z.pgm").c_str(), 0);
        }
        const std::string config = folder.WriteText(
            "c.cfg", "INPUT_IMAGE_PATH: " + folder.Path("f") + " FIRST_FILE_INDEX: 1 LAST_FILE_INDEX: " +
                         std::to_string(last) + " INTENSITY_WRITTEN: YES X_COORD_WRITTEN: YES Y_COORD_WRITTEN: YES " +
                         "DEPTH_WRITTEN: YES FOCAL: 400\n" + camera);
        std::istringstream param("CAMERA_TYPE: FILES\nCONFIG_FILENAME: " + config + "\n" + paramLines);
        return std::make_unique<CStereoSource>(&param);
    }
    static std::vector<int> Indices(const CStereoSource& source) {
        std::vector<int> indices;
        for (const auto& frame : source.GetFrames()) indices.push_back(frame->GetIndex());
        return indices;
    }

    RecordingFolder folder;
};

TEST_F(StereoSourceTest, KeepsTheNewestFramesAndTheFirstOneWhichAloneHasAPose) {
    auto source = Source(5, "MAX_FRAMES: 3");
    EXPECT_EQ(std::make_tuple(source->GetRegion()->GetWidth(), source->GetRegion()->GetHeight()), std::make_tuple(0, 0));
    ASSERT_NE(source->GetCurrentFrame()->GetPose(), nullptr);
    EXPECT_EQ(source->GetCurrentPose(), source->GetCurrentFrame()->GetPose());
    for (int grab = 2; grab <= 5; ++grab) ASSERT_EQ(source->GrabImage(), 1);
    EXPECT_EQ(Indices(*source), (std::vector<int>{5, 4, 1}));
    EXPECT_EQ(source->GetCurrentFrame()->GetPose(), nullptr);
    EXPECT_EQ(source->GetCurrentPose()->GetRotationMatrix(1, 1), 1.0f);  // the default identity
    EXPECT_EQ(source->GrabImage(), 0);  // end of the recording: nothing changes
    EXPECT_EQ(Indices(*source), (std::vector<int>{5, 4, 1}));
    EXPECT_EQ(source->GetFrameCount(), 5);
}

TEST_F(StereoSourceTest, FramesDroppedBeforeOneLeaveItTheOldestKeptFrame) {
    auto source = Source(6, "MAX_FRAMES: 3");
    for (int grab = 2; grab <= 4; ++grab) ASSERT_EQ(source->GrabImage(), 1);
    source->DropFramesBefore(3);
    EXPECT_EQ(Indices(*source), (std::vector<int>{4, 3}));
    for (int grab = 5; grab <= 6; ++grab) ASSERT_EQ(source->GrabImage(), 1);
    EXPECT_EQ(Indices(*source), (std::vector<int>{6, 5, 3}));
    source->DropFramesBefore(99);  // the newest frame stays
    EXPECT_EQ(Indices(*source), (std::vector<int>{6}));
}

TEST_F(StereoSourceTest, ResetGrabsAFreshFirstFrameUntilTheSequenceEnds) {
    auto source = Source(3, "");
    ASSERT_EQ(source->GrabImage(), 1);
    source->Reset();  // not rewound: file 3, but frame number 1 with a pose
    EXPECT_EQ(Indices(*source), (std::vector<int>{1}));
    EXPECT_NE(source->GetCurrentFrame()->GetPose(), nullptr);
    EXPECT_FLOAT_EQ(PixelAt<float>(*source->GetIntensity(), 5, 5), 3.0f / 25500.0f);
    source->Reset();
    EXPECT_TRUE(source->GetFrames().empty());
    EXPECT_EQ(source->GetFrameCount(), 0);
    EXPECT_EQ(std::make_tuple(source->GetCurrentFrame(), source->GetIntensity(), source->GetDepth(), source->GetMask()),
              std::make_tuple(nullptr, nullptr, nullptr, nullptr));
    EXPECT_NE(source->GetCurrentPose(), nullptr);
}

TEST_F(StereoSourceTest, ScalesIntensityAndPixelsAndRestrictsNewFramesToTheRegion) {
    auto source = Source(2, "TOP_LEFT_MASK: 100 80 BOTTOM_RIGHT_MASK: 140 120 MIN_DEPTH_MASK: 1.0");
    const CTrackedFrame* first = source->GetCurrentFrame();
    EXPECT_EQ(PixelAt<float>(*first->GetIntensity(), 0, 0), 255.0f * 3.9215687e-05f);  // bits 0x38247B86
    EXPECT_FLOAT_EQ(first->GetCentroidZ(), 2.125f);
    EXPECT_NEAR(first->GetCentroidX(), (119.5f - 160.0f) * 2.125f / 400, 1e-6f);
    EXPECT_NEAR(first->GetScaleX(), 2.125f / 400, 1e-8f);
    EXPECT_NEAR(first->GetScaleY(), -2.125f / 400, 1e-8f);

    source->SetRegion(100, 220, 40, 200, 0.5f, 1.2f);  // the plane lies beyond this depth range
    const CDepthMaskRegion* region = source->GetRegion();
    EXPECT_EQ(std::make_tuple(region->GetXOffset(), region->GetYOffset(), region->GetWidth(), region->GetHeight()),
              std::make_tuple(100, 40, 120, 160));
    ASSERT_EQ(source->GrabImage(), 1);
    EXPECT_EQ(PixelAt<std::uint8_t>(*source->GetMask(), 150, 100), 0);
    EXPECT_EQ(source->GetCurrentFrame()->GetCentroidZ(), 0.0f);
    EXPECT_EQ(PixelAt<std::uint8_t>(*first->GetMask(), 150, 100), 1);  // older frames keep theirs
    const CDepthMaskRegion* reset = source->ResetRegion();
    EXPECT_EQ(std::make_tuple(reset->GetXOffset(), reset->GetWidth(), reset->GetMinDepth(), reset->GetMaxDepth()),
              std::make_tuple(100, 40, 1.0f, -1.0f));
}

TEST_F(StereoSourceTest, PixelScalesTakeTheirSignsFromTheDirectionOfTheRecordedAxes) {
    const std::string region = "TOP_LEFT_MASK: 100 80 BOTTOM_RIGHT_MASK: 140 120";
    const struct {
        float xSign, ySign;
    } conventions[] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
    for (const auto& c : conventions) {
        auto source = Source(1, region, "", c.xSign, c.ySign);
        const CTrackedFrame* frame = source->GetCurrentFrame();
        // Y down gives the negative vertical scale; data running the other way flip the sign.
        EXPECT_NEAR(frame->GetScaleX(), c.xSign * 2.125f / 400, 1e-8f) << c.xSign << c.ySign;
        EXPECT_NEAR(frame->GetScaleY(), -c.ySign * 2.125f / 400, 1e-8f) << c.xSign << c.ySign;
    }
    // Without a region the whole masked image decides.
    EXPECT_GT(Source(1, "", "", 1.0f, -1.0f)->GetCurrentFrame()->GetScaleY(), -1e-9f);
}

TEST_F(StereoSourceTest, FailsAGrabWhoseCoordinatesCannotBeReadAndBlackensMissingIntensity) {
    auto source = Source(3, "", "INTENSITY_WRITTEN: NO");
    EXPECT_EQ(PixelAt<float>(*source->GetIntensity(), 200, 100), 0.0f);
    std::filesystem::remove(folder.Path("f2-z.pgm"));
    EXPECT_EQ(source->GrabImage(), 0);
    EXPECT_EQ(std::make_tuple(Indices(*source), source->GetFrameCount()), std::make_tuple(std::vector<int>{1}, 1));
    ASSERT_EQ(source->GrabImage(), 1);  // the recording goes on with file 3
    EXPECT_FLOAT_EQ(PixelAt<float>(*source->GetDepth(), 0, 0), 2.375f);
}

TEST_F(StereoSourceTest, ALiveCameraWithoutCaptureDeviceFailsEveryGrabWithItsMessage) {
    testing::internal::CaptureStdout();
    std::istringstream param("CAMERA_TYPE: SRI CONFIG_FILENAME: " + folder.WriteText("svs.ini", "BASELINE: 90"));
    CStereoSource live(&param);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't open frame grabber\nNo image, timed out...\n");
    ASSERT_NE(live.GetCamera(), nullptr);
    EXPECT_EQ(live.GetCurrentFrame(), nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(live.GrabImage(), 0);
    live.Reset();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "No image, timed out...\nNo image, timed out...\n");
    EXPECT_EQ(live.GetMask(), nullptr);

    testing::internal::CaptureStdout();
    std::istringstream triclops("CAMERA_TYPE: TRICLOPS");
    CStereoSource noCamera(&triclops);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(noCamera.GrabImage(), 0);
}

TEST_F(StereoSourceTest, ARecordingOfTheLiveCameraWithoutDisparityKeepsItsOwn3D) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    auto recorded = Source(1, "", "RECORDED_CAMERA: SRI CAMERA_CONFIG_FILENAME: " + folder.Path("none.ini"));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't open frame grabber\n");  // the auxiliary camera's
    ASSERT_NE(recorded->GetCurrentFrame(), nullptr);
    EXPECT_FLOAT_EQ(PixelAt<float>(*recorded->GetDepth(), 0, 0), 2.125f);
}

// Stereo pairs of the rendered head seen by the live camera, from files.
class LiveStereoSourceTest : public ::testing::Test {
protected:
    static constexpr int kFrames = 3;

    // Renders the sequence once for the suite; in SetUp, so that a failure fails the tests.
    void SetUp() override {
        if (folder_) return;
        folder_ = std::make_unique<RecordingFolder>();
        std::string error;
        const auto scene = CHeadScene::Create(SceneOptions(), &error);
        ASSERT_NE(scene, nullptr) << error;
        SequenceOptions options;
        options.folder = folder_->Path("head");
        options.frameCount = kFrames;
        options.forms = kFormPng | kFormIff;  // the writer wants a form the tracker can read
        options.trackerCamera = "iff";
        const auto writer = CSequenceWriter::Create(options, &error);
        ASSERT_NE(writer, nullptr) << error;
        const double yawRad[kFrames] = {0.0, 0.35, -0.35};  // frontal, then 20 degrees each way
        for (int k = 0; k < kFrames; ++k) {
            const RenderedFrame frame = scene->Render(CRigidMotion::FromRotationVector({0, yawRad[k], 0}, {0, 0, 950}));
            ASSERT_TRUE(writer->WriteFrame(k + 1, frame, &error)) << error;
            truth_.push_back(frame.z.clone());
            lefts_.push_back(frame.left.clone());
        }
    }
    static void TearDownTestSuite() {
        folder_.reset();
        truth_.clear();
        lefts_.clear();
    }

    // The live camera's parameter file: the renderer's camera, pairs 1..kFrames as its source.
    static std::string LiveCamera(bool withSource) {
        const std::string calibration =
            "FOCAL: 380 380 PRINCIPAL_POINT_LEFT: 160 120 PRINCIPAL_POINT_RIGHT: 160 120 BASELINE: 90\n";
        const std::string source = "SOURCE: FILES head/left-%04d.png head/right-%04d.png 1 " + std::to_string(kFrames);
        return folder_->WriteText(withSource ? "live.ini" : "processor.ini", calibration + (withSource ? source : ""));
    }

    // Share of the textured pixels of the valid window whose Z is within 3 % of the truth.
    static double ShareWithin3Percent(const CImage& depth, int frame) {
        const cv::Mat measured = iplFullView(depth.GetIplImage());
        const cv::Mat& left = lefts_[frame];
        cv::Mat mean, squares, variance;
        cv::Mat left32;
        left.convertTo(left32, CV_32F);
        cv::blur(left32, mean, cv::Size(11, 11));
        cv::blur(left32.mul(left32), squares, cv::Size(11, 11));
        variance = squares - mean.mul(mean);
        int textured = 0, close = 0;
        for (int j = 9; j < 231; ++j) {
            for (int i = 56; i < 264; ++i) {
                if (variance.at<float>(j, i) < 4.0f) continue;  // below 2 grey levels of spread
                ++textured;
                const float truth = truth_[frame].at<float>(j, i);
                close += std::fabs(measured.at<float>(j, i) - truth) <= 0.03f * truth;
            }
        }
        return textured ? static_cast<double>(close) / textured : 0.0;
    }

    static inline std::unique_ptr<RecordingFolder> folder_;
    static inline std::vector<cv::Mat> truth_;  // Z of each frame, mm
    static inline std::vector<cv::Mat> lefts_;
};

TEST_F(LiveStereoSourceTest, TheLiveCameraDeliversTheHeadsDepthWithinThreePercent) {
    std::istringstream param("CAMERA_TYPE: SRI CONFIG_FILENAME: " + LiveCamera(true));
    CStereoSource source(&param);
    for (int k = 0; k < kFrames; ++k) {
        if (k > 0) {
            ASSERT_EQ(source.GrabImage(), 1);
        }
        ASSERT_NE(source.GetCurrentFrame(), nullptr);
        const double share = ShareWithin3Percent(*source.GetDepth(), k);
        std::cout << "frame " << k + 1 << ": Z within 3 % on " << 100 * share << " % of the textured pixels\n";
        EXPECT_GE(share, 0.9) << k;
        EXPECT_FLOAT_EQ(PixelAt<float>(*source.GetDepth(), 10, 5), 0.0f);  // outside the valid window
    }
    EXPECT_FLOAT_EQ(source.GetCamera()->GetFocal(), 380.0f);
    testing::internal::CaptureStdout();
    EXPECT_EQ(source.GrabImage(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "No image, timed out...\n");
}

TEST_F(LiveStereoSourceTest, RecordedDisparityOfTheLiveCameraIsTurnedInto3DByTheAuxiliaryCamera) {
    {  // record intensity and disparity as the live camera delivers them
        testing::internal::CaptureStdout();
        CStereoCameraSVS live(LiveCamera(true).c_str());
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        auto intensity = std::make_unique<CImage>(W, H, IPL_DEPTH_8U, 1, 0);
        auto disparity = std::make_unique<CImage>(W, H, IPL_DEPTH_16U, 1, 0);
        intensity->Allocate();
        disparity->Allocate();
        for (int k = 1; k <= kFrames; ++k) {
            ASSERT_EQ(live.GrabFrame(), 0);
            ASSERT_EQ(live.GetImage(intensity.get(), 5), 0);
            ASSERT_EQ(live.GetDisparity(disparity.get(), 16), 0);
            const std::string base = folder_->Path("rec" + std::to_string(k));
            ASSERT_TRUE(intensity->Save((base + "-i.pgm").c_str(), 0) && disparity->Save((base + "-d.pgm").c_str(), 0));
        }
    }
    const std::string recording = folder_->WriteText(
        "recording.cfg", "RECORDED_CAMERA: SRI CAMERA_CONFIG_FILENAME: " + LiveCamera(false) +
                             " INPUT_IMAGE_PATH: " + folder_->Path("rec") + " FIRST_FILE_INDEX: 1 LAST_FILE_INDEX: " +
                             std::to_string(kFrames) +
                             " INTENSITY_WRITTEN: YES DISPARITY_WRITTEN: YES FOCAL: 380 BASELINE: 90\n");
    std::istringstream param("CAMERA_TYPE: FILES CONFIG_FILENAME: " + recording);
    testing::internal::CaptureStdout();
    CStereoSource source(&param);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't open frame grabber\n");  // it only computes
    for (int k = 0; k < kFrames; ++k) {
        if (k > 0) {
            ASSERT_EQ(source.GrabImage(), 1);
        }
        ASSERT_NE(source.GetCurrentFrame(), nullptr);
        const double share = ShareWithin3Percent(*source.GetDepth(), k);
        std::cout << "recorded frame " << k + 1 << ": Z within 3 % on " << 100 * share << " % of the textured pixels\n";
        EXPECT_GE(share, 0.9) << k;
        // Y points down, as the live camera delivers it: rows above the centre are negative.
        EXPECT_LT(PixelAt<float>(*source.GetCurrentFrame()->GetImageY(), 160, 40), 0.0f);
    }
}

}  // namespace
