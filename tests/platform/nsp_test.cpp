#include "platform/nsp/nsp.h"

#include <gtest/gtest.h>

namespace {

TEST(NspInvThresh, ClampsSmallMagnitudesAndKeepsTheirSign) {
    float v[] = {4.0f, -0.5f, 0.0f, -0.0f, 0.25f, -2.0f, 1.0f};
    nspsbInvThresh1(v, 7, 1.0f);
    EXPECT_FLOAT_EQ(v[0], 0.25f);
    EXPECT_FLOAT_EQ(v[1], -1.0f);
    EXPECT_FLOAT_EQ(v[2], 1.0f);
    EXPECT_FLOAT_EQ(v[3], 1.0f);
    EXPECT_FLOAT_EQ(v[4], 1.0f);
    EXPECT_FLOAT_EQ(v[5], -0.5f);
    EXPECT_FLOAT_EQ(v[6], 1.0f);
}

TEST(NspVectors, AddMultiplyAndSetWorkElementWise) {
    float* a = nspsMalloc(3);
    ASSERT_NE(a, nullptr);
    nspsbSet(2.0f, a, 3);
    const float b[] = {1.0f, 2.0f, 3.0f};
    nspsbAdd2(b, a, 3);
    nspsbMpy2(b, a, 3);
    EXPECT_FLOAT_EQ(a[0], 3.0f);
    EXPECT_FLOAT_EQ(a[2], 15.0f);
    nspFree(a);
    EXPECT_EQ(nspsMalloc(0), nullptr);
}

}  // namespace
