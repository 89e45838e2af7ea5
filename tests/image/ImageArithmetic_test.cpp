#include <cstdint>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "image/ImageTesting.h"

using image_testing::makeFilled;
using image_testing::sample;

namespace {

using Byte = std::uint8_t;

std::unique_ptr<CImage> bytes(int value) { return makeFilled<Byte>(3, 2, 8, [=](int, int) { return value; }); }
std::unique_ptr<CImage> floats(float value) { return makeFilled<float>(3, 2, 32, [=](int, int) { return value; }); }

// The last pixel after applying operation to an image filled with start.
int onBytes(int start, const std::function<void(CImage&)>& operation) {
    auto image = bytes(start);
    operation(*image);
    return sample<Byte>(*image, 2, 1);
}
float onFloats(float start, const std::function<void(CImage&)>& operation) {
    auto image = floats(start);
    operation(*image);
    return sample<float>(*image, 2, 1);
}

TEST(ImageArithmetic, TwoOperandFormsSaturateBytesAndComputeFloats) {
    EXPECT_EQ(onBytes(200, [](CImage& a) { a.Add(bytes(100).get()); }), 255);
    EXPECT_EQ(onBytes(10, [](CImage& a) { a.Subtract(bytes(3).get()); }), 7);
    EXPECT_EQ(onBytes(10, [](CImage& a) { a.Subtract(bytes(20).get()); }), 0);
    EXPECT_EQ(onBytes(12, [](CImage& a) { a.Multiply(bytes(20).get()); }), 240);
    EXPECT_EQ(onBytes(12, [](CImage& a) { a.Multiply(bytes(30).get()); }), 255);
    EXPECT_EQ(onBytes(0, [](CImage& a) { a.Subtract(bytes(9).get(), bytes(4).get()); }), 5);
    EXPECT_EQ(onBytes(0, [](CImage& a) { a.Multiply(bytes(9).get(), bytes(4).get()); }), 36);
    EXPECT_EQ(onBytes(0xF0, [](CImage& a) { a.And(bytes(0x3C).get()); }), 0x30);
    EXPECT_EQ(onFloats(1.5f, [](CImage& a) { a.Add(floats(-4.0f).get()); }), -2.5f);
    EXPECT_EQ(onFloats(1.0f, [](CImage& a) { a.Subtract(floats(3.0f).get()); }), -2.0f);
    EXPECT_EQ(onFloats(0.5f, [](CImage& a) { a.Multiply(floats(-3.0f).get()); }), -1.5f);
    EXPECT_EQ(onFloats(0.0f, [](CImage& a) { a.Subtract(floats(1.0f).get(), floats(4.0f).get()); }), -3.0f);
    EXPECT_EQ(onFloats(0.0f, [](CImage& a) { a.Multiply(floats(1.5f).get(), floats(4.0f).get()); }), 6.0f);
}

TEST(ImageArithmetic, ScalarFormsTruncateTowardZeroOnIntegerImagesOnly) {
    EXPECT_EQ(onBytes(10, [](CImage& a) { a.AddS(-1.7f); }), 9);
    EXPECT_EQ(onBytes(10, [](CImage& a) { a.MultiplyS(0.5f); }), 0);
    EXPECT_EQ(onBytes(10, [](CImage& a) { a.MultiplyS(2.9f); }), 20);
    EXPECT_EQ(onBytes(10, [](CImage& a) { a.SubtractS(2.9f, false); }), 8);
    EXPECT_EQ(onBytes(10, [](CImage& a) { a.SubtractS(20.9f, true); }), 10);
    EXPECT_EQ(onBytes(250, [](CImage& a) { a.AddS(10.0f); }), 255);
    EXPECT_EQ(onBytes(10, [](CImage& a) { a.SubtractSFP(1.0f, false); a.MultiplySFP(3.0f); }), 10);
    EXPECT_EQ(onFloats(10.0f, [](CImage& a) { a.AddS(-1.75f); }), 8.25f);
    EXPECT_EQ(onFloats(10.0f, [](CImage& a) { a.MultiplyS(0.5f); }), 5.0f);
    EXPECT_EQ(onFloats(4.0f, [](CImage& a) { a.SubtractS(1.0f, true); }), -3.0f);
    EXPECT_EQ(onFloats(4.0f, [](CImage& a) { a.SubtractSFP(0.25f, false); }), 3.75f);
    EXPECT_EQ(onFloats(4.0f, [](CImage& a) { a.MultiplySFP(-0.25f); }), -1.0f);
    auto signedImage = makeFilled<std::int16_t>(2, 1, IPL_DEPTH_16S, [](int, int) { return 100; });
    signedImage->MultiplyS(-1.5f);
    EXPECT_EQ(sample<std::int16_t>(*signedImage, 1, 0), -100);
}

TEST(ImageArithmetic, SetFillsAndMismatchedOperandsChangeNothing) {
    EXPECT_EQ(onBytes(0, [](CImage& a) { a.Set(77); }), 77);
    EXPECT_EQ(onFloats(0, [](CImage& a) { a.Set(-3); }), -3.0f);
    EXPECT_EQ(onBytes(5, [](CImage& a) { a.Add(floats(1.0f).get()); }), 5);
    EXPECT_EQ(onBytes(5, [](CImage& a) { a.Add(makeFilled<Byte>(4, 2, 8, [](int, int) { return 1; }).get()); }), 5);
    EXPECT_EQ(onBytes(5, [](CImage& a) { a.Add(nullptr); }), 5);
}

TEST(ImageArithmetic, RegionsSelectThePixelsThatTakePart) {
    auto a = makeFilled<float>(4, 1, 32, [](int x, int) { return x; });
    CImageROI region(2, 0, 2, 1, 0);
    a->SetROI(&region);
    a->Add(makeFilled<float>(2, 1, 32, [](int, int) { return 100.0f; }).get());
    a->SetROI(nullptr);
    EXPECT_EQ(sample<float>(*a, 1, 0), 1.0f);
    EXPECT_EQ(sample<float>(*a, 2, 0), 102.0f);
}

TEST(ImageArithmetic, InvThreshInvertsEveryPixelOfPaddedRowsAndClampsSmallValues) {
    const float values[] = {2.0f, -4.0f, 0.0f, 1e-9f, -1e-9f};
    const float expected[] = {0.5f, -0.25f, 1e6f, 1e6f, -1e6f};
    auto image = makeFilled<float>(5, 3, 32, [&](int x, int) { return values[x]; });
    image->InvThresh(1e-6f);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) EXPECT_FLOAT_EQ(sample<float>(*image, x, y), expected[x]) << x << "," << y;
}

}  // namespace
