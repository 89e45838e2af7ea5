#include "tracking/OutlineFill.h"

#include <cfloat>

#include <opencv2/imgproc.hpp>

namespace outline_fill {

namespace {

// The mean change of a ray from one selected pixel to the next along `axis` (0: rows, 1:
// columns); false when no two selected pixels are neighbours that way.
bool RaySlope(const cv::Mat& ray, const cv::Mat& inside, int axis, double& slope) {
    const cv::Rect first = axis == 1 ? cv::Rect(0, 0, ray.cols - 1, ray.rows) : cv::Rect(0, 0, ray.cols, ray.rows - 1);
    const cv::Rect second = first + (axis == 1 ? cv::Point(1, 0) : cv::Point(0, 1));
    if (first.empty()) return false;
    const cv::Mat pairs = inside(first) & inside(second);
    if (cv::countNonZero(pairs) == 0) return false;
    const cv::Mat step = ray(second) - ray(first);
    slope = cv::mean(step, pairs)[0];
    return true;
}

// A kernel whose taps are their own offset from the centre along `axis`: filtering the weights
// with it sums how far the selected pixels around lie from the centre.
cv::Mat OffsetKernel(int reach, int axis) {
    cv::Mat kernel(2 * reach + 1, 2 * reach + 1, CV_32F);
    for (int row = 0; row < kernel.rows; ++row)
        for (int col = 0; col < kernel.cols; ++col)
            kernel.at<float>(row, col) = static_cast<float>(axis == 1 ? col - reach : row - reach);
    return kernel;
}

cv::Mat Sum(const cv::Mat& image, int reach) {
    cv::Mat sum;
    cv::boxFilter(image, sum, CV_32F, cv::Size(2 * reach + 1, 2 * reach + 1), cv::Point(-1, -1), false,
                  cv::BORDER_CONSTANT);
    return sum;
}

}  // namespace

bool Fill(const cv::Mat& rawDepth, int reach, const pyramid_passes::FirstLevel& level, cv::Mat& filled) {
    cv::Mat& inside = *level.inside;
    CV_Assert(rawDepth.type() == CV_32FC1 && rawDepth.size() == inside.size() && reach > 0);
    // NaN fails both comparisons, so it counts as a hole as well.
    const cv::Mat measured = (rawDepth > 0.0f) & (rawDepth <= FLT_MAX);
    cv::Mat near;
    cv::dilate(inside, near, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * reach + 1, 2 * reach + 1)),
               cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar(0));
    filled = near & ~measured & ~inside;
    double slopeX = 0.0, slopeY = 0.0;
    if (cv::countNonZero(filled) == 0 || !RaySlope(*level.rayX, inside, 1, slopeX) ||
        !RaySlope(*level.rayY, inside, 0, slopeY)) {
        filled.setTo(0);
        return false;
    }

    const cv::Mat count = Sum(*level.weights, reach), depthSum = Sum(*level.depth, reach);
    const cv::Mat rayXSum = Sum(*level.rayX, reach), rayYSum = Sum(*level.rayY, reach);
    cv::Mat offsetX, offsetY;
    cv::filter2D(*level.weights, offsetX, CV_32F, OffsetKernel(reach, 1), cv::Point(-1, -1), 0.0, cv::BORDER_CONSTANT);
    cv::filter2D(*level.weights, offsetY, CV_32F, OffsetKernel(reach, 0), cv::Point(-1, -1), 0.0, cv::BORDER_CONSTANT);
    bool any = false;
    for (int row = 0; row < filled.rows; ++row) {
        unsigned char* joins = filled.ptr<unsigned char>(row);
        for (int col = 0; col < filled.cols; ++col) {
            if (!joins[col]) continue;
            const float n = count.at<float>(row, col);
            if (n < 1.0f) {
                joins[col] = 0;
                continue;
            }
            // Each selected ray moved to this pixel: minus its offset times the ray's slope.
            level.depth->at<float>(row, col) = depthSum.at<float>(row, col) / n;
            level.rayX->at<float>(row, col) =
                (rayXSum.at<float>(row, col) - static_cast<float>(slopeX) * offsetX.at<float>(row, col)) / n;
            level.rayY->at<float>(row, col) =
                (rayYSum.at<float>(row, col) - static_cast<float>(slopeY) * offsetY.at<float>(row, col)) / n;
            level.weights->at<float>(row, col) = 1.0f;
            inside.at<unsigned char>(row, col) = 255;
            any = true;
        }
    }
    return any;
}

}  // namespace outline_fill
