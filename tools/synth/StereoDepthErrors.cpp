#include "synth/StereoDepthErrors.h"

#include <algorithm>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "synth/HeadScene.h"

void ApplyStereoDepthErrors(const StereoDepthErrors& errors, const StereoRig& camera, const cv::Mat& left,
                            cv::RNG& rng, cv::Mat& x, cv::Mat& y, cv::Mat& z) {
    if (errors.disparityNoisePx > 0.0) {
        cv::Mat noise(z.size(), CV_32F);
        rng.fill(noise, cv::RNG::NORMAL, 0.0, 1.0);
        const double perSquareMm = errors.disparityNoisePx / (camera.focalPx * camera.baselineMm);
        for (int j = 0; j < z.rows; ++j)
            for (int i = 0; i < z.cols; ++i) {
                const double depth = z.at<float>(j, i);
                if (depth <= 0.0) continue;
                // Along the pixel's ray, never onto or behind the camera.
                const double scale = std::max(depth + perSquareMm * depth * depth * noise.at<float>(j, i), 1.0) / depth;
                x.at<float>(j, i) = static_cast<float>(x.at<float>(j, i) * scale);
                y.at<float>(j, i) = static_cast<float>(y.at<float>(j, i) * scale);
                z.at<float>(j, i) = static_cast<float>(depth * scale);
            }
    }
    cv::Mat hole(z.size(), CV_8U, cv::Scalar(0));
    if (errors.textureThreshold > 0.0) {
        const cv::Size window(errors.textureWindow, errors.textureWindow);
        cv::Mat mean, meanSquare;
        cv::boxFilter(left, mean, CV_32F, window, cv::Point(-1, -1), true, cv::BORDER_REFLECT);
        cv::boxFilter(left.mul(left), meanSquare, CV_32F, window, cv::Point(-1, -1), true, cv::BORDER_REFLECT);
        const cv::Mat variance = meanSquare - mean.mul(mean);
        hole |= variance < static_cast<float>(errors.textureThreshold * errors.textureThreshold);
    }
    if (errors.dropout > 0.0) {
        cv::Mat draw(z.size(), CV_32F);
        rng.fill(draw, cv::RNG::UNIFORM, 0.0, 1.0);
        hole |= draw < static_cast<float>(errors.dropout);
    }
    x.setTo(0.0f, hole);
    y.setTo(0.0f, hole);
    z.setTo(0.0f, hole);
}
