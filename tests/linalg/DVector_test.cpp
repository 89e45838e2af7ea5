#include "linalg/DVector.h"

#include <gtest/gtest.h>

namespace {

TEST(DVector, ResizeToTheAllocatedLengthKeepsContentsAndFreeLeavesItReusable) {
    DVector v(3);
    v.Fill(2.0f);
    float* before = v.GetData();
    v.Resize(3);
    EXPECT_EQ(v.GetData(), before);
    EXPECT_EQ(v.At(3), 2.0f);
    v.Free();
    v.Resize(3);  // must allocate afresh, not trust the length it had before Free
    ASSERT_NE(v.GetData(), nullptr);
    v.Fill(1.0f);
}

TEST(DVector, CopiesOwnTheirElementsWhileViewsShareTheCallersBuffer) {
    float buffer[] = {1, 2, 3};
    DVector copied(3, buffer, true), view(3, buffer, false);
    DVector duplicate(view);
    view.At(2) = 20.0f;
    EXPECT_EQ(buffer[1], 20.0f);
    EXPECT_EQ(copied.At(2), 2.0f);
    EXPECT_EQ(duplicate.At(2), 2.0f);
    view.Ref(1, 5) = -1.0f;  // the column index means nothing to a vector
    EXPECT_EQ(buffer[0], -1.0f);
    EXPECT_EQ(view.Value(3, 7), 3.0f);
}

}  // namespace
