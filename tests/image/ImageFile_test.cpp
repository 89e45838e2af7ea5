#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "image/Image.h"
#include "image/ImageTesting.h"

using image_testing::makeFilled;
using image_testing::makeImage;
using image_testing::sample;
using image_testing::scratchFile;

namespace {

std::string readFile(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Same format and bit-identical rows, padding excluded.
void expectSamePixels(const CImage& a, const CImage& b) {
    ASSERT_EQ(a.GetWidth(), b.GetWidth());
    ASSERT_EQ(a.GetHeight(), b.GetHeight());
    ASSERT_EQ(a.GetDepth() & ~IPL_DEPTH_SIGN, b.GetDepth());
    const int rowBytes = a.GetWidth() * (a.GetDepth() & 0xFF) / 8;
    for (int y = 0; y < a.GetHeight(); ++y)
        EXPECT_EQ(std::memcmp(a.GetImageData() + y * a.GetWidthStep(), b.GetImageData() + y * b.GetWidthStep(), rowBytes), 0);
}

TEST(ImageFile, GreyFloatAndSixteenBitImagesOfPaddedWidthsRoundTripBitForBit) {
    const float specials[] = {-0.0f, std::numeric_limits<float>::denorm_min(), 1e30f, -3.25f,
                              std::numeric_limits<float>::quiet_NaN()};
    std::unique_ptr<CImage> images[] = {
        makeFilled<std::uint8_t>(13, 4, 8, [](int x, int y) { return x * 19 + y * 7; }),
        makeFilled<float>(3, 5, 32, [&](int x, int y) { return specials[(x + 3 * y) % 5] + y; }),
        makeFilled<std::uint16_t>(5, 3, 16, [](int x, int y) { return 65535 - x * 4099 - y; }),
        makeFilled<std::int16_t>(3, 1, IPL_DEPTH_16S, [](int x, int) { return -x; })};
    const char* headers[] = {"P5\n13 4\n255\n", "P7\n3 5\n255\n", "P9\n5 3\n255\n", "P9\n3 1\n255\n"};
    const std::size_t pixelBytes[] = {13 * 4, 3 * 5 * 4, 5 * 3 * 2, 3 * 2};
    const std::string path = scratchFile("image");
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(images[i]->Save(path.c_str(), i % 2 ? 2 : 0), 1);
        const std::string bytes = readFile(path);
        EXPECT_EQ(bytes.substr(0, std::strlen(headers[i])), headers[i]);
        EXPECT_EQ(bytes.size(), std::strlen(headers[i]) + pixelBytes[i]);  // no row padding in files
        CImage loaded(path.c_str(), 0);
        expectSamePixels(*images[i], loaded);
    }
    EXPECT_EQ(static_cast<unsigned char>(readFile(path)[13]), 0xFF);  // -1 as little-endian 16 bits
}

TEST(ImageFile, ColourLoadsInRgbSequenceAndSavesAsRedGreenBlueText) {
    const std::string path = scratchFile("colour.ppm");
    writeFile(path, std::string("P6\n2 1\n255\n") + "\x01\x02\x03\x04\x05\x06");
    CImage image(path.c_str(), 0);
    ASSERT_EQ(image.GetNChannels(), 3);
    EXPECT_EQ(image.GetChannelSeq(), "RGB");
    EXPECT_EQ(sample<std::uint8_t>(image, 1, 0, 2), 6);
    ASSERT_EQ(image.Save(path.c_str(), 0), 1);
    EXPECT_EQ(readFile(path), "P3\n2 1\n255\n1 2 3 4 5 6 ");
    image.SetChannelSeq("BGR");
    ASSERT_EQ(image.Save(path.c_str(), 0), 1);
    EXPECT_EQ(readFile(path), "P3\n2 1\n255\n3 2 1 6 5 4 ");
}

TEST(ImageFile, OneCommentLineOfAnyLengthAfterTheMagicIsSkipped) {
    const std::string pixels = "\x0a\x20\x30\x0d\x0a\x09";
    const std::string plain = scratchFile("plain.pgm"), commented = scratchFile("commented.pgm");
    writeFile(plain, "P5\n3 2\n255\n" + pixels);
    writeFile(commented, "P5\n# camera " + std::string(300, 'x') + "\n3 2\n255\n" + pixels);
    CImage a(plain.c_str(), 0), b(commented.c_str(), 0);
    ASSERT_NE(b.GetIplImage(), nullptr);
    expectSamePixels(a, b);
}

TEST(ImageFile, MalformedFilesFailAndLeaveTheImageAsItWas) {
    const std::string bad[] = {"", "P5\n", "P5\n4 4\n255\n0123456789", "P7\n2 1\n255\n1234567",
                               "P4\n2 2\n255\nabcd", "P8\n2 2\n255\nabcd", "P3\n1 1\n255\n1 2 3 ",
                               "P5\nab 2\n255\nabcd", "P5\n2 x\n255\nabcd", "P5\n-2 2\n255\nabcd",
                               "P5\n#c\n2 -2\n255\nabcd", "P5\n2 2\n", "P5\n22\n255\nabcd",
                               "P5\n#a\n#b\n2 2\n255\nabcd", "P5\n100000 100000\n255\nabcd",
                               "P7\n20000 20000\n255\nabcd", "P5\n99999999999 1\n255\nabcd"};
    const std::string path = scratchFile("bad.pgm");
    auto image = makeFilled<std::uint8_t>(3, 2, 8, [](int x, int y) { return x + 3 * y; });
    const IplImage* header = image->GetIplImage();
    const char* pixels = image->GetImageData();
    for (const std::string& contents : bad) {
        writeFile(path, contents);
        EXPECT_EQ(image->Load(path.c_str(), 0), 0) << contents;
        EXPECT_EQ(CImage(path.c_str(), 0).GetIplImage(), nullptr) << contents;
    }
    EXPECT_EQ(image->Load(scratchFile("missing").c_str(), 0), 0);
    writeFile(path, "P5\n1 1\n255\nA");
    EXPECT_EQ(image->Load(path.c_str(), 1), 0);
    EXPECT_EQ(image->GetIplImage(), header);
    EXPECT_EQ(image->GetImageData(), pixels);
    EXPECT_EQ(image->GetWidth() * image->GetHeight(), 6);
    EXPECT_EQ(sample<std::uint8_t>(*image, 2, 1), 5);
}

TEST(ImageFile, HeaderLinesWithCrLfBlanksAndTabsLoadTheSamePixels) {
    // Pixels that look like line ends and blanks: a header read one byte short or long shows.
    const std::string pixels = "\x0a\x20\x0d\x0a\x09\x30";
    const std::string reference = scratchFile("reference.pgm"), variant = scratchFile("variant.pgm");
    writeFile(reference, "P5\n3 2\n255\n" + pixels);
    CImage expected(reference.c_str(), 0);
    ASSERT_NE(expected.GetIplImage(), nullptr);
    const std::string headers[] = {"P5\r\n3 2\r\n255\r\n", "P5\n3 2\n255 \n",   "P5\n3  2\n255\n",
                                   "P5\n3\t2\n255\n",       "P5\n 3 2 \n255\t\n", "P5\r\n#c\r\n3 2\r\n255 \r\n"};
    for (const std::string& header : headers) {
        writeFile(variant, header + pixels);
        CImage loaded(variant.c_str(), 0);
        ASSERT_NE(loaded.GetIplImage(), nullptr) << header;
        expectSamePixels(expected, loaded);
    }
}

TEST(ImageFile, JunkAfterANumberAndEmptyOrHugeSizesAreRefusedWithTheirReason) {
    const std::string path = scratchFile("junk.pgm");
    const std::pair<std::string, std::string> cases[] = {
        {"P5\n4 3junk\n255\n" + std::string(12, 'a'), "width height"},
        {"P5\n4 3 7\n255\n" + std::string(12, 'a'), "width height"},
        {"P5\n4 3\n255x\n" + std::string(12, 'a'), "maximum value"},
        {"P5\n4 3\n255 " + std::string(12, 'a'), "maximum value"},
        {"P5\n0 2147483647\n255\n", "size 0 x 2147483647"},
        {"P7\n16385 1\n255\n", "size 16385 x 1"},
        {"P5\n8192 8192\n255\n", "size 8192 x 8192"},
        {"P5\n4 3\n255\nabc", "truncated"},
        {"Q1\n", "not an image file"}};
    for (const auto& [contents, reason] : cases) {
        writeFile(path, contents);
        CImage image;
        std::string why;
        EXPECT_EQ(image.Load(path.c_str(), 0, &why), 0) << contents;
        EXPECT_NE(why.find(reason), std::string::npos) << contents << " -> " << why;
    }
    std::string why;
    EXPECT_EQ(CImage().Load(scratchFile("missing").c_str(), 0, &why), 0);
    EXPECT_NE(why.find("does not open"), std::string::npos) << why;
}

TEST(ImageFile, DevicesAndPipesAreRefusedWithoutBeingRead) {
    const std::string fifo = scratchFile("frame.fifo");
    std::remove(fifo.c_str());
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {std::string("/dev/zero"), fifo}) {
        std::string why;
        EXPECT_EQ(CImage().Load(path.c_str(), 0, &why), 0) << path;  // neither blocks nor reads forever
        EXPECT_EQ(why, "not a regular file") << path;
    }
    std::remove(fifo.c_str());
}

TEST(ImageFile, SaveRefusesOtherCodesAndFormatsWithoutCreatingAFile) {
    const std::string path = scratchFile("refused.pgm");
    std::remove(path.c_str());
    EXPECT_EQ(makeImage(2, 2, 8, 4)->Save(path.c_str(), 0), 0);
    EXPECT_EQ(makeImage(2, 2, 1)->Save(path.c_str(), 0), 0);
    EXPECT_EQ(makeImage(2, 2, 8)->Save(path.c_str(), 1), 0);
    EXPECT_FALSE(std::ifstream(path).good());
    EXPECT_EQ(makeImage(2, 2, 8)->Save((path + ".missing/x.pgm").c_str(), 0), 0);
}

}  // namespace
