#include "tracking/PyramidPasses.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/HotPath.h"
#include "tracking/RowLanes.h"

namespace pyramid_passes {

namespace {

// A set mask byte: a vector comparison's true (all bits, -1) converted to a byte.
constexpr unsigned char kSet = 255;
static_assert(static_cast<unsigned char>(-1) == kSet, "true lanes convert to set bytes");
// Every pass runs over every pixel of every level: eight pixels (thirty-two bytes) at a time.
using row_lanes::kLanes;
using row_lanes::Lanes;
using row_lanes::Load;
using row_lanes::Store;
using Mask = int __attribute__((vector_size(kLanes * sizeof(int))));
constexpr int kBytes = 32;
using Bytes = unsigned char __attribute__((vector_size(kBytes)));
// A mask's bytes beside eight float lanes: converted whole, not lane by lane through memory.
using ByteLanes = unsigned char __attribute__((vector_size(kLanes)));

__attribute__((always_inline)) inline ByteLanes LoadBytes(const unsigned char* bytes, int left) {
    unsigned char padded[kLanes] = {};
    std::copy(bytes, bytes + std::min(left, kLanes), padded);
    ByteLanes lanes;
    std::memcpy(&lanes, padded, sizeof lanes);
    return lanes;
}

__attribute__((always_inline)) inline void StoreBytes(const ByteLanes& lanes, unsigned char* bytes, int left) {
    unsigned char stored[kLanes];
    std::memcpy(stored, &lanes, sizeof stored);
    std::copy(stored, stored + std::min(left, kLanes), bytes);
}

}  // namespace

VANTOREL_HOT_PATH void SelectFirstLevel(const cv::Mat& intensity, const cv::Mat& depth, const cv::Mat& pointX,
                                        const cv::Mat& pointY, const cv::Mat& mask, float minDepth, float maxDepth,
                                        float far, const FirstLevel& out) {
    CV_Assert(intensity.type() == CV_32FC1 && depth.type() == CV_32FC1 && pointX.type() == CV_32FC1 &&
              pointY.type() == CV_32FC1 && mask.type() == CV_8UC1);
    const cv::Size size = depth.size();
    CV_Assert(intensity.size() == size && pointX.size() == size && pointY.size() == size && mask.size() == size);
    out.inside->create(size, CV_8UC1);
    for (cv::Mat* image : {out.weights, out.intensity, out.depth, out.rayX, out.rayY}) image->create(size, CV_32FC1);
    // Without a bound, one every depth passes (NaN fails it, and fails the other tests as well).
    const float nearest = minDepth != kNoBound ? minDepth : -std::numeric_limits<float>::infinity();
    const float farthest = maxDepth != kNoBound ? maxDepth : std::numeric_limits<float>::infinity();
    const Lanes zero = {}, one = zero + 1.0f;
    for (int row = 0; row < size.height; ++row) {
        const float* grey = intensity.ptr<float>(row);
        const float* z = depth.ptr<float>(row);
        const float* x = pointX.ptr<float>(row);
        const float* y = pointY.ptr<float>(row);
        const unsigned char* masked = mask.ptr<unsigned char>(row);
        unsigned char* inside = out.inside->ptr<unsigned char>(row);
        float* weights = out.weights->ptr<float>(row);
        float* greyOut = out.intensity->ptr<float>(row);
        float* zOut = out.depth->ptr<float>(row);
        float* rayX = out.rayX->ptr<float>(row);
        float* rayY = out.rayY->ptr<float>(row);
        for (int col = 0; col < size.width; col += kLanes) {
            const int left = size.width - col;
            Lanes d, grey8, x8, y8;
            Load(z + col, left, 1.0f, d);
            Load(grey + col, left, 0.0f, grey8);
            Load(x + col, left, 0.0f, x8);
            Load(y + col, left, 0.0f, y8);
            const Lanes rx = x8 / d, ry = y8 / d;
            // Written so that NaN in any of them leaves the pixel out (NaN fails every comparison).
            Mask keep = (d > 0.0f) & (d < far) & (rx < far) & (rx > -far) & (ry < far) & (ry > -far) &
                        (d > nearest) & (d < farthest);
            keep &= __builtin_convertvector(LoadBytes(masked + col, left), Mask) != 0;
            Store(keep ? one : zero, weights + col, left);
            Store(grey8 == grey8 ? grey8 : zero, greyOut + col, left);
            Store(keep ? d : zero, zOut + col, left);
            Store(keep ? rx : zero, rayX + col, left);
            Store(keep ? ry : zero, rayY + col, left);
            StoreBytes(__builtin_convertvector(keep, ByteLanes), inside + col, left);
        }
    }
}

VANTOREL_HOT_PATH void DivideByWeights(const cv::Mat& weighted, const cv::Mat& weights, float least, cv::Mat& out) {
    CV_Assert(weighted.type() == CV_32FC1 && weights.type() == CV_32FC1 && weighted.size() == weights.size());
    out.create(weighted.size(), CV_32FC1);
    const Lanes zero = {}, floor = zero + least;
    for (int row = 0; row < weighted.rows; ++row) {
        const float* value = weighted.ptr<float>(row);
        const float* weight = weights.ptr<float>(row);
        float* result = out.ptr<float>(row);
        for (int col = 0; col < weighted.cols; col += kLanes) {
            const int left = weighted.cols - col;
            Lanes v, w;
            Load(value + col, left, 0.0f, v);
            Load(weight + col, left, 1.0f, w);
            const Lanes quotient = v / (w > least ? w : floor);
            Store(w <= least ? zero : quotient, result + col, left);
        }
    }
}

VANTOREL_HOT_PATH void InsideFromShare(const cv::Mat& halvedWeights, float share, cv::Mat& inside, cv::Mat& weights) {
    CV_Assert(halvedWeights.type() == CV_32FC1);
    inside.create(halvedWeights.size(), CV_8UC1);
    weights.create(halvedWeights.size(), CV_32FC1);
    const Lanes zero = {}, one = zero + 1.0f;
    for (int row = 0; row < halvedWeights.rows; ++row) {
        const float* halved = halvedWeights.ptr<float>(row);
        unsigned char* in = inside.ptr<unsigned char>(row);
        float* weight = weights.ptr<float>(row);
        for (int col = 0; col < halvedWeights.cols; col += kLanes) {
            const int left = halvedWeights.cols - col;
            Lanes h;
            Load(halved + col, left, 0.0f, h);
            const Mask set = h >= share;
            Store(set ? one : zero, weight + col, left);
            StoreBytes(__builtin_convertvector(set, ByteLanes), in + col, left);
        }
    }
}

VANTOREL_HOT_PATH void UsablePixels(const cv::Mat& inside, const cv::Mat& silhouette, const cv::Mat& supported,
                                    int edge, cv::Mat& usable) {
    CV_Assert(inside.type() == CV_8UC1 && silhouette.type() == CV_8UC1 && supported.type() == CV_8UC1 &&
              silhouette.size() == inside.size() && supported.size() == inside.size());
    usable.create(inside.size(), CV_8UC1);
    const bool interior = inside.cols - 2 * edge > 0 && inside.rows - 2 * edge > 0;
    for (int row = 0; row < inside.rows; ++row) {
        unsigned char* out = usable.ptr<unsigned char>(row);
        if (!interior || row < edge || row >= inside.rows - edge) {
            std::fill(out, out + inside.cols, static_cast<unsigned char>(0));
            continue;
        }
        const unsigned char* in = inside.ptr<unsigned char>(row);
        const unsigned char* shape = silhouette.ptr<unsigned char>(row);
        const unsigned char* support = supported.ptr<unsigned char>(row);
        int col = 0;
        for (; col + kBytes <= inside.cols; col += kBytes) {
            Bytes a, b, c;
            std::memcpy(&a, in + col, sizeof a);
            std::memcpy(&b, shape + col, sizeof b);
            std::memcpy(&c, support + col, sizeof c);
            const Bytes set = ((a & b & c) != 0) & 1;
            std::memcpy(out + col, &set, sizeof set);
        }
        for (; col < inside.cols; ++col) out[col] = (in[col] & shape[col] & support[col]) != 0 ? 1 : 0;
        std::fill(out, out + edge, static_cast<unsigned char>(0));
        std::fill(out + inside.cols - edge, out + inside.cols, static_cast<unsigned char>(0));
    }
}

}  // namespace pyramid_passes
