// The tracker's per-frame solve: a face region's constraint system (one row per pixel, six
// motion parameters) held in its own float buffers and wrapped without copying.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "linalg/DMatrix.h"
#include "linalg/DVector.h"

namespace {

void BM_SolveSVD(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    const int cols = 6;
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> system(static_cast<std::size_t>(rows) * cols), rhs(rows);
    for (float& v : system) v = uniform(rng);
    for (float& v : rhs) v = uniform(rng);
    float solution[cols];
    const DMatrix a(rows, cols, system.data(), false);
    const DMatrix b(rows, 1, rhs.data(), false);
    DVector x(cols, solution, false);
    for (auto _ : state) {
        benchmark::DoNotOptimize(a.SolveSVD(b, x));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SolveSVD)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);

}  // namespace
