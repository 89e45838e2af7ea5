#include "tracking/TextureDepth.h"

#include <opencv2/imgproc.hpp>

namespace {

// Flat texture has no say; where none is near, the weights vanish and the plain depth stays.
constexpr float kLeastEnergy = 1e-30f;

}  // namespace

void TextureWeightedDepth(const cv::Mat& intensity, const cv::Mat& depth, const cv::Mat& inside,
                          const image_kernels::CorrelationKernel& kernel, int passes, cv::Mat& out) {
    CV_Assert(intensity.type() == CV_32FC1 && depth.type() == CV_32FC1 && inside.type() == CV_8UC1);
    CV_Assert(intensity.size() == depth.size() && inside.size() == depth.size());
    cv::Mat alongColumns, alongRows;
    cv::Sobel(intensity, alongColumns, CV_32F, 1, 0, 1, 0.5, 0.0, cv::BORDER_REPLICATE);
    cv::Sobel(intensity, alongRows, CV_32F, 0, 1, 1, 0.5, 0.0, cv::BORDER_REPLICATE);
    cv::Mat energy = alongColumns.mul(alongColumns) + alongRows.mul(alongRows);
    energy.setTo(0.0f, inside == 0);  // the wall's texture does not move with the face
    cv::Mat weighted = energy.mul(depth), scratch;
    for (int pass = 0; pass < passes; ++pass) {
        image_kernels::Separable(energy, scratch, kernel, kernel);
        cv::swap(energy, scratch);
        image_kernels::Separable(weighted, scratch, kernel, kernel);
        cv::swap(weighted, scratch);
    }
    depth.copyTo(out);
    const cv::Mat textured = (energy > kLeastEnergy) & (inside != 0);
    cv::Mat averaged;
    cv::divide(weighted, energy, averaged);
    averaged.copyTo(out, textured);
}
