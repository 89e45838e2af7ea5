#include "host/ConvertToGray8.h"

#include <memory>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "support/RecordingFolder.h"

namespace {

std::unique_ptr<CImage> Converted(CImage& source) { return std::unique_ptr<CImage>(ConvertToGray8(&source, nullptr)); }

TEST(ConvertToGray8, BitonalAndEightBitImagesBecomeGreyByTheirOwnRule) {
    auto bits = std::make_unique<CImage>(320, 240, IPL_DEPTH_1U, 1, 0);
    bits->Allocate();
    bits->Set(0);
    iplSetBit(bits->GetIplImage(), 5, 7, true);
    const auto fromBits = Converted(*bits);
    ASSERT_NE(fromBits, nullptr);
    EXPECT_EQ(fromBits->GetDepth(), IPL_DEPTH_8U);
    EXPECT_EQ(fromBits->GetNChannels(), 1);
    EXPECT_EQ(PixelAt<unsigned char>(*fromBits, 5, 7), 255);
    EXPECT_EQ(PixelAt<unsigned char>(*fromBits, 6, 7), 0);

    const auto mask = MakeFilledImage<unsigned char>(320, 240, IPL_DEPTH_8U, [](int x, int) { return x % 2; });
    const auto fromMask = Converted(*mask);
    EXPECT_EQ(PixelAt<unsigned char>(*fromMask, 0, 0), 0);
    EXPECT_EQ(PixelAt<unsigned char>(*fromMask, 1, 0), 1);  // copied, not stretched
}

TEST(ConvertToGray8, SixteenBitImagesAreRescaledOverTheirFullRange) {
    const auto disparity = MakeFilledImage<unsigned short>(320, 240, IPL_DEPTH_16U,
                                                           [](int x, int) { return x == 0 ? 0 : x == 1 ? 65535 : 32768; });
    const auto grey = Converted(*disparity);
    EXPECT_EQ(PixelAt<unsigned char>(*grey, 0, 0), 0);
    EXPECT_EQ(PixelAt<unsigned char>(*grey, 1, 0), 255);
    EXPECT_EQ(PixelAt<unsigned char>(*grey, 2, 0), 128);
}

TEST(ConvertToGray8, FloatImagesAreStretchedOverTheCentreWindowOnly) {
    // Inside the window (x 80..239, y 60..159) values run 0.002 .. 0.004; outside they reach far
    // beyond and saturate.
    const auto intensity = MakeFilledImage<float>(320, 240, IPL_DEPTH_32F, [](int x, int y) {
        const bool inside = x >= 80 && x < 240 && y >= 60 && y < 160;
        return inside ? 0.002f + 0.002f * (x - 80) / 159.0f : (x < 80 ? -1.0f : 1.0f);
    });
    const auto grey = Converted(*intensity);
    EXPECT_EQ(PixelAt<unsigned char>(*grey, 80, 60), 0);
    EXPECT_EQ(PixelAt<unsigned char>(*grey, 239, 159), 255);
    EXPECT_NEAR(PixelAt<unsigned char>(*grey, 160, 100), 128, 1);
    EXPECT_EQ(PixelAt<unsigned char>(*grey, 10, 10), 0);
    EXPECT_EQ(PixelAt<unsigned char>(*grey, 300, 10), 255);
    EXPECT_EQ(intensity->GetROI(), nullptr) << "the window is not left attached";
}

TEST(ConvertToGray8, AFlatWindowMapsTheNext255UnitsAboveItsValue) {
    const auto depth = MakeFilledImage<float>(320, 240, IPL_DEPTH_32F, [](int x, int) { return x < 300 ? 900.0f : 1027.5f; });
    const auto grey = Converted(*depth);
    EXPECT_EQ(PixelAt<unsigned char>(*grey, 100, 100), 0);
    EXPECT_EQ(PixelAt<unsigned char>(*grey, 310, 100), 128);
}

TEST(ConvertToGray8, FillsAGivenDestinationAndLeavesItAloneWithoutSource) {
    const auto mask = MakeFilledImage<unsigned char>(320, 240, IPL_DEPTH_8U, [](int, int) { return 1; });
    CImage destination(320, 240, IPL_DEPTH_8U, 1, 0);
    destination.Allocate();
    destination.Set(9);
    EXPECT_EQ(ConvertToGray8(mask.get(), &destination), &destination);
    EXPECT_EQ(PixelAt<unsigned char>(destination, 3, 3), 1);
    destination.Set(9);
    EXPECT_EQ(ConvertToGray8(nullptr, &destination), &destination);
    EXPECT_EQ(PixelAt<unsigned char>(destination, 3, 3), 9);
    EXPECT_EQ(ConvertToGray8(nullptr, nullptr), nullptr);

    // A depth without a rule gives a black image rather than whatever memory held.
    const auto signedBytes = MakeFilledImage<signed char>(320, 240, IPL_DEPTH_8S, [](int, int) { return 5; });
    const auto grey = Converted(*signedBytes);
    ASSERT_NE(grey, nullptr);
    EXPECT_EQ(PixelAt<unsigned char>(*grey, 3, 3), 0);
}

}  // namespace
