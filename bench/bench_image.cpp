// Filters the tracker runs on every frame: the 5-tap gradient on a full frame and the smoothing
// kinds on a face-sized crop; and the pyramids' filters on a level the size of a face's window at
// 1 m (186 x 174), each beside the OpenCV calls it replaces: a level's smoothing and both
// derivatives (three separable filters), a mask's 5 x 5 erosion and a depth map's 7 x 7 one.
#include <cmath>
#include <memory>

#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include "image/Image.h"
#include "image/Kernels.h"
#include "image/RectMorphology.h"
#include "image/SharedSeparable.h"

namespace {

std::unique_ptr<CImage> floatImage(int width, int height) {
    auto image = std::make_unique<CImage>(width, height, 32, 1, 0);
    image->Allocate();
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<float*>(image->GetImageData() + y * image->GetWidthStep());
        for (int x = 0; x < width; ++x) row[x] = 128.0f + 100.0f * std::sin(0.1f * x) * std::cos(0.07f * y);
    }
    return image;
}

void BM_GradientXKernel5_320x240(benchmark::State& state) {
    auto source = floatImage(320, 240);
    auto gradient = floatImage(320, 240);
    for (auto _ : state) {
        gradient->GradientX(source.get(), 5);
        benchmark::DoNotOptimize(gradient->GetImageData());
    }
}
BENCHMARK(BM_GradientXKernel5_320x240);

void BM_SmoothKind_120x110(benchmark::State& state) {
    const int kind = static_cast<int>(state.range(0));
    auto source = floatImage(120, 110);
    auto mask = floatImage(120, 110);
    mask->Set(1);
    auto smoothed = floatImage(120, 110);
    for (auto _ : state) {
        source->Smooth(smoothed.get(), kind, kind == 4 ? mask.get() : nullptr);
        benchmark::DoNotOptimize(smoothed->GetImageData());
    }
}
BENCHMARK(BM_SmoothKind_120x110)->Arg(1)->Arg(4);

const cv::Size kLevel(186, 174);

cv::Mat RandomLevel(int type) {
    cv::Mat level(kLevel, type);
    cv::randu(level, 0, type == CV_8UC1 ? 2 : 1000);
    if (type == CV_8UC1) level *= 255;
    return level;
}

void BM_LevelFiltersOpenCV(benchmark::State& state) {
    const cv::Mat in = RandomLevel(CV_32FC1);
    const auto& prefilter = image_kernels::Prefilter5();
    const auto& derivative = image_kernels::Derivative5();
    cv::Mat smooth, alongColumns, alongRows;
    for (auto _ : state) {
        image_kernels::Separable(in, alongColumns, derivative, prefilter);
        image_kernels::Separable(in, alongRows, prefilter, derivative);
        image_kernels::Separable(in, smooth, prefilter, prefilter);
        benchmark::DoNotOptimize(smooth.data);
    }
}
BENCHMARK(BM_LevelFiltersOpenCV)->Unit(benchmark::kMicrosecond);

void BM_LevelFiltersShared(benchmark::State& state) {
    const cv::Mat in = RandomLevel(CV_32FC1);
    const auto& prefilter = image_kernels::Prefilter5();
    const auto& derivative = image_kernels::Derivative5();
    cv::Mat smooth, alongColumns, alongRows;
    for (auto _ : state) {
        image_kernels::SeparableShared(in, {image_kernels::SeparableOutput{&derivative, &prefilter, &alongColumns},
                                            image_kernels::SeparableOutput{&prefilter, &derivative, &alongRows},
                                            image_kernels::SeparableOutput{&prefilter, &prefilter, &smooth}});
        benchmark::DoNotOptimize(smooth.data);
    }
}
BENCHMARK(BM_LevelFiltersShared)->Unit(benchmark::kMicrosecond);

// Argument: 0 a mask's 5 x 5 erosion, 1 a depth map's 7 x 7.
void BM_ErodeOpenCV(benchmark::State& state) {
    const bool depth = state.range(0) == 1;
    const cv::Mat in = RandomLevel(depth ? CV_32FC1 : CV_8UC1);
    const int side = depth ? 7 : 5;
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(side, side));
    cv::Mat out;
    for (auto _ : state) {
        cv::erode(in, out, square, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar(0));
        benchmark::DoNotOptimize(out.data);
    }
}
BENCHMARK(BM_ErodeOpenCV)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_ErodeRect(benchmark::State& state) {
    const bool depth = state.range(0) == 1;
    const cv::Mat in = RandomLevel(depth ? CV_32FC1 : CV_8UC1);
    cv::Mat out;
    for (auto _ : state) {
        image_kernels::RectMorphology(in, out, image_kernels::Morphology::kErode, depth ? 3 : 2, 0.0);
        benchmark::DoNotOptimize(out.data);
    }
}
BENCHMARK(BM_ErodeRect)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
