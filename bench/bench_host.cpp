// Cost of one host step and its parts, on the rendered head replayed from PGM-style files
// (intensity, X, Y, Z) with the settings the generator writes (output files off): file reading (the recorded camera alone), frame construction (a tracked
// frame from the four images: float conversion, mask, centroid, scaling), the detecting work
// (two 8-bit conversions and the initialiser's Detect) and the tracking work (Track and
// Validate); and whole CTrackerContext::Update steps while detecting and while tracking.
//
// The detector prints a line per call: stdout goes to /dev/null while benchmarks run and the
// results are written to the original stdout.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "acquisition/StereoCameraFiles.h"
#include "acquisition/StereoSource.h"
#include "host/ConvertToGray8.h"
#include "host/TrackerContext.h"
#include "image/Image.h"
#include "init/TrackerInitializer.h"
#include "synth/HeadScene.h"
#include "synth/SequenceWriter.h"
#include "synth/Trajectory.h"
#include "tracking/TrackedFrame.h"
#include "tracking/TrackerZBCCE.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFrames = 40;

// A 40-frame turn replayed back and forth without end, and two configuration folders over it:
// one that tracks, one whose face search never succeeds.
struct Sequence {
    fs::path dir;
    std::string tracking, detecting;
    std::string param_, trackerSettings_;

    Sequence() {
        dir = fs::temp_directory_path() / ("vantorel_bench_host_" + std::to_string(::getpid()));
        setenv("VANTOREL_CLASSIFIER", (std::string(VANTOREL_BUILD_DIR) + "/classifier/Classifier.txt").c_str(), 0);
        TrajectoryOptions trajectory;
        trajectory.name = "tour";
        trajectory.frameCount = kFrames;
        trajectory.amplitudeRad = 0.1;
        std::vector<CRigidMotion> poses;
        MakeTrajectory(trajectory, poses, nullptr);
        const auto scene = CHeadScene::Create(SceneOptions(), nullptr);
        SequenceOptions options;
        options.folder = (dir / "frames").string();
        options.frameCount = kFrames;
        options.forms = kFormPgm;
        const auto writer = CSequenceWriter::Create(options, nullptr);
        for (int k = 0; k < kFrames; ++k) writer->WriteFrame(k + 1, scene->Render(poses[k]), nullptr);
        writer->WriteConfiguration(nullptr);
        std::ifstream camera(writer->Path("camera-xyz.cfg"));
        Write("camera.cfg", std::string(std::istreambuf_iterator<char>(camera), {}) + "TOTAL_FRAME: 1000000000\n");
        // The generated settings, with this camera file and without output files.
        param_ = "CONFIG_FILENAME: " + Camera() + "\n" + Without(writer->Path("Param.cfg"), "CONFIG_FILENAME:");
        trackerSettings_ = Without(writer->Path("ParamTrackerZBCCE.cfg"), "POSES_FILE:", "RESULTS_FILE:");
        const std::string initText = Without(writer->Path("ParamInit.cfg"), "#");
        tracking = Folder("tracking", initText);
        detecting = Folder("detecting", initText + "NB_DETECT_BEFORE_INIT: 1000000000\n");
    }
    ~Sequence() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    std::string Camera() const { return (dir / "camera.cfg").string(); }
    const std::string& Param() const { return param_; }
    const std::string& TrackerSettings() const { return trackerSettings_; }

private:
    void Write(const fs::path& name, const std::string& text) const { std::ofstream(dir / name) << text; }
    // The file's lines except those starting with one of the prefixes.
    static std::string Without(const std::string& path, const std::string& prefix, const std::string& other = "#") {
        std::ifstream in(path);
        std::string text, line;
        while (std::getline(in, line))
            if (line.rfind(prefix, 0) != 0 && line.rfind(other, 0) != 0) text += line + "\n";
        return text;
    }
    std::string Folder(const std::string& name, const std::string& initText) const {
        fs::create_directories(dir / name);
        Write(fs::path(name) / "Param.cfg", Param());
        Write(fs::path(name) / "ParamInit.cfg", initText);
        Write(fs::path(name) / "ParamTrackerZBCCE.cfg", trackerSettings_);
        return (dir / name).string() + "/";
    }
};

const Sequence& TheSequence() {
    static const Sequence sequence;
    return sequence;
}

std::unique_ptr<CImage> Image(int depth) {
    auto image = std::make_unique<CImage>(320, 240, depth, 1, 0);
    image->Allocate();
    return image;
}

void BM_FileReading(benchmark::State& state) {
    CStereoCameraFiles camera(TheSequence().Camera().c_str());
    const auto intensity = Image(IPL_DEPTH_8U), x = Image(IPL_DEPTH_32F), y = Image(IPL_DEPTH_32F),
               z = Image(IPL_DEPTH_32F);
    for (auto _ : state) {
        if (camera.GrabFrame() != 0) state.SkipWithError("grab failed");
        camera.GetImage(intensity.get(), 5);
        camera.GetXYZ(x.get(), y.get(), z.get(), nullptr);
    }
}
BENCHMARK(BM_FileReading)->Unit(benchmark::kMillisecond);

// With the face region of a tracking run (120 x 110 pixels, depth 550 to 1250 mm).
void BM_FrameConstruction(benchmark::State& state) {
    CStereoCameraFiles camera(TheSequence().Camera().c_str());
    const auto intensity = Image(IPL_DEPTH_8U), x = Image(IPL_DEPTH_32F), y = Image(IPL_DEPTH_32F),
               z = Image(IPL_DEPTH_32F);
    camera.GrabFrame();
    camera.GetImage(intensity.get(), 5);
    camera.GetXYZ(x.get(), y.get(), z.get(), nullptr);
    const CDepthMaskRegion region(100, 220, 40, 150, 550.0f, 1250.0f);
    for (auto _ : state) {
        state.PauseTiming();
        CImage* copies[4] = {intensity->Clone(), z->Clone(), x->Clone(), y->Clone()};
        state.ResumeTiming();
        auto frame = std::make_unique<CTrackedFrame>(copies[0], copies[1], copies[2], copies[3], &region, 1);
        frame->GetIntensity()->MultiplySFP(3.9215687e-05f);
        benchmark::DoNotOptimize(frame->GetCentroidZ());
        state.PauseTiming();  // the frame's destruction is not construction
        frame.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FrameConstruction)->Unit(benchmark::kMillisecond);

// The source's whole grab: reading, construction, list upkeep.
void BM_SourceGrab(benchmark::State& state) {
    std::istringstream param(TheSequence().Param());
    CStereoSource source(&param);
    source.SetRegion(100, 220, 40, 150, 550.0f, 1250.0f);
    for (auto _ : state)
        if (!source.GrabImage()) state.SkipWithError("grab failed");
}
BENCHMARK(BM_SourceGrab)->Unit(benchmark::kMillisecond);

void BM_DetectingWork(benchmark::State& state) {
    std::istringstream param(TheSequence().Param());
    CStereoSource source(&param);
    std::ifstream init(TheSequence().detecting + "ParamInit.cfg");
    CTrackerInitializer initializer(&init);
    for (auto _ : state) {
        const std::unique_ptr<CImage> grey(ConvertToGray8(source.GetIntensity(), nullptr));
        const std::unique_ptr<CImage> mask(ConvertToGray8(source.GetMask(), nullptr));
        benchmark::DoNotOptimize(initializer.Detect(grey.get(), source.GetDepth(), mask.get(), 1));
    }
}
BENCHMARK(BM_DetectingWork)->Unit(benchmark::kMillisecond);

// Track and Validate on the same newest frame over and over: the estimation's cost.
void BM_TrackingWork(benchmark::State& state) {
    std::istringstream param(TheSequence().Param());
    CStereoSource source(&param);
    source.SetRegion(100, 220, 40, 150, 550.0f, 1250.0f);
    for (int k = 0; k < 12; ++k) source.GrabImage();  // into the turn
    std::istringstream settings(TheSequence().TrackerSettings());
    CTrackerZBCCE tracker(settings);
    CTrackerInitializer initializer(nullptr);
    for (auto _ : state) {
        tracker.Track(source);
        benchmark::DoNotOptimize(initializer.Validate(source.GetIntensity(), source.GetDepth(), source.GetMask(),
                                                      *tracker.GetFirstMatchMotion()));
    }
}
BENCHMARK(BM_TrackingWork)->Unit(benchmark::kMillisecond);

void BM_UpdateWhileDetecting(benchmark::State& state) {
    CTrackerContext context(TheSequence().detecting.c_str());
    for (auto _ : state)
        if (context.Update()) state.SkipWithError("started tracking");
}
BENCHMARK(BM_UpdateWhileDetecting)->Unit(benchmark::kMillisecond);

void BM_UpdateWhileTracking(benchmark::State& state) {
    CTrackerContext context(TheSequence().tracking.c_str());
    for (int step = 0; step < 10 && !context.Update(); ++step) {
    }
    for (auto _ : state)
        if (!context.Update()) state.SkipWithError("lost the face");
}
BENCHMARK(BM_UpdateWhileTracking)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TheSequence();
    // Results go to the original stdout; the library's progress lines to /dev/null.
    std::fflush(stdout);
    const int results = ::dup(1);
    const int null = ::open("/dev/null", O_WRONLY);
    if (results < 0 || null < 0) return 1;
    ::dup2(null, 1);
    ::close(null);
    // Appending: reopening the descriptor's file for writing would empty a log it was sent to.
    std::ofstream out("/proc/self/fd/" + std::to_string(results), std::ios::app);
    benchmark::ConsoleReporter reporter(::isatty(results) ? benchmark::ConsoleReporter::OO_Defaults
                                                          : benchmark::ConsoleReporter::OO_Tabular);
    reporter.SetOutputStream(&out);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
