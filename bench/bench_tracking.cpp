// Cost of one tracking step with the default configuration (MATCH_PREVIOUS, POSE_FIRST, DOUBLE,
// LAMBDA 1) on 320 x 240 frames of the rendered head with a 120 x 110 face region, and of the
// estimator alone, split into its stages: valid mask and derivatives, building the linear system,
// solving it.
#include <unistd.h>

#include <filesystem>
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

// Three frames: two at rest (the second with the face region), one turned by half a degree.
struct TrackingScene {
    fs::path dir;
    std::unique_ptr<CStereoSource> source;

    TrackingScene() {
        dir = fs::temp_directory_path() / ("vantorel_bench_tracking_" + std::to_string(::getpid()));
        const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
        SequenceOptions options;
        options.folder = dir.string();
        options.frameCount = 3;
        options.forms = kFormPgm;
        const auto writer = CSequenceWriter::Create(options, nullptr);
        const CRigidMotion rest = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950});
        const CRigidMotion turned = CRigidMotion::FromRotationVector({0, 0.0087, 0}, {0, 0, 950});
        const RenderedFrame still = scene->Render(rest);
        writer->WriteFrame(1, still, nullptr);
        writer->WriteFrame(2, still, nullptr);
        writer->WriteFrame(3, scene->Render(turned), nullptr);
        writer->WriteConfiguration(nullptr);
        std::istringstream param("CAMERA_TYPE: FILES\nCONFIG_FILENAME: " + writer->Path("camera-xyz.cfg") + "\n");
        source = std::make_unique<CStereoSource>(&param);
        const FaceRegion r = InitialiserRegion(still, options.camera, rest);  // 120 x 110
        source->SetRegion(r.left, r.right, r.top, r.bottom, r.minDepth, r.maxDepth);
        source->GrabImage();
        source->GrabImage();
    }
    ~TrackingScene() {
        source.reset();
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    CTrackedFrame* Current() const { return source->GetFrames().front().get(); }
    CTrackedFrame* Previous() const { return std::next(source->GetFrames().begin())->get(); }
};

TrackingScene& Scene() {
    static TrackingScene scene;
    return scene;
}

void BM_Track(benchmark::State& state) {
    TrackingScene& scene = Scene();
    std::istringstream defaults("");
    CTrackerZBCCE tracker(defaults);
    for (auto _ : state) benchmark::DoNotOptimize(tracker.Track(*scene.source));
}
BENCHMARK(BM_Track)->Unit(benchmark::kMillisecond);

void BM_EstimateMotion(benchmark::State& state) {
    TrackingScene& scene = Scene();
    CMotionEstimator estimator(1.0f, 1);
    for (auto _ : state) {
        std::unique_ptr<CPose> pose(
            estimator.EstimateMotionInRegion(scene.Previous(), scene.Current(), scene.source->GetRegion()));
        benchmark::DoNotOptimize(pose.get());
    }
}
BENCHMARK(BM_EstimateMotion)->Unit(benchmark::kMillisecond);

// The stages on the cropped pair.
struct CroppedPair {
    std::unique_ptr<CStereoFrame> reference, current;
    CMotionEstimator estimator{1.0f, 1};
    CroppedPair() {
        TrackingScene& scene = Scene();
        reference.reset(scene.Previous()->Crop(scene.source->GetRegion()));
        current.reset(scene.Current()->Crop(scene.source->GetRegion()));
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
