#include "synth/ExactDepth.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

namespace exact_depth {

namespace {

bool Measured(float z) { return z > 0.0f && std::isfinite(z); }

// Per pixel, the distance to the nearest pixel of the rendered depth's outline.
cv::Mat OutlineDistance(const cv::Mat& exact) {
    cv::Mat inside(exact.size(), CV_8U, cv::Scalar(255));
    for (int r = 0; r < exact.rows; ++r)
        for (int c = 0; c < exact.cols; ++c) {
            const float z = exact.at<float>(r, c);
            bool edge = !Measured(z);
            for (int dr = -1; dr <= 1 && !edge; ++dr)
                for (int dc = -1; dc <= 1 && !edge; ++dc) {
                    const int rr = r + dr, cc = c + dc;
                    if (rr < 0 || cc < 0 || rr >= exact.rows || cc >= exact.cols) continue;
                    const float n = exact.at<float>(rr, cc);
                    edge = !Measured(n) || std::fabs(n - z) > kJumpMm;
                }
            if (edge) inside.at<unsigned char>(r, c) = 0;
        }
    cv::Mat distance;
    cv::distanceTransform(inside, distance, cv::DIST_L2, 3);
    return distance;
}

}  // namespace

bool KnownMode(const std::string& mode) {
    return mode == "all" || mode == "near" || mode == "interior" || mode == "outline" || mode == "smooth" ||
           mode == "fine";
}

void Put(const std::string& mode, const cv::Mat& exact, cv::Mat& depth, cv::Mat& x, cv::Mat& y) {
    CV_Assert(exact.type() == CV_32F && depth.type() == CV_32F && exact.size() == depth.size() &&
              x.size() == depth.size() && y.size() == depth.size() && KnownMode(mode));
    // The near pixels' errors, and their part that varies slowly across the image.
    cv::Mat error(depth.size(), CV_32F, cv::Scalar(0)), near(depth.size(), CV_32F, cv::Scalar(0));
    for (int r = 0; r < depth.rows; ++r)
        for (int c = 0; c < depth.cols; ++c) {
            const float z = depth.at<float>(r, c), truth = exact.at<float>(r, c);
            if (Measured(z) && Measured(truth) && std::fabs(z - truth) <= kNearMm) {
                error.at<float>(r, c) = z - truth;
                near.at<float>(r, c) = 1.0f;
            }
        }
    cv::Mat smoothError, smoothNear;
    const bool split = mode == "smooth" || mode == "fine";
    if (split) {
        cv::GaussianBlur(error, smoothError, cv::Size(0, 0), kSmoothPx);
        cv::GaussianBlur(near, smoothNear, cv::Size(0, 0), kSmoothPx);
    }
    const cv::Mat distance = mode == "interior" || mode == "outline" ? OutlineDistance(exact) : cv::Mat();
    for (int r = 0; r < depth.rows; ++r)
        for (int c = 0; c < depth.cols; ++c) {
            const float z = depth.at<float>(r, c), truth = exact.at<float>(r, c);
            if (!Measured(z) || !Measured(truth)) continue;
            const bool isNear = near.at<float>(r, c) > 0.0f;
            if ((mode == "near" || split) && !isNear) continue;
            if (mode == "interior" && distance.at<float>(r, c) <= kOutlinePx) continue;
            if (mode == "outline" && distance.at<float>(r, c) > kOutlinePx) continue;
            float put = truth;
            if (split) {
                const float slow = smoothError.at<float>(r, c) / std::max(smoothNear.at<float>(r, c), 1e-3f);
                put = mode == "smooth" ? truth + slow : z - slow;
            }
            x.at<float>(r, c) *= put / z;
            y.at<float>(r, c) *= put / z;
            depth.at<float>(r, c) = put;
        }
}

}  // namespace exact_depth
