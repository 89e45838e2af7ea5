#include <cstdint>
#include <memory>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "image/ImageTesting.h"

using image_testing::makeFilled;
using image_testing::makeImage;
using image_testing::sample;

namespace {

using Byte = std::uint8_t;

TEST(ImageScaleTo, MapsTheFullRangeOfOneIntegerDepthOntoAnother) {
    const int values[] = {0, 1, 128, 255};
    auto source = makeFilled<Byte>(4, 1, 8, [&](int x, int) { return values[x]; });
    auto wide = makeImage(4, 1, 16);
    source->ScaleTo(wide.get());
    EXPECT_EQ(sample<std::uint16_t>(*wide, 1, 0), 257);
    EXPECT_EQ(sample<std::uint16_t>(*wide, 3, 0), 65535);
    sample<std::uint16_t>(*wide, 2, 0) = 128;  // 128 / 257 rounds to 0
    auto narrow = makeImage(4, 1, 8);
    wide->ScaleTo(narrow.get());
    EXPECT_EQ(sample<Byte>(*narrow, 1, 0), 1);
    EXPECT_EQ(sample<Byte>(*narrow, 2, 0), 0);
    EXPECT_EQ(sample<Byte>(*narrow, 3, 0), 255);
}

TEST(ImageScaleTo, SignedSixteenBitsStartFromTheirLowestValue) {
    auto source = makeFilled<std::int16_t>(3, 1, IPL_DEPTH_16S, [](int x, int) { return x == 0 ? -32768 : x == 1 ? 0 : 32767; });
    auto narrow = makeImage(3, 1, 8);
    source->ScaleTo(narrow.get());
    EXPECT_EQ(sample<Byte>(*narrow, 0, 0), 0);
    EXPECT_EQ(sample<Byte>(*narrow, 1, 0), 128);
    EXPECT_EQ(sample<Byte>(*narrow, 2, 0), 255);
}

TEST(ImageScaleFP, BytesToFloatKeepTheirNumberWithTheFullByteRange) {
    auto source = makeFilled<Byte>(256, 1, 8, [](int x, int) { return x; });
    auto floats = makeImage(256, 1, 32);
    source->ScaleFP(floats.get(), 0.0f, 255.0f);
    for (int x = 0; x < 256; ++x) ASSERT_EQ(sample<float>(*floats, x, 0), x);
    source->ScaleFP(floats.get(), 0.0f, 1.0f);
    EXPECT_FLOAT_EQ(sample<float>(*floats, 51, 0), 0.2f);
    EXPECT_FLOAT_EQ(sample<float>(*floats, 255, 0), 1.0f);
}

TEST(ImageScaleFP, FloatToBytesRoundsAndSaturates) {
    const float values[] = {-5.0f, -1.0f, 0.5f, 0.99f, 1.0f, 2.0f};
    auto source = makeFilled<float>(6, 1, 32, [&](int x, int) { return values[x]; });
    auto narrow = makeImage(6, 1, 8);
    source->ScaleFP(narrow.get(), -1.0f, 1.0f);
    const int expected[] = {0, 0, 191, 254, 255, 255};  // 191.25 and 253.7 rounded
    for (int x = 0; x < 6; ++x) EXPECT_EQ(sample<Byte>(*narrow, x, 0), expected[x]) << x;
}

TEST(ImageScaleFP, SixteenBitDisparityFollowsTheSignOfItsTag) {
    auto disparity = makeFilled<std::uint16_t>(2, 1, 16, [](int x, int) { return x ? 32768 : 5; });
    auto floats = makeImage(2, 1, 32);
    disparity->ScaleFP(floats.get(), -32768.0f, 32767.0f);
    EXPECT_EQ(sample<float>(*floats, 0, 0), -32763.0f);
    EXPECT_EQ(sample<float>(*floats, 1, 0), 0.0f);
    disparity->SetDepth(IPL_DEPTH_16S);
    disparity->ScaleFP(floats.get(), -32768.0f, 32767.0f);
    EXPECT_EQ(sample<float>(*floats, 0, 0), 5.0f);
    EXPECT_EQ(sample<float>(*floats, 1, 0), -32768.0f);
}

TEST(ImageScaleFP, EmptyFloatRangeDoesNotDivideByZero) {
    auto source = makeFilled<float>(2, 1, 32, [](int x, int) { return x; });
    auto narrow = makeFilled<Byte>(2, 1, 8, [](int, int) { return 9; });
    source->ScaleFP(narrow.get(), 3.0f, 3.0f);
    EXPECT_EQ(sample<Byte>(*narrow, 1, 0), 0);
}

TEST(ImageCompare, GreaterAndLessAreStrictAndFillOneBitMasks) {
    auto depth = makeFilled<float>(11, 2, 32, [](int x, int) { return x; });
    auto greater = makeImage(11, 2, 1);
    auto less = makeImage(11, 2, 1);
    greater->Set(1);
    less->Set(1);
    depth->GreaterSFP(greater.get(), 9.0f);
    depth->LessSFP(less.get(), 2.0f);
    for (int x = 0; x < 11; ++x) {
        EXPECT_EQ(iplGetBit(greater->GetIplImage(), x, 1), x > 9) << x;
        EXPECT_EQ(iplGetBit(less->GetIplImage(), x, 1), x < 2) << x;
    }
}

TEST(ImageCompare, IntegerSourcesCompareWithTheFullFloat) {
    auto source = makeFilled<Byte>(5, 1, 8, [](int x, int) { return x; });
    auto mask = makeImage(5, 1, 1);
    source->GreaterSFP(mask.get(), 2.5f);
    EXPECT_FALSE(iplGetBit(mask->GetIplImage(), 2, 0));
    EXPECT_TRUE(iplGetBit(mask->GetIplImage(), 3, 0));
}

TEST(ImageOneBit, AndKeepsOnlyPixelsSetInBoth) {
    auto a = makeImage(10, 3, 1);
    auto b = makeImage(10, 3, 1);
    a->Set(0);
    b->Set(0);
    for (int x = 0; x < 10; ++x) {
        iplSetBit(a->GetIplImage(), x, 2, x % 2 == 0);
        iplSetBit(b->GetIplImage(), x, 2, x % 3 == 0);
    }
    a->And(b.get());
    for (int x = 0; x < 10; ++x) EXPECT_EQ(iplGetBit(a->GetIplImage(), x, 2), x % 6 == 0) << x;
}

TEST(ImageOneBit, AndInsideARegionLeavesTheOtherBits) {
    auto a = makeImage(12, 1, 1);
    auto b = makeImage(4, 1, 1);
    a->Set(1);
    b->Set(0);
    CImageROI region(5, 0, 4, 1, 0);
    a->SetROI(&region);
    a->And(b.get());
    a->SetROI(nullptr);
    for (int x = 0; x < 12; ++x) EXPECT_EQ(iplGetBit(a->GetIplImage(), x, 0), x < 5 || x > 8) << x;
}

TEST(ImageOneBit, BitonalToGrayToWritesTheTwoValues) {
    auto bits = makeImage(9, 2, 1);
    bits->Set(0);
    iplSetBit(bits->GetIplImage(), 8, 1, true);
    auto grey = makeImage(9, 2, 8);
    bits->BitonalToGrayTo(grey.get(), 7, 200);
    EXPECT_EQ(sample<Byte>(*grey, 8, 1), 200);
    EXPECT_EQ(sample<Byte>(*grey, 7, 1), 7);
    EXPECT_EQ(sample<Byte>(*grey, 0, 0), 7);
}

TEST(ImageOneBit, InPlaceBitonalToGrayReplacesTheHeaderAndDropsTheRegion) {
    auto mask = makeImage(13, 2, 1);
    mask->Set(1);
    iplSetBit(mask->GetIplImage(), 12, 0, false);
    CImageROI region(0, 0, 2, 2, 0);
    mask->SetROI(&region);
    mask->BitonalToGray(0, 1);
    EXPECT_EQ(mask->GetDepth(), 8);
    EXPECT_EQ(mask->GetIplImage()->roi, nullptr);
    EXPECT_EQ(mask->GetROI(), nullptr);
    EXPECT_EQ(mask->GetWidthStep(), 16);
    EXPECT_EQ(sample<Byte>(*mask, 12, 0), 0);
    EXPECT_EQ(sample<Byte>(*mask, 12, 1), 1);
    EXPECT_EQ(mask->Norm(2), 25.0);
    EXPECT_EQ(region.GetWidth(), 2);  // the region itself is untouched
}

TEST(ImageColour, ColourToGreyReadsTheImagesChannelSequence) {
    auto colour = makeImage(1, 1, 8, 3);
    auto grey = makeImage(1, 1, 8);
    sample<Byte>(*colour, 0, 0, 0) = 0;
    sample<Byte>(*colour, 0, 0, 1) = 0;
    sample<Byte>(*colour, 0, 0, 2) = 255;  // red in "BGR"
    colour->ColorToGrayTo(grey.get());
    const int red = sample<Byte>(*grey, 0, 0);
    EXPECT_NEAR(red, 76, 1);
    colour->SetChannelSeq("RGB");  // now the same bytes are blue
    colour->ColorToGrayTo(grey.get());
    EXPECT_NEAR(sample<Byte>(*grey, 0, 0), 29, 1);
}

TEST(ImageStatistics, MinMaxCoversOnlyTheAttachedRegion) {
    auto image = makeFilled<float>(6, 6, 32, [](int x, int y) { return (x - 2) * (y + 1); });
    float minimum = 0, maximum = 0;
    image->MinMaxFP(&minimum, &maximum);
    EXPECT_EQ(minimum, -12.0f);
    EXPECT_EQ(maximum, 18.0f);
    CImageROI region(2, 1, 2, 2, 0);
    image->SetROI(&region);
    image->MinMaxFP(&minimum, &maximum);
    EXPECT_EQ(minimum, 0.0f);
    EXPECT_EQ(maximum, 3.0f);
}

TEST(ImageStatistics, NormCodesAreMaximumSumAndEuclidean) {
    const float values[] = {3.0f, -4.0f, 0.0f};
    auto image = makeFilled<float>(3, 1, 32, [&](int x, int) { return values[x]; });
    EXPECT_EQ(image->Norm(1), 4.0);
    EXPECT_EQ(image->Norm(2), 7.0);
    EXPECT_EQ(image->Norm(4), 5.0);
    EXPECT_EQ(image->Norm(3), -1.0);
    auto bytes = makeFilled<Byte>(4, 4, 8, [](int, int) { return 200; });
    EXPECT_EQ(bytes->Norm(2), 3200.0);
}

TEST(ImageStatistics, NormWithAnotherImageMeasuresTheDifference) {
    auto a = makeFilled<Byte>(2, 1, 8, [](int x, int) { return x ? 10 : 250; });
    auto b = makeFilled<Byte>(2, 1, 8, [](int x, int) { return x ? 250 : 10; });
    EXPECT_EQ(a->Norm(b.get(), 2), 480.0);
    EXPECT_EQ(a->Norm(b.get(), 1), 240.0);
    auto other = makeImage(3, 1, 8);
    EXPECT_EQ(a->Norm(other.get(), 2), -1.0);
}

TEST(ImageStatistics, NormOfAMaskRegionCountsItsPixels) {
    auto mask = makeImage(10, 10, 1);
    mask->Set(1);
    CImageROI region(8, 8, 5, 5, 0);  // reaches past the image: clipped to 2 x 2
    mask->SetROI(&region);
    EXPECT_EQ(mask->Norm(2), 4.0);
    region.Set(20, 20, 5, 5, 0);
    EXPECT_EQ(mask->Norm(2), 0.0);
}

}  // namespace
