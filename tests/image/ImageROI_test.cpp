#include "image/ImageROI.h"

#include <memory>
#include <tuple>

#include <gtest/gtest.h>

namespace {

TEST(ImageROI, StoresItsFieldsInIplOrderAndCopiesShareThem) {
    auto original = std::make_unique<CImageROI>(1, 2, 3, 4, 5);
    const IplROI* roi = original->GetIplROI();
    EXPECT_EQ(std::make_tuple(roi->coi, roi->xOffset, roi->yOffset, roi->width, roi->height), std::make_tuple(5, 1, 2, 3, 4));
    CImageROI copy(*original);
    CImageROI assigned;
    assigned = copy;
    original->Set(7, 8, 9, 10, 1);
    EXPECT_EQ(assigned.GetIplROI(), roi);
    EXPECT_EQ(assigned.GetHeight(), 10);
    original.reset();  // the shared region outlives the original
    copy.SetXOffset(3);
    EXPECT_EQ(assigned.GetXOffset(), 3);
}

}  // namespace
