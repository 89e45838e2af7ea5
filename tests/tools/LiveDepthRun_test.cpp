// The live camera on the rendered head, with the parameter file the sequence writer makes: the
// depth the tracker gets on the face, and nothing of the head dragged over the wall beside it.
#include "synth/LiveDepthRun.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/svs/svs.h"
#include "support/RecordingFolder.h"
#include "synth/DepthErrors.h"
#include "synth/HeadScene.h"
#include "synth/SequenceWriter.h"

namespace {

constexpr double kDeg = CV_PI / 180.0;

struct LiveCase {
    double distanceMm;
    cv::Vec3d rotationDeg;
    double noise;
};

// Renders the case, writes it as the generator does and runs it through the camera of the
// generator's file with `lines` appended.
class LiveDepthRunTest : public ::testing::Test {
protected:
    void Run(const LiveCase& c, const std::string& lines = "") {
        SceneOptions sceneOptions;
        sceneOptions.intensityNoiseSigma = c.noise;
        std::string error;
        const auto scene = CHeadScene::Create(sceneOptions, &error);
        ASSERT_NE(scene, nullptr) << error;
        frame = scene->Render(CRigidMotion::FromRotationVector(c.rotationDeg * kDeg, {0, 0, c.distanceMm}), 1);
        SequenceOptions options;
        options.folder = folder.Path("live");
        options.forms = kFormPng;
        options.trackerCamera = "live";
        options.nearestDepthMm = 0.5 * c.distanceMm;
        const auto writer = CSequenceWriter::Create(options, &error);
        ASSERT_NE(writer, nullptr) << error;
        ASSERT_TRUE(writer->WriteFrame(1, frame, &error) && writer->WriteConfiguration(&error)) << error;
        const std::string file = writer->Path("camera-variant.cfg");
        ASSERT_TRUE(WriteParameterVariant(writer->Path("camera-live.cfg"), lines, file, &error)) << error;
        std::vector<LiveDepthFrame> frames;
        ASSERT_TRUE(RunLiveCamera(file, 1, frames, &error)) << error;
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_GT(frames[0].seconds, 0.0);
        depth = frames[0].z;
    }

    CDepthErrors Face() const {
        CDepthErrors errors;
        errors.Add(depth, frame.z, MakeDepthRegions(frame.headMask, 4).face);
        return errors;
    }

    // Wall pixels that only the left camera sees, beside the head's left edge (past the few the
    // matching window itself straddles), that got a depth nearer than the wall by 100 mm or more.
    double WallTakenForHead(double wallMm) const {
        int pixels = 0, nearer = 0;
        for (int y = 0; y < depth.rows; ++y) {
            const auto* head = frame.headMask.ptr<unsigned char>(y);
            int left = 0;
            while (left < depth.cols && !head[left]) ++left;
            if (left == depth.cols) continue;
            for (int x = std::max(left - 20, 0); x < left - 4; ++x) {
                ++pixels;
                const float z = depth.at<float>(y, x);
                nearer += z > 0.0f && z < wallMm - 100.0;
            }
        }
        return pixels ? static_cast<double>(nearer) / pixels : 0.0;
    }

    RecordingFolder folder;
    RenderedFrame frame;
    cv::Mat depth;
};

TEST_F(LiveDepthRunTest, AtAMetreTheFaceHasDepthAlmostEverywhereToAFewMillimetres) {
    for (double noise : {0.0, 2.0}) {
        Run({1000.0, {0, 0, 0}, noise});
        const CDepthErrors face = Face();
        EXPECT_GT(face.ShareWithDepth(), 0.95) << noise;
        EXPECT_LT(face.QuantileMm(0.5), noise > 0 ? 4.0 : 3.0) << noise;
        EXPECT_LT(face.ShareOffBy(20.0), 0.01) << noise;
    }
}

TEST_F(LiveDepthRunTest, ACloseTurnedHeadIsNotSmearedOverTheWallOnlyTheLeftCameraSees) {
    Run({800.0, {0, -30, 0}, 0.0});
    EXPECT_LT(WallTakenForHead(1800.0), 0.05);
    EXPECT_GT(Face().ShareWithDepth(), 0.95);
    // What the check is for. The strip lies at the valid window's left edge, where the matcher's
    // paths start: matched across the whole width they come from further and smear less.
    Run({800.0, {0, -30, 0}, 0.0}, "LEFT_RIGHT_CHECK: OFF FULL_WIDTH: NO");
    EXPECT_GT(WallTakenForHead(1800.0), 0.2);
    Run({800.0, {0, -30, 0}, 0.0}, "LEFT_RIGHT_CHECK: OFF");
    EXPECT_GT(WallTakenForHead(1800.0), 0.05);
}

TEST_F(LiveDepthRunTest, AGrabBeyondTheFilesFailsWithTheReason) {
    Run({1000.0, {0, 0, 0}, 0.0});
    std::vector<LiveDepthFrame> frames;
    std::string error;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(RunLiveCamera(folder.Path("live/camera-variant.cfg"), 2, frames, &error));
    testing::internal::GetCapturedStdout();
    EXPECT_NE(error.find("grab 2"), std::string::npos) << error;
}

// The disparity search of the generator's live camera file: from a pixel beyond the farthest depth
// to one beyond the nearest, no more, since every disparity searched costs the valid window two
// columns.
TEST(LiveCameraFile, SearchesTheDisparitiesFromTheFarthestToTheNearestDepth) {
    RecordingFolder folder;
    auto written = [&](double farthestMm) {
        SequenceOptions options;
        options.folder = folder.Path("far" + std::to_string(static_cast<int>(farthestMm)));
        options.forms = kFormPng;
        options.trackerCamera = "live";
        options.nearestDepthMm = 475.0;
        options.farthestDepthMm = farthestMm;
        std::string error;
        const auto writer = CSequenceWriter::Create(options, &error);
        EXPECT_NE(writer, nullptr) << error;
        svsParameterBlock block = svsDefaultParameters();
        if (writer && writer->WriteConfiguration(&error)) {
            EXPECT_EQ(svsReadParamFile(writer->Path("camera-live.cfg").c_str(), &block), 0);
        }
        return block;
    };
    const double focalBaseline = 380.0 * 90.0;
    const svsParameterBlock bounded = written(1800.0), unbounded = written(0.0);
    for (const svsParameterBlock* b : {&bounded, &unbounded}) {
        const double nearest = b->numDisparities - 1 - b->offsetX, farthest = -b->offsetX;
        EXPECT_GE(nearest, focalBaseline / 475.0);
        EXPECT_LE(nearest, focalBaseline / 475.0 + 2.0);
        EXPECT_EQ(b->matching.matcher, SVS_MATCHER_SEMI_GLOBAL);
        if (b == &unbounded) EXPECT_EQ(farthest, 0.0);
        else EXPECT_TRUE(farthest <= focalBaseline / 1800.0 && farthest >= focalBaseline / 1800.0 - 2.0) << farthest;
    }
    // Each disparity not searched widens the window that gets depth by a column.
    const int boundedWidth = 320 + 4 - 20 - 2 * bounded.numDisparities - std::abs(bounded.offsetX);
    const int unboundedWidth = 320 + 4 - 20 - 2 * unbounded.numDisparities;
    EXPECT_GE(boundedWidth - unboundedWidth, 15);
}

}  // namespace
