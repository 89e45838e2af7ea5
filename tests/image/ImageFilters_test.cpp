#include <cstdint>
#include <memory>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "image/ImageTesting.h"

using image_testing::makeFilled;
using image_testing::makeImage;
using image_testing::sample;

namespace {

// Convolution tables the filters are checked against.
const float kDerivative5[5] = {0.10689f, 0.28461f, 0.0f, -0.28461f, -0.10689f};
const float kPrefilter5[5] = {0.03504f, 0.24878f, 0.43234f, 0.24878f, 0.03504f};
const float kGaussianCentre = 0.19744757f;
const float kGaussianNextToCentre = 0.1746972f;

constexpr int kWidth = 21;
constexpr int kHeight = 17;
constexpr int kImpulseX = 10;
constexpr int kImpulseY = 8;

std::unique_ptr<CImage> columnRamp(float offset = 0.0f) {
    return makeFilled<float>(kWidth, kHeight, 32, [=](int x, int) { return x + offset; });
}
std::unique_ptr<CImage> rowRamp() {
    return makeFilled<float>(kWidth, kHeight, 32, [](int, int y) { return y; });
}
std::unique_ptr<CImage> impulse() {
    return makeFilled<float>(kWidth, kHeight, 32, [](int x, int y) { return x == kImpulseX && y == kImpulseY; });
}
std::unique_ptr<CImage> blank(float value = -99.0f) {
    return makeFilled<float>(kWidth, kHeight, 32, [=](int, int) { return value; });
}

float at(const std::unique_ptr<CImage>& image, int x, int y) { return sample<float>(*image, x, y); }

TEST(ImageGradient, FiveTapDerivativeOfAColumnRampIsAlmostOne) {
    auto source = columnRamp();
    auto gradient = blank();
    gradient->GradientX(source.get(), 5);
    const float expected = (4 * 0.10689f + 2 * 0.28461f) * 0.99998f;  // prefilter sums to 0.99998
    for (int x = 2; x < kWidth - 2; ++x) EXPECT_NEAR(at(gradient, x, 9), expected, 1e-5) << x;
    EXPECT_NEAR(at(gradient, 10, 0), expected, 1e-5);
    EXPECT_NEAR(expected, 0.997f, 1e-3);
}

TEST(ImageGradient, FiveTapDerivativeOfAnImpulseIsTheConvolutionKernelAroundItsAnchor) {
    auto source = impulse();
    auto gx = blank();
    auto gy = blank();
    gx->GradientX(source.get(), 5);
    gy->GradientY(source.get(), 5);
    // out(x) = sum_i k[i] in(x - i + 2), so the tap k[i] lands at x = impulse + i - 2.
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5; ++j) {
            EXPECT_NEAR(at(gx, kImpulseX + i - 2, kImpulseY + j - 2), kDerivative5[i] * kPrefilter5[j], 1e-7)
                << i << "," << j;
            EXPECT_NEAR(at(gy, kImpulseX + j - 2, kImpulseY + i - 2), kPrefilter5[j] * kDerivative5[i], 1e-7)
                << i << "," << j;
        }
    }
    EXPECT_EQ(at(gx, kImpulseX + 3, kImpulseY), 0.0f);
}

TEST(ImageGradient, FiveTapDerivativeRepeatsTheEdgePixelBeyondTheBorder) {
    auto source = columnRamp(10.0f);
    auto gradient = blank();
    gradient->GradientX(source.get(), 5);
    // Replicated left edge: in(-1) = in(-2) = in(0).
    EXPECT_NEAR(at(gradient, 0, 5), (2 * 0.10689f + 0.28461f) * 0.99998f, 1e-5);
    EXPECT_NEAR(at(gradient, 1, 5), (3 * 0.10689f + 2 * 0.28461f) * 0.99998f, 1e-5);
    EXPECT_NEAR(at(gradient, kWidth - 1, 5), (2 * 0.10689f + 0.28461f) * 0.99998f, 1e-5);
}

TEST(ImageGradient, FiveTapDerivativeHasTheSameSignInBothDirections) {
    auto source = rowRamp();
    auto gradient = blank();
    gradient->GradientY(source.get(), 5);
    EXPECT_NEAR(at(gradient, 4, 8), 0.99676f, 1e-4);
}

TEST(ImageGradient, ThreeTapDifferencesHaveOppositeSigns) {
    auto columns = columnRamp();
    auto rows = rowRamp();
    auto gx = blank();
    auto gy = blank();
    gx->GradientX(columns.get(), 1);
    gy->GradientY(rows.get(), 1);
    for (int x = 1; x < kWidth - 1; ++x) EXPECT_FLOAT_EQ(at(gx, x, 3), 1.0f) << x;
    for (int y = 1; y < kHeight - 1; ++y) EXPECT_FLOAT_EQ(at(gy, 3, y), -1.0f) << y;
    EXPECT_FLOAT_EQ(at(gx, 0, 3), 0.5f);
    EXPECT_FLOAT_EQ(at(gy, 3, kHeight - 1), -0.5f);
}

TEST(ImageGradient, ThreeTapDifferenceOfAnImpulseSitsAroundItsAnchor) {
    auto source = impulse();
    auto gx = blank();
    auto gy = blank();
    gx->GradientX(source.get(), 7);
    gy->GradientY(source.get(), 1);
    EXPECT_FLOAT_EQ(at(gx, kImpulseX - 1, kImpulseY), 0.5f);
    EXPECT_FLOAT_EQ(at(gx, kImpulseX + 1, kImpulseY), -0.5f);
    EXPECT_FLOAT_EQ(at(gx, kImpulseX, kImpulseY), 0.0f);
    EXPECT_FLOAT_EQ(at(gy, kImpulseX, kImpulseY - 1), -0.5f);
    EXPECT_FLOAT_EQ(at(gy, kImpulseX, kImpulseY + 1), 0.5f);
}

TEST(ImageGradient, SobelKernelPointsUpTheRamp) {
    auto columns = columnRamp();
    auto rows = rowRamp();
    auto gx = blank();
    auto gy = blank();
    gx->GradientX(columns.get(), 2);
    gy->GradientY(rows.get(), 2);
    EXPECT_FLOAT_EQ(at(gx, 5, 5), 8.0f);
    EXPECT_FLOAT_EQ(at(gy, 5, 5), 8.0f);
    EXPECT_FLOAT_EQ(at(gy, 5, 0), 4.0f);
}

TEST(ImageGradient, SourceMayBeTheDestination) {
    auto image = columnRamp();
    image->GradientX(image.get(), 1);
    EXPECT_FLOAT_EQ(at(image, 7, 7), 1.0f);
    EXPECT_FLOAT_EQ(at(image, 8, 7), 1.0f);
}

TEST(ImageGradient, NonFloatOrMismatchedImagesAreLeftAlone) {
    auto bytes = makeFilled<std::uint8_t>(kWidth, kHeight, 8, [](int x, int) { return x; });
    auto gradient = blank();
    gradient->GradientX(bytes.get(), 5);
    auto small = makeFilled<float>(5, 5, 32, [](int x, int) { return x; });
    gradient->GradientY(small.get(), 1);
    EXPECT_EQ(at(gradient, 3, 3), -99.0f);
}

TEST(ImageSmooth, GaussianSpreadsAnImpulseAndKeepsItsSum) {
    auto source = impulse();
    auto smoothed = blank();
    source->Smooth(smoothed.get(), 1, nullptr);
    EXPECT_NEAR(at(smoothed, kImpulseX, kImpulseY), kGaussianCentre * kGaussianCentre, 1e-7);
    EXPECT_NEAR(at(smoothed, kImpulseX + 1, kImpulseY), kGaussianNextToCentre * kGaussianCentre, 1e-7);
    EXPECT_NEAR(at(smoothed, kImpulseX, kImpulseY - 1), kGaussianNextToCentre * kGaussianCentre, 1e-7);
    EXPECT_NEAR(smoothed->Norm(2), 1.0, 1e-5);
}

TEST(ImageSmooth, GaussianKeepsAConstantImageUpToTheBorder) {
    auto source = blank(5.0f);
    auto smoothed = blank(0.0f);
    source->Smooth(smoothed.get(), 1, nullptr);
    EXPECT_NEAR(at(smoothed, 0, 0), 5.0f, 1e-5);
    EXPECT_NEAR(at(smoothed, kWidth - 1, kHeight - 1), 5.0f, 1e-5);
}

TEST(ImageSmooth, BoxKindsAverageSevenAndFifteenPixelSquares) {
    auto source = impulse();
    auto box7 = blank();
    auto box15 = blank();
    source->Smooth(box7.get(), 2, nullptr);
    source->Smooth(box15.get(), 3, nullptr);
    EXPECT_NEAR(at(box7, kImpulseX - 3, kImpulseY + 3), 1.0f / 49, 1e-7);
    EXPECT_NEAR(at(box7, kImpulseX + 4, kImpulseY), 0.0f, 1e-7);
    EXPECT_NEAR(at(box15, kImpulseX + 7, kImpulseY - 7), 1.0f / 225, 1e-7);
    EXPECT_NEAR(at(box15, kImpulseX, kImpulseY + 8), 0.0f, 1e-7);
    EXPECT_NEAR(box7->Norm(2), 1.0, 1e-5);
}

TEST(ImageSmooth, PrefilterKindUsesTheFiveTapTableBothWays) {
    auto source = impulse();
    auto smoothed = blank();
    source->Smooth(smoothed.get(), 5, nullptr);
    EXPECT_NEAR(at(smoothed, kImpulseX, kImpulseY), kPrefilter5[2] * kPrefilter5[2], 1e-7);
    EXPECT_NEAR(at(smoothed, kImpulseX - 2, kImpulseY + 1), kPrefilter5[0] * kPrefilter5[1], 1e-7);
    EXPECT_NEAR(at(smoothed, kImpulseX + 3, kImpulseY), 0.0f, 1e-7);
}

TEST(ImageSmooth, MaskedKindDividesBySmoothedMask) {
    // Callers pass the image already multiplied by its mask.
    auto mask = makeFilled<float>(kWidth, kHeight, 32, [](int x, int) { return x < 8 ? 1.0f : 0.0f; });
    auto masked = makeFilled<float>(kWidth, kHeight, 32, [](int x, int) { return x < 8 ? 7.0f : 0.0f; });
    auto smoothed = blank();
    masked->Smooth(smoothed.get(), 4, mask.get());
    EXPECT_NEAR(at(smoothed, 7, 4), 7.0f, 1e-4);
    EXPECT_NEAR(at(smoothed, 12, 4), 7.0f, 1e-3);   // outside the mask, still the masked mean
    EXPECT_NEAR(at(smoothed, 20, 4), 0.0f, 1e-7);   // nothing of the mask within reach
}

TEST(ImageSmooth, MaskedKindClampsTheReciprocalOfATinyMask) {
    auto mask = blank(1e-7f);
    auto masked = blank(5e-7f);
    auto smoothed = blank();
    masked->Smooth(smoothed.get(), 4, mask.get());
    EXPECT_NEAR(at(smoothed, 10, 8), 0.5f, 1e-4);  // 5e-7 * 1 / 1e-6, not 5e-7 / 1e-7
}

TEST(ImageSmooth, MaskedKindWithoutMaskAndUnknownKindsWriteNothing) {
    auto source = impulse();
    auto untouched = blank(42.0f);
    source->Smooth(untouched.get(), 4, nullptr);
    source->Smooth(untouched.get(), 0, nullptr);
    source->Smooth(untouched.get(), 6, nullptr);
    EXPECT_EQ(untouched->Norm(1), 42.0);
    EXPECT_EQ(at(untouched, kImpulseX, kImpulseY), 42.0f);
}

TEST(ImageBlur, AnchorIsTheOutputPixelsPlaceInTheBox) {
    auto source = impulse();
    auto blurred = blank();
    source->BlurTo(blurred.get(), 3, 1, 0, 0);
    EXPECT_FLOAT_EQ(at(blurred, kImpulseX - 2, kImpulseY), 1.0f / 3);
    EXPECT_FLOAT_EQ(at(blurred, kImpulseX, kImpulseY), 1.0f / 3);
    EXPECT_FLOAT_EQ(at(blurred, kImpulseX + 1, kImpulseY), 0.0f);
    auto untouched = blank(1.0f);
    source->BlurTo(untouched.get(), 3, 3, 3, 0);
    source->BlurTo(untouched.get(), 0, 3, 0, 0);
    EXPECT_EQ(at(untouched, kImpulseX, kImpulseY), 1.0f);
}

TEST(ImageErode, EachIterationGrowsADarkPixelByOneAndEdgesDoNotErode) {
    auto image = makeFilled<std::uint8_t>(12, 12, 8, [](int x, int y) { return x == 6 && y == 6 ? 0 : 200; });
    image->Erode(1);
    EXPECT_EQ(image->Norm(image_testing::makeFilled<std::uint8_t>(12, 12, 8, [](int, int) { return 200; }).get(), 2),
              9 * 200.0);
    image->Erode(1);
    EXPECT_EQ(sample<std::uint8_t>(*image, 4, 8), 0);
    EXPECT_EQ(sample<std::uint8_t>(*image, 3, 8), 200);
    EXPECT_EQ(sample<std::uint8_t>(*image, 0, 0), 200);
    auto flat = makeFilled<float>(5, 5, 32, [](int, int) { return 3.0f; });
    flat->Erode(1000000);
    EXPECT_EQ(flat->Norm(1), 3.0);
}

TEST(ImageDraw, OutlineTouchesOnlyTheRectanglesEdges) {
    auto image = makeFilled<std::uint8_t>(10, 10, 8, [](int, int) { return 0; });
    image->DrawRectangle(2, 3, 7, 8, 1, 255.0, false);
    EXPECT_EQ(sample<std::uint8_t>(*image, 2, 3), 255);
    EXPECT_EQ(sample<std::uint8_t>(*image, 7, 8), 255);
    EXPECT_EQ(sample<std::uint8_t>(*image, 5, 3), 255);
    EXPECT_EQ(sample<std::uint8_t>(*image, 5, 5), 0);
    EXPECT_EQ(sample<std::uint8_t>(*image, 1, 3), 0);
    EXPECT_EQ(image->Norm(2), 20 * 255.0);
}

TEST(ImageDraw, FilledRectangleCoversItsCornersInclusive) {
    auto image = makeFilled<float>(10, 10, 32, [](int, int) { return 0.0f; });
    image->DrawRectangle(1, 2, 4, 3, 2, 0.5, true);
    EXPECT_EQ(image->Norm(2), 8 * 0.5);
    EXPECT_EQ(sample<float>(*image, 4, 3), 0.5f);
}

TEST(ImageDraw, FarCornersAndThicknessDrawTheVisiblePartOnly) {
    auto image = makeFilled<std::uint8_t>(8, 8, 8, [](int, int) { return 0; });
    image->DrawRectangle(-2000000000, 2, 2000000000, 5, 1, 9.0, false);
    EXPECT_EQ(image->Norm(2), 16 * 9.0);
    image->DrawRectangle(0, 0, 7, 7, 0, 1.0, true);
    image->DrawRectangle(3, 3, 4, 4, 1 << 30, 1.0, false);
    EXPECT_EQ(image->Norm(2), 64.0);
}

}  // namespace
