#include "acquisition/ImageFileReader.h"

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class ImageFileReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("vantorel_reader_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Path(const char* name) const { return (dir / name).string(); }

    fs::path dir;
};

TEST_F(ImageFileReaderTest, DeliversRgbaColourTopRowFirstAndRangeAsStored) {
    const std::vector<unsigned char> rgb = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120};  // 2 x 2
    const std::vector<float> inverseDepth = {0.5f, 0.25f, 2.0f, 0.0f};
    ASSERT_EQ(ILsave(Path("a.iff").c_str(), 2, 2, IL_TYPE_COLOR | IL_TYPE_RANGE, rgb.data(), inverseDepth.data()), 0);

    CImageFileReader reader;
    ASSERT_TRUE(reader.Open(Path("a.iff").c_str()));
    EXPECT_TRUE(reader.IsColor());
    EXPECT_TRUE(reader.HasRange());
    EXPECT_FALSE(reader.IsGray());
    EXPECT_FALSE(reader.HasAlpha());
    EXPECT_EQ(reader.GetBpp(), 1);
    int width = 0, height = 0;
    ASSERT_TRUE(reader.GetSize(width, height));
    EXPECT_EQ(width, 2);
    EXPECT_EQ(height, 2);
    ASSERT_TRUE(reader.Read());
    ASSERT_NE(reader.GetColorBuffer(), nullptr);
    ASSERT_NE(reader.GetRangeBuffer(), nullptr);
    EXPECT_EQ(reader.GetColorBufferBytes(), 2u * 2u * 1u * 4u);
    const unsigned char* colour = reader.GetColorBuffer();
    EXPECT_EQ(colour[0], 10);
    EXPECT_EQ(colour[3], 255);  // alpha added
    EXPECT_EQ(colour[4], 40);
    EXPECT_EQ(colour[8], 70);   // second row follows the first: not flipped
    EXPECT_EQ(colour[14], 120);
    EXPECT_FLOAT_EQ(reader.GetRangeBuffer()[0], 0.5f);  // 1/Z, not Z
    EXPECT_FLOAT_EQ(reader.GetRangeBuffer()[2], 2.0f);
    EXPECT_FLOAT_EQ(reader.GetRangeBuffer()[3], 0.0f);
}

TEST_F(ImageFileReaderTest, GrayFilesFillTheStartOfTheColourBuffer) {
    const std::vector<unsigned char> gray = {1, 2, 3, 4, 5, 6};  // 3 x 2
    ASSERT_EQ(ILsave(Path("g.iff").c_str(), 3, 2, IL_TYPE_GRAY, gray.data(), nullptr), 0);
    CImageFileReader reader;
    ASSERT_TRUE(reader.Open(Path("g.iff").c_str()));
    ASSERT_TRUE(reader.Read());
    EXPECT_TRUE(reader.IsGray());
    EXPECT_FALSE(reader.IsColor());
    EXPECT_FALSE(reader.HasRange());
    EXPECT_EQ(reader.GetRangeBuffer(), nullptr);
    ASSERT_NE(reader.GetColorBuffer(), nullptr);
    EXPECT_EQ(std::vector<unsigned char>(reader.GetColorBuffer(), reader.GetColorBuffer() + 6), gray);
}

TEST_F(ImageFileReaderTest, ReadsOnceAndFreesItsBuffersOnTheNextOpen) {
    const std::vector<float> inverseDepth = {1.0f, 1.0f};
    ASSERT_EQ(ILsave(Path("r.iff").c_str(), 2, 1, IL_TYPE_RANGE, nullptr, inverseDepth.data()), 0);
    CImageFileReader reader;
    EXPECT_FALSE(reader.Read());  // nothing open
    ASSERT_TRUE(reader.Open(Path("r.iff").c_str()));
    ASSERT_TRUE(reader.Read());
    EXPECT_FALSE(reader.Read());  // buffers exist already
    EXPECT_EQ(reader.GetColorBuffer(), nullptr);

    EXPECT_FALSE(reader.Open(Path("missing.iff").c_str()));
    EXPECT_EQ(reader.GetRangeBuffer(), nullptr);
    EXPECT_FALSE(reader.HasRange());
    EXPECT_EQ(reader.GetBpp(), -1);
    int width = 7, height = 7;
    EXPECT_FALSE(reader.GetSize(width, height));
    EXPECT_EQ(width, 7);
}

TEST_F(ImageFileReaderTest, RefusesATruncatedFile) {
    const std::vector<float> inverseDepth(16, 0.5f);
    ASSERT_EQ(ILsave(Path("t.iff").c_str(), 4, 4, IL_TYPE_RANGE, nullptr, inverseDepth.data()), 0);
    fs::resize_file(Path("t.iff"), fs::file_size(Path("t.iff")) - 8);
    CImageFileReader reader;
    EXPECT_FALSE(reader.Open(Path("t.iff").c_str()) && reader.Read());
}

}  // namespace
