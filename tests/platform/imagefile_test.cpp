#include "platform/imagefile/imagefile.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class ImageFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vantorel_iff_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const char* name) const { return (dir_ / name).string(); }

    fs::path dir_;
};

TEST_F(ImageFileTest, ColourAndRangeRoundTripThroughTheReaderControls) {
    const int w = 3, h = 2;
    const std::vector<unsigned char> rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    const std::vector<float> inverse = {0.5f, 0.25f, 0.0f, 1e-3f, 2.0f, 4.0f};
    ASSERT_EQ(ILsave(path("c.iff").c_str(), w, h, IL_TYPE_COLOR | IL_TYPE_RANGE, rgb.data(), inverse.data()), 0);

    ILfile* file = ILopen(path("c.iff").c_str(), "r");
    ASSERT_NE(file, nullptr);
    int width = 0, height = 0;
    ASSERT_EQ(ILgetsize(file, &width, &height), 0);
    EXPECT_EQ(width, w);
    EXPECT_EQ(height, h);
    EXPECT_EQ(ILgetbpp(file), 1);
    EXPECT_EQ(ILgettype(file), IL_TYPE_COLOR | IL_TYPE_RANGE);
    ASSERT_EQ(ILctrl(file, IL_CTRL_RGBA, 1), 0);
    ASSERT_EQ(ILctrl(file, IL_CTRL_DEPTH, 1), 0);
    std::vector<unsigned char> pixels(w * h * 4);
    std::vector<float> range(w * h);
    ASSERT_EQ(ILload(file, pixels.data(), range.data()), 0);
    EXPECT_EQ(pixels[0], 1);
    EXPECT_EQ(pixels[3], 255);  // alpha
    EXPECT_EQ(pixels[4], 4);
    EXPECT_EQ(pixels[4 * 5 + 2], 18);
    EXPECT_FLOAT_EQ(range[0], 2.0f);
    EXPECT_FLOAT_EQ(range[2], 0.0f);  // nothing measured stays 0
    EXPECT_FLOAT_EQ(range[3], 1000.0f);

    ASSERT_EQ(ILctrl(file, IL_CTRL_DEPTH, 0), 0);
    ASSERT_EQ(ILctrl(file, IL_CTRL_FLIP, 1), 0);
    ASSERT_EQ(ILload(file, nullptr, range.data()), 0);
    EXPECT_FLOAT_EQ(range[0], 1e-3f);  // bottom row first, stored inverse depth
    EXPECT_EQ(ILclose(file), 0);
}

TEST_F(ImageFileTest, GrayPixelsArePacked) {
    const std::vector<unsigned char> gray = {10, 20, 30, 40};
    ASSERT_EQ(ILsave(path("g.iff").c_str(), 2, 2, IL_TYPE_GRAY, gray.data(), nullptr), 0);
    ILfile* file = ILopen(path("g.iff").c_str(), "r");
    ASSERT_NE(file, nullptr);
    ILctrl(file, IL_CTRL_RGBA, 1);
    std::vector<unsigned char> pixels(16, 0);
    ASSERT_EQ(ILload(file, pixels.data(), nullptr), 0);
    EXPECT_EQ(std::vector<unsigned char>(pixels.begin(), pixels.begin() + 4), gray);
    ILclose(file);
}

TEST_F(ImageFileTest, RefusesFilesThatDoNotMatchTheirHeader) {
    const std::vector<unsigned char> gray(100, 7);
    ASSERT_EQ(ILsave(path("ok.iff").c_str(), 10, 10, IL_TYPE_GRAY, gray.data(), nullptr), 0);
    fs::resize_file(path("ok.iff"), 24 + 99);
    EXPECT_EQ(ILopen(path("ok.iff").c_str(), "r"), nullptr);  // truncated

    std::ofstream(path("text.iff")) << "not an image at all, just some text";
    EXPECT_EQ(ILopen(path("text.iff").c_str(), "r"), nullptr);
    std::ofstream(path("empty.iff")).close();
    EXPECT_EQ(ILopen(path("empty.iff").c_str(), "r"), nullptr);
    EXPECT_EQ(ILopen(path("missing.iff").c_str(), "r"), nullptr);
    EXPECT_EQ(ILopen(path("ok.iff").c_str(), "w"), nullptr);

    // A header claiming a huge image is refused before anything is allocated.
    std::ofstream huge(path("huge.iff"), std::ios::binary);
    const unsigned char header[24] = {'V', 'I', 'F', 'F', 1, 0, 0, 0, 0xFF, 0xFF, 0, 0,
                                      0xFF, 0xFF, 0, 0, 1, 0, 0, 0, 0x10, 0, 0, 0};
    huge.write(reinterpret_cast<const char*>(header), 24);
    huge.close();
    EXPECT_EQ(ILopen(path("huge.iff").c_str(), "r"), nullptr);
}

TEST_F(ImageFileTest, NullHandlesAndBadControlsAreRefused) {
    EXPECT_EQ(ILgettype(nullptr), -1);
    EXPECT_EQ(ILgetbpp(nullptr), -1);
    EXPECT_EQ(ILclose(nullptr), -1);
    EXPECT_EQ(ILload(nullptr, nullptr, nullptr), -1);
    const std::vector<unsigned char> gray(4, 1);
    ASSERT_EQ(ILsave(path("g.iff").c_str(), 2, 2, IL_TYPE_GRAY, gray.data(), nullptr), 0);
    ILfile* file = ILopen(path("g.iff").c_str(), "r");
    EXPECT_EQ(ILctrl(file, 0x12345, 1), -1);
    EXPECT_EQ(ILctrl(file, IL_CTRL_FLIP, 2), -1);
    ILclose(file);
    EXPECT_EQ(ILsave(path("bad.iff").c_str(), 0, 2, IL_TYPE_GRAY, gray.data(), nullptr), -1);
    EXPECT_EQ(ILsave(path("bad.iff").c_str(), 2, 2, IL_TYPE_RANGE, nullptr, nullptr), -1);
}

}  // namespace
