#include "common/ConfigReader.h"

#include <sstream>

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

}  // namespace
