#include "init/CandidateDepth.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

// Fewer pixels with depth than this and a strip says nothing: a background out of the camera's
// range and the band a stereo camera cannot match at the frame's edge look alike.
constexpr std::size_t kLeastPixels = 6;
// Strips looked at on each side, each half a box width further out, until one says something.
constexpr int kStripsOutward = 2;

bool Usable(const cv::Mat& depth, const cv::Mat& mask) {
    return depth.type() == CV_32FC1 && mask.type() == CV_8UC1 && depth.size() == mask.size();
}

// The depths of the pixels of rect (inside the images) that have one, within the mask unless it
// is empty.
std::vector<float> DepthsIn(const cv::Mat& depth, const cv::Mat& mask, const cv::Rect& rect) {
    std::vector<float> values;
    values.reserve(static_cast<std::size_t>(rect.area()));
    for (int y = rect.y; y < rect.y + rect.height; ++y) {
        const float* z = depth.ptr<float>(y);
        const unsigned char* m = mask.empty() ? nullptr : mask.ptr<unsigned char>(y);
        for (int x = rect.x; x < rect.x + rect.width; ++x)
            if ((!m || m[x]) && z[x] > 0.0f && std::isfinite(z[x])) values.push_back(z[x]);
    }
    return values;
}

double MedianDepth(const cv::Mat& depth, const cv::Mat& mask, const cv::Rect& strip) {
    std::vector<float> values = DepthsIn(depth, mask, strip);
    if (values.size() < kLeastPixels) return kUnknown;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace

double BackgroundGap(const cv::Mat& depth, const cv::Mat& mask, const cv::Rect& box, double faceDepth) {
    double gap = kUnknown;
    if (!Usable(depth, mask) || box.width < 2 || box.height < 3 || !std::isfinite(faceDepth)) return gap;
    // In 64 bits: a box may lie anywhere; only strips inside the frame are looked at.
    const long long centre = box.x + box.width / 2LL, reach = box.width + box.width / 2LL, width = box.width / 2LL;
    const long long top = box.y + box.height / 3LL, rows = box.height / 3LL;
    if (top < 0 || top + rows > depth.rows) return gap;
    // A strip in the band one camera cannot see beside a near head has no depth: the strip beyond
    // it speaks for that side, so that a pattern beside a head is not taken for lack of evidence.
    for (const long long outward : {-1LL, 1LL}) {
        const long long nearest = outward < 0 ? centre - reach - width : centre + reach + 1;
        for (int step = 0; step < kStripsOutward; ++step) {
            const long long left = nearest + outward * width * step;
            if (left < 0 || left + width > depth.cols) break;
            const cv::Rect strip(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
                                 static_cast<int>(rows));
            const double behind = MedianDepth(depth, mask, strip) - faceDepth;
            if (std::isnan(behind)) continue;
            if (std::isnan(gap) || behind > gap) gap = behind;
            break;
        }
    }
    return gap;
}

double FaceDepthShare(const cv::Mat& depth, const cv::Rect& box, double nearest, double farthest) {
    if (depth.type() != CV_32FC1) return kUnknown;
    const std::vector<float> values = DepthsIn(depth, cv::Mat(), box & cv::Rect(cv::Point(0, 0), depth.size()));
    if (values.empty()) return kUnknown;
    const auto within = std::count_if(values.begin(), values.end(),
                                      [&](float z) { return z >= nearest && z <= farthest; });
    return static_cast<double>(within) / static_cast<double>(values.size());
}
