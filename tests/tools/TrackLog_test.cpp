#include "report/TrackLog.h"

#include <gtest/gtest.h>

#include "support/FaceTestData.h"

namespace {

const char* kPoseOfIdentity = " 0 0 900 0 0 0 1 0 0 0 1 0 0 0 1\n";

TEST(TrackLog, ReadsStepsWithTheRotationGivenColumnByColumn) {
    facetest::TempFolder folder("vantorel_tracklog");
    const std::string path = folder.Write("log.txt",
        std::string("# step frame state event o1 o2 o3 t1 t2 t3 x1 x2 x3 y1 y2 y3 z1 z2 z3\n") +
        "1 2 0 -" + kPoseOfIdentity +
        "2 3 1 found" + kPoseOfIdentity +
        // R = [[0 -1 0] [1 0 0] [0 0 1]]: first column (0, 1, 0), second (-1, 0, 0).
        "3 4 1 - 1 2 950 10 20 30 0 1 0 -1 0 0 0 0 1\n"
        "4 6 0 lost" + kPoseOfIdentity);
    CTrackLog log;
    std::string error;
    ASSERT_TRUE(log.Read(path, &error)) << error;
    ASSERT_EQ(log.Steps().size(), 4u);
    const TrackLogStep& tracked = log.Steps()[2];
    EXPECT_TRUE(tracked.Tracked());
    EXPECT_EQ(tracked.centroid, cv::Vec3d(1, 2, 950));
    EXPECT_EQ(tracked.pose.Translation(), cv::Vec3d(10, 20, 30));
    EXPECT_EQ(tracked.pose.Rotation()(1, 0), 1.0);
    EXPECT_EQ(tracked.pose.Rotation()(0, 1), -1.0);
    EXPECT_TRUE(log.Steps()[1].Found() && !log.Steps()[1].Tracked());
    EXPECT_TRUE(log.Steps()[3].Lost());

    // Poses of a tracking run start from the frame where its face was found.
    EXPECT_EQ(log.AnchorFrame(0), -1);
    EXPECT_EQ(log.AnchorFrame(1), 3);
    EXPECT_EQ(log.AnchorFrame(2), 3);
    EXPECT_EQ(log.AnchorFrame(3), -1);
}

TEST(TrackLog, RejectsShortLongAndBadStateLines) {
    facetest::TempFolder folder("vantorel_tracklog_bad");
    CTrackLog log;
    std::string error;
    const std::vector<std::string> lines = {"1 2 0 - 0 0 0\n", "1 2 2 -" + std::string(kPoseOfIdentity),
                                            "1 2 0 - 0 0 900 0 0 0 1 0 0 0 1 0 0 0 1 7\n"};
    for (const std::string& line : lines) {
        EXPECT_FALSE(log.Read(folder.Write("log.txt", line), &error)) << line;
        EXPECT_NE(error.find(":1:"), std::string::npos) << error;
        EXPECT_TRUE(log.Steps().empty());
    }
    EXPECT_FALSE(log.Read(folder.Path("missing.txt"), &error));
}

}  // namespace
