#include "image/StereoFrame.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <tuple>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "support/RecordingFolder.h"

namespace {

constexpr int W = 320;
constexpr int H = 240;

// X = column, Y = row, Z = column / 8 (exact in binary), intensity (column + row) mod 256.
std::unique_ptr<CStereoFrame> RampFrame(const CDepthMaskRegion* region) {
    return std::make_unique<CStereoFrame>(
        MakeFilledImage<std::uint8_t>(W, H, IPL_DEPTH_8U, [](int x, int y) { return (x + y) % 256; }).release(),
        MakeFilledImage<float>(W, H, IPL_DEPTH_32F, [](int x, int) { return x / 8.0f; }).release(),
        MakeFilledImage<float>(W, H, IPL_DEPTH_32F, [](int x, int) { return x; }).release(),
        MakeFilledImage<float>(W, H, IPL_DEPTH_32F, [](int, int y) { return y; }).release(), region);
}

int MaskSum(const CImage& mask) {
    int sum = 0;
    for (int y = 0; y < mask.GetHeight(); ++y)
        for (int x = 0; x < mask.GetWidth(); ++x) sum += PixelAt<std::uint8_t>(mask, x, y);
    return sum;
}

std::tuple<float, float, float> Centroid(const CStereoFrame& frame) {
    return {frame.GetCentroidX(), frame.GetCentroidY(), frame.GetCentroidZ()};
}

TEST(StereoFrame, MasksDepthsStrictlyBetweenTheBoundsAndAveragesTheRegion) {
    // Depth 2 is column 16 and 3 column 24: both lie outside; the mask covers the whole image.
    const CDepthMaskRegion region(10, 40, 20, 30, 2.0f, 3.0f);
    auto frame = RampFrame(&region);
    const CImage& mask = *frame->GetMask();
    EXPECT_EQ(std::make_tuple(PixelAt<std::uint8_t>(mask, 16, 25), PixelAt<std::uint8_t>(mask, 17, 25),
                              PixelAt<std::uint8_t>(mask, 23, 200), PixelAt<std::uint8_t>(mask, 24, 25)),
              std::make_tuple(0, 1, 1, 0));
    EXPECT_EQ(MaskSum(mask), 7 * H);
    EXPECT_EQ(Centroid(*frame), std::make_tuple(20.0f, 24.5f, 2.5f));  // columns 17..23, rows 20..29

    const CDepthMaskRegion lowerOnly(0, 1, 0, 1, 39.0f, -1.0f);  // columns 313..319
    EXPECT_EQ(MaskSum(*RampFrame(&lowerOnly)->GetMask()), 7 * H);
    const CDepthMaskRegion noBounds(100, 104, 50, 52, -1.0f, -1.0f);  // the plain mean
    auto unbounded = RampFrame(&noBounds);
    EXPECT_EQ(MaskSum(*unbounded->GetMask()), W * H);
    EXPECT_EQ(Centroid(*unbounded), std::make_tuple(101.5f, 50.5f, 101.5f / 8.0f));
    const CDepthMaskRegion tooFar(10, 40, 20, 30, 100.0f, -1.0f);  // no masked pixel: zero, not 0 / 0
    EXPECT_EQ(Centroid(*RampFrame(&tooFar)), std::make_tuple(0.0f, 0.0f, 0.0f));
}

TEST(StereoFrame, ClampsItsRegionToTheImageAndHandlesAnEmptyOne) {
    const CDepthMaskRegion pastCorner(300, 350, 230, 280, -1.0f, -1.0f);
    auto frame = RampFrame(&pastCorner);
    EXPECT_EQ(std::make_tuple(frame->GetRegion()->GetWidth(), frame->GetRegion()->GetHeight()), std::make_tuple(20, 10));
    EXPECT_EQ(Centroid(*frame), std::make_tuple(309.5f, 234.5f, 309.5f / 8.0f));
    std::unique_ptr<CStereoFrame> crop(frame->Crop(&pastCorner));
    EXPECT_EQ(std::make_tuple(crop->GetDepth()->GetWidth(), crop->GetImageY()->GetHeight()), std::make_tuple(20, 10));
    EXPECT_EQ(std::make_tuple(PixelAt<float>(*crop->GetImageX(), 19, 0), PixelAt<float>(*crop->GetImageY(), 0, 9)),
              std::make_tuple(319.0f, 239.0f));

    const CDepthMaskRegion empty(-1, -1, -1, -1, -1.0f, -1.0f);  // the default of "Param.cfg"
    auto unfocused = RampFrame(&empty);
    EXPECT_EQ(Centroid(*unfocused), std::make_tuple(0.0f, 0.0f, 0.0f));
    std::unique_ptr<CStereoFrame> emptyCrop(unfocused->CropOrCreateLike());  // 0 x 0, safe for what follows
    EXPECT_EQ(std::make_tuple(emptyCrop->GetIntensity()->GetWidth(), emptyCrop->GetMask()->GetHeight()),
              std::make_tuple(0, 0));
    emptyCrop->ComputeGradients(emptyCrop->GetIntensity(), emptyCrop->GetDepth());
    std::unique_ptr<CStereoFrame> likeEmpty(emptyCrop->CreateLike()), cropOfEmpty(emptyCrop->Crop(&empty));
    EXPECT_EQ(cropOfEmpty->GetDepth()->GetWidth(), 0);
}

// Intensity keeps the numbers of its 8-bit source (145 stays 145.0).
TEST(StereoFrame, CropKeepsScalesAndPixelsWhileCreateLikeStartsAfresh) {
    const CDepthMaskRegion region(100, 120, 40, 50, 13.0f, -1.0f);  // masked from column 105 on
    auto frame = RampFrame(&region);
    frame->SetScaleX(0.004f);
    frame->SetScaleY(-0.004f);
    frame->ComputeGradients(frame->GetIntensity(), frame->GetDepth());
    std::unique_ptr<CStereoFrame> crop(frame->CropOrCreateLike());
    EXPECT_EQ(std::make_tuple(crop->GetScaleX(), crop->GetScaleY(), crop->GetCentroidZ()),
              std::make_tuple(0.004f, -0.004f, 0.0f));
    EXPECT_EQ(std::make_tuple(crop->GetRegion(), crop->GetIntensityGradX()), std::make_tuple(nullptr, nullptr));
    EXPECT_EQ(std::make_tuple(crop->GetIntensity()->GetWidth(), crop->GetIntensity()->GetHeight(),
                              PixelAt<float>(*crop->GetIntensity(), 2, 3), PixelAt<float>(*crop->GetDepth(), 2, 3)),
              std::make_tuple(20, 10, 145.0f, 102 / 8.0f));
    EXPECT_EQ(std::make_tuple(PixelAt<std::uint8_t>(*crop->GetMask(), 4, 0), PixelAt<std::uint8_t>(*crop->GetMask(), 5, 0)),
              std::make_tuple(0, 1));
    std::unique_ptr<CStereoFrame> like(frame->CreateLike());
    EXPECT_EQ(std::make_tuple(like->GetScaleX(), like->GetMask(), like->GetImageY()->GetWidth()),
              std::make_tuple(1.0f, nullptr, W));
}

TEST(StereoFrame, GradientsAreCentralDifferencesThatSettersDrop) {
    const CDepthMaskRegion region(0, 10, 0, 10, -1.0f, -1.0f);
    auto frame = RampFrame(&region);
    // An 8-bit source is converted first: 2 per column, 3 per row.
    auto ramp = MakeFilledImage<std::uint8_t>(W, H, IPL_DEPTH_8U, [](int x, int y) { return (2 * x + 3 * y) % 256; });
    frame->ComputeGradients(ramp.get(), frame->GetDepth());
    CImage* gradX = frame->GetIntensityGradX();
    // Derivatives along the column and the row: both positive on ramps growing that way.
    EXPECT_EQ(std::make_tuple(PixelAt<float>(*gradX, 10, 10), PixelAt<float>(*frame->GetIntensityGradY(), 10, 10),
                              std::abs(PixelAt<float>(*frame->GetDepthGradX(), 10, 10)),
                              PixelAt<float>(*frame->GetDepthGradY(), 10, 10)),
              std::make_tuple(2.0f, 3.0f, 0.125f, 0.0f));
    frame->ComputeGradients(frame->GetIntensity(), frame->GetDepth());
    EXPECT_EQ(frame->GetIntensityGradX(), gradX);  // overwritten in place
    EXPECT_EQ(std::abs(PixelAt<float>(*gradX, 10, 10)), 1.0f);

    frame->SetIntensity(frame->GetIntensity(), true);  // already held: nothing happens
    EXPECT_EQ(frame->GetIntensityGradX(), gradX);
    frame->SetDepth(MakeFilledImage<float>(W, H, IPL_DEPTH_32F, [](int, int) { return 1.0f; }).release(), false);
    EXPECT_EQ(std::make_tuple(frame->GetDepthGradX(), frame->GetDepthGradY()), std::make_tuple(nullptr, nullptr));
    frame->SetIntensity(MakeFilledImage<float>(W, H, IPL_DEPTH_32F, [](int x, int) { return 3 * x; }).release(), true);
    EXPECT_EQ(std::abs(PixelAt<float>(*frame->GetIntensityGradX(), 50, 50)), 3.0f);
    frame->SetIntensityGradY(frame->GetIntensityGradY());  // the image it holds: kept, not deleted
    EXPECT_NE(frame->GetIntensityGradY(), nullptr);
}

}  // namespace
