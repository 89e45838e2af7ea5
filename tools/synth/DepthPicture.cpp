#include "synth/DepthPicture.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

cv::Mat DepthPicture(const cv::Mat& left, const cv::Mat& measuredZ, const cv::Mat& trueZ, const cv::Mat& headMask,
                     double limitMm) {
    double nearest = 0, farthest = 0;
    cv::minMaxLoc(trueZ, &nearest, &farthest);
    const double span = std::max(farthest - nearest, 1.0);
    cv::Mat depth(left.size(), CV_8UC3, cv::Scalar::all(0)), error(left.size(), CV_8UC3, cv::Scalar::all(0));
    for (int j = 0; j < left.rows; ++j)
        for (int i = 0; i < left.cols; ++i) {
            const float z = measuredZ.at<float>(j, i);
            if (z == 0.0f) continue;
            const auto grey = static_cast<unsigned char>(std::clamp(255.0 * (farthest - z) / span, 20.0, 255.0));
            depth.at<cv::Vec3b>(j, i) = cv::Vec3b(grey, grey, grey);
            const bool near = std::fabs(z - trueZ.at<float>(j, i)) <= limitMm;
            error.at<cv::Vec3b>(j, i) = near ? cv::Vec3b(0, 160, 0) : cv::Vec3b(0, 0, 255);
        }
    std::vector<std::vector<cv::Point>> outline;
    cv::findContours(headMask != 0, outline, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
    cv::Mat leftColour;
    cv::cvtColor(left, leftColour, cv::COLOR_GRAY2BGR);
    for (cv::Mat* image : {&depth, &error}) cv::drawContours(*image, outline, -1, cv::Scalar(255, 80, 0), 1);
    // Around the head, enlarged so that single pixels show.
    const cv::Rect head = cv::boundingRect(headMask != 0);
    const cv::Rect crop = head.empty() ? cv::Rect(0, 0, left.cols, left.rows)
                                       : (head + cv::Size(40, 40) - cv::Point(20, 20)) & cv::Rect(0, 0, left.cols, left.rows);
    const double scale = std::max(1.0, std::floor(320.0 / std::max(crop.width, crop.height)));
    std::vector<cv::Mat> parts;
    for (const cv::Mat* image : {&leftColour, &depth, &error}) {
        cv::Mat part;
        cv::resize((*image)(crop), part, cv::Size(), scale, scale, cv::INTER_NEAREST);
        parts.push_back(part);
    }
    // The outline last, on the enlarged pictures, between the pixels it separates.
    for (std::size_t k = 1; k < parts.size(); ++k)
        for (auto& contour : outline) {
            std::vector<cv::Point> scaled;
            for (const cv::Point& p : contour)
                scaled.push_back(cv::Point(cvRound((p.x - crop.x + 0.5) * scale), cvRound((p.y - crop.y + 0.5) * scale)));
            cv::polylines(parts[k], scaled, true, cv::Scalar(255, 80, 0), 1);
        }
    cv::Mat picture;
    cv::hconcat(parts, picture);
    return picture;
}
