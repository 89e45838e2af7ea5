#include "tracking/OutlineFill.h"

#include <algorithm>
#include <cfloat>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace outline_fill {

namespace {

// The mean change of a ray from one selected pixel to the next along a row (dx 1) or a column
// (dy 1); false when no two selected pixels are neighbours that way.
bool RaySlope(const cv::Mat& ray, const cv::Mat& inside, int dx, int dy, double& slope) {
    double sum = 0.0;
    long count = 0;
    for (int row = 0; row + dy < ray.rows; ++row) {
        const unsigned char* here = inside.ptr<unsigned char>(row);
        const unsigned char* next = inside.ptr<unsigned char>(row + dy) + dx;
        const float* a = ray.ptr<float>(row);
        const float* b = ray.ptr<float>(row + dy) + dx;
        for (int col = 0; col + dx < ray.cols; ++col)
            if (here[col] && next[col]) {
                sum += b[col] - a[col];
                ++count;
            }
    }
    if (count == 0) return false;
    slope = sum / static_cast<double>(count);
    return true;
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
    if (cv::countNonZero(filled) == 0 || !RaySlope(*level.rayX, inside, 1, 0, slopeX) ||
        !RaySlope(*level.rayY, inside, 0, 1, slopeY)) {
        filled.setTo(0);
        return false;
    }

    // The holes are a thin band along the outline: their neighbourhoods are summed one by one, all
    // before any hole joins, so that a filled pixel never feeds another.
    struct Joined {
        int row, col;
        float depth, rayX, rayY;
    };
    std::vector<Joined> joined;
    for (int row = 0; row < filled.rows; ++row) {
        unsigned char* joins = filled.ptr<unsigned char>(row);
        for (int col = 0; col < filled.cols; ++col) {
            if (!joins[col]) continue;
            double count = 0.0, depth = 0.0, rayX = 0.0, rayY = 0.0;
            for (int r = std::max(0, row - reach); r <= std::min(filled.rows - 1, row + reach); ++r) {
                const unsigned char* selected = inside.ptr<unsigned char>(r);
                for (int c = std::max(0, col - reach); c <= std::min(filled.cols - 1, col + reach); ++c) {
                    if (!selected[c]) continue;
                    // Each selected ray carried on to this pixel along the slopes.
                    count += 1.0;
                    depth += level.depth->at<float>(r, c);
                    rayX += level.rayX->at<float>(r, c) + slopeX * (col - c);
                    rayY += level.rayY->at<float>(r, c) + slopeY * (row - r);
                }
            }
            if (count == 0.0) {
                joins[col] = 0;
                continue;
            }
            joined.push_back({row, col, static_cast<float>(depth / count), static_cast<float>(rayX / count),
                              static_cast<float>(rayY / count)});
        }
    }
    for (const Joined& pixel : joined) {
        level.depth->at<float>(pixel.row, pixel.col) = pixel.depth;
        level.rayX->at<float>(pixel.row, pixel.col) = pixel.rayX;
        level.rayY->at<float>(pixel.row, pixel.col) = pixel.rayY;
        level.weights->at<float>(pixel.row, pixel.col) = 1.0f;
        inside.at<unsigned char>(pixel.row, pixel.col) = 255;
    }
    return !joined.empty();
}

}  // namespace outline_fill
