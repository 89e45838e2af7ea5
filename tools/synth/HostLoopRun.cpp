#include "synth/HostLoopRun.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include <fcntl.h>
#include <unistd.h>

#include "acquisition/StereoSource.h"
#include "host/TrackerContext.h"

namespace {

// Sends the process's standard output to /dev/null while alive: the detector prints a line for
// every frame it searches, the context one for every face it finds.
class QuietStdout {
public:
    explicit QuietStdout(bool quiet) {
        if (!quiet) return;
        std::fflush(stdout);
        std::cout.flush();
        saved_ = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && null >= 0) ::dup2(null, STDOUT_FILENO);
        if (null >= 0) ::close(null);
    }
    ~QuietStdout() {
        if (saved_ < 0) return;
        std::fflush(stdout);
        std::cout.flush();
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved_ = -1;
};

CRigidMotion PoseOf(const std::array<double, CTrackerContext::kPoseValueCount>& values) {
    cv::Matx33d rotation;
    for (int column = 0; column < 3; ++column)
        for (int row = 0; row < 3; ++row) rotation(row, column) = values[6 + 3 * column + row];
    return CRigidMotion(rotation, {values[3], values[4], values[5]});
}

}  // namespace

bool RunHostLoop(const HostLoopOptions& options, const CGroundTruth& truth, std::vector<HostStep>& steps,
                 std::string* error) {
    steps.clear();
    const auto fail = [&](const std::string& reason) {
        if (error) *error = reason;
        return false;
    };
    std::error_code code;
    std::filesystem::create_directories(options.runDirectory, code);
    if (!WriteRunConfiguration(options.configuration, options.folder, options.path, options.runDirectory, error))
        return false;
    if (!options.classifier.empty()) ::setenv("VANTOREL_CLASSIFIER", options.classifier.c_str(), 1);
    TrackingRunOptions axes;
    axes.path = options.path;
    axes.yUpFiles = options.yUpFiles;
    const bool yUp = DataYUp(axes);
    const int frameCount = static_cast<int>(truth.Frames().size());
    if (frameCount == 0) return fail("no ground truth");
    const int firstIndex = truth.Frames().front().index;

    QuietStdout quiet(options.quiet);
    CTrackerContext context((options.runDirectory + "/").c_str());
    CStereoSource& source = context.GetSource();
    if (!source.GetCurrentFrame()) return fail("the host's source grabbed no first frame from " + options.folder);
    // Files the camera has delivered: one per grab, the constructor's included. Updates grab one;
    // a lost face grabs one more for the new search.
    int delivered = 1;
    int anchor = -1;
    cv::Vec3d centre;
    while (delivered < frameCount) {
        const CTrackerContext::State before = context.GetState();
        const int countBefore = source.GetFrameCount();
        HostStep step;
        step.tracking = context.Update();
        const bool lost = before == CTrackerContext::kTracking && !step.tracking;
        if (lost) delivered += 1 + (source.GetCurrentFrame() ? 1 : 0);
        else if (source.GetFrameCount() != countBefore) delivered += 1;
        else return fail("the host's source stopped delivering frames at " + std::to_string(delivered));
        step.fileIndex = firstIndex + delivered - 1;
        step.lost = lost;
        step.found = before == CTrackerContext::kDetecting && step.tracking;
        if (step.found) {
            anchor = step.fileIndex;
            const CRigidMotion* start = truth.Find(anchor);
            if (!start) return fail("no ground truth for frame " + std::to_string(anchor));
            centre = start->Translation();
            if (yUp) centre[1] = -centre[1];
        }
        step.tracked = step.tracking && !step.found;
        if (step.tracked) {
            const auto values = context.GetHeadPose();
            if (options.centre == CentrePoint::kFaceCentroid && !steps.empty() && steps.back().found)
                centre = cv::Vec3d(values[0], values[1], values[2]);
            step.anchor = anchor;
            step.estimated = PoseOf(values);
            if (!truth.Motion(anchor, step.fileIndex, step.truth))
                return fail("no ground truth for frame " + std::to_string(step.fileIndex));
            if (yUp) step.truth = step.truth.FlippedY();
            step.error = ComparePose(step.estimated, step.truth, centre);
        }
        steps.push_back(step);
    }
    return true;
}

HostLoopSummary SummariseHostLoop(const std::vector<HostStep>& steps, const std::vector<bool>& headVisible,
                                  int returnFrame) {
    HostLoopSummary summary;
    const auto visible = [&](int fileIndex) {
        return fileIndex < 1 || fileIndex > static_cast<int>(headVisible.size()) || headVisible[fileIndex - 1];
    };
    int lastGone = -1;
    for (std::size_t k = 0; k < headVisible.size(); ++k)
        if (!headVisible[k] && (returnFrame < 0 || static_cast<int>(k) + 1 < returnFrame)) lastGone = static_cast<int>(k) + 1;
    for (const HostStep& step : steps) {
        if (step.found) {
            if (summary.firstFound < 0) summary.firstFound = step.fileIndex;
            else ++summary.restarts;
            if (lastGone >= 0 && step.fileIndex > lastGone && summary.restartFrame < 0) summary.restartFrame = step.fileIndex;
        }
        if (step.lost) ++summary.losses;
        if (step.fileIndex == lastGone) summary.lostWhileGone = !step.tracking;
        if (!step.tracked) continue;
        summary.tracked.Add(step.error.rotationDeg, step.error.translationMm, step.error.headCentreMm);
        if (!visible(step.fileIndex)) ++summary.trackedWhileGone;
    }
    if (summary.restartFrame >= 0 && returnFrame >= 0) summary.framesToRestart = summary.restartFrame - returnFrame;
    return summary;
}
