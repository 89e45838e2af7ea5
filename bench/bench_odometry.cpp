// One tracking step of ours against OpenCV's RGB-D odometry on the same frame pair: 320 x 240
// frames of the rendered head, the head turned by 2 degrees and moved by a few millimetres, the
// 120 x 110 face region the initialiser gives and the configuration the sequence writer
// recommends. The peers get the same frames (intensity, depth in metres, the face region's mask),
// the rendered rig's camera matrix and the region's depth range (see peer/OdometryPeer.h). One
// thread for everyone. Prints each median and the ratio of ours to each peer's at the end.
//
//   BM_TrackerStep         a new tracker's Track on the pair from scratch (both frames' pyramids,
//                          the tracker's buffers allocated); a step while tracking, with its
//                          keyframes, is bench_tracking's BM_TrackRecommended
//   BM_Odometry/<peer>     compute() on the pair from scratch (both frames' pyramids)
//   BM_OdometryChained/<peer>  one step of a chain: one new frame prepared, one pair solved
// The counters say whether OpenCV found a motion for the pair (solved) and for how many chained
// steps it did not (failed).
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/core/ocl.hpp>

#include "MedianReporter.h"
#include "acquisition/StereoSource.h"
#include "peer/OdometryPeer.h"
#include "synth/HeadScene.h"
#include "synth/RunConfiguration.h"
#include "synth/SequenceWriter.h"
#include "synth/TrackingRun.h"
#include "tracking/TrackerZBCCE.h"

namespace {

namespace fs = std::filesystem;

struct OdometryScene {
    fs::path dir;
    std::string folder;
    RunConfiguration recommended;
    std::unique_ptr<CStereoSource> source;
    FaceRegion region;
    PeerFrame previous, current;
    StereoRig rig;

    OdometryScene() {
        dir = fs::temp_directory_path() / ("vantorel_bench_odometry_" + std::to_string(::getpid()));
        const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
        SequenceOptions options;
        options.folder = dir.string();
        options.frameCount = 3;
        options.forms = kFormPgm;
        const auto writer = CSequenceWriter::Create(options, nullptr);
        const CRigidMotion rest = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, 950});
        const CRigidMotion moved = CRigidMotion::FromRotationVector({0, 0.0349, 0}, {3, -2, 954});
        const RenderedFrame still = scene->Render(rest);
        writer->WriteFrame(1, still, nullptr);
        writer->WriteFrame(2, still, nullptr);
        writer->WriteFrame(3, scene->Render(moved), nullptr);
        writer->WriteConfiguration(nullptr);
        rig = options.camera;
        LoadRunConfiguration("recommended", writer->Options().folder, recommended, nullptr);
        folder = writer->Options().folder;
        region = InitialiserRegion(still, options.camera, rest);  // 120 x 110
        source = FreshSource();
        previous = PeerFrameFrom(**std::next(source->GetFrames().begin()), source->GetRegion());
        current = PeerFrameFromSource(*source);
    }
    ~OdometryScene() {
        source.reset();
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    // A source with the face region at the pair: the still frame, then the moved one.
    std::unique_ptr<CStereoSource> FreshSource() const {
        std::istringstream param(recommended.ParamFor(folder, "xyz"));
        auto fresh = std::make_unique<CStereoSource>(&param);
        fresh->SetRegion(region.left, region.right, region.top, region.bottom, region.minDepth, region.maxDepth);
        fresh->GrabImage();
        fresh->GrabImage();
        return fresh;
    }
    std::unique_ptr<COdometryPeer> Peer(const std::string& name) const {
        return COdometryPeer::Create(name, {rig.focalPx, rig.centreX, rig.centreY}, region.minDepth, region.maxDepth);
    }
};

OdometryScene& Scene() {
    static OdometryScene scene;
    return scene;
}

// A new tracker and source each time: tracking the same frames again would find their pyramids
// and points kept, and time next to nothing.
void BM_TrackerStep(benchmark::State& state) {
    OdometryScene& scene = Scene();
    std::unique_ptr<CTrackerZBCCE> tracker;
    std::unique_ptr<CStereoSource> source;
    for (auto _ : state) {
        state.PauseTiming();
        tracker.reset();  // the last ones go untimed
        source = scene.FreshSource();
        std::istringstream text(scene.recommended.tracker);
        tracker = std::make_unique<CTrackerZBCCE>(text);
        state.ResumeTiming();
        benchmark::DoNotOptimize(tracker->Track(*source));
    }
}
BENCHMARK(BM_TrackerStep)->Unit(benchmark::kMillisecond);

void BM_Odometry(benchmark::State& state, const std::string& name) {
    OdometryScene& scene = Scene();
    const auto peer = scene.Peer(name);
    CRigidMotion motion;
    for (auto _ : state) benchmark::DoNotOptimize(peer->Estimate(scene.previous, scene.current, motion));
    // ICP on the smooth head finds no motion for some pairs: timed all the same, and said so.
    state.counters["solved"] = peer->Estimate(scene.previous, scene.current, motion);
}

void BM_OdometryChained(benchmark::State& state, const std::string& name) {
    OdometryScene& scene = Scene();
    const auto peer = scene.Peer(name);
    peer->Start(scene.previous);
    bool forward = true;
    for (auto _ : state) {
        benchmark::DoNotOptimize(peer->Step(forward ? scene.current : scene.previous));
        forward = !forward;
    }
    state.counters["failed"] = peer->FailedPairs();
}


}  // namespace

int main(int argc, char** argv) {
    cv::setNumThreads(1);
    cv::ocl::setUseOpenCL(false);
    for (const std::string& name : COdometryPeer::Names()) {
        benchmark::RegisterBenchmark(("BM_Odometry/" + name).c_str(), BM_Odometry, name)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("BM_OdometryChained/" + name).c_str(), BM_OdometryChained, name)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ours = reporter.medians.find("BM_TrackerStep");
    if (ours != reporter.medians.end())
        for (const auto& [name, theirs] : reporter.medians) {
            if (name == ours->first) continue;
            std::printf("tracker step %.3f ms (CPU %.3f) / %s %.3f ms (CPU %.3f): ratio %.3f (CPU %.3f)\n",
                        ours->second.real, ours->second.cpu, name.c_str(), theirs.real, theirs.cpu,
                        ours->second.real / theirs.real, ours->second.cpu / theirs.cpu);
        }
    benchmark::Shutdown();
    return 0;
}
