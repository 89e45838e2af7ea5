#include "image/Image.h"

#include <cstdint>
#include <tuple>

#include <gtest/gtest.h>

#include "image/ImageTesting.h"

using image_testing::makeFilled;
using image_testing::makeImage;
using image_testing::sample;

namespace {

TEST(ImageHeader, CreatedHeadersCarryTheFieldsOfTheirFormat) {
    struct Case { CImage image; int channels, depth, step; const char *model, *sequence; };
    const Case cases[] = {{{}, 3, 8, 960, "RGB", "BGR"},
                          {{13, 2, 8, 1, 0}, 1, 8, 16, "GRAY", "GRAY"},
                          {{3, 2, 32, 4, 0}, 4, 32, 48, "RGBA", "RGBA"},
                          {{20, 2, 1, 3, 1}, 1, 1, 8, "GRAY", "GRAY"}};  // 1 bit: always one grey channel
    for (const Case& c : cases) {
        const IplImage* header = c.image.GetIplImage();
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->nChannels, c.channels);
        EXPECT_EQ(header->depth, c.depth);
        EXPECT_EQ(header->widthStep, c.step);
        EXPECT_EQ(c.image.GetColorModel(), c.model);
        EXPECT_EQ(c.image.GetChannelSeq(), c.sequence);
        EXPECT_EQ(header->dataOrder, 0);
        EXPECT_EQ(header->alphaChannel + header->origin, 0);
        EXPECT_EQ(header->align, 8);
        EXPECT_TRUE(!header->roi && !header->maskROI && !header->imageId && !header->tileInfo);
        EXPECT_EQ(header->imageData, nullptr);
    }
    EXPECT_EQ(std::make_tuple(cases[0].image.GetWidth(), cases[0].image.GetHeight()), std::make_tuple(320, 240));
}

TEST(ImageHeader, RefusedFormatsLeaveTheStoredHeader) {
    CImage twoChannels(10, 10, 8, 2, 0);
    EXPECT_EQ(twoChannels.GetIplImage(), nullptr);
    auto image = makeFilled<std::uint8_t>(4, 3, 8, [](int x, int y) { return x + y; });
    const IplImage* before = image->GetIplImage();
    EXPECT_EQ(image->CreateHeader(10, 10, 8, 2, 0), 0);
    EXPECT_EQ(image->CreateHeader(-3, 10, 8, 1, 0), 0);
    EXPECT_EQ(image->CreateHeader(100000, 100000, 8, 1, 0), 0);
    EXPECT_EQ(image->GetIplImage(), before);
    EXPECT_EQ(sample<std::uint8_t>(*image, 3, 2), 5);
}

TEST(ImageFactories, CreateLikeKeepsThreeChannelsOnlyAndCloneCopiesPixels) {
    for (int channels : {1, 3, 4}) {
        std::unique_ptr<CImage> like(makeImage(6, 5, 16, channels)->CreateLike());
        EXPECT_EQ(like->GetNChannels(), channels == 3 ? 3 : 1);
        EXPECT_EQ(std::make_tuple(like->GetWidth(), like->GetHeight(), like->GetDepth()), std::make_tuple(6, 5, 16));
        EXPECT_NE(like->GetImageData(), nullptr);
    }
    std::unique_ptr<CImage> bits(makeImage(9, 2, 8, 3)->CreateLike(1));
    EXPECT_EQ(std::make_tuple(bits->GetDepth(), bits->GetNChannels()), std::make_tuple(1, 1));
    auto image = makeFilled<float>(5, 3, 32, [](int x, int y) { return x * 10 + y; });
    std::unique_ptr<CImage> copy(image->Clone());
    sample<float>(*image, 4, 2) = -1.0f;
    EXPECT_EQ(sample<float>(*copy, 4, 2), 42.0f);
}

TEST(ImageRegions, CopyROITakesTheRegionZeroFillingWhatLiesOutsideAndDetaches) {
    auto image = makeFilled<float>(6, 4, 32, [](int x, int y) { return 1 + x + y * 6; });
    CImageROI region(4, 2, 4, 3, 0);
    std::unique_ptr<CImage> copy(image->CopyROI(&region));
    ASSERT_EQ(std::make_tuple(copy->GetWidth(), copy->GetHeight()), std::make_tuple(4, 3));
    EXPECT_EQ(sample<float>(*copy, 0, 0), 17.0f);
    EXPECT_EQ(sample<float>(*copy, 1, 1), 24.0f);
    EXPECT_EQ(sample<float>(*copy, 2, 0) + sample<float>(*copy, 0, 2), 0.0f);
    EXPECT_EQ(image->GetROI(), nullptr);
    EXPECT_EQ(image->GetIplImage()->roi, nullptr);
    auto colour = makeImage(3, 3, 8, 4);
    colour->Set(0);
    sample<std::uint8_t>(*colour, 1, 1, 2) = 99;
    CImageROI third(1, 1, 2, 2, 3);  // channel of interest into a one-channel copy
    EXPECT_EQ(sample<std::uint8_t>(*std::unique_ptr<CImage>(colour->CopyROI(&third)), 0, 0), 99);
}

TEST(ImageRegions, CopiesHonourTheRegionsOfBothImages) {
    auto source = makeFilled<std::uint8_t>(6, 6, 8, [](int x, int y) { return x + 10 * y; });
    auto destination = makeFilled<std::uint8_t>(6, 6, 8, [](int, int) { return 0; });
    CImageROI from(0, 0, 2, 2, 0), to(4, 4, 2, 2, 0);
    source->SetROI(&from);
    destination->SetROI(&to);
    source->CopyTo(destination.get());
    destination->SetROI(nullptr);
    EXPECT_EQ(sample<std::uint8_t>(*destination, 5, 5), 11);
    EXPECT_EQ(destination->Norm(2), 0 + 1 + 10 + 11);
    auto small = makeFilled<std::uint8_t>(3, 2, 8, [](int, int) { return 7; });
    source->SetROI(nullptr);
    source->CopyTo(small.get());  // another size: refused
    CImageROI region(3, 1, 3, 2, 0);
    EXPECT_EQ(sample<std::uint8_t>(*small, 2, 1), 7);
    source->CopyROIInto(small.get(), &region);
    EXPECT_EQ(sample<std::uint8_t>(*small, 0, 0), 13);
    EXPECT_EQ(source->GetROI(), nullptr);
}

TEST(ImageRegions, AttachedRegionIsSharedAndNeverFreedByTheImage) {
    auto image = makeFilled<float>(10, 10, 32, [](int x, int) { return x; });
    CImageROI region;
    image->SetROI(&region);
    EXPECT_EQ(image->GetIplImage()->roi, region.GetIplROI());
    region.Set(7, 0, 3, 10, 0);  // seen through the attachment
    EXPECT_EQ(image->Norm(1), 9.0);
    image.reset();
    region.SetWidth(3);
    auto other = makeFilled<float>(4, 4, 32, [](int x, int) { return x; });
    {
        CImageROI shortLived(2, 0, 2, 4, 0);
        other->SetROI(&shortLived);
    }
    EXPECT_EQ(other->Norm(2), 20.0);  // the region's rectangle outlives the region object
}

TEST(ImageSafety, OperationsOnHeaderlessOrInconsistentImagesAreHarmless) {
    CImage none(1, 1, 8, 2, 0);
    auto other = makeFilled<float>(4, 4, 32, [](int x, int) { return x; });
    CImageROI region(0, 0, 2, 2, 0);
    none.Allocate();
    none.SetROI(&region);
    none.Add(other.get());
    none.GradientX(other.get(), 5);
    none.BitonalToGray(0, 1);
    other->CopyTo(&none);
    other->Smooth(&none, 1, nullptr);
    float minimum = 5, maximum = 5;
    none.MinMaxFP(&minimum, &maximum);
    EXPECT_EQ(minimum + maximum, 0.0f);
    EXPECT_EQ(other->Norm(&none, 2), -1.0);
    EXPECT_TRUE(!none.Clone() && !none.CreateLike() && !none.CopyROI(&region) && !none.GetImageData());
    other->SetWidth(4000);  // rows no longer fit the buffer
    other->Set(0);
    EXPECT_EQ(other->Norm(2), -1.0);
    other->SetWidth(4);
    EXPECT_EQ(other->Norm(2), 24.0);
}

}  // namespace
