// The live camera from image files at 320 x 240, on one core: whole grabs (capture, rectification,
// stereo, reconstruction) with each matcher setting, the stages of a grab alone, and the live path
// with tracking (the stereo source's GrabImage and one tracking step per frame).
//
// The frames are the rendered relief head turning and nodding, written with the live camera's
// parameter file the sequence writer makes (its recommended matching); the other settings append
// their keywords to that file.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core/utility.hpp>
#include <unistd.h>

#include "acquisition/StereoCameraSVS.h"
#include "acquisition/StereoSource.h"
#include "image/Image.h"
#include "platform/svs/svs.h"
#include "synth/HeadScene.h"
#include "synth/SequenceWriter.h"
#include "synth/TrackingRun.h"
#include "synth/Trajectory.h"
#include "tracking/TrackerParameters.h"
#include "tracking/TrackerZBCCE.h"

namespace {

namespace fs = std::filesystem;

constexpr int W = 320;
constexpr int H = 240;
constexpr int kFrames = 40;
constexpr int kStillFrames = 4;

// Matching keywords appended to the generator's file (the last mention of a keyword counts).
const char* const kBlock =
    "MATCHER: BLOCK CORRELATION_WINDOW: 11 PREFILTER_WINDOW: 9 SMOOTHNESS: 0 0 LEFT_RIGHT_CHECK: OFF "
    "SUBPIXEL_WINDOW: 0 DEPTH_EDGE: 0 1";
const struct {
    const char* name;
    std::string lines;
} kSettings[] = {
    {"recommended", ""},  // semi-global, lighter penalties, checked, refined, aligned
    {"block", kBlock},    // the defaults: block matching alone
    {"block_checked", std::string(kBlock) + " LEFT_RIGHT_CHECK: 1"},
    {"block_checked_refined", std::string(kBlock) + " LEFT_RIGHT_CHECK: 1 SUBPIXEL_WINDOW: 7"},
    {"semi_global", "SMOOTHNESS: 0 0 LEFT_RIGHT_CHECK: OFF SUBPIXEL_WINDOW: 0"},
    {"semi_global_checked", "SMOOTHNESS: 0 0 SUBPIXEL_WINDOW: 0"},
    {"semi_global_light_checked", "SUBPIXEL_WINDOW: 0"},
    {"recommended_depth_edge", "DEPTH_EDGE: 3 2"},
    {"recommended_edge_recheck", "EDGE_RECHECK: 3 2"},
    {"recommended_eight_paths", "SEMI_GLOBAL_PATHS: 8"},
    {"recommended_unaligned", "AUTO_ALIGN: NONE"},
    {"recommended_valid_window", "FULL_WIDTH: NO"},
};

class Scene {
public:
    Scene() : folder_(fs::temp_directory_path() / ("vantorel_bench_live_" + std::to_string(::getpid()))) {
        TrajectoryOptions trajectory;
        trajectory.name = "tour";
        trajectory.frameCount = kFrames;
        trajectory.stillFrames = kStillFrames;
        trajectory.amplitudeRad = 0.15;
        MakeTrajectory(trajectory, poses_, nullptr);
        const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
        SequenceOptions options;
        options.folder = (folder_ / "frames").string();
        options.frameCount = kFrames;
        options.forms = kFormPng;
        options.trackerCamera = "live";
        options.nearestDepthMm = 0.5 * trajectory.distanceMm;
        options.farthestDepthMm = scene->Options().backgroundDistanceMm;
        const auto writer = CSequenceWriter::Create(options, nullptr);
        for (int k = 0; k < kFrames; ++k) {
            const RenderedFrame frame = scene->Render(poses_[k]);
            writer->WriteFrame(k + 1, frame, nullptr);
            if (k + 1 == kStillFrames) region_ = InitialiserRegion(frame, options.camera, poses_[k]);
            if (k == 0) {
                left_ = frame.left.clone();
                right_ = frame.right.clone();
            }
        }
        writer->WriteConfiguration(nullptr);
        std::ifstream in(writer->Path("camera-live.cfg"));
        generated_ = std::string(std::istreambuf_iterator<char>(in), {});
        for (const auto& setting : kSettings) {
            std::ofstream(Path(setting.name)) << generated_ << "\n" << setting.lines << "\n";
        }
    }
    ~Scene() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string Path(const std::string& setting) const { return (folder_ / ("camera-" + setting + ".cfg")).string(); }
    svsParameterBlock Block(const std::string& setting) const {
        svsParameterBlock block = svsDefaultParameters();
        svsReadParamFile(Path(setting).c_str(), &block);
        return block;
    }
    // The generator's tracker settings, without output files.
    CTrackerParameters TrackerSettings() const {
        std::ifstream in((folder_ / "frames" / "ParamTrackerZBCCE.cfg").string());
        CTrackerParameters parameters(in);
        parameters.resultsFileName.clear();
        parameters.posesFileName.clear();
        return parameters;
    }
    const cv::Mat& Left() const { return left_; }
    const cv::Mat& Right() const { return right_; }
    const FaceRegion& Region() const { return region_; }

private:
    fs::path folder_;
    std::vector<CRigidMotion> poses_;
    std::string generated_;
    cv::Mat left_, right_;
    FaceRegion region_;
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

// A whole grab, as the stereo source makes it; the camera is reopened (untimed) at the end of
// the files.
void BM_LiveGrab(benchmark::State& state, const std::string& setting) {
    std::unique_ptr<CStereoCameraSVS> camera;
    int grabs = kFrames;
    auto intensity = Plane(IPL_DEPTH_8U);
    auto x = Plane(IPL_DEPTH_32F), y = Plane(IPL_DEPTH_32F), z = Plane(IPL_DEPTH_32F);
    for (auto _ : state) {
        if (grabs == kFrames) {
            state.PauseTiming();
            camera.reset();
            camera = std::make_unique<CStereoCameraSVS>(TheScene().Path(setting).c_str());
            grabs = 0;
            state.ResumeTiming();
        }
        ++grabs;
        if (camera->GrabFrame() != 0) state.SkipWithError("grab failed");
        camera->GetImage(intensity.get(), 5);
        camera->GetXYZ(x.get(), y.get(), z.get(), nullptr);
    }
}

// The live path as the host runs it while tracking: the source's GrabImage and one tracking step
// with the generator's tracker settings, the face region set where the initialiser would put it.
void BM_LiveTrackingStep(benchmark::State& state, const std::string& setting) {
    std::unique_ptr<CStereoSource> source;
    std::unique_ptr<CTrackerZBCCE> tracker;
    CTrackerParameters parameters = TheScene().TrackerSettings();
    for (auto _ : state) {
        if (!source || source->GetCurrentFrame()->GetIndex() == kFrames) {
            state.PauseTiming();
            tracker.reset();
            source.reset();
            std::istringstream param("CAMERA_TYPE: SRI\nCONFIG_FILENAME: " + TheScene().Path(setting) +
                                     "\nMAX_FRAMES: 100\nPROJECTION: PERSPECTIVE\n");
            source = std::make_unique<CStereoSource>(&param);
            while (source->GetCurrentFrame() && source->GetCurrentFrame()->GetIndex() < kStillFrames) source->GrabImage();
            const FaceRegion& r = TheScene().Region();
            source->SetRegion(r.left, r.right, r.top, r.bottom, r.minDepth, r.maxDepth);
            tracker = std::make_unique<CTrackerZBCCE>(parameters);
            state.ResumeTiming();
        }
        if (!source->GrabImage()) state.SkipWithError("grab failed");
        tracker->Track(*source);
    }
}

// Stage: the matcher alone (with its checks, refinement and edge removal) on the first pair.
void BM_Stereo(benchmark::State& state, const std::string& setting) {
    const svsParameterBlock block = TheScene().Block(setting);
    std::vector<std::int16_t> disparity(W * H);
    for (auto _ : state) {
        svsCalcStereo(disparity.data(), TheScene().Left().data, TheScene().Right().data, &block);
        benchmark::DoNotOptimize(disparity.data());
    }
}

// The same on two processors, as a machine with more than one gives them: the pair's two views
// are matched at once. Wall-clock time.
void BM_OnTwoCores(benchmark::State& state, void (*stage)(benchmark::State&, const std::string&),
                   const std::string& setting) {
    cv::setNumThreads(2);
    stage(state, setting);
    cv::setNumThreads(1);
}

// Stage: the grabber reads and decodes the next pair of files.
void BM_CaptureFromFiles(benchmark::State& state) {
    const svsParameterBlock block = TheScene().Block("recommended");
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

// Stage: undistortion and rectification of both images of a camera with lens distortion.
void BM_Rectify(benchmark::State& state) {
    svsParameterBlock block = svsDefaultParameters();
    const double camera[9] = {382, 0, 158, 0, 382, 121, 0, 0, 1};
    const double distortion[5] = {-0.12, 0.03, 0, 0, 0};
    const double projection[2][12] = {{380, 0, 160, 0, 0, 380, 120, 0, 0, 0, 1, 0},
                                      {380, 0, 160, -34200, 0, 380, 120, 0, 0, 0, 1, 0}};
    for (int side = 0; side < 2; ++side) {
        svsRectification& r = block.rectification[side];
        r.present = 1;
        r.distortionCount = 5;
        std::memcpy(r.cameraMatrix, camera, sizeof camera);
        std::memcpy(r.distortion, distortion, sizeof distortion);
        const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        std::memcpy(r.rotation, identity, sizeof identity);
        std::memcpy(r.projection, projection[side], sizeof projection[side]);
    }
    svsParams = block;
    std::vector<unsigned char> warped(W * H);
    for (auto _ : state) {
        svsWarpImage(warped.data(), TheScene().Left().data, 1, 0);
        svsWarpImage(warped.data(), TheScene().Right().data, 2, 0);
        benchmark::DoNotOptimize(warped.data());
    }
    svsParams = svsDefaultParameters();
}
BENCHMARK(BM_Rectify)->Unit(benchmark::kMillisecond);

// Stage: X, Y, Z of the valid window from a given disparity image.
void BM_Reconstruct(benchmark::State& state) {
    CStereoCameraSVS camera(TheScene().Path("recommended").c_str());  // closes the grabber it opens
    auto disparity = Plane(IPL_DEPTH_16S);
    const svsParameterBlock block = TheScene().Block("recommended");
    svsCalcStereo(reinterpret_cast<std::int16_t*>(disparity->GetImageData()), TheScene().Left().data,
                  TheScene().Right().data, &block);
    auto x = Plane(IPL_DEPTH_32F), y = Plane(IPL_DEPTH_32F), z = Plane(IPL_DEPTH_32F);
    for (auto _ : state) camera.GetXYZ(x.get(), y.get(), z.get(), disparity.get());
}
BENCHMARK(BM_Reconstruct)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    cv::setNumThreads(1);  // one core
    for (const auto& setting : kSettings) {
        benchmark::RegisterBenchmark((std::string("BM_LiveGrab/") + setting.name).c_str(), BM_LiveGrab, setting.name)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark((std::string("BM_Stereo/") + setting.name).c_str(), BM_Stereo, setting.name)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("BM_LiveTrackingStep/recommended", BM_LiveTrackingStep, "recommended")
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_LiveTrackingStep/block", BM_LiveTrackingStep, "block")->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_LiveTrackingStep/recommended_unaligned", BM_LiveTrackingStep,
                                 "recommended_unaligned")
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_LiveTrackingStep/recommended_valid_window", BM_LiveTrackingStep,
                                 "recommended_valid_window")
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_Stereo/recommended_two_cores", BM_OnTwoCores, BM_Stereo, "recommended")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("BM_LiveTrackingStep/recommended_two_cores", BM_OnTwoCores, BM_LiveTrackingStep,
                                 "recommended")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
