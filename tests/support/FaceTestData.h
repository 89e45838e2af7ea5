// The generated face classifier and the test photographs, as the detector's tests use them.
// Photographs are read grey; a missing photograph reads as an empty matrix.
#pragma once

#include <cstdlib>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace facetest {

// VANTOREL_CLASSIFIER when set, else the classifier the build generated.
inline std::string ClassifierPath() {
    const char* configured = std::getenv("VANTOREL_CLASSIFIER");
    if (configured && *configured) return configured;
    return std::string(VANTOREL_BUILD_DIR) + "/classifier/Classifier.txt";
}

inline cv::Mat Photo(const std::string& name) {
    return cv::imread(std::string(VANTOREL_DATA_DIR) + "/" + name, cv::IMREAD_GRAYSCALE);
}

// The astronaut's face in the 512 x 512 photograph: the box the original cascade reports.
constexpr double kAstronautFaceX = 176.0;
constexpr double kAstronautFaceY = 66.0;
constexpr double kAstronautFaceSize = 95.0;

// The astronaut photograph scaled by `factor` with its top-left corner at (left, top) of a
// mid-grey 320 x 240 frame; what falls outside the frame is cut off.
inline cv::Mat AstronautFrame(double factor, int left, int top) {
    const cv::Mat photo = Photo("astronaut.png");
    cv::Mat frame(240, 320, CV_8UC1, cv::Scalar(128));
    if (photo.empty()) return frame;
    cv::Mat scaled;
    cv::resize(photo, scaled, cv::Size(), factor, factor, cv::INTER_AREA);
    const cv::Rect placed = cv::Rect(left, top, scaled.cols, scaled.rows) & cv::Rect(0, 0, frame.cols, frame.rows);
    scaled(placed - cv::Point(left, top)).copyTo(frame(placed));
    return frame;
}

// Centre of the astronaut's face in such a frame.
inline cv::Point2d AstronautFaceCentre(double factor, int left, int top) {
    return {(kAstronautFaceX + kAstronautFaceSize / 2) * factor + left,
            (kAstronautFaceY + kAstronautFaceSize / 2) * factor + top};
}

// A face-free photograph brought to 320 x 240: resized whole, or cut from its top-left corner.
inline cv::Mat FaceFreeFrame(const std::string& name, bool crop) {
    const cv::Mat photo = Photo(name);
    if (photo.empty()) return photo;
    if (crop && photo.cols >= 320 && photo.rows >= 240) return photo(cv::Rect(0, 0, 320, 240)).clone();
    cv::Mat resized;
    cv::resize(photo, resized, cv::Size(320, 240), 0, 0, cv::INTER_AREA);
    return resized;
}

}  // namespace facetest
