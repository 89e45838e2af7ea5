#include "image/Image.h"

#include <cstdint>

#include <gtest/gtest.h>

#include "image/ImageTesting.h"

using image_testing::fill;
using image_testing::makeFilled;
using image_testing::makeImage;
using image_testing::sample;

namespace {

void expectFreshHeader(const CImage& image) {
    const IplImage* header = image.GetIplImage();
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->alphaChannel, 0);
    EXPECT_EQ(header->origin, 0);
    EXPECT_EQ(header->align, 8);
    EXPECT_EQ(header->roi, nullptr);
    EXPECT_EQ(header->maskROI, nullptr);
    EXPECT_EQ(header->imageId, nullptr);
    EXPECT_EQ(header->tileInfo, nullptr);
    EXPECT_EQ(image.GetImageData(), nullptr);
}

TEST(ImageHeader, DefaultIsA320By240ThreeChannelColourHeaderWithoutPixels) {
    CImage image;
    expectFreshHeader(image);
    EXPECT_EQ(image.GetWidth(), 320);
    EXPECT_EQ(image.GetHeight(), 240);
    EXPECT_EQ(image.GetDepth(), 8);
    EXPECT_EQ(image.GetNChannels(), 3);
    EXPECT_EQ(image.GetDataOrder(), 0);
    EXPECT_EQ(image.GetColorModel(), "RGB");
    EXPECT_EQ(image.GetChannelSeq(), "BGR");
    EXPECT_EQ(image.GetWidthStep(), 960);
}

TEST(ImageHeader, NamesColourModelAndChannelSequenceByChannelCount) {
    struct Case { int channels; const char* model; const char* sequence; } cases[] = {
        {1, "GRAY", "GRAY"}, {3, "RGB", "BGR"}, {4, "RGBA", "RGBA"}};
    for (const Case& c : cases) {
        CImage image(17, 5, 32, c.channels, 0);
        expectFreshHeader(image);
        EXPECT_EQ(image.GetNChannels(), c.channels);
        EXPECT_EQ(image.GetColorModel(), c.model);
        EXPECT_EQ(image.GetChannelSeq(), c.sequence);
        EXPECT_EQ(image.GetWidth(), 17);
        EXPECT_EQ(image.GetHeight(), 5);
        EXPECT_EQ(image.GetDepth(), 32);
    }
}

TEST(ImageHeader, OneBitDepthAlwaysGivesOneInterleavedGreyChannel) {
    CImage image(20, 4, 1, 3, 1);
    expectFreshHeader(image);
    EXPECT_EQ(image.GetDepth(), 1);
    EXPECT_EQ(image.GetNChannels(), 1);
    EXPECT_EQ(image.GetDataOrder(), 0);
    EXPECT_EQ(image.GetColorModel(), "GRAY");
    EXPECT_EQ(image.GetChannelSeq(), "GRAY");
    EXPECT_EQ(image.GetWidthStep(), 8);  // 3 bytes of bits padded to 8
}

TEST(ImageHeader, PadsRowsToEightBytesExceptWhereTheyFitAlready) {
    EXPECT_EQ(CImage(320, 240, 32, 1, 0).GetWidthStep(), 1280);
    EXPECT_EQ(CImage(13, 2, 8, 1, 0).GetWidthStep(), 16);
    EXPECT_EQ(CImage(3, 2, 16, 1, 0).GetWidthStep(), 8);
    EXPECT_EQ(CImage(3, 2, 32, 1, 0).GetImageSize(), 32);
}

TEST(ImageHeader, RefusesTwoChannelsAndLeavesTheImageWithoutHeader) {
    CImage image(10, 10, 8, 2, 0);
    EXPECT_EQ(image.GetIplImage(), nullptr);
    EXPECT_EQ(image.CreateHeader(10, 10, 8, 2, 0), 0);
    EXPECT_EQ(image.GetIplImage(), nullptr);
}

TEST(ImageHeader, RefusedCreateHeaderKeepsTheStoredHeader) {
    auto image = makeFilled<std::uint8_t>(4, 3, 8, [](int x, int y) { return x + y; });
    const IplImage* before = image->GetIplImage();
    EXPECT_EQ(image->CreateHeader(10, 10, 8, 5, 0), 0);
    EXPECT_EQ(image->CreateHeader(-3, 10, 8, 1, 0), 0);
    EXPECT_EQ(image->CreateHeader(100000, 100000, 8, 1, 0), 0);
    EXPECT_EQ(image->GetIplImage(), before);
    EXPECT_EQ(sample<std::uint8_t>(*image, 3, 2), 5);
}

TEST(ImageHeader, SixteenBitImagesAreUnsignedUntilTheTagSaysSigned) {
    auto image = makeFilled<std::uint16_t>(2, 1, 16, [](int x, int) { return x ? 65535 : 7; });
    float minimum = 0, maximum = 0;
    image->MinMaxFP(&minimum, &maximum);
    EXPECT_EQ(maximum, 65535.0f);
    image->SetDepth(IPL_DEPTH_16S);
    image->MinMaxFP(&minimum, &maximum);
    EXPECT_EQ(minimum, -1.0f);
    EXPECT_EQ(maximum, 7.0f);
}

TEST(ImageHeader, AccessorsWriteTheHeaderFields) {
    CImage image(4, 4, 8, 1, 0);
    image.SetChannelSeq("RGBA");
    EXPECT_EQ(std::string(image.GetIplImage()->channelSeq, 4), "RGBA");
    image.SetColorModel("HS");
    EXPECT_EQ(image.GetColorModel(), "HS");
    image.SetAlphaChannel(2);
    image.SetOrigin(1);
    EXPECT_EQ(image.GetIplImage()->alphaChannel, 2);
    EXPECT_EQ(image.GetOrigin(), 1);
}

TEST(ImageFactories, CreateLikeKeepsThreeChannelsAndMakesEverythingElseOne) {
    struct Case { int channels, expected; } cases[] = {{1, 1}, {3, 3}, {4, 1}};
    for (const Case& c : cases) {
        auto image = makeImage(6, 5, 16, c.channels);
        std::unique_ptr<CImage> like(image->CreateLike());
        ASSERT_NE(like, nullptr);
        EXPECT_EQ(like->GetNChannels(), c.expected);
        EXPECT_EQ(like->GetWidth(), 6);
        EXPECT_EQ(like->GetHeight(), 5);
        EXPECT_EQ(like->GetDepth(), 16);
        EXPECT_NE(like->GetImageData(), nullptr);
    }
}

TEST(ImageFactories, CreateLikeWithDepthChangesOnlyTheDepth) {
    auto image = makeImage(9, 2, 8, 3);
    std::unique_ptr<CImage> bits(image->CreateLike(1));
    std::unique_ptr<CImage> floats(image->CreateLike(32));
    EXPECT_EQ(bits->GetDepth(), 1);
    EXPECT_EQ(bits->GetNChannels(), 1);
    EXPECT_EQ(floats->GetDepth(), 32);
    EXPECT_EQ(floats->GetNChannels(), 3);
    EXPECT_EQ(floats->GetWidth(), 9);
}

TEST(ImageFactories, CloneCopiesPixelsIntoItsOwnBuffer) {
    auto image = makeFilled<float>(5, 3, 32, [](int x, int y) { return x * 10 + y; });
    std::unique_ptr<CImage> copy(image->Clone());
    ASSERT_NE(copy->GetImageData(), image->GetImageData());
    EXPECT_EQ(sample<float>(*copy, 4, 2), 42.0f);
    sample<float>(*copy, 4, 2) = -1.0f;
    EXPECT_EQ(sample<float>(*image, 4, 2), 42.0f);
}

TEST(ImageRegions, CopyROIReturnsTheRegionsPixelsAndDetachesIt) {
    auto image = makeFilled<std::uint8_t>(10, 8, 8, [](int x, int y) { return y * 10 + x; });
    CImageROI region(3, 2, 4, 5, 0);
    std::unique_ptr<CImage> copy(image->CopyROI(&region));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->GetWidth(), 4);
    EXPECT_EQ(copy->GetHeight(), 5);
    EXPECT_EQ(sample<std::uint8_t>(*copy, 0, 0), 23);
    EXPECT_EQ(sample<std::uint8_t>(*copy, 3, 4), 66);
    EXPECT_EQ(image->GetROI(), nullptr);
    EXPECT_EQ(image->GetIplImage()->roi, nullptr);
}

TEST(ImageRegions, CopyROIZeroFillsWhereTheRegionLeavesTheImage) {
    auto image = makeFilled<float>(6, 4, 32, [](int x, int y) { return 1 + x + y * 6; });
    CImageROI region(4, 2, 4, 3, 0);
    std::unique_ptr<CImage> copy(image->CopyROI(&region));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(sample<float>(*copy, 0, 0), 17.0f);
    EXPECT_EQ(sample<float>(*copy, 1, 1), 24.0f);
    EXPECT_EQ(sample<float>(*copy, 2, 0), 0.0f);
    EXPECT_EQ(sample<float>(*copy, 0, 2), 0.0f);
}

TEST(ImageRegions, CopyROIOfFourChannelsTakesTheChannelOfInterest) {
    auto image = makeImage(3, 3, 8, 4);
    image->Set(0);
    sample<std::uint8_t>(*image, 1, 1, 2) = 99;
    CImageROI region(1, 1, 2, 2, 3);
    std::unique_ptr<CImage> copy(image->CopyROI(&region));
    EXPECT_EQ(copy->GetNChannels(), 1);
    EXPECT_EQ(sample<std::uint8_t>(*copy, 0, 0), 99);
}

TEST(ImageRegions, CopyROIIntoFillsAnExistingImageOfTheRegionsSize) {
    auto image = makeFilled<float>(8, 8, 32, [](int x, int y) { return x - y; });
    auto destination = makeImage(3, 2, 32);
    CImageROI region(5, 1, 3, 2, 0);
    image->CopyROIInto(destination.get(), &region);
    EXPECT_EQ(sample<float>(*destination, 0, 0), 4.0f);
    EXPECT_EQ(sample<float>(*destination, 2, 1), 5.0f);
    EXPECT_EQ(image->GetROI(), nullptr);
}

TEST(ImageRegions, CopyToHonoursTheRegionsOfBothImages) {
    auto source = makeFilled<std::uint8_t>(6, 6, 8, [](int x, int y) { return x + 10 * y; });
    auto destination = makeFilled<std::uint8_t>(6, 6, 8, [](int, int) { return 0; });
    CImageROI from(0, 0, 2, 2, 0);
    CImageROI to(4, 4, 2, 2, 0);
    source->SetROI(&from);
    destination->SetROI(&to);
    source->CopyTo(destination.get());
    source->SetROI(nullptr);
    destination->SetROI(nullptr);
    EXPECT_EQ(sample<std::uint8_t>(*destination, 5, 5), 11);
    EXPECT_EQ(sample<std::uint8_t>(*destination, 4, 4), 0);
    EXPECT_EQ(sample<std::uint8_t>(*destination, 3, 3), 0);
}

TEST(ImageRegions, CopyToRefusesADestinationOfAnotherSize) {
    auto source = makeFilled<std::uint8_t>(4, 4, 8, [](int, int) { return 7; });
    auto destination = makeFilled<std::uint8_t>(5, 4, 8, [](int, int) { return 1; });
    source->CopyTo(destination.get());
    EXPECT_EQ(sample<std::uint8_t>(*destination, 0, 0), 1);
}

TEST(ImageRegions, AttachedRegionIsSharedAndFollowsLaterChanges) {
    auto image = makeFilled<float>(10, 10, 32, [](int x, int) { return x; });
    CImageROI region;
    image->SetROI(&region);
    EXPECT_EQ(image->GetROI(), &region);
    EXPECT_EQ(image->GetIplImage()->roi, region.GetIplROI());
    region.Set(7, 0, 3, 10, 0);
    float minimum = 0, maximum = 0;
    image->MinMaxFP(&minimum, &maximum);
    EXPECT_EQ(minimum, 7.0f);
    image->SetROI(nullptr);
    EXPECT_EQ(image->GetIplImage()->roi, nullptr);
}

TEST(ImageRegions, ImageNeverFreesTheRegionAttachedToIt) {
    CImageROI region(1, 1, 2, 2, 0);
    {
        auto image = makeImage(4, 4, 8);
        image->SetROI(&region);
    }
    region.SetWidth(3);  // the IplROI is still the region's own
    EXPECT_EQ(region.GetIplROI()->width, 3);
}

TEST(ImageRegions, RegionDestroyedWhileAttachedLeavesTheImageUsable) {
    auto image = makeFilled<std::uint8_t>(4, 4, 8, [](int x, int) { return x; });
    {
        CImageROI region(2, 0, 2, 4, 0);
        image->SetROI(&region);
    }
    EXPECT_EQ(image->Norm(1), 3.0);
}

TEST(ImageRegions, SetFillsOnlyTheAttachedRegion) {
    auto image = makeFilled<std::uint8_t>(5, 5, 8, [](int, int) { return 0; });
    CImageROI region(1, 1, 2, 2, 0);
    image->SetROI(&region);
    image->Set(9);
    image->SetROI(nullptr);
    EXPECT_EQ(image->Norm(2), 36.0);
    EXPECT_EQ(sample<std::uint8_t>(*image, 2, 2), 9);
}

TEST(ImageSafety, EveryOperationOnAHeaderlessImageIsHarmless) {
    CImage none(1, 1, 8, 2, 0);
    auto other = makeFilled<float>(4, 4, 32, [](int x, int) { return x; });
    CImageROI region(0, 0, 2, 2, 0);
    none.Allocate();
    none.SetROI(&region);
    none.Set(3);
    none.Add(other.get());
    none.Subtract(other.get(), other.get());
    none.AddS(1.0f);
    none.MultiplyS(2.0f);
    none.InvThresh(1e-6f);
    none.Erode(1);
    none.GradientX(other.get(), 5);
    none.DrawRectangle(0, 0, 3, 3, 2, 255.0, false);
    none.BitonalToGray(0, 1);
    none.CopyTo(other.get());
    other->CopyTo(&none);
    other->Smooth(&none, 1, nullptr);
    other->ScaleFP(&none, 0.0f, 1.0f);
    float minimum = 5, maximum = 5;
    none.MinMaxFP(&minimum, &maximum);
    EXPECT_EQ(minimum, 0.0f);
    EXPECT_EQ(none.Norm(2), -1.0);
    EXPECT_EQ(other->Norm(&none, 2), -1.0);
    EXPECT_EQ(none.Clone(), nullptr);
    EXPECT_EQ(none.CreateLike(), nullptr);
    EXPECT_EQ(none.CopyROI(&region), nullptr);
    EXPECT_EQ(none.Save(image_testing::scratchFile("none.pgm").c_str(), 0), 0);
    EXPECT_EQ(none.GetWidth(), 0);
    EXPECT_EQ(none.GetImageData(), nullptr);
    EXPECT_EQ(none.GetColorModel(), "");
    EXPECT_EQ(sample<float>(*other, 3, 3), 3.0f);
}

TEST(ImageSafety, OperationsRefuseAHeaderWhoseRowsNoLongerFitItsBuffer) {
    auto image = makeFilled<std::uint8_t>(4, 4, 8, [](int, int) { return 1; });
    image->SetWidth(4000);
    image->Set(0);
    EXPECT_EQ(image->Norm(2), -1.0);
    image->SetWidth(4);
    EXPECT_EQ(image->Norm(2), 16.0);
}

}  // namespace
