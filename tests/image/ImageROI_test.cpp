#include "image/ImageROI.h"

#include <gtest/gtest.h>

namespace {

TEST(ImageROI, StoresItsArgumentsInTheIplOrder) {
    CImageROI region(1, 2, 3, 4, 5);
    const IplROI* roi = region.GetIplROI();
    EXPECT_EQ(roi->coi, 5);
    EXPECT_EQ(roi->xOffset, 1);
    EXPECT_EQ(roi->yOffset, 2);
    EXPECT_EQ(roi->width, 3);
    EXPECT_EQ(roi->height, 4);
}

TEST(ImageROI, DefaultRegionIsEmptyUntilSet) {
    CImageROI region;
    EXPECT_EQ(region.GetCoi(), 0);
    EXPECT_EQ(region.GetXOffset(), 0);
    EXPECT_EQ(region.GetWidth(), 0);
    region.Set(7, 8, 9, 10, 1);
    EXPECT_EQ(region.GetXOffset(), 7);
    EXPECT_EQ(region.GetYOffset(), 8);
    EXPECT_EQ(region.GetWidth(), 9);
    EXPECT_EQ(region.GetHeight(), 10);
    EXPECT_EQ(region.GetCoi(), 1);
}

TEST(ImageROI, CopiesShareOneRegionThatOutlivesTheOriginal) {
    auto original = std::make_unique<CImageROI>(0, 0, 5, 5, 0);
    CImageROI copy(*original);
    CImageROI assigned;
    assigned = copy;
    EXPECT_EQ(copy.GetIplROI(), original->GetIplROI());
    original->SetHeight(11);
    EXPECT_EQ(assigned.GetHeight(), 11);
    original.reset();
    copy.SetXOffset(3);
    EXPECT_EQ(assigned.GetXOffset(), 3);
}

}  // namespace
