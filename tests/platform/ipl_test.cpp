#include "platform/ipl/ipl.h"

#include <gtest/gtest.h>

namespace {

IplImage* makeHeader(int width, int height, int depth, int channels = 1) {
    return iplCreateImageHeader(channels, 0, depth, "GRAY", "GRAY", IPL_DATA_ORDER_PIXEL, IPL_ORIGIN_TL,
                                IPL_ALIGN_QWORD, width, height, nullptr, nullptr, nullptr, nullptr);
}

TEST(IplHeader, PadsRowsToEightBytesForEveryDepth) {
    struct Case { int width, depth, channels, step; } cases[] = {
        {320, IPL_DEPTH_32F, 1, 1280}, {13, IPL_DEPTH_8U, 1, 16}, {13, IPL_DEPTH_8U, 3, 40},
        {5, IPL_DEPTH_16U, 1, 16},     {17, IPL_DEPTH_1U, 1, 8},  {65, IPL_DEPTH_1U, 1, 16},
    };
    for (const Case& c : cases) {
        IplImage* image = makeHeader(c.width, 3, c.depth, c.channels);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->widthStep, c.step) << "width " << c.width << " depth " << c.depth;
        EXPECT_EQ(image->imageSize, c.step * 3);
        iplDeallocate(image, IPL_IMAGE_ALL);
    }
}

TEST(IplHeader, RefusesSizesWhosePixelBlockOverflows) {
    EXPECT_EQ(makeHeader(100000, 100000, IPL_DEPTH_8U), nullptr);
    EXPECT_EQ(makeHeader(-1, 10, IPL_DEPTH_8U), nullptr);
    EXPECT_EQ(makeHeader(10, 10, 12), nullptr);
}

TEST(IplHeader, CloneCopiesPixelsIntoItsOwnBlock) {
    IplImage* image = makeHeader(7, 5, IPL_DEPTH_8U);
    iplAllocateImage(image, 1, 42);
    IplImage* copy = iplCloneImage(image);
    ASSERT_NE(copy->imageData, image->imageData);
    copy->imageData[0] = 1;
    EXPECT_EQ(image->imageData[0], 42);
    EXPECT_EQ(iplFullView(copy).at<unsigned char>(4, 6), 42);
    iplDeallocate(copy, IPL_IMAGE_ALL);
    iplDeallocate(image, IPL_IMAGE_ALL);
}

TEST(IplView, ClipsTheRegionToTheImage) {
    IplImage* image = makeHeader(10, 8, IPL_DEPTH_32F);
    iplAllocateImageFP(image, 1, 0.0f);
    IplROI roi{0, 6, 5, 10, 10};
    image->roi = &roi;
    const cv::Mat view = iplView(image);
    EXPECT_EQ(view.cols, 4);
    EXPECT_EQ(view.rows, 3);
    EXPECT_EQ(view.ptr<float>(0), reinterpret_cast<float*>(image->imageData + 5 * image->widthStep) + 6);
    image->roi = nullptr;
    iplDeallocate(image, IPL_IMAGE_ALL);
}

TEST(IplBits, StoresTheLeftmostPixelInTheHighBit) {
    IplImage* image = makeHeader(12, 2, IPL_DEPTH_1U);
    iplAllocateImage(image, 1, 0);
    iplSetBit(image, 0, 1, true);
    iplSetBit(image, 9, 1, true);
    const auto* row = reinterpret_cast<unsigned char*>(image->imageData + image->widthStep);
    EXPECT_EQ(row[0], 0x80);
    EXPECT_EQ(row[1], 0x40);
    EXPECT_TRUE(iplGetBit(image, 9, 1));
    EXPECT_FALSE(iplGetBit(image, 8, 1));
    iplDeallocate(image, IPL_IMAGE_ALL);
}

}  // namespace
