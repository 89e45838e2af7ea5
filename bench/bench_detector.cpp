// The face detector on a 320 x 240 frame holding a face, against OpenCV's cascade detector running
// the trained cascade ours is converted from: same frame, same four window sizes (24 to 47 pixels,
// factor 1.25), one thread. Prints both medians and their ratio at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <opencv2/core/ocl.hpp>
#include <opencv2/objdetect.hpp>

#include "MedianReporter.h"
#include "../tests/support/FaceTestData.h"
#include "image/Image.h"
#include "init/FaceDetector.h"

namespace {

const char* const kCascade = "/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml";

cv::Mat Frame() { return facetest::AstronautFrame(0.4, 60, 20); }

// The detector prints a progress line per call; it goes to /dev/null while timed.
class QuietStdout {
public:
    QuietStdout() {
        std::fflush(stdout);
        saved_ = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }

private:
    int saved_;
};

void BM_Detect(benchmark::State& state) {
    setenv("VANTOREL_CLASSIFIER", facetest::ClassifierPath().c_str(), 0);
    QuietStdout quiet;
    CFaceDetector detector;
    const cv::Mat frame = Frame();
    CImage image(frame.cols, frame.rows, IPL_DEPTH_8U, 1, 0);
    image.Allocate();
    frame.copyTo(iplFullView(image.GetIplImage()));
    int strong = 0;
    for (auto _ : state) {
        const int n = detector.Detect(image, 0);
        benchmark::DoNotOptimize(n);
        strong = 0;
        for (int i = 0; i < n; ++i) strong += detector.GetDetection(i).hits >= 3;
    }
    if (!detector.HasClassifier()) state.SkipWithError("no classifier");
    state.counters["faces"] = strong;
}
BENCHMARK(BM_Detect)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);

void BM_OpenCVDetectMultiScale(benchmark::State& state) {
    cv::CascadeClassifier cascade(kCascade);
    const cv::Mat frame = Frame();
    std::vector<cv::Rect> faces;
    for (auto _ : state) {
        cascade.detectMultiScale(frame, faces, 1.25, 3, 0, cv::Size(24, 24), cv::Size(47, 47));
        benchmark::DoNotOptimize(faces.data());
    }
    if (cascade.empty()) state.SkipWithError("no cascade");
    state.counters["faces"] = static_cast<double>(faces.size());
}
BENCHMARK(BM_OpenCVDetectMultiScale)->Unit(benchmark::kMillisecond)->Repetitions(15)->ReportAggregatesOnly(true);


}  // namespace

int main(int argc, char** argv) {
    cv::setNumThreads(1);
    cv::ocl::setUseOpenCL(false);
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto ours = reporter.medians.find("BM_Detect");
    const auto theirs = reporter.medians.find("BM_OpenCVDetectMultiScale");
    if (ours != reporter.medians.end() && theirs != reporter.medians.end()) {
        std::printf("median Detect %.3f ms (CPU %.3f ms), OpenCV detectMultiScale %.3f ms (CPU %.3f ms), "
                    "ratio %.2f (CPU %.2f)\n",
                    ours->second.real, ours->second.cpu, theirs->second.real, theirs->second.cpu,
                    ours->second.real / theirs->second.real, ours->second.cpu / theirs->second.cpu);
    }
    benchmark::Shutdown();
    return 0;
}
