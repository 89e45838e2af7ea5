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

bool bit(const std::unique_ptr<CImage>& image, int x, int y) { return iplGetBit(image->GetIplImage(), x, y); }

TEST(ImageScale, ScaleToMapsFullIntegerRangesOntoEachOther) {
    auto bytes = makeFilled<Byte>(3, 1, 8, [](int x, int) { return x == 2 ? 255 : x; });
    auto wide = makeImage(3, 1, 16);
    bytes->ScaleTo(wide.get());
    EXPECT_EQ(sample<std::uint16_t>(*wide, 1, 0), 257);
    EXPECT_EQ(sample<std::uint16_t>(*wide, 2, 0), 65535);
    sample<std::uint16_t>(*wide, 0, 0) = 128;  // 128 / 257 rounds to 0
    wide->ScaleTo(bytes.get());
    EXPECT_EQ(sample<Byte>(*bytes, 0, 0), 0);
    EXPECT_EQ(sample<Byte>(*bytes, 1, 0), 1);
    wide->SetDepth(IPL_DEPTH_16S);  // the same bits now run from -32768
    wide->ScaleTo(bytes.get());
    EXPECT_EQ(sample<Byte>(*bytes, 2, 0), 127);
}

TEST(ImageScale, ScaleFPBetweenBytesAndFloatsKeepsNumbersRoundsAndSaturates) {
    auto bytes = makeFilled<Byte>(256, 1, 8, [](int x, int) { return x; });
    auto floats = makeImage(256, 1, 32);
    bytes->ScaleFP(floats.get(), 0.0f, 255.0f);
    for (int x = 0; x < 256; ++x) ASSERT_EQ(sample<float>(*floats, x, 0), x);
    bytes->ScaleFP(floats.get(), 0.0f, 1.0f);
    EXPECT_FLOAT_EQ(sample<float>(*floats, 51, 0), 0.2f);
    const float values[] = {-5.0f, 0.5f, 0.99f, 2.0f};
    const int expected[] = {0, 191, 254, 255};  // 191.25 and 253.7 rounded
    auto measured = makeFilled<float>(4, 1, 32, [&](int x, int) { return values[x]; });
    measured->ScaleFP(bytes.get(), -1.0f, 1.0f);  // another width: refused
    EXPECT_EQ(sample<Byte>(*bytes, 3, 0), 3);
    auto narrow = makeImage(4, 1, 8);
    measured->ScaleFP(narrow.get(), -1.0f, 1.0f);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(sample<Byte>(*narrow, x, 0), expected[x]) << x;
}

TEST(ImageScale, ScaleFPReadsSixteenBitsBySignOfTheTag) {
    auto disparity = makeFilled<std::uint16_t>(2, 1, 16, [](int x, int) { return x ? 32768 : 5; });
    auto floats = makeImage(2, 1, 32);
    disparity->ScaleFP(floats.get(), -32768.0f, 32767.0f);
    EXPECT_EQ(sample<float>(*floats, 0, 0), -32763.0f);
    disparity->SetDepth(IPL_DEPTH_16S);
    disparity->ScaleFP(floats.get(), -32768.0f, 32767.0f);
    EXPECT_EQ(sample<float>(*floats, 0, 0), 5.0f);
    EXPECT_EQ(sample<float>(*floats, 1, 0), -32768.0f);
}

TEST(ImageOneBit, ComparisonsAreStrictAndAndKeepsPixelsSetInBoth) {
    auto depth = makeFilled<float>(11, 2, 32, [](int x, int) { return x; });
    auto greater = makeImage(11, 2, 1), less = makeImage(11, 2, 1);
    greater->Set(1);
    depth->GreaterSFP(greater.get(), 3.0f);
    depth->LessSFP(less.get(), 9.0f);
    for (int x = 0; x < 11; ++x) {
        EXPECT_EQ(bit(greater, x, 1), x > 3) << x;
        EXPECT_EQ(bit(less, x, 1), x < 9) << x;
    }
    greater->And(less.get());
    for (int x = 0; x < 11; ++x) EXPECT_EQ(bit(greater, x, 1), x > 3 && x < 9) << x;
    auto zeros = makeImage(4, 1, 1);
    zeros->Set(0);
    CImageROI region(1, 1, 4, 1, 0);
    less->SetROI(&region);
    less->And(zeros.get());
    less->SetROI(nullptr);
    for (int x = 0; x < 11; ++x) EXPECT_EQ(bit(less, x, 1), x == 0 || (x > 4 && x < 9)) << x;
}

TEST(ImageOneBit, BitonalToGrayWritesBothValuesAndInPlaceReplacesTheHeader) {
    auto bits = makeImage(13, 2, 1);
    bits->Set(1);
    iplSetBit(bits->GetIplImage(), 12, 0, false);
    auto grey = makeImage(13, 2, 8);
    bits->BitonalToGrayTo(grey.get(), 7, 200);
    EXPECT_EQ(sample<Byte>(*grey, 12, 0), 7);
    EXPECT_EQ(sample<Byte>(*grey, 12, 1), 200);
    CImageROI region(0, 0, 2, 2, 0);
    bits->SetROI(&region);
    bits->BitonalToGray(0, 1);
    EXPECT_EQ(bits->GetDepth(), 8);
    EXPECT_EQ(bits->GetIplImage()->roi, nullptr);
    EXPECT_EQ(bits->GetROI(), nullptr);
    EXPECT_EQ(bits->Norm(2), 25.0);
}

TEST(ImageColour, ColourToGreyReadsTheImagesChannelSequence) {
    auto colour = makeImage(1, 1, 8, 3);
    colour->Set(0);
    sample<Byte>(*colour, 0, 0, 2) = 255;  // red in "BGR", blue in "RGB"
    auto grey = makeImage(1, 1, 8);
    colour->ColorToGrayTo(grey.get());
    EXPECT_NEAR(sample<Byte>(*grey, 0, 0), 76, 1);
    colour->SetChannelSeq("RGB");
    colour->ColorToGrayTo(grey.get());
    EXPECT_NEAR(sample<Byte>(*grey, 0, 0), 29, 1);
}

TEST(ImageStatistics, MinMaxAndNormCoverTheAttachedRegion) {
    auto image = makeFilled<float>(6, 6, 32, [](int x, int y) { return (x - 2) * (y + 1); });
    float minimum = 0, maximum = 0;
    image->MinMaxFP(&minimum, &maximum);
    EXPECT_EQ(minimum, -12.0f);
    EXPECT_EQ(maximum, 18.0f);
    CImageROI region(2, 1, 2, 2, 0);
    image->SetROI(&region);
    image->MinMaxFP(&minimum, &maximum);
    EXPECT_EQ(maximum, 3.0f);
    EXPECT_EQ(image->Norm(2), 5.0);
    region.Set(5, 5, 5, 5, 0);  // clipped to the image's last pixel
    EXPECT_EQ(image->Norm(2), 18.0);
    region.Set(20, 20, 5, 5, 0);
    EXPECT_EQ(image->Norm(2), 0.0);
}

TEST(ImageStatistics, NormCodesAreMaximumSumAndEuclideanOfTheDifference) {
    const float values[] = {3.0f, -4.0f, 0.0f};
    auto image = makeFilled<float>(3, 1, 32, [&](int x, int) { return values[x]; });
    EXPECT_EQ(image->Norm(1), 4.0);
    EXPECT_EQ(image->Norm(2), 7.0);
    EXPECT_EQ(image->Norm(4), 5.0);
    EXPECT_EQ(image->Norm(3), -1.0);
    auto a = makeFilled<Byte>(2, 1, 8, [](int x, int) { return x ? 10 : 250; });
    auto b = makeFilled<Byte>(2, 1, 8, [](int x, int) { return x ? 250 : 10; });
    EXPECT_EQ(a->Norm(2), 260.0);
    EXPECT_EQ(a->Norm(b.get(), 2), 480.0);
    EXPECT_EQ(a->Norm(b.get(), 1), 240.0);
    EXPECT_EQ(a->Norm(image.get(), 2), -1.0);
}

}  // namespace
