#include "linalg/DMatrixStatic.h"

#include <gtest/gtest.h>

namespace {

TEST(DMatrixStatic, ViewsColumnsOfAnotherMatrixOrACallersBufferInPlaceAndFreesNothing) {
    DMatrix whole(3, 4);
    for (int j = 1; j <= 4; ++j)
        for (int i = 1; i <= 3; ++i) whole.Ref(i, j) = 10.0f * i + j;
    float buffer[4] = {1, 2, 3, 4};
    {
        DMatrixStatic middle(whole, 2, 2);
        EXPECT_EQ(middle.GetCols(), 2);
        EXPECT_EQ(middle.Value(3, 2), 33.0f);
        middle.Ref(2, 2) = -1.0f;
        DMatrixStatic view(2, 2, buffer);
        view.SetIdentity();
    }
    EXPECT_EQ(whole.Value(2, 3), -1.0f);
    EXPECT_EQ(whole.Value(2, 4), 24.0f);
    EXPECT_EQ(buffer[1], 0.0f);
    EXPECT_EQ(buffer[3], 1.0f);
}

}  // namespace
