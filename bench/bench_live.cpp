// One grab of the live camera from image files, 320 x 240: the whole path (capture, rectification,
// stereo, reconstruction) and each of its stages alone.
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <unistd.h>

#include "acquisition/StereoCameraSVS.h"
#include "image/Image.h"
#include "platform/svs/svs.h"

namespace {

namespace fs = std::filesystem;

constexpr int W = 320;
constexpr int H = 240;
constexpr int kFrames = 100;

// A textured background plane (disparity 19) with a nearer textured block (disparity 36), as a
// head in front of a wall; the camera has lens distortion, so rectification really remaps.
class Scene {
public:
    Scene() : folder_(fs::temp_directory_path() / ("vantorel_bench_live_" + std::to_string(::getpid()))) {
        fs::create_directories(folder_);
        cv::Mat noise(H, W + 64, CV_32F);
        cv::randu(noise, 0.0, 255.0);
        cv::GaussianBlur(noise, noise, cv::Size(0, 0), 1.2);
        cv::normalize(noise, noise, 0, 255, cv::NORM_MINMAX);
        cv::Mat texture;
        noise.convertTo(texture, CV_8U);
        left = texture(cv::Rect(0, 0, W, H)).clone();
        right = texture(cv::Rect(19, 0, W, H)).clone();
        const cv::Rect head(120, 60, 80, 110);
        texture(head + cv::Point(36, 0)).copyTo(right(head - cv::Point(36 - 19, 0)));
        texture(head + cv::Point(36, 0)).copyTo(left(head + cv::Point(19, 0)));
        cv::imwrite((folder_ / "left.png").string(), left);
        cv::imwrite((folder_ / "right.png").string(), right);
        for (int k = 1; k <= kFrames; ++k) {  // one pair, many names
            fs::create_symlink(folder_ / "left.png", folder_ / ("left-" + std::to_string(k) + ".png"));
            fs::create_symlink(folder_ / "right.png", folder_ / ("right-" + std::to_string(k) + ".png"));
        }
        std::string text =
            "FOCAL: 380 380 PRINCIPAL_POINT_LEFT: 160 120 PRINCIPAL_POINT_RIGHT: 160 120 BASELINE: 90\n"
            "LEFT_CAMERA_MATRIX: 382 0 158 0 382 121 0 0 1 LEFT_DISTORTION: 5 -0.12 0.03 0 0 0\n"
            "LEFT_RECTIFIED_PROJECTION: 380 0 160 0 0 380 120 0 0 0 1 0\n"
            "RIGHT_CAMERA_MATRIX: 379 0 161 0 379 119 0 0 1 RIGHT_DISTORTION: 5 -0.11 0.02 0 0 0\n"
            "RIGHT_RECTIFIED_PROJECTION: 380 0 160 -34200 0 380 120 0 0 0 1 0\n";
        const std::string source = "SOURCE: FILES left-%d.png right-%d.png 1 " + std::to_string(kFrames) + "\n";
        WriteText("processor.ini", text);
        WriteText("live.ini", text + source);
    }
    ~Scene() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    cv::Mat left, right;

private:
    void WriteText(const std::string& name, const std::string& text) const {
        FILE* file = std::fopen(Path(name).c_str(), "w");
        std::fputs(text.c_str(), file);
        std::fclose(file);
    }
    fs::path folder_;
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

std::unique_ptr<CImage> Plane(int depth) {
    auto image = std::make_unique<CImage>(W, H, depth, 1, 0);
    image->Allocate();
    return image;
}

// The camera over the file sequence, reopened (untimed) whenever the sequence runs out.
class LiveCamera {
public:
    CStereoCameraSVS& Next(benchmark::State& state) {
        if (!camera_ || grabs_ == kFrames) {
            state.PauseTiming();
            camera_.reset();
            camera_ = std::make_unique<CStereoCameraSVS>(TheScene().Path("live.ini").c_str());
            grabs_ = 0;
            state.ResumeTiming();
        }
        ++grabs_;
        return *camera_;
    }

private:
    std::unique_ptr<CStereoCameraSVS> camera_;
    int grabs_ = 0;
};

void BM_LiveGrab(benchmark::State& state) {
    LiveCamera live;
    auto intensity = Plane(IPL_DEPTH_8U);
    auto x = Plane(IPL_DEPTH_32F), y = Plane(IPL_DEPTH_32F), z = Plane(IPL_DEPTH_32F);
    for (auto _ : state) {
        CStereoCameraSVS& camera = live.Next(state);
        if (camera.GrabFrame() != 0) state.SkipWithError("grab failed");
        camera.GetImage(intensity.get(), 5);
        camera.GetXYZ(x.get(), y.get(), z.get(), nullptr);
    }
}
BENCHMARK(BM_LiveGrab)->Unit(benchmark::kMillisecond);

// Stage 1: the grabber reads and decodes the next pair of files.
void BM_CaptureFromFiles(benchmark::State& state) {
    svsParameterBlock block = svsDefaultParameters();
    svsReadParamFile(TheScene().Path("live.ini").c_str(), &block);
    int grabs = kFrames;
    unsigned char *left = nullptr, *right = nullptr, *colour = nullptr;
    for (auto _ : state) {
        if (grabs == kFrames) {
            state.PauseTiming();
            svsVideoClose();
            svsVideoOpen(&block);
            svsVideoStartContinuous(&block);
            grabs = 0;
            state.ResumeTiming();
        }
        ++grabs;
        if (svsVideoWaitImage(400) != 1 || svsVideoGetImage(&left, &right, &colour) != 0)
            state.SkipWithError("no image");
    }
    svsVideoClose();
}
BENCHMARK(BM_CaptureFromFiles)->Unit(benchmark::kMillisecond);

// Stage 2: undistortion and rectification of both images.
void BM_Rectify(benchmark::State& state) {
    svsParameterBlock block = svsDefaultParameters();
    svsReadParamFile(TheScene().Path("processor.ini").c_str(), &block);
    svsParams = block;
    std::vector<unsigned char> warped(W * H);
    cv::Mat left = TheScene().left.clone(), right = TheScene().right.clone();
    for (auto _ : state) {
        svsWarpImage(warped.data(), left.data, 1, 0);
        std::memcpy(left.data, warped.data(), warped.size());
        svsWarpImage(warped.data(), right.data, 2, 0);
        std::memcpy(right.data, warped.data(), warped.size());
        left = TheScene().left.clone();  // keep remapping the same pair
        right = TheScene().right.clone();
    }
    svsParams = svsDefaultParameters();
}
BENCHMARK(BM_Rectify)->Unit(benchmark::kMillisecond);

// Stage 3: block matching, 48 disparities, 11 x 11 window.
void BM_Stereo(benchmark::State& state) {
    const svsParameterBlock block = svsDefaultParameters();
    std::vector<std::int16_t> disparity(W * H);
    for (auto _ : state) {
        svsCalcStereo(disparity.data(), TheScene().left.data, TheScene().right.data, &block);
        benchmark::DoNotOptimize(disparity.data());
    }
}
BENCHMARK(BM_Stereo)->Unit(benchmark::kMillisecond);

// Stage 4: X, Y, Z of the valid window from a given disparity image.
void BM_Reconstruct(benchmark::State& state) {
    static CStereoCameraSVS camera(TheScene().Path("processor.ini").c_str());  // no source: says so once
    auto disparity = Plane(IPL_DEPTH_16S);
    const svsParameterBlock block = svsDefaultParameters();
    svsCalcStereo(reinterpret_cast<std::int16_t*>(disparity->GetImageData()), TheScene().left.data,
                  TheScene().right.data, &block);
    auto x = Plane(IPL_DEPTH_32F), y = Plane(IPL_DEPTH_32F), z = Plane(IPL_DEPTH_32F);
    for (auto _ : state) camera.GetXYZ(x.get(), y.get(), z.get(), disparity.get());
}
BENCHMARK(BM_Reconstruct)->Unit(benchmark::kMillisecond);

}  // namespace
