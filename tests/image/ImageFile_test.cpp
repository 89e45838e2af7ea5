#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "image/ImageTesting.h"

using image_testing::makeFilled;
using image_testing::makeImage;
using image_testing::sample;
using image_testing::scratchFile;

namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Same size and bit-identical rows (padding excluded).
void expectSamePixels(const CImage& a, const CImage& b) {
    ASSERT_EQ(a.GetWidth(), b.GetWidth());
    ASSERT_EQ(a.GetHeight(), b.GetHeight());
    ASSERT_EQ(a.GetDepth(), b.GetDepth());
    ASSERT_EQ(a.GetNChannels(), b.GetNChannels());
    const int rowBytes = a.GetWidth() * a.GetNChannels() * (a.GetDepth() / 8);
    for (int y = 0; y < a.GetHeight(); ++y)
        EXPECT_EQ(std::memcmp(a.GetImageData() + y * a.GetWidthStep(), b.GetImageData() + y * b.GetWidthStep(),
                              rowBytes),
                  0)
            << "row " << y;
}

TEST(ImageFileRoundTrip, GreyBytesOfAPaddedWidthComeBackBitForBit) {
    auto image = makeFilled<std::uint8_t>(13, 4, 8, [](int x, int y) { return x * 19 + y * 7; });
    const std::string path = scratchFile("grey.pgm");
    ASSERT_EQ(image->Save(path.c_str(), 0), 1);
    EXPECT_EQ(readFile(path), "P5\n13 4\n255\n" + readFile(path).substr(12));
    EXPECT_EQ(readFile(path).size(), 12u + 13 * 4);  // no row padding in the file
    CImage loaded(path.c_str(), 2);
    expectSamePixels(*image, loaded);
    EXPECT_EQ(loaded.GetChannelSeq(), "GRAY");
}

TEST(ImageFileRoundTrip, FloatsComeBackBitForBitAndTheHeaderSays255) {
    const float specials[] = {-0.0f, std::numeric_limits<float>::denorm_min(), 1e30f, -3.25f,
                              std::numeric_limits<float>::quiet_NaN()};
    auto image = makeFilled<float>(3, 5, 32, [&](int x, int y) { return specials[(x + 3 * y) % 5] + y; });
    const std::string path = scratchFile("depth.pfm");
    ASSERT_EQ(image->Save(path.c_str(), 0), 1);
    EXPECT_EQ(readFile(path).substr(0, 11), "P7\n3 5\n255\n");
    CImage loaded(10, 10, 8, 1, 0);
    ASSERT_EQ(loaded.Load(path.c_str(), 0), 1);
    EXPECT_EQ(loaded.GetDepth(), 32);
    expectSamePixels(*image, loaded);
}

TEST(ImageFileRoundTrip, SixteenBitSamplesComeBackBitForBit) {
    auto image = makeFilled<std::uint16_t>(5, 3, 16, [](int x, int y) { return 65535 - x * 4099 - y; });
    const std::string path = scratchFile("disparity.pgm");
    ASSERT_EQ(image->Save(path.c_str(), 2), 1);
    EXPECT_EQ(readFile(path).substr(0, 11), "P9\n5 3\n255\n");
    EXPECT_EQ(static_cast<unsigned char>(readFile(path)[11]), 0xFF);  // little-endian 65535
    CImage loaded(path.c_str(), 0);
    expectSamePixels(*image, loaded);
}

TEST(ImageFileRoundTrip, SignedSixteenBitImagesAreSavedAsTheirRawBits) {
    auto image = makeFilled<std::int16_t>(2, 1, IPL_DEPTH_16S, [](int x, int) { return x ? -2 : 3; });
    const std::string path = scratchFile("signed.pgm");
    ASSERT_EQ(image->Save(path.c_str(), 0), 1);
    CImage loaded(path.c_str(), 0);
    EXPECT_EQ(loaded.GetDepth(), 16);
    EXPECT_EQ(sample<std::uint16_t>(loaded, 1, 0), 65534);
}

TEST(ImageFileLoad, ColourFileLoadsWithRgbChannelSequence) {
    const std::string path = scratchFile("colour.ppm");
    writeFile(path, std::string("P6\n2 1\n255\n") + "\x01\x02\x03\x04\x05\x06");
    CImage image(path.c_str(), 0);
    ASSERT_NE(image.GetIplImage(), nullptr);
    EXPECT_EQ(image.GetNChannels(), 3);
    EXPECT_EQ(image.GetDepth(), 8);
    EXPECT_EQ(image.GetChannelSeq(), "RGB");
    EXPECT_EQ(sample<std::uint8_t>(image, 1, 0, 0), 4);
    EXPECT_EQ(sample<std::uint8_t>(image, 1, 0, 2), 6);
}

TEST(ImageFileLoad, OneCommentLineAfterTheMagicIsSkipped) {
    const std::string pixels = "\x0a\x20\x30\x0d\x0a\x09";
    const std::string plain = scratchFile("plain.pgm");
    const std::string commented = scratchFile("commented.pgm");
    writeFile(plain, "P5\n3 2\n255\n" + pixels);
    writeFile(commented, "P5\n# written by a camera, " + std::string(300, 'x') + "\n3 2\n255\n" + pixels);
    CImage a(plain.c_str(), 0);
    CImage b(commented.c_str(), 0);
    ASSERT_NE(b.GetIplImage(), nullptr);
    expectSamePixels(a, b);
    EXPECT_EQ(sample<std::uint8_t>(b, 0, 1), 0x0d);
}

TEST(ImageFileLoad, SavedColourIsPlainTextInRedGreenBlueOrder) {
    auto image = makeImage(2, 1, 8, 3);
    const std::uint8_t bgr[] = {10, 20, 30, 0, 5, 255};
    std::memcpy(image->GetImageData(), bgr, sizeof bgr);
    const std::string path = scratchFile("colour.ppm");
    ASSERT_EQ(image->Save(path.c_str(), 0), 1);
    EXPECT_EQ(readFile(path), "P3\n2 1\n255\n30 20 10 255 5 0 ");
    image->SetChannelSeq("RGB");
    ASSERT_EQ(image->Save(path.c_str(), 0), 1);
    EXPECT_EQ(readFile(path), "P3\n2 1\n255\n10 20 30 0 5 255 ");
}

class ImageFileMalformed : public ::testing::TestWithParam<std::pair<const char*, std::string>> {};

TEST_P(ImageFileMalformed, FailsAndLeavesTheImageAsItWas) {
    const std::string path = scratchFile("bad.pgm");
    writeFile(path, GetParam().second);
    auto image = makeFilled<std::uint8_t>(3, 2, 8, [](int x, int y) { return x + 3 * y; });
    const IplImage* before = image->GetIplImage();
    const char* data = image->GetImageData();
    EXPECT_EQ(image->Load(path.c_str(), 0), 0);
    EXPECT_EQ(image->GetIplImage(), before);
    EXPECT_EQ(image->GetImageData(), data);
    EXPECT_EQ(image->GetWidth(), 3);
    EXPECT_EQ(image->GetDepth(), 8);
    EXPECT_EQ(sample<std::uint8_t>(*image, 2, 1), 5);
    CImage fresh(path.c_str(), 0);
    EXPECT_EQ(fresh.GetIplImage(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ImageFileMalformed,
    ::testing::Values(std::make_pair("Empty", std::string()),
                      std::make_pair("MagicOnly", std::string("P5\n")),
                      std::make_pair("TruncatedPixelBlock", std::string("P5\n4 4\n255\n0123456789")),
                      std::make_pair("TruncatedFloatRow", std::string("P7\n2 1\n255\n1234567")),
                      std::make_pair("BitmapMagic", std::string("P4\n2 2\n255\nabcd")),
                      std::make_pair("UnknownEightMagic", std::string("P8\n2 2\n255\nabcd")),
                      std::make_pair("TextColourMagic", std::string("P3\n1 1\n255\n1 2 3 ")),
                      std::make_pair("NonNumericWidth", std::string("P5\nab 2\n255\nabcd")),
                      std::make_pair("NonNumericHeight", std::string("P5\n2 x\n255\nabcd")),
                      std::make_pair("NegativeWidth", std::string("P5\n-2 2\n255\nabcd")),
                      std::make_pair("NegativeHeightAfterComment", std::string("P5\n#c\n2 -2\n255\nabcd")),
                      std::make_pair("MissingMaximum", std::string("P5\n2 2\n")),
                      std::make_pair("NoSpaceBetweenSizes", std::string("P5\n22\n255\nabcd")),
                      std::make_pair("TwoCommentLines", std::string("P5\n#a\n#b\n2 2\n255\nabcd")),
                      std::make_pair("PixelCountOverflows", std::string("P5\n100000 100000\n255\nabcd")),
                      std::make_pair("HugeButFitting", std::string("P7\n20000 20000\n255\nabcd")),
                      std::make_pair("SizeBeyondInt", std::string("P5\n99999999999 1\n255\nabcd"))),
    [](const auto& info) { return std::string(info.param.first); });

TEST(ImageFileLoad, RefusesMissingFilesAndOtherFormatCodes) {
    const std::string path = scratchFile("good.pgm");
    writeFile(path, "P5\n1 1\n255\nA");
    CImage image(4, 4, 8, 1, 0);
    EXPECT_EQ(image.Load(scratchFile("missing.pgm").c_str(), 0), 0);
    EXPECT_EQ(image.Load(path.c_str(), 1), 0);
    EXPECT_EQ(image.Load(nullptr, 0), 0);
    EXPECT_EQ(image.GetWidth(), 4);
    EXPECT_EQ(image.Load(path.c_str(), 2), 1);
    EXPECT_EQ(image.GetWidth(), 1);
}

TEST(ImageFileSave, RefusesOtherFormatCodesAndUnsupportedImagesWithoutWriting) {
    const std::string path = scratchFile("refused.pgm");
    std::remove(path.c_str());
    auto colourWithAlpha = makeImage(2, 2, 8, 4);
    auto bits = makeImage(2, 2, 1);
    auto grey = makeImage(2, 2, 8);
    EXPECT_EQ(colourWithAlpha->Save(path.c_str(), 0), 0);
    EXPECT_EQ(bits->Save(path.c_str(), 0), 0);
    EXPECT_EQ(grey->Save(path.c_str(), 1), 0);
    EXPECT_FALSE(std::ifstream(path).good());
    EXPECT_EQ(grey->Save((scratchFile("no-such-folder") + "/x.pgm").c_str(), 0), 0);
}

TEST(ImageFileLoad, LoadDropsTheRegionOfTheReplacedHeader) {
    const std::string path = scratchFile("small.pgm");
    writeFile(path, "P5\n2 1\n255\nAB");
    auto image = makeImage(8, 8, 8);
    CImageROI region(0, 0, 4, 4, 0);
    image->SetROI(&region);
    ASSERT_EQ(image->Load(path.c_str(), 0), 1);
    EXPECT_EQ(image->GetROI(), nullptr);
    EXPECT_EQ(image->GetIplImage()->roi, nullptr);
    EXPECT_EQ(image->Norm(2), 'A' + 'B');
}

}  // namespace
