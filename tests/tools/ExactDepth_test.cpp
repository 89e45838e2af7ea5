#include "synth/ExactDepth.h"

#include <cmath>

#include <gtest/gtest.h>

#include "evaluation/CaseRuns.h"
#include "evaluation/SequenceCase.h"
#include "support/RecordingFolder.h"

namespace {

// A head 30 pixels square at 1000 mm before a wall at 2000 mm; the matched depth reads the head
// 5 mm far, one head pixel 60 mm near, and has a hole. Each pixel's ray is its column and row.
struct Scene {
    cv::Mat exact = cv::Mat(50, 50, CV_32F, cv::Scalar(2000.0f)), depth, x, y;
    Scene() {
        exact(cv::Rect(10, 10, 30, 30)).setTo(1000.0f);
        depth = exact.clone();
        depth(cv::Rect(10, 10, 30, 30)) += 5.0f;
        depth.at<float>(25, 25) = 940.0f;
        depth.at<float>(30, 12) = 0.0f;
        x.create(depth.size(), CV_32F);
        y.create(depth.size(), CV_32F);
        for (int r = 0; r < 50; ++r)
            for (int c = 0; c < 50; ++c) {
                x.at<float>(r, c) = 0.01f * c * depth.at<float>(r, c);
                y.at<float>(r, c) = 0.01f * r * depth.at<float>(r, c);
            }
    }
    cv::Mat Put(const std::string& mode) {
        exact_depth::Put(mode, exact, depth, x, y);
        return depth;
    }
};

TEST(ExactDepth, EachModeReplacesTheMatchedDepthWhereItSaysAndKeepsTheRays) {
    EXPECT_FALSE(exact_depth::KnownMode("half"));
    Scene all;
    const cv::Mat everywhere = all.Put("all");
    EXPECT_EQ(everywhere.at<float>(25, 25), 1000.0f);
    EXPECT_EQ(everywhere.at<float>(20, 20), 1000.0f);
    EXPECT_EQ(everywhere.at<float>(30, 12), 0.0f);  // a hole stays one
    for (const cv::Point p : {cv::Point(25, 25), cv::Point(12, 20)}) {
        EXPECT_FLOAT_EQ(all.x.at<float>(p) / everywhere.at<float>(p), 0.01f * p.x);
        EXPECT_FLOAT_EQ(all.y.at<float>(p) / everywhere.at<float>(p), 0.01f * p.y);
    }
    // The far miss keeps its matched depth.
    Scene near;
    EXPECT_EQ(near.Put("near").at<float>(25, 25), 940.0f);
    EXPECT_EQ(near.depth.at<float>(20, 20), 1000.0f);
    // The outline: within 4 pixels of the head's edge in the rendered depth (the hole is no edge
    // of it).
    Scene interior, outline;
    interior.Put("interior");
    outline.Put("outline");
    EXPECT_EQ(interior.depth.at<float>(20, 20), 1000.0f);
    EXPECT_EQ(interior.depth.at<float>(12, 20), 1005.0f);
    EXPECT_EQ(outline.depth.at<float>(20, 20), 1005.0f);
    EXPECT_EQ(outline.depth.at<float>(12, 20), 1000.0f);
    // The smooth and the fine parts of a near pixel's error add up to it.
    Scene smooth, fine;
    smooth.Put("smooth");
    fine.Put("fine");
    for (const cv::Point p : {cv::Point(20, 20), cv::Point(24, 25), cv::Point(11, 11)}) {
        const float slow = smooth.depth.at<float>(p) - 1000.0f, rest = fine.depth.at<float>(p) - 1000.0f;
        EXPECT_NEAR(slow + rest, 5.0f, 1e-3f) << p;
        EXPECT_GT(slow, 0.5f) << p;
    }
    // In the middle of an even error the smooth part is all of it.
    EXPECT_NEAR(smooth.depth.at<float>(18, 18), 1005.0f, 0.05f);
}

// Through a whole run: the live path with the rendered depth put in everywhere follows the turn as
// the X, Y, Z files do, nearer to them than the matched depth does.
TEST(ExactDepth, TheLivePathWithTheRenderedDepthTracksAsTheXyzFilesDo) {
    const RecordingFolder folder;
    SequenceCase sequence;
    sequence.trajectory = "yaw";
    sequence.frames = 24;
    sequence.stillFrames = 4;
    sequence.paths = {"xyz", "live"};
    sequence.exactDepth = "all";
    WrittenCase written;
    std::string error;
    ASSERT_TRUE(WriteSequenceCase(sequence, folder.Path("run"), written, &error)) << error;
    EvaluationOptions options;
    options.modes = {"previous"};
    std::vector<RunRow> exact, matched;
    ASSERT_TRUE(RunSequenceCase(sequence, written, options, exact, &error)) << error;
    sequence.exactDepth.clear();
    sequence.paths = {"live"};
    ASSERT_TRUE(RunSequenceCase(sequence, written, options, matched, &error)) << error;
    ASSERT_EQ(exact.size(), 2u);
    ASSERT_EQ(matched.size(), 1u);
    const double xyz = exact[0].errors.rotationDeg.rms, live = exact[1].errors.rotationDeg.rms;
    EXPECT_EQ(exact[1].path, "live");
    EXPECT_NE(exact[1].caseLabel.find("exact all"), std::string::npos);
    EXPECT_NEAR(live, xyz, 0.03);
    EXPECT_GT(std::fabs(matched[0].errors.rotationDeg.rms - xyz), 2 * std::fabs(live - xyz));
}

}  // namespace
