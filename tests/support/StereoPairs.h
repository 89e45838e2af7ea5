// Synthetic stereo material for tests: textured images, pairs with a known disparity, and
// temporary folders that remove themselves.
#pragma once

#include <filesystem>
#include <string>

#include <opencv2/core.hpp>

namespace test_support {

// Deterministic random texture (smoothed noise stretched to 0..255), 8-bit gray.
cv::Mat Texture(int width, int height, unsigned seed);

// The right image of a fronto-parallel plane seen with the given disparity (pixels, may be
// fractional): right(x, y) = left(x + disparity, y), edges replicated.
cv::Mat ShiftedLeft(const cv::Mat& left, double disparity);

// A folder under the system's temporary directory, removed with everything in it on destruction.
class TempFolder {
public:
    explicit TempFolder(const std::string& tag);
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // Writes text into a file of the folder; returns its path.
    std::string Write(const std::string& name, const std::string& text) const;

private:
    std::filesystem::path path_;
};

}  // namespace test_support
