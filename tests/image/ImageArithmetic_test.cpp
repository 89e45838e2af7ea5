#include <cstdint>
#include <memory>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "image/ImageTesting.h"

using image_testing::makeFilled;
using image_testing::sample;

namespace {

using Byte = std::uint8_t;

std::unique_ptr<CImage> bytes(Byte value) { return makeFilled<Byte>(3, 2, 8, [=](int, int) { return value; }); }
std::unique_ptr<CImage> floats(float value) { return makeFilled<float>(3, 2, 32, [=](int, int) { return value; }); }

Byte byteAt(const std::unique_ptr<CImage>& image) { return sample<Byte>(*image, 2, 1); }
float floatAt(const std::unique_ptr<CImage>& image) { return sample<float>(*image, 2, 1); }

TEST(ImageTwoOperands, AddSaturatesBytesAndAddsFloats) {
    auto a = bytes(200);
    a->Add(bytes(100).get());
    EXPECT_EQ(byteAt(a), 255);
    auto f = floats(1.5f);
    f->Add(floats(-4.0f).get());
    EXPECT_EQ(floatAt(f), -2.5f);
}

TEST(ImageTwoOperands, SubtractTakesTheOtherFromThisAndStopsBytesAtZero) {
    auto a = bytes(10);
    a->Subtract(bytes(3).get());
    EXPECT_EQ(byteAt(a), 7);
    a->Subtract(bytes(20).get());
    EXPECT_EQ(byteAt(a), 0);
    auto f = floats(1.0f);
    f->Subtract(floats(3.0f).get());
    EXPECT_EQ(floatAt(f), -2.0f);
}

TEST(ImageTwoOperands, MultiplySaturatesBytesAndMultipliesFloats) {
    auto a = bytes(12);
    a->Multiply(bytes(20).get());
    EXPECT_EQ(byteAt(a), 240);
    a->Multiply(bytes(2).get());
    EXPECT_EQ(byteAt(a), 255);
    auto f = floats(0.5f);
    f->Multiply(floats(-3.0f).get());
    EXPECT_EQ(floatAt(f), -1.5f);
}

TEST(ImageTwoOperands, ExplicitFormsWriteFirstOperandOpSecond) {
    auto result = bytes(0);
    result->Subtract(bytes(9).get(), bytes(4).get());
    EXPECT_EQ(byteAt(result), 5);
    result->Multiply(bytes(9).get(), bytes(4).get());
    EXPECT_EQ(byteAt(result), 36);
    auto f = floats(0.0f);
    f->Subtract(floats(1.0f).get(), floats(4.0f).get());
    EXPECT_EQ(floatAt(f), -3.0f);
    f->Multiply(floats(1.5f).get(), floats(4.0f).get());
    EXPECT_EQ(floatAt(f), 6.0f);
}

TEST(ImageTwoOperands, AndCombinesTheBitsOfBytes) {
    auto a = bytes(0xF0);
    a->And(bytes(0x3C).get());
    EXPECT_EQ(byteAt(a), 0x30);
}

TEST(ImageTwoOperands, MismatchedOperandsLeaveThisUnchanged) {
    auto a = bytes(5);
    a->Add(floats(1.0f).get());
    a->Add(makeFilled<Byte>(4, 2, 8, [](int, int) { return 1; }).get());
    a->Add(nullptr);
    EXPECT_EQ(byteAt(a), 5);
}

TEST(ImageTwoOperands, RegionsSelectThePixelsThatTakePart) {
    auto a = makeFilled<float>(4, 1, 32, [](int x, int) { return x; });
    auto b = makeFilled<float>(2, 1, 32, [](int, int) { return 100.0f; });
    CImageROI region(2, 0, 2, 1, 0);
    a->SetROI(&region);
    a->Add(b.get());
    a->SetROI(nullptr);
    EXPECT_EQ(sample<float>(*a, 1, 0), 1.0f);
    EXPECT_EQ(sample<float>(*a, 2, 0), 102.0f);
    EXPECT_EQ(sample<float>(*a, 3, 0), 103.0f);
}

TEST(ImageScalars, IntegerImagesTruncateTheScalarTowardZero) {
    auto a = bytes(10);
    a->AddS(-1.7f);
    EXPECT_EQ(byteAt(a), 9);
    a->AddS(2.9f);
    EXPECT_EQ(byteAt(a), 11);
    a->MultiplyS(0.5f);
    EXPECT_EQ(byteAt(a), 0);
    auto b = bytes(10);
    b->MultiplyS(2.9f);
    EXPECT_EQ(byteAt(b), 20);
    b->SubtractS(2.9f, false);
    EXPECT_EQ(byteAt(b), 18);
    b->SubtractS(20.9f, true);
    EXPECT_EQ(byteAt(b), 2);
}

TEST(ImageScalars, FloatImagesUseTheScalarAsGiven) {
    auto f = floats(10.0f);
    f->AddS(-1.75f);
    EXPECT_EQ(floatAt(f), 8.25f);
    f->MultiplyS(0.5f);
    EXPECT_EQ(floatAt(f), 4.125f);
    f->SubtractS(0.125f, false);
    EXPECT_EQ(floatAt(f), 4.0f);
    f->SubtractS(1.0f, true);
    EXPECT_EQ(floatAt(f), -3.0f);
    f->SubtractSFP(1.0f, true);
    EXPECT_EQ(floatAt(f), 4.0f);
    f->MultiplySFP(-0.25f);
    EXPECT_EQ(floatAt(f), -1.0f);
}

TEST(ImageScalars, IntegerResultsSaturate) {
    auto a = bytes(250);
    a->AddS(10.0f);
    EXPECT_EQ(byteAt(a), 255);
    a->SubtractS(300.0f, false);
    EXPECT_EQ(byteAt(a), 0);
    auto s = makeFilled<std::int16_t>(2, 1, IPL_DEPTH_16S, [](int, int) { return 100; });
    s->MultiplyS(-1.5f);
    EXPECT_EQ(sample<std::int16_t>(*s, 1, 0), -100);
    s->MultiplyS(1000.0f);
    EXPECT_EQ(sample<std::int16_t>(*s, 1, 0), -32768);
}

TEST(ImageScalars, FloatOnlyFormsLeaveIntegerImagesAlone) {
    auto a = bytes(10);
    a->SubtractSFP(1.0f, false);
    a->MultiplySFP(3.0f);
    EXPECT_EQ(byteAt(a), 10);
}

TEST(ImageFill, SetWritesEverySampleOfEveryDepth) {
    auto a = bytes(0);
    a->Set(77);
    EXPECT_EQ(byteAt(a), 77);
    auto f = floats(0.0f);
    f->Set(-3);
    EXPECT_EQ(floatAt(f), -3.0f);
    auto colour = image_testing::makeImage(2, 2, 16, 3);
    colour->Set(1000);
    EXPECT_EQ(sample<std::uint16_t>(*colour, 1, 1, 2), 1000);
}

TEST(ImageInvThresh, InvertsEveryPixelOfPaddedRowsAndClampsSmallValues) {
    const float values[] = {2.0f, -4.0f, 0.0f, 1e-9f, -1e-9f};
    auto image = makeFilled<float>(5, 3, 32, [&](int x, int) { return values[x]; });
    image->InvThresh(1e-6f);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(sample<float>(*image, 0, y), 0.5f);
        EXPECT_EQ(sample<float>(*image, 1, y), -0.25f);
        EXPECT_FLOAT_EQ(sample<float>(*image, 2, y), 1e6f);
        EXPECT_FLOAT_EQ(sample<float>(*image, 3, y), 1e6f);
        EXPECT_FLOAT_EQ(sample<float>(*image, 4, y), -1e6f) << "row " << y;
    }
}

}  // namespace
