#include "synth/GroundTruth.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>
#include <unistd.h>

#include "synth/Trajectory.h"

namespace {

namespace fs = std::filesystem;

class GroundTruthTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = (fs::temp_directory_path() / ("vantorel_truth_" + std::to_string(::getpid()) + ".txt")).string();
    }
    void TearDown() override { fs::remove(path_); }
    void WriteFile(const std::string& text) { std::ofstream(path_) << text; }

    std::string path_;
};

TEST_F(GroundTruthTest, RoundTripsExactlyThroughWriterAndReader) {
    TrajectoryOptions options;
    options.name = "random";
    options.frameCount = 30;
    std::vector<CRigidMotion> poses;
    ASSERT_TRUE(MakeTrajectory(options, poses, nullptr));
    CGroundTruth written;
    for (std::size_t k = 0; k < poses.size(); ++k) ASSERT_TRUE(written.Add(static_cast<int>(k) + 5, poses[k]));
    ASSERT_TRUE(written.Write(path_, {"made by a test", "second line"}));

    CGroundTruth read;
    std::string error;
    ASSERT_TRUE(read.Read(path_, &error)) << error;
    ASSERT_EQ(read.Frames().size(), poses.size());
    for (std::size_t k = 0; k < poses.size(); ++k) {
        EXPECT_EQ(read.Frames()[k].index, static_cast<int>(k) + 5);
        EXPECT_EQ(cv::norm(read.Frames()[k].pose.Rotation() - poses[k].Rotation(), cv::NORM_INF), 0.0);
        EXPECT_EQ(read.Frames()[k].pose.Translation(), poses[k].Translation());
    }
    std::ifstream in(path_);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("# made by a test\n# second line\n"), std::string::npos);
}

TEST_F(GroundTruthTest, MotionMapsHeadPointsOfFrameAOntoFrameB) {
    CGroundTruth truth;
    const CRigidMotion a = CRigidMotion::FromRotationVector({0.1, 0.2, 0.0}, {10, 0, 950});
    const CRigidMotion b = CRigidMotion::FromRotationVector({-0.1, 0.3, 0.2}, {-20, 15, 900});
    ASSERT_TRUE(truth.Add(1, a));
    ASSERT_TRUE(truth.Add(4, b));
    CRigidMotion motion;
    ASSERT_TRUE(truth.Motion(1, 4, motion));
    for (const cv::Vec3d& head : {cv::Vec3d(0, 0, -90), cv::Vec3d(75, 0, 0), cv::Vec3d(10, -100, 3)})
        EXPECT_LT(cv::norm(motion.Apply(a.Apply(head)) - b.Apply(head)), 1e-9);
    EXPECT_FALSE(truth.Motion(1, 2, motion));
    EXPECT_EQ(truth.Find(2), nullptr);
    EXPECT_FALSE(truth.Add(4, a));  // indices must increase
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
        "7 0 0 0 1 2 3 1 0 0 0 1 0 0 0\n",              // a number short
        "7" + identity.substr(0, identity.size() - 1) + " 4\n",  // one too many
        "7 0 0 0 1 2 3 2 0 0 0 1 0 0 0 1\n",            // not a rotation
        "7 0 0 0 1 2 3 1 0 0 0 -1 0 0 0 -1\n" + std::string(),  // rotation, but r says identity
        "7" + identity + "7" + identity,                // index repeats
        "7 0 0 0 1 2 nan 1 0 0 0 1 0 0 0 1\n",
        "x" + identity,
    };
    for (const std::string& text : bad) {
        WriteFile(text);
        error.clear();
        EXPECT_FALSE(truth.Read(path_, &error)) << text;
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(truth.Frames().empty());
    }
    EXPECT_FALSE(truth.Read("/nonexistent/ground-truth.txt", &error));
}

}  // namespace
