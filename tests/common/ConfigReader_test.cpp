#include "common/ConfigReader.h"

#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(ConfigReader, SkipsCommentsToTheEndOfTheirLine) {
    std::istringstream in("A: 1 #B: 2 C: 3\nD: 4 # trailing comment without newline");
    CConfigReader reader(&in);
    std::string token;
    int value = 0;
    ASSERT_TRUE(reader.NextToken(token));
    EXPECT_EQ(token, "A:");
    ASSERT_TRUE(reader.Read(value));
    EXPECT_EQ(value, 1);
    ASSERT_TRUE(reader.NextToken(token));
    EXPECT_EQ(token, "D:");
    ASSERT_TRUE(reader.Read(value));
    EXPECT_EQ(value, 4);
    EXPECT_FALSE(reader.NextToken(token));
}

TEST(ConfigReader, AValueThatDoesNotParseEndsTheReading) {
    std::istringstream in("LAMBDA: abc NEXT: 2");
    CConfigReader reader(&in);
    std::string token;
    float value = 7.0f;
    ASSERT_TRUE(reader.NextToken(token));
    EXPECT_FALSE(reader.Read(value));
    EXPECT_FLOAT_EQ(value, 7.0f);  // left as it was
    EXPECT_FALSE(reader.NextToken(token));
}

TEST(ConfigReader, NullStreamReadsAsEmpty) {
    CConfigReader reader(nullptr);
    std::string token;
    EXPECT_FALSE(reader.NextToken(token));
}

TEST(ConfigReader, TakesRelativeNamesFromTheFolderOfTheStreamsOriginAndReportsUnderItsPath) {
    std::istringstream in("A: out/poses.txt B: /abs/x C: E:\\cl.txt D: plain");
    CConfigReader::SetOrigin(in, "/cfg/run/ParamTrackerZBCCE.cfg");
    CConfigReader reader(&in, "fallback.cfg");
    std::string token, a, b, c, d;
    ASSERT_TRUE(reader.NextToken(token) && reader.ReadPath(a) && reader.NextToken(token) && reader.ReadPath(b));
    ASSERT_TRUE(reader.NextToken(token) && reader.ReadPath(c) && reader.NextToken(token) && reader.ReadPath(d));
    EXPECT_EQ(a, "/cfg/run/out/poses.txt");
    EXPECT_EQ(b, "/abs/x");
    EXPECT_EQ(c, "E:\\cl.txt");
    EXPECT_EQ(d, "/cfg/run/plain");
    EXPECT_EQ(reader.FileName(), "/cfg/run/ParamTrackerZBCCE.cfg");

    std::istringstream bare("A: out/poses.txt");
    CConfigReader fallback(&bare, "fallback.cfg");
    ASSERT_TRUE(fallback.NextToken(token) && fallback.ReadPath(a));
    EXPECT_EQ(a, "out/poses.txt");
    EXPECT_EQ(fallback.FileName(), "fallback.cfg");
}

TEST(ConfigReader, AValueRefusedByItsCheckIsReportedAndTheReadingGoesOn) {
    std::istringstream in("N: 7 N: -2 N: 4");
    CConfigReader reader(&in, "Some.cfg");
    int n = 1;
    std::string token;
    const auto positive = [](int v) { return v > 0; };
    ::testing::internal::CaptureStderr();
    while (reader.NextToken(token)) ASSERT_TRUE(reader.ReadChecked(token, n, positive, "above 0"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Some.cfg: N: -2 refused (above 0); keeping 7\n");
    EXPECT_EQ(n, 4);
}

}  // namespace
