#include "tracking/PyramidPasses.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pyramid_passes {

namespace {

constexpr unsigned char kSet = 255;

}  // namespace

void SelectFirstLevel(const cv::Mat& intensity, const cv::Mat& depth, const cv::Mat& pointX, const cv::Mat& pointY,
                      const cv::Mat& mask, float minDepth, float maxDepth, float far, const FirstLevel& out) {
    CV_Assert(intensity.type() == CV_32FC1 && depth.type() == CV_32FC1 && pointX.type() == CV_32FC1 &&
              pointY.type() == CV_32FC1 && mask.type() == CV_8UC1);
    const cv::Size size = depth.size();
    CV_Assert(intensity.size() == size && pointX.size() == size && pointY.size() == size && mask.size() == size);
    out.inside->create(size, CV_8UC1);
    for (cv::Mat* image : {out.weights, out.intensity, out.depth, out.rayX, out.rayY}) image->create(size, CV_32FC1);
    // Without a bound, one every depth passes (NaN fails it, and fails the other tests as well).
    const float nearest = minDepth != kNoBound ? minDepth : -std::numeric_limits<float>::infinity();
    const float farthest = maxDepth != kNoBound ? maxDepth : std::numeric_limits<float>::infinity();
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
        for (int col = 0; col < size.width; ++col) {
            const float d = z[col];
            const float rx = x[col] / d, ry = y[col] / d;
            // Written so that NaN in any of them leaves the pixel out; every test is made, with no
            // branch, so that the loop runs on vectors.
            const bool keep = (masked[col] != 0) & (d > 0.0f) & (d < far) & (std::fabs(rx) < far) &
                              (std::fabs(ry) < far) & (d > nearest) & (d < farthest);
            inside[col] = keep ? kSet : 0;
            weights[col] = keep ? 1.0f : 0.0f;
            greyOut[col] = std::isnan(grey[col]) ? 0.0f : grey[col];
            zOut[col] = keep ? d : 0.0f;
            rayX[col] = keep ? rx : 0.0f;
            rayY[col] = keep ? ry : 0.0f;
        }
    }
}

void DivideByWeights(const cv::Mat& weighted, const cv::Mat& weights, float least, cv::Mat& out) {
    CV_Assert(weighted.type() == CV_32FC1 && weights.type() == CV_32FC1 && weighted.size() == weights.size());
    out.create(weighted.size(), CV_32FC1);
    for (int row = 0; row < weighted.rows; ++row) {
        const float* value = weighted.ptr<float>(row);
        const float* weight = weights.ptr<float>(row);
        float* result = out.ptr<float>(row);
        for (int col = 0; col < weighted.cols; ++col) {
            const float w = weight[col];
            const float quotient = value[col] / (w > least ? w : least);
            result[col] = w <= least ? 0.0f : quotient;
        }
    }
}

void InsideFromShare(const cv::Mat& halvedWeights, float share, cv::Mat& inside, cv::Mat& weights) {
    CV_Assert(halvedWeights.type() == CV_32FC1);
    inside.create(halvedWeights.size(), CV_8UC1);
    weights.create(halvedWeights.size(), CV_32FC1);
    for (int row = 0; row < halvedWeights.rows; ++row) {
        const float* halved = halvedWeights.ptr<float>(row);
        unsigned char* in = inside.ptr<unsigned char>(row);
        float* weight = weights.ptr<float>(row);
        for (int col = 0; col < halvedWeights.cols; ++col) {
            const bool set = halved[col] >= share;
            in[col] = set ? kSet : 0;
            weight[col] = set ? 1.0f : 0.0f;
        }
    }
}

void UsablePixels(const cv::Mat& inside, const cv::Mat& silhouette, const cv::Mat& supported, int edge,
                  cv::Mat& usable) {
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
        for (int col = 0; col < inside.cols; ++col)
            out[col] = col >= edge && col < inside.cols - edge && (in[col] & shape[col] & support[col]) != 0 ? 1 : 0;
    }
}

}  // namespace pyramid_passes
