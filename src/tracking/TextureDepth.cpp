#include "tracking/TextureDepth.h"

#include <opencv2/imgproc.hpp>

#include "image/SharedSeparable.h"

namespace {

// Flat texture has no say; where none is near, the weights vanish and the plain depth stays.
constexpr float kLeastEnergy = 1e-30f;

}  // namespace

void TextureWeightedDepth(const cv::Mat& intensity, const cv::Mat& depth, const cv::Mat& inside,
                          const image_kernels::CorrelationKernel& kernel, int passes, cv::Mat& out) {
    CV_Assert(intensity.type() == CV_32FC1 && depth.type() == CV_32FC1 && inside.type() == CV_8UC1);
    CV_Assert(intensity.size() == depth.size() && inside.size() == depth.size());
    // Every level of every frame comes here: the scratch stays with the thread.
    thread_local cv::Mat alongColumns, alongRows, energy, weighted;
    cv::Sobel(intensity, alongColumns, CV_32F, 1, 0, 1, 0.5, 0.0, cv::BORDER_REPLICATE);
    cv::Sobel(intensity, alongRows, CV_32F, 0, 1, 1, 0.5, 0.0, cv::BORDER_REPLICATE);
    energy.create(depth.size(), CV_32FC1);
    weighted.create(depth.size(), CV_32FC1);
    for (int row = 0; row < depth.rows; ++row) {
        const float *gx = alongColumns.ptr<float>(row), *gy = alongRows.ptr<float>(row), *z = depth.ptr<float>(row);
        const unsigned char* in = inside.ptr<unsigned char>(row);
        float *e = energy.ptr<float>(row), *w = weighted.ptr<float>(row);
        for (int column = 0; column < depth.cols; ++column) {
            // The wall's texture does not move with the face.
            e[column] = in[column] ? gx[column] * gx[column] + gy[column] * gy[column] : 0.0f;
            w[column] = e[column] * z[column];
        }
    }
    for (int pass = 0; pass < passes; ++pass) {
        image_kernels::SeparableShared(energy, {image_kernels::SeparableOutput{&kernel, &kernel, &energy}});
        image_kernels::SeparableShared(weighted, {image_kernels::SeparableOutput{&kernel, &kernel, &weighted}});
    }
    out.create(depth.size(), CV_32FC1);
    for (int row = 0; row < depth.rows; ++row) {
        const float *e = energy.ptr<float>(row), *w = weighted.ptr<float>(row), *z = depth.ptr<float>(row);
        const unsigned char* in = inside.ptr<unsigned char>(row);
        float* o = out.ptr<float>(row);
        for (int column = 0; column < depth.cols; ++column)
            o[column] = in[column] && e[column] > kLeastEnergy ? w[column] / e[column] : z[column];
    }
}
