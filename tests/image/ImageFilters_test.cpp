#include <cstdint>
#include <memory>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "image/ImageTesting.h"

using image_testing::makeFilled;
using image_testing::sample;

namespace {

// Convolution tables the filters are checked against.
const float kDerivative5[5] = {0.10689f, 0.28461f, 0.0f, -0.28461f, -0.10689f};
const float kPrefilter5[5] = {0.03504f, 0.24878f, 0.43234f, 0.24878f, 0.03504f};
const float kPrefilterSum = 0.99998f;
const float kGaussianCentre = 0.19744757f;
const float kGaussianNext = 0.1746972f;

constexpr int kWidth = 21, kHeight = 17, kX = 10, kY = 8;  // kX, kY: the impulse

std::unique_ptr<CImage> image(float (*value)(int, int)) { return makeFilled<float>(kWidth, kHeight, 32, value); }
std::unique_ptr<CImage> columnRamp() { return image([](int x, int) { return x + 10.0f; }); }
std::unique_ptr<CImage> rowRamp() { return image([](int, int y) { return y + 10.0f; }); }
std::unique_ptr<CImage> impulse() { return image([](int x, int y) { return x == kX && y == kY ? 1.0f : 0.0f; }); }
std::unique_ptr<CImage> blank() { return image([](int, int) { return -99.0f; }); }
float at(const std::unique_ptr<CImage>& image, int x, int y) { return sample<float>(*image, x, y); }

TEST(ImageGradient, FiveTapDerivativeOfARampIsAlmostOneInBothDirections) {
    auto gx = blank(), gy = blank();
    gx->GradientX(columnRamp().get(), 5);
    gy->GradientY(rowRamp().get(), 5);
    const float inside = (4 * 0.10689f + 2 * 0.28461f) * kPrefilterSum;
    EXPECT_NEAR(inside, 0.997f, 1e-3);
    for (int i = 2; i < kHeight - 2; ++i) {
        EXPECT_NEAR(at(gx, i, 0), inside, 1e-5) << i;
        EXPECT_NEAR(at(gy, 0, i), inside, 1e-5) << i;
    }
    // Beyond the border the edge pixel repeats: in(-2) = in(-1) = in(0).
    EXPECT_NEAR(at(gx, 0, 5), (2 * 0.10689f + 0.28461f) * kPrefilterSum, 1e-5);
    EXPECT_NEAR(at(gx, 1, 5), (3 * 0.10689f + 2 * 0.28461f) * kPrefilterSum, 1e-5);
    EXPECT_NEAR(at(gy, 5, kHeight - 1), (2 * 0.10689f + 0.28461f) * kPrefilterSum, 1e-5);
}

TEST(ImageGradient, FiveTapKernelsOfAnImpulseLandWhereTheConvolutionPutsThem) {
    auto gx = blank(), gy = blank();
    gx->GradientX(impulse().get(), 5);
    gy->GradientY(impulse().get(), 5);
    // out(x) = sum_i k[i] in(x - i + 2): the tap k[i] lands at x = impulse + i - 2.
    for (int i = 0; i < 5; ++i) {
        for (int j = 0; j < 5; ++j) {
            EXPECT_NEAR(at(gx, kX + i - 2, kY + j - 2), kDerivative5[i] * kPrefilter5[j], 1e-7) << i << j;
            EXPECT_NEAR(at(gy, kX + j - 2, kY + i - 2), kPrefilter5[j] * kDerivative5[i], 1e-7) << i << j;
        }
    }
    EXPECT_EQ(at(gx, kX + 3, kY), 0.0f);
}

TEST(ImageGradient, ThreeTapDifferencesHaveOppositeSigns) {
    auto gx = blank(), gy = blank(), ix = blank(), iy = blank();
    gx->GradientX(columnRamp().get(), 1);
    gy->GradientY(rowRamp().get(), 1);
    for (int i = 1; i < kHeight - 1; ++i) {
        EXPECT_FLOAT_EQ(at(gx, i, 3), 1.0f) << i;
        EXPECT_FLOAT_EQ(at(gy, 3, i), -1.0f) << i;
    }
    EXPECT_FLOAT_EQ(at(gx, 0, 3), 0.5f);
    EXPECT_FLOAT_EQ(at(gy, 3, kHeight - 1), -0.5f);
    ix->GradientX(impulse().get(), 7);  // any kernel but 5 and 2
    iy->GradientY(impulse().get(), 1);
    EXPECT_FLOAT_EQ(at(ix, kX - 1, kY), 0.5f);
    EXPECT_FLOAT_EQ(at(ix, kX + 1, kY), -0.5f);
    EXPECT_FLOAT_EQ(at(iy, kX, kY - 1), -0.5f);
    EXPECT_FLOAT_EQ(at(iy, kX, kY + 1), 0.5f);
}

TEST(ImageGradient, SobelPointsUpTheRampAndMismatchedImagesAreRefused) {
    auto gx = blank(), gy = blank();
    gx->GradientX(columnRamp().get(), 2);
    gy->GradientY(rowRamp().get(), 2);
    EXPECT_FLOAT_EQ(at(gx, 5, 5), 8.0f);
    EXPECT_FLOAT_EQ(at(gy, 5, 5), 8.0f);
    auto untouched = blank();
    untouched->GradientX(makeFilled<std::uint8_t>(kWidth, kHeight, 8, [](int x, int) { return x; }).get(), 5);
    untouched->GradientY(makeFilled<float>(5, 5, 32, [](int x, int) { return x; }).get(), 1);
    EXPECT_EQ(untouched->Norm(1), 99.0);
}

TEST(ImageSmooth, GaussianAndPrefilterSpreadAnImpulseAndKeepConstants) {
    auto gaussian = blank(), prefiltered = blank(), flat = blank();
    impulse()->Smooth(gaussian.get(), 1, nullptr);
    impulse()->Smooth(prefiltered.get(), 5, nullptr);
    EXPECT_NEAR(at(gaussian, kX, kY), kGaussianCentre * kGaussianCentre, 1e-7);
    EXPECT_NEAR(at(gaussian, kX + 1, kY), kGaussianNext * kGaussianCentre, 1e-7);
    EXPECT_NEAR(gaussian->Norm(2), 1.0, 1e-5);
    EXPECT_NEAR(at(prefiltered, kX - 2, kY + 1), kPrefilter5[0] * kPrefilter5[1], 1e-7);
    EXPECT_NEAR(at(prefiltered, kX + 3, kY), 0.0f, 1e-7);
    columnRamp()->Smooth(flat.get(), 1, nullptr);
    EXPECT_NEAR(at(flat, 10, 0), 20.0f, 1e-4);  // replicated rows above keep a column constant
}

TEST(ImageSmooth, BoxKindsAverageSevenAndFifteenPixelSquares) {
    auto box7 = blank(), box15 = blank();
    impulse()->Smooth(box7.get(), 2, nullptr);
    impulse()->Smooth(box15.get(), 3, nullptr);
    EXPECT_NEAR(at(box7, kX - 3, kY + 3), 1.0f / 49, 1e-7);
    EXPECT_NEAR(at(box7, kX + 4, kY), 0.0f, 1e-7);
    EXPECT_NEAR(at(box15, kX + 7, kY - 7), 1.0f / 225, 1e-7);
    EXPECT_NEAR(at(box15, kX, kY + 8), 0.0f, 1e-7);
}

TEST(ImageSmooth, MaskedKindDividesBySmoothedMaskClampingTinyOnes) {
    // Callers pass the image already multiplied by its mask.
    auto mask = image([](int x, int) { return x < 8 ? 1.0f : 0.0f; });
    auto masked = image([](int x, int) { return x < 8 ? 7.0f : 0.0f; });
    auto smoothed = blank();
    masked->Smooth(smoothed.get(), 4, mask.get());
    EXPECT_NEAR(at(smoothed, 7, 4), 7.0f, 1e-4);
    EXPECT_NEAR(at(smoothed, 12, 4), 7.0f, 1e-3);  // off the mask, still the masked mean
    EXPECT_NEAR(at(smoothed, 20, 4), 0.0f, 1e-7);  // no mask within reach
    auto tinyMask = image([](int, int) { return 1e-7f; });
    auto tinyImage = image([](int, int) { return 5e-7f; });
    tinyImage->Smooth(smoothed.get(), 4, tinyMask.get());
    EXPECT_NEAR(at(smoothed, 10, 8), 0.5f, 1e-4);  // 5e-7 * 1 / 1e-6, not 5e-7 / 1e-7
}

TEST(ImageSmooth, MaskedKindWithoutMaskAndUnknownKindsWriteNothing) {
    auto untouched = blank();
    for (int kind : {4, 0, 6}) impulse()->Smooth(untouched.get(), kind, nullptr);
    EXPECT_EQ(untouched->Norm(1), 99.0);
}

TEST(ImageBlur, AnchorIsTheOutputPixelsPlaceInTheBox) {
    auto blurred = blank(), untouched = blank();
    impulse()->BlurTo(blurred.get(), 3, 1, 0, 0);
    EXPECT_FLOAT_EQ(at(blurred, kX - 2, kY), 1.0f / 3);
    EXPECT_FLOAT_EQ(at(blurred, kX, kY), 1.0f / 3);
    EXPECT_FLOAT_EQ(at(blurred, kX + 1, kY), 0.0f);
    impulse()->BlurTo(untouched.get(), 3, 3, 3, 0);
    impulse()->BlurTo(untouched.get(), 0, 3, 0, 0);
    EXPECT_EQ(untouched->Norm(1), 99.0);
}

TEST(ImageErode, EachIterationGrowsADarkPixelByOneAndEdgesDoNotErode) {
    auto image = makeFilled<std::uint8_t>(12, 12, 8, [](int x, int y) { return x == 6 && y == 6 ? 0 : 200; });
    image->Erode(1);
    EXPECT_EQ(image->Norm(2), (144 - 9) * 200.0);
    image->Erode(1000000);
    EXPECT_EQ(image->Norm(1), 0.0);
    auto flat = makeFilled<float>(5, 5, 32, [](int, int) { return 3.0f; });
    flat->Erode(2);
    EXPECT_EQ(flat->Norm(2), 75.0);
}

TEST(ImageDraw, RectanglesCoverTheirCornersAndOnlyTheirVisiblePart) {
    auto image = makeFilled<std::uint8_t>(10, 10, 8, [](int, int) { return 0; });
    image->DrawRectangle(2, 3, 7, 8, 1, 255.0, false);
    EXPECT_EQ(sample<std::uint8_t>(*image, 7, 8), 255);
    EXPECT_EQ(image->Norm(2), 20 * 255.0);
    auto floats = makeFilled<float>(10, 10, 32, [](int, int) { return 0.0f; });
    floats->DrawRectangle(1, 2, 4, 3, 2, 0.5, true);
    EXPECT_EQ(floats->Norm(2), 8 * 0.5);
    floats->Set(0);
    floats->DrawRectangle(-2000000000, 2, 2000000000, 5, 1, 9.0, false);
    EXPECT_EQ(floats->Norm(2), 20 * 9.0);
    floats->DrawRectangle(3, 3, 4, 4, 1 << 30, 1.0, false);
    EXPECT_EQ(floats->Norm(2), 100.0);
}

}  // namespace
