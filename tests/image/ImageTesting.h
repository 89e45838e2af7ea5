// Small helpers for the image tests: allocated images filled from a function, sample access
// and scratch file names.
#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "image/Image.h"

namespace image_testing {

inline std::unique_ptr<CImage> makeImage(int width, int height, int depth, int channels = 1) {
    auto image = std::make_unique<CImage>(width, height, depth, channels, 0);
    image->Allocate();
    return image;
}

template <typename T>
T& sample(const CImage& image, int x, int y, int channel = 0) {
    char* row = image.GetImageData() + static_cast<long>(y) * image.GetWidthStep();
    return reinterpret_cast<T*>(row)[x * image.GetNChannels() + channel];
}

// Every sample of a one-channel image set to value(x, y).
template <typename T, typename Function>
void fill(CImage& image, Function value) {
    for (int y = 0; y < image.GetHeight(); ++y)
        for (int x = 0; x < image.GetWidth(); ++x) sample<T>(image, x, y) = static_cast<T>(value(x, y));
}

template <typename T, typename Function>
std::unique_ptr<CImage> makeFilled(int width, int height, int depth, Function value) {
    auto image = makeImage(width, height, depth);
    fill<T>(*image, value);
    return image;
}

inline std::string scratchFile(const std::string& name) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "vantorel_" + test->test_suite_name() + "_" + test->name() + "_" + name;
}

}  // namespace image_testing
