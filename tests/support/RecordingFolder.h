// A scratch folder for tests that record their own sequences: frame files, configuration files.
// Removed with everything in it when the object goes.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "image/Image.h"

class RecordingFolder {
public:
    RecordingFolder();
    ~RecordingFolder();
    RecordingFolder(const RecordingFolder&) = delete;
    RecordingFolder& operator=(const RecordingFolder&) = delete;

    std::string Path(const std::string& name) const;
    // Writes text into the named file and returns its path.
    std::string WriteText(const std::string& name, const std::string& text) const;

private:
    std::filesystem::path root;
};

// An allocated one-channel image whose pixel (x, y) is value(x, y).
template <typename Sample, typename Function>
std::unique_ptr<CImage> MakeFilledImage(int width, int height, int depth, Function value) {
    auto image = std::make_unique<CImage>(width, height, depth, 1, 0);
    image->Allocate();
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<Sample*>(image->GetImageData() + static_cast<long>(y) * image->GetWidthStep());
        for (int x = 0; x < width; ++x) row[x] = static_cast<Sample>(value(x, y));
    }
    return image;
}

template <typename Sample>
Sample PixelAt(const CImage& image, int x, int y) {
    return reinterpret_cast<const Sample*>(image.GetImageData() + static_cast<long>(y) * image.GetWidthStep())[x];
}
