#include "synth/GroundTruth.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <unistd.h>

#include "synth/Trajectory.h"

namespace {

namespace fs = std::filesystem;

class GroundTruthTest : public ::testing::Test {
protected:
    void TearDown() override { fs::remove(path_); }
    void WriteFile(const std::string& text) { std::ofstream(path_) << text; }

    const std::string path_ =
        (fs::temp_directory_path() / ("vantorel_truth_" + std::to_string(::getpid()) + ".txt")).string();
};

TEST_F(GroundTruthTest, RoundTripsExactlyThroughWriterAndReader) {
    TrajectoryOptions options;
    options.name = "random";
    options.frameCount = 30;
    std::vector<CRigidMotion> poses;
    ASSERT_TRUE(MakeTrajectory(options, poses, nullptr));
    // Turns this small, as a motion sets off from rest, OpenCV's Rodrigues reads as none.
    poses.push_back(CRigidMotion::FromRotationVector({2e-6, -1e-6, 3e-6}, {1, 2, 950}));
    CGroundTruth written, read;
    for (std::size_t k = 0; k < poses.size(); ++k) ASSERT_TRUE(written.Add(static_cast<int>(k) + 5, poses[k]));
    ASSERT_TRUE(written.Write(path_, {"made by a test"}));
    std::string error;
    ASSERT_TRUE(read.Read(path_, &error)) << error;
    ASSERT_EQ(read.Frames().size(), poses.size());
    for (std::size_t k = 0; k < poses.size(); ++k) {
        EXPECT_EQ(read.Frames()[k].index, static_cast<int>(k) + 5);
        EXPECT_EQ(cv::norm(read.Frames()[k].pose.Rotation() - poses[k].Rotation(), cv::NORM_INF), 0.0);
        EXPECT_EQ(read.Frames()[k].pose.Translation(), poses[k].Translation());
    }
}

TEST_F(GroundTruthTest, MotionMapsHeadPointsOfFrameAOntoFrameB) {
    CGroundTruth truth;
    const CRigidMotion a = CRigidMotion::FromRotationVector({0.1, 0.2, 0.0}, {10, 0, 950});
    const CRigidMotion b = CRigidMotion::FromRotationVector({-0.1, 0.3, 0.2}, {-20, 15, 900});
    ASSERT_TRUE(truth.Add(1, a) && truth.Add(4, b));
    EXPECT_FALSE(truth.Add(4, a));  // indices must increase
    CRigidMotion motion;
    ASSERT_TRUE(truth.Motion(1, 4, motion));
    for (const cv::Vec3d& head : {cv::Vec3d(0, 0, -90), cv::Vec3d(75, 0, 0), cv::Vec3d(10, -100, 3)})
        EXPECT_LT(cv::norm(motion.Apply(a.Apply(head)) - b.Apply(head)), 1e-9);
    EXPECT_FALSE(truth.Motion(1, 2, motion));
}

TEST_F(GroundTruthTest, ReaderSkipsCommentsAndRefusesDamagedLines) {
    const std::string identity = " 0 0 0 1 2 3 1 0 0 0 1 0 0 0 1\n";
    WriteFile("# header\n\n   # indented comment\n7" + identity + "9" + identity);
    CGroundTruth truth;
    std::string error;
    ASSERT_TRUE(truth.Read(path_, &error)) << error;
    ASSERT_EQ(truth.Frames().size(), 2u);
    EXPECT_EQ(truth.Find(9)->Translation(), cv::Vec3d(1, 2, 3));
    const std::string bad[] = {
        "7 0 0 0 1 2 3 1 0 0 0 1 0 0 0\n",                        // a number short
        "7" + identity.substr(0, identity.size() - 1) + " 4\n",  // one too many
        "7 0 0 0 1 2 3 2 0 0 0 1 0 0 0 1\n",                      // not a rotation
        "7 0 0 0 1 2 3 1 0 0 0 -1 0 0 0 -1\n",                    // r says identity, R a half turn
        "7" + identity + "7" + identity,                          // index repeats
        "7 0 0 0 1 2 nan 1 0 0 0 1 0 0 0 1\n",
    };
    for (const std::string& text : bad) {
        WriteFile(text);
        error.clear();
        EXPECT_FALSE(truth.Read(path_, &error)) << text;
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(truth.Frames().empty());
    }
}

}  // namespace
