#include "host/TrackerContext.h"

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "acquisition/StereoSource.h"
#include "init/TrackerInitializer.h"
#include "support/FaceTestData.h"
#include "synth/HeadScene.h"
#include "synth/SequenceWriter.h"
#include "synth/Trajectory.h"
#include "tracking/Pose.h"
#include "tracking/TrackedFrame.h"

namespace {

constexpr int kFrames = 24;

// A rendered head sequence (still, then a gentle turn) written once for the whole suite; each
// test reads it through its own configuration folder.
class TrackerContextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("VANTOREL_CLASSIFIER", facetest::ClassifierPath().c_str(), 1);
        sequence_ = new facetest::TempFolder("vantorel_context_" + std::to_string(::getpid()));
        TrajectoryOptions trajectory;
        trajectory.name = "yaw";
        trajectory.frameCount = kFrames;
        trajectory.amplitudeRad = 0.1;
        std::vector<CRigidMotion> poses;
        std::string error;
        ASSERT_TRUE(MakeTrajectory(trajectory, poses, &error)) << error;
        const auto scene = CHeadScene::Create(SceneOptions(), &error);
        ASSERT_NE(scene, nullptr) << error;
        SequenceOptions options;
        options.folder = sequence_->Path("frames");
        options.frameCount = kFrames;
        options.forms = kFormPgm;
        const auto writer = CSequenceWriter::Create(options, &error);
        ASSERT_NE(writer, nullptr) << error;
        for (int k = 0; k < kFrames; ++k) ASSERT_TRUE(writer->WriteFrame(k + 1, scene->Render(poses[k]), &error));
        ASSERT_TRUE(writer->WriteConfiguration(&error)) << error;
    }
    static void TearDownTestSuite() {
        delete sequence_;
        sequence_ = nullptr;
    }

    // A configuration folder (with its trailing separator) over the sequence; initSettings are
    // appended to the sequence's ParamInit.cfg.
    std::string Configure(const std::string& initSettings = "") {
        const std::string frames = sequence_->Path("frames") + "/";
        folder_ = std::make_unique<facetest::TempFolder>("vantorel_context_cfg_" + std::to_string(::getpid()));
        folder_->Write("Param.cfg", "CAMERA_TYPE: FILES\nCONFIG_FILENAME: " + frames + "camera-xyz.cfg\n");
        std::ifstream init(frames + "ParamInit.cfg");
        folder_->Write("ParamInit.cfg", std::string(std::istreambuf_iterator<char>(init), {}) + initSettings);
        folder_->Write("ParamTrackerZBCCE.cfg", "POSES_FILE: " + folder_->Path("poses.txt") + "\n");
        return folder_->Path("");
    }

    // Builds the context, keeping the classifier's loading messages out of the test's output.
    std::unique_ptr<CTrackerContext> Open(const char* folder) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        auto context = std::make_unique<CTrackerContext>(folder);
        ::testing::internal::GetCapturedStdout();
        openErrors_ = ::testing::internal::GetCapturedStderr();
        return context;
    }

    // One step; its console output goes to *printed.
    static bool Step(CTrackerContext& context, std::string* printed = nullptr) {
        ::testing::internal::CaptureStdout();
        const bool tracking = context.Update();
        const std::string out = ::testing::internal::GetCapturedStdout();
        if (printed) *printed = out;
        return tracking;
    }

    static int StepUntilTracking(CTrackerContext& context, int limit) {
        for (int step = 1; step <= limit; ++step)
            if (Step(context)) return step;
        return -1;
    }

    static bool IsIdentity(CPose& pose) {
        pose.UpdateRotationMatrix();
        return pose.RotationAngle() == 0.0f && pose.TranslationNorm() == 0.0f;
    }

    static facetest::TempFolder* sequence_;
    std::unique_ptr<facetest::TempFolder> folder_;
    std::string openErrors_;
};

facetest::TempFolder* TrackerContextTest::sequence_ = nullptr;

TEST_F(TrackerContextTest, DetectingStepsPrintNoRegionAndTheFindingStepPrintsItOnceAndHandsItToTheSource) {
    const auto context = Open(Configure().c_str());
    EXPECT_EQ(openErrors_, "");
    int found = -1;
    for (int step = 1; step <= 10 && found < 0; ++step) {
        std::string printed;
        const bool tracking = Step(*context, &printed);
        const std::regex region("TrackerInitializer ROI: (-?\\d+), (-?\\d+)\n");
        std::smatch match;
        if (!tracking) {
            EXPECT_EQ(printed.find("TrackerInitializer"), std::string::npos) << printed;
            continue;
        }
        found = step;
        const CTrackerInitializer& init = context->GetInitializer();
        ASSERT_TRUE(std::regex_search(printed, match, region)) << printed;
        EXPECT_EQ(std::stoi(match[1]), init.GetRegionLeft());
        EXPECT_EQ(std::stoi(match[2]), init.GetRegionRight());
        EXPECT_FALSE(std::regex_search(match.suffix().first, printed.cend(), region)) << "printed twice";
        const CDepthMaskRegion* sourceRegion = context->GetSource().GetRegion();
        EXPECT_EQ(sourceRegion->GetXOffset(), init.GetRegionLeft());
        EXPECT_EQ(sourceRegion->GetYOffset(), init.GetRegionTop());
        EXPECT_EQ(sourceRegion->GetWidth(), init.GetRegionRight() - init.GetRegionLeft());
        EXPECT_EQ(sourceRegion->GetMaxDepth(), init.GetMaxDepth());
    }
    // Four consecutive frames confirm the face; the first frame is grabbed by the constructor and
    // never searched.
    EXPECT_EQ(found, 4);
    EXPECT_EQ(context->GetState(), CTrackerContext::kTracking);
}

TEST_F(TrackerContextTest, HeadPoseHoldsTheCentroidTranslationAndRotationColumnsOfTheNewestFrame) {
    const auto context = Open(Configure().c_str());
    ASSERT_GT(StepUntilTracking(*context, 10), 0);
    for (int step = 0; step < 6; ++step) ASSERT_TRUE(Step(*context));
    const auto values = context->GetHeadPose();
    CTrackedFrame* frame = context->GetSource().GetCurrentFrame();
    CPose* pose = context->GetSource().GetCurrentPose();
    ASSERT_NE(frame, nullptr);
    EXPECT_GT(frame->GetCentroidZ(), 600.0f);
    const std::vector<double> expected = {
        frame->GetCentroidX(), frame->GetCentroidY(), frame->GetCentroidZ(),
        pose->GetTranslation(0), pose->GetTranslation(1), pose->GetTranslation(2),
        pose->GetRotationMatrix(0, 0), pose->GetRotationMatrix(1, 0), pose->GetRotationMatrix(2, 0),
        pose->GetRotationMatrix(0, 1), pose->GetRotationMatrix(1, 1), pose->GetRotationMatrix(2, 1),
        pose->GetRotationMatrix(0, 2), pose->GetRotationMatrix(1, 2), pose->GetRotationMatrix(2, 2)};
    for (int k = 0; k < CTrackerContext::kPoseValueCount; ++k)
        EXPECT_EQ(values[k], expected[k]) << CTrackerContext::kPoseFieldNames[k];
}

TEST_F(TrackerContextTest, AFailedValidationStartsAFreshSearchFromANewFrame) {
    // No motion is short enough: the first tracking step loses the face.
    const auto context = Open(Configure("MAX_TRANSLATION: -1\n").c_str());
    ASSERT_GT(StepUntilTracking(*context, 10), 0);
    const int grabbedBefore = context->GetSource().GetFrameCount();
    EXPECT_FALSE(Step(*context));
    EXPECT_EQ(context->GetState(), CTrackerContext::kDetecting);
    EXPECT_EQ(context->GetSource().GetFrameCount(), 1) << "the source was reset after " << grabbedBefore << " frames";
    EXPECT_TRUE(IsIdentity(*context->GetSource().GetCurrentPose()));
    EXPECT_TRUE(context->GetInitializer().GetCandidates().empty());
    EXPECT_EQ(context->GetSource().GetRegion()->GetWidth(), 0) << "back to the configured region";
}

TEST_F(TrackerContextTest, GrabFailuresArePrintedAndAResetWithoutFramesLeavesStepsWithNothingToDo) {
    const auto context = Open(Configure().c_str());
    for (int step = 1; step < kFrames; ++step) Step(*context);  // the whole sequence
    std::string printed;
    const bool trackingAtEnd = context->GetState() == CTrackerContext::kTracking;
    EXPECT_EQ(Step(*context, &printed), trackingAtEnd);
    EXPECT_NE(printed.find("Error! GrabImage() failed!\n"), std::string::npos) << printed;

    context->Reacquire();  // its grab fails too: no frame left
    ASSERT_EQ(context->GetSource().GetCurrentFrame(), nullptr);
    for (int step = 0; step < 3; ++step) {
        EXPECT_FALSE(Step(*context, &printed));
        EXPECT_EQ(printed, "Error! GrabImage() failed!\n");
    }
    const auto values = context->GetHeadPose();
    const std::array<double, 15> identity = {0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    EXPECT_EQ(values, identity);
}

}  // namespace

namespace {

// A live stereo head whose parameter file names no capture device: the camera says so once, and
// every step reports the failed grab and goes on detecting.
TEST(TrackerContextLive, WithoutACaptureDeviceEveryStepReportsTheFailedGrabAndNothingBreaks) {
    facetest::TempFolder folder("vantorel_context_live_" + std::to_string(::getpid()));
    folder.Write("camera.cfg", "IMAGE_SIZE: 320 240\nDISPARITIES: 48\nSOURCE: NONE\n");
    folder.Write("Param.cfg", "CAMERA_TYPE: SRI\nCONFIG_FILENAME: " + folder.Path("camera.cfg") + "\n");
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    CTrackerContext context(folder.Path("").c_str());
    const std::string opened = ::testing::internal::GetCapturedStdout();
    ::testing::internal::GetCapturedStderr();
    EXPECT_NE(opened.find("Can't open frame grabber\n"), std::string::npos) << opened;
    EXPECT_EQ(context.GetSource().GetCurrentFrame(), nullptr);
    for (int step = 0; step < 3; ++step) {
        ::testing::internal::CaptureStdout();
        EXPECT_FALSE(context.Update());
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "No image, timed out...\nError! GrabImage() failed!\n");
    }
    ::testing::internal::CaptureStdout();
    context.Reacquire();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "No image, timed out...\n");
    EXPECT_EQ(context.GetState(), CTrackerContext::kDetecting);
}

}  // namespace
