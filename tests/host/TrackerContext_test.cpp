#include "host/TrackerContext.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "acquisition/StereoSource.h"
#include "common/BoundedFile.h"
#include "init/FaceCandidate.h"
#include "init/TrackerInitializer.h"
#include "support/FaceTestData.h"
#include "synth/HeadScene.h"
#include "synth/SequenceWriter.h"
#include "synth/Trajectory.h"
#include "tracking/Pose.h"
#include "tracking/TrackedFrame.h"

namespace {

constexpr int kFrames = 24;

// The trajectory's frames of the rendered head and the generator's configuration, in folder.
void WriteSequence(const std::string& folder, const TrajectoryOptions& trajectory) {
    std::vector<CRigidMotion> poses;
    std::string error;
    ASSERT_TRUE(MakeTrajectory(trajectory, poses, &error)) << error;
    const auto scene = CHeadScene::Create(SceneOptions(), &error);
    ASSERT_NE(scene, nullptr) << error;
    SequenceOptions options;
    options.folder = folder;
    options.frameCount = trajectory.frameCount;
    options.forms = kFormPgm;
    const auto writer = CSequenceWriter::Create(options, &error);
    ASSERT_NE(writer, nullptr) << error;
    for (int k = 0; k < trajectory.frameCount; ++k)
        ASSERT_TRUE(writer->WriteFrame(k + 1, scene->Render(poses[k]), &error));
    ASSERT_TRUE(writer->WriteConfiguration(&error)) << error;
}

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
        WriteSequence(sequence_->Path("frames"), trajectory);
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

    // Like Configure, but the folder holds its own copy of the recording (links to the frames),
    // without the frames listed, and names its files relative to itself.
    std::string ConfigureWithout(const std::set<int>& missing) {
        const std::string frames = sequence_->Path("frames") + "/";
        const std::string folder = Configure();
        std::filesystem::create_directory(folder + "frames");
        for (int k = 1; k <= kFrames; ++k) {
            if (missing.count(k)) continue;
            char name[32];
            for (const char* kind : {"i", "x", "y", "z"}) {
                std::snprintf(name, sizeof name, "frame%04d-%s.pgm", k, kind);
                std::filesystem::create_symlink(frames + name, folder + "frames/" + name);
            }
        }
        std::ifstream original(frames + "camera-xyz.cfg");
        std::string camera(std::istreambuf_iterator<char>(original), {});
        camera.replace(camera.find(frames + "frame"), frames.size() + 5, "frames/frame");
        folder_->Write("camera.cfg", camera);
        folder_->Write("Param.cfg", "CAMERA_TYPE: FILES\nCONFIG_FILENAME: camera.cfg\n");
        folder_->Write("ParamTrackerZBCCE.cfg", "POSES_FILE: poses.txt\n");
        return folder;
    }

    std::vector<int> SeenCounts(CTrackerContext& context) {
        std::vector<int> seen;
        for (const auto& candidate : context.GetInitializer().GetCandidates()) seen.push_back(candidate->GetSeen());
        return seen;
    }

    std::size_t PoseLines() const {
        std::ifstream poses(folder_->Path("poses.txt"));
        std::size_t lines = 0;
        for (std::string line; std::getline(poses, line);) ++lines;
        return lines;
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
    // No face box holds enough masked pixels: the first tracking step loses the face.
    const auto context = Open(Configure("THRESHOLD_PIXEL_MASK: 1e9\n").c_str());
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
TEST_F(TrackerContextTest, AFailedGrabIsNoNewFrameChangesNothingAndItsCauseIsPrintedOncePerRun) {
    // Frames 5 and 6 are missing while searching, 10 and 11 while tracking.
    const auto context = Open(ConfigureWithout({5, 6, 10, 11}).c_str());
    EXPECT_TRUE(context->HasNewFrame());
    for (int step = 1; step <= 3; ++step) ASSERT_FALSE(Step(*context));  // frames 2 to 4: three sightings
    const std::vector<int> seen = SeenCounts(*context);
    ASSERT_FALSE(seen.empty());
    const CTrackedFrame* newest = context->GetSource().GetCurrentFrame();
    std::string printed;
    EXPECT_FALSE(Step(*context, &printed));  // frame 5
    EXPECT_FALSE(context->HasNewFrame());
    EXPECT_EQ(printed, "Error! GrabImage() failed!\nError! No new frame: unreadable frame file: " + folder_->Path("") +
                           "frames/frame0005-i.pgm does not open: No such file or directory\n");
    EXPECT_FALSE(Step(*context, &printed));  // frame 6: the same kind of failure, said once
    EXPECT_EQ(printed, "Error! GrabImage() failed!\n");
    // Nothing was searched twice: no sighting counted, the newest frame the same.
    EXPECT_EQ(SeenCounts(*context), seen);
    EXPECT_EQ(context->GetSource().GetCurrentFrame(), newest);

    EXPECT_TRUE(Step(*context));  // frame 7, the fourth sighting
    EXPECT_TRUE(context->HasNewFrame());
    ASSERT_TRUE(Step(*context));   // frames 8 and 9 tracked
    ASSERT_TRUE(Step(*context));
    const std::size_t lines = PoseLines();
    const auto pose = context->GetHeadPose();
    for (int missing = 10; missing <= 11; ++missing) {
        EXPECT_TRUE(Step(*context, &printed)) << "still tracking after frame " << missing << " failed";
        EXPECT_FALSE(context->HasNewFrame());
        EXPECT_EQ(PoseLines(), lines) << "no frame was tracked twice";
        EXPECT_EQ(context->GetHeadPose(), pose);
    }
    EXPECT_TRUE(Step(*context));  // frame 12
    EXPECT_EQ(PoseLines(), lines + 1);
    EXPECT_NE(context->GetHeadPose(), pose);
}

TEST_F(TrackerContextTest, RelativeFileNamesAreTakenFromTheConfigurationFolder) {
    // The working directory is the test's, not the folder: Param.cfg names "camera.cfg", which
    // names "frames/frame", and the poses go to "poses.txt", all beside the configuration.
    const auto context = Open(ConfigureWithout({}).c_str());
    EXPECT_EQ(openErrors_, "");
    ASSERT_GT(StepUntilTracking(*context, 10), 0);
    ASSERT_TRUE(Step(*context));
    EXPECT_EQ(PoseLines(), 1u);
}

TEST_F(TrackerContextTest, ConfigurationFilesThatAreDevicesOrTooLargeAreRefusedAndRunOnDefaults) {
    const std::string folder = Configure();
    std::filesystem::remove(folder + "Param.cfg");
    std::filesystem::create_symlink("/dev/zero", folder + "Param.cfg");
    folder_->Write("ParamInit.cfg", std::string(kMaxConfigFileBytes + 1, ' '));
    const auto context = Open(folder.c_str());
    EXPECT_NE(openErrors_.find(folder + "Param.cfg refused: not a regular file\n"), std::string::npos) << openErrors_;
    EXPECT_NE(openErrors_.find(folder + "ParamInit.cfg refused: larger than 1048576 bytes\n"), std::string::npos)
        << openErrors_;
    EXPECT_NE(openErrors_.find("Error! Unable to open Param.cfgError! Unable to open ParamInit.cfg"), std::string::npos)
        << openErrors_;
    EXPECT_EQ(context->GetSource().GetParameters().cameraType, CStereoSourceParameters::CAMERA_SRI);
    EXPECT_EQ(context->GetInitializer().GetParameters().sizeFaceX, 60);
}

// A head moving 150 mm aside at 950 mm (60 pixels, more than its face box is wide) under a
// tracker that follows it: the face's box goes with the region, and the head stays tracked.
TEST(TrackerContextFollowing, AHeadMovingFurtherThanItsBoxStaysTracked) {
    setenv("VANTOREL_CLASSIFIER", facetest::ClassifierPath().c_str(), 1);
    facetest::TempFolder folder("vantorel_context_follow_" + std::to_string(::getpid()));
    TrajectoryOptions trajectory;
    trajectory.name = "translate";
    trajectory.frameCount = 40;
    trajectory.stillFrames = 6;
    trajectory.amplitudeMm = cv::Vec3d(150.0, 0.0, 0.0);
    WriteSequence(folder.Path(""), trajectory);
    ASSERT_FALSE(::testing::Test::HasFatalFailure());

    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    CTrackerContext context(folder.Path("").c_str());
    int tracked = 0, lost = 0;
    bool wasTracking = false;
    float startLeft = 0.0f, farthest = 0.0f;
    for (int step = 0; step < 2 * trajectory.frameCount; ++step) {
        const bool tracking = context.Update();
        const CFaceCandidate* face = context.GetInitializer().GetSelected();
        if (tracking && !wasTracking && face) startLeft = face->GetLeft();
        if (tracking && face) farthest = std::max(farthest, std::abs(face->GetLeft() - startLeft));
        lost += wasTracking && !tracking;
        tracked += tracking;
        wasTracking = tracking;
        const CTrackedFrame* frame = context.GetSource().GetCurrentFrame();
        if (frame && frame->GetIndex() >= trajectory.frameCount) break;
    }
    ::testing::internal::GetCapturedStdout();
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(lost, 0);
    EXPECT_GT(tracked, 30);
    // 150 mm at 950 mm and focal 380 is 60 pixels; the box went most of the way with the head.
    EXPECT_GT(farthest, 40.0f);
}

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
