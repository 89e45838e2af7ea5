#include "init/FaceDepthShare.h"

#include <cmath>
#include <limits>

double FaceDepthShare(const cv::Mat& depth, const cv::Mat& mask, const cv::Rect& box, double nearest,
                      double farthest) {
    if (depth.type() != CV_32FC1 || mask.type() != CV_8UC1 || depth.size() != mask.size())
        return std::numeric_limits<double>::quiet_NaN();
    const cv::Rect inside = box & cv::Rect(cv::Point(0, 0), depth.size());
    long long withDepth = 0, within = 0;
    for (int y = inside.y; y < inside.y + inside.height; ++y) {
        const float* z = depth.ptr<float>(y);
        const unsigned char* m = mask.ptr<unsigned char>(y);
        for (int x = inside.x; x < inside.x + inside.width; ++x) {
            if (!m[x] || !(z[x] > 0.0f) || !std::isfinite(z[x])) continue;
            ++withDepth;
            within += z[x] >= nearest && z[x] <= farthest;
        }
    }
    return withDepth ? static_cast<double>(within) / static_cast<double>(withDepth)
                     : std::numeric_limits<double>::quiet_NaN();
}
