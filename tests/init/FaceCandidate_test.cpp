#include "init/FaceCandidate.h"

#include <gtest/gtest.h>

namespace {

CFaceCandidate Candidate(double x1, double y1, double x2, double y2) { return CFaceCandidate({x1, y1, x2, y2, 7}); }

TEST(FaceCandidate, StartsSeenOnceWithNoAgeAndNoDepth) {
    const CFaceCandidate c = Candidate(10.5, 20, 50.5, 60);
    EXPECT_EQ(c.GetLeft(), 10.5f);
    EXPECT_EQ(c.GetBottom(), 60.0f);
    EXPECT_EQ(c.GetSeen(), 1);
    EXPECT_EQ(c.GetAge(), 0);
    EXPECT_EQ(c.GetDepth(), -1.0f);
    EXPECT_DOUBLE_EQ(c.GetCentreX(), 30.5);
    EXPECT_DOUBLE_EQ(c.GetCentreY(), 40.0);
    EXPECT_DOUBLE_EQ(c.GetWidth(), 40.0);
    EXPECT_DOUBLE_EQ(c.GetHeight(), 40.0);
}

TEST(FaceCandidate, MatchesWhenEnoughCornersLieWithinTheDistance) {
    const CFaceCandidate c = Candidate(100, 100, 140, 140);
    // Three coordinates exactly 6 away, the fourth far off.
    EXPECT_TRUE(c.Matches(Candidate(106, 94, 146, 200), 6.0f, 3));
    EXPECT_FALSE(c.Matches(Candidate(106, 94, 146, 200), 5.9f, 3));
    EXPECT_FALSE(c.Matches(Candidate(106, 94, 146, 200), 6.0f, 4));
    EXPECT_FALSE(c.Matches(Candidate(107, 100, 147, 200), 6.0f, 3));
}

TEST(FaceCandidate, MergeTakesTheNewBoxAndCountsTheDetection) {
    CFaceCandidate c = Candidate(100, 100, 140, 140);
    c.Age();
    c.Age();
    c.Merge(Candidate(103, 98, 143, 139));
    EXPECT_EQ(c.GetLeft(), 103.0f);
    EXPECT_EQ(c.GetTop(), 98.0f);
    EXPECT_EQ(c.GetRight(), 143.0f);
    EXPECT_EQ(c.GetBottom(), 139.0f);
    EXPECT_EQ(c.GetSeen(), 2);
    EXPECT_EQ(c.GetAge(), -1);
}

}  // namespace
