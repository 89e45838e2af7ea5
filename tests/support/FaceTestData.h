// The generated face classifier, the test photographs and small helpers of the detector's tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "image/Image.h"

namespace facetest {

// VANTOREL_CLASSIFIER when set, else the classifier the build generated.
inline std::string ClassifierPath() {
    const char* configured = std::getenv("VANTOREL_CLASSIFIER");
    if (configured && *configured) return configured;
    return std::string(VANTOREL_BUILD_DIR) + "/classifier/Classifier.txt";
}

// Grey; empty when missing.
inline cv::Mat Photo(const std::string& name) {
    return cv::imread(std::string(VANTOREL_DATA_DIR) + "/" + name, cv::IMREAD_GRAYSCALE);
}

// The astronaut's face in the 512 x 512 photograph: the box the original cascade reports.
constexpr double kAstronautFaceX = 176.0, kAstronautFaceY = 66.0, kAstronautFaceSize = 95.0;

// The astronaut scaled by `factor`, its top-left corner at (left, top) of a mid-grey 320 x 240
// frame; what falls outside is cut off.
inline cv::Mat AstronautFrame(double factor, int left, int top) {
    cv::Mat frame(240, 320, CV_8UC1, cv::Scalar(128));
    const cv::Mat photo = Photo("astronaut.png");
    if (photo.empty()) return frame;
    cv::Mat scaled;
    cv::resize(photo, scaled, cv::Size(), factor, factor, cv::INTER_AREA);
    const cv::Rect placed = cv::Rect(left, top, scaled.cols, scaled.rows) & cv::Rect(0, 0, frame.cols, frame.rows);
    scaled(placed - cv::Point(left, top)).copyTo(frame(placed));
    return frame;
}

inline cv::Point2d AstronautFaceCentre(double factor, int left, int top) {
    return {(kAstronautFaceX + kAstronautFaceSize / 2) * factor + left,
            (kAstronautFaceY + kAstronautFaceSize / 2) * factor + top};
}

// A face-free photograph at 320 x 240: resized whole, or cut from its top-left corner.
inline cv::Mat FaceFreeFrame(const std::string& name, bool cut) {
    const cv::Mat photo = Photo(name);
    if (photo.empty()) return photo;
    if (cut && photo.cols >= 320 && photo.rows >= 240) return photo(cv::Rect(0, 0, 320, 240)).clone();
    cv::Mat resized;
    cv::resize(photo, resized, cv::Size(320, 240), 0, 0, cv::INTER_AREA);
    return resized;
}

// An allocated one-channel image holding the pixels (8-bit or float).
inline std::unique_ptr<CImage> ImageOf(const cv::Mat& pixels) {
    auto image = std::make_unique<CImage>(pixels.cols, pixels.rows,
                                          pixels.depth() == CV_32F ? IPL_DEPTH_32F : IPL_DEPTH_8U, 1, 0);
    image->Allocate();
    pixels.copyTo(iplFullView(image->GetIplImage()));
    return image;
}

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    explicit TempFolder(const std::string& name) : path_(std::filesystem::temp_directory_path() / name) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::string Path(const std::string& name) const { return (path_ / name).string(); }
    std::string Write(const std::string& name, const std::string& content) const {
        std::ofstream(path_ / name) << content;
        return Path(name);
    }

private:
    std::filesystem::path path_;
};

}  // namespace facetest
