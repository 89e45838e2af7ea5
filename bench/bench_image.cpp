// Filters the tracker runs on every frame: the 5-tap gradient on a full frame and the smoothing
// kinds on a face-sized crop.
#include <cmath>
#include <memory>

#include <benchmark/benchmark.h>

#include "image/Image.h"

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

}  // namespace
