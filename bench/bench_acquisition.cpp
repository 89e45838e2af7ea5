// Cost of one recorded frame: the whole grab (four files from the page cache, the frame, its mask
// and centroid) and the frame construction alone from images already in memory.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <benchmark/benchmark.h>

#include "acquisition/StereoSource.h"
#include "image/DepthMaskRegion.h"
#include "image/Image.h"
#include "tracking/TrackedFrame.h"

namespace {

namespace fs = std::filesystem;

constexpr int W = 320;
constexpr int H = 240;
constexpr int kFrames = 4;

template <typename Sample, typename Function>
std::unique_ptr<CImage> Filled(int depth, Function value) {
    auto image = std::make_unique<CImage>(W, H, depth, 1, 0);
    image->Allocate();
    for (int y = 0; y < H; ++y) {
        auto* row = reinterpret_cast<Sample*>(image->GetImageData() + static_cast<long>(y) * image->GetWidthStep());
        for (int x = 0; x < W; ++x) row[x] = static_cast<Sample>(value(x, y));
    }
    return image;
}

// A head-sized bump in front of a wall, as a recorded camera of focal 400 would see it.
float DepthAt(int x, int y) {
    const float dx = (x - 160) / 60.0f, dy = (y - 120) / 80.0f;
    return dx * dx + dy * dy < 1.0f ? 0.8f + 0.1f * (dx * dx + dy * dy) : 2.5f;
}

struct Recording {
    fs::path dir;
    Recording() {
        dir = fs::temp_directory_path() / ("vantorel_bench_acquisition_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        for (int frame = 1; frame <= kFrames; ++frame) {
            const std::string base = (dir / ("f" + std::to_string(frame))).string();
            Filled<std::uint8_t>(IPL_DEPTH_8U, [frame](int x, int y) { return (x * 3 + y + frame) % 256; })
                ->Save((base + "-i.pgm").c_str(), 0);
            Filled<float>(IPL_DEPTH_32F, [](int x, int y) { return (x - 160) * DepthAt(x, y) / 400.0f; })
                ->Save((base + "-x.pgm").c_str(), 0);
            Filled<float>(IPL_DEPTH_32F, [](int x, int y) { return (y - 120) * DepthAt(x, y) / 400.0f; })
                ->Save((base + "-y.pgm").c_str(), 0);
            Filled<float>(IPL_DEPTH_32F, DepthAt)->Save((base + "-z.pgm").c_str(), 0);
        }
        std::ofstream((dir / "camera.cfg").string())
            << "INPUT_IMAGE_PATH: " << (dir / "f").string() << " FIRST_FILE_INDEX: 1 LAST_FILE_INDEX: " << kFrames
            << " TOTAL_FRAME: 2000000000 INTENSITY_WRITTEN: YES X_COORD_WRITTEN: YES Y_COORD_WRITTEN: YES"
               " DEPTH_WRITTEN: YES FOCAL: 400\n";
    }
    ~Recording() { fs::remove_all(dir); }
    std::string ParamCfg() const {
        return "CAMERA_TYPE: FILES CONFIG_FILENAME: " + (dir / "camera.cfg").string() +
               " TOP_LEFT_MASK: 100 40 BOTTOM_RIGHT_MASK: 220 200 MIN_DEPTH_MASK: 0.5 MAX_DEPTH_MASK: 1.2";
    }
};

void BM_GrabImageOfRecordedFrame(benchmark::State& state) {
    Recording recording;
    std::istringstream param(recording.ParamCfg());
    CStereoSource source(&param);
    for (int warm = 0; warm < kFrames; ++warm) source.GrabImage();  // files into the page cache
    for (auto _ : state) {
        if (!source.GrabImage()) {
            state.SkipWithError("grab failed");
            break;
        }
    }
}
BENCHMARK(BM_GrabImageOfRecordedFrame)->Unit(benchmark::kMicrosecond);

void BM_TrackedFrameFromImagesInMemory(benchmark::State& state) {
    const auto intensity = Filled<std::uint8_t>(IPL_DEPTH_8U, [](int x, int y) { return (x * 3 + y) % 256; });
    const auto imageX = Filled<float>(IPL_DEPTH_32F, [](int x, int y) { return (x - 160) * DepthAt(x, y) / 400.0f; });
    const auto imageY = Filled<float>(IPL_DEPTH_32F, [](int x, int y) { return (y - 120) * DepthAt(x, y) / 400.0f; });
    const auto depth = Filled<float>(IPL_DEPTH_32F, DepthAt);
    const CDepthMaskRegion region(100, 220, 40, 200, 0.5f, 1.2f);
    int index = 0;
    std::unique_ptr<CTrackedFrame> frame;
    for (auto _ : state) {
        state.PauseTiming();
        frame.reset();  // freeing the previous frame is not construction
        CImage* copies[4] = {intensity->Clone(), depth->Clone(), imageX->Clone(), imageY->Clone()};
        state.ResumeTiming();
        frame = std::make_unique<CTrackedFrame>(copies[0], copies[1], copies[2], copies[3], &region, ++index);
        benchmark::DoNotOptimize(frame->GetCentroidZ());
    }
}
BENCHMARK(BM_TrackedFrameFromImagesInMemory)->Unit(benchmark::kMicrosecond);

}  // namespace
