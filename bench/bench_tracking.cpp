// Cost of one tracking step on 320 x 240 frames of the rendered head with a 120 x 110 face region:
// with the settings the sequence generator writes (the recommended ones), with those and
// "FINE_STRIDE: 1", with those and "BRIGHTNESS: CONSTANT", with every setting at
// its default (one linearised solve, LAMBDA 1), and the single-step estimator alone split into its
// stages: valid mask and derivatives, building the linear system, solving it.
//
// The tracking steps follow a head turning by half a degree a frame, a new frame each step as a
// camera delivers them (grabbing the frame is not timed), so the iterated estimator builds one new
// pyramid per step as it does when tracking.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <benchmark/benchmark.h>

#include "acquisition/StereoSource.h"
#include "synth/HeadScene.h"
#include "synth/SequenceWriter.h"
#include "synth/TrackingRun.h"
#include "tracking/MotionEstimator.h"
#include "tracking/Pose.h"
#include "tracking/TrackerZBCCE.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFrames = 40;
constexpr double kTurnPerFrameRad = 0.0087;

// A recorded turn: two frames at rest (the second with the face region), then one turn step per
// frame.
struct TrackingScene {
    fs::path dir;
    std::string param;
    FaceRegion region;
    std::string recommended;  // the generator's ParamTrackerZBCCE.cfg

    TrackingScene() {
        dir = fs::temp_directory_path() / ("vantorel_bench_tracking_" + std::to_string(::getpid()));
        const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
        SequenceOptions options;
        options.folder = dir.string();
        options.frameCount = kFrames;
        options.forms = kFormPgm;
        const auto writer = CSequenceWriter::Create(options, nullptr);
        const CRigidMotion rest = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950});
        const RenderedFrame still = scene->Render(rest);
        writer->WriteFrame(1, still, nullptr);
        writer->WriteFrame(2, still, nullptr);
        for (int k = 3; k <= kFrames; ++k)
            writer->WriteFrame(k, scene->Render(CRigidMotion::FromRotationVector({0, kTurnPerFrameRad * (k - 2), 0}, {0, 0, 950})),
                               nullptr);
        writer->WriteConfiguration(nullptr);
        region = InitialiserRegion(still, options.camera, rest);  // 120 x 110
        // Its lines without the output files, which a benchmark would only fill.
        std::ifstream in(writer->Path("ParamTrackerZBCCE.cfg"));
        for (std::string line; std::getline(in, line);)
            if (line.find("RESULTS_FILE:") == std::string::npos && line.find("POSES_FILE:") == std::string::npos)
                recommended += line + "\n";
        // The generator's camera settings (perspective projection) without its output files.
        param = "CAMERA_TYPE: FILES\nCONFIG_FILENAME: " + writer->Path("camera-xyz.cfg") + "\nPROJECTION: PERSPECTIVE\n";
    }
    ~TrackingScene() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    // A source at the first frame with the face region, ready to grab the moving frames.
    std::unique_ptr<CStereoSource> Source() const {
        std::istringstream in(param);
        auto source = std::make_unique<CStereoSource>(&in);
        source->SetRegion(region.left, region.right, region.top, region.bottom, region.minDepth, region.maxDepth);
        source->GrabImage();
        return source;
    }
};

TrackingScene& Scene() {
    static TrackingScene scene;
    return scene;
}

// Tracking steps over the turn, the source rewound when it ends.
void TrackSteps(benchmark::State& state, const std::string& configuration) {
    TrackingScene& scene = Scene();
    std::istringstream in(configuration);
    CTrackerZBCCE tracker(in);
    std::unique_ptr<CStereoSource> source = scene.Source();
    for (auto _ : state) {
        state.PauseTiming();
        if (!source->GrabImage()) {
            source = scene.Source();
            source->GrabImage();
        }
        state.ResumeTiming();
        benchmark::DoNotOptimize(tracker.Track(*source));
    }
}

void BM_TrackRecommended(benchmark::State& state) { TrackSteps(state, Scene().recommended); }
BENCHMARK(BM_TrackRecommended)->Unit(benchmark::kMillisecond);

// The recommended settings with one line changed: what that setting costs or saves.
void BM_TrackRecommendedWith(benchmark::State& state, const char* line) {
    TrackSteps(state, Scene().recommended + line + "\n");
}
// The finest level's rows from every pixel rather than every other one.
BENCHMARK_CAPTURE(BM_TrackRecommendedWith, FineStride1, "FINE_STRIDE: 1")->Unit(benchmark::kMillisecond);
// The finest level's grey levels smoothed three times, as the coarser levels'.
BENCHMARK_CAPTURE(BM_TrackRecommendedWith, FineSmoothing3, "FINE_SMOOTHING: 3")->Unit(benchmark::kMillisecond);
// The finest level's depth smoothed by the prefilter rather than fitted by a parabola.
BENCHMARK_CAPTURE(BM_TrackRecommendedWith, PlainDepth, "DEPTH_SMOOTHING: PLAIN")->Unit(benchmark::kMillisecond);
// Without the exposure's gain fitted to every iteration's matches.
BENCHMARK_CAPTURE(BM_TrackRecommendedWith, ConstantBrightness, "BRIGHTNESS: CONSTANT")->Unit(benchmark::kMillisecond);
// The exposure's gain varying across the face, as a lamp's light does.
BENCHMARK_CAPTURE(BM_TrackRecommendedWith, Shading, "BRIGHTNESS: SHADING")->Unit(benchmark::kMillisecond);
// The rows' derivatives at the reference's points to the end, as without JACOBIAN_DEPTH.
BENCHMARK_CAPTURE(BM_TrackRecommendedWith, ReferenceDepth, "JACOBIAN_DEPTH: REFERENCE")->Unit(benchmark::kMillisecond);
// The brightness rows' excess from their points' depth noise taken out.
BENCHMARK_CAPTURE(BM_TrackRecommendedWith, DepthNoiseCorrection, "DEPTH_NOISE_CORRECTION: YES")
    ->Unit(benchmark::kMillisecond);
// Nothing taken for hidden behind a nearer surface.
BENCHMARK_CAPTURE(BM_TrackRecommendedWith, NoOcclusionGap, "OCCLUSION_GAP: 0")->Unit(benchmark::kMillisecond);
// The brightness rows' points at the texture's depth: a second point to move and sample a row.
BENCHMARK_CAPTURE(BM_TrackRecommendedWith, TextureBrightness, "DEPTH_SMOOTHING: TEXTURE_BRIGHTNESS")
    ->Unit(benchmark::kMillisecond);

void BM_TrackDefaults(benchmark::State& state) { TrackSteps(state, ""); }
BENCHMARK(BM_TrackDefaults)->Unit(benchmark::kMillisecond);

// The single-step estimator's stages on one cropped pair (frames 2 and 3).
struct CroppedPair {
    std::unique_ptr<CStereoSource> source = Scene().Source();
    std::unique_ptr<CStereoFrame> reference, current;
    CMotionEstimator estimator{1.0f, 1};
    CroppedPair() {
        source->GrabImage();
        const auto& frames = source->GetFrames();
        reference.reset(std::next(frames.begin())->get()->Crop(source->GetRegion()));
        current.reset(frames.front()->Crop(source->GetRegion()));
    }
};

void BM_EstimatorDerivatives(benchmark::State& state) {
    CroppedPair pair;
    for (auto _ : state) benchmark::DoNotOptimize(pair.estimator.Prepare(pair.reference.get(), pair.current.get(), 5));
}
BENCHMARK(BM_EstimatorDerivatives)->Unit(benchmark::kMicrosecond);

void BM_EstimatorBuildSystem(benchmark::State& state) {
    CroppedPair pair;
    pair.estimator.Prepare(pair.reference.get(), pair.current.get(), 5);
    const float origin[3] = {0, 0, 0};
    for (auto _ : state) {
        MotionSystem system;
        pair.estimator.BuildSystem(pair.reference.get(), origin, system);
        benchmark::DoNotOptimize(system.matrix.data());
    }
}
BENCHMARK(BM_EstimatorBuildSystem)->Unit(benchmark::kMicrosecond);

void BM_EstimatorSolve(benchmark::State& state) {
    CroppedPair pair;
    pair.estimator.Prepare(pair.reference.get(), pair.current.get(), 5);
    const float origin[3] = {0, 0, 0};
    MotionSystem built;
    pair.estimator.BuildSystem(pair.reference.get(), origin, built);
    state.counters["rows"] = built.rows;
    for (auto _ : state) {
        float x[6];
        benchmark::DoNotOptimize(CMotionEstimator::Solve(built, x));
    }
}
BENCHMARK(BM_EstimatorSolve)->Unit(benchmark::kMicrosecond);

}  // namespace
