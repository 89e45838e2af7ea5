// Helpers for the image tests: allocated images filled from a function, sample access, scratch files.
#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "image/Image.h"

namespace image_testing {

template <typename T>
T& sample(const CImage& image, int x, int y, int channel = 0) {
    char* row = image.GetImageData() + static_cast<long>(y) * image.GetWidthStep();
    return reinterpret_cast<T*>(row)[x * image.GetNChannels() + channel];
}

inline std::unique_ptr<CImage> makeImage(int width, int height, int depth, int channels = 1) {
    auto image = std::make_unique<CImage>(width, height, depth, channels, 0);
    image->Allocate();
    return image;
}

// One-channel image whose pixel (x, y) is value(x, y).
template <typename T, typename Function>
std::unique_ptr<CImage> makeFilled(int width, int height, int depth, Function value) {
    auto image = makeImage(width, height, depth);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) sample<T>(*image, x, y) = static_cast<T>(value(x, y));
    return image;
}

inline std::string scratchFile(const std::string& name) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "vantorel_" + test->name() + "_" + name;
}

}  // namespace image_testing
