#include "evaluation/CaseRuns.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "evaluation/PeerRuns.h"
#include "synth/AxisErrors.h"
#include "synth/IncrementErrors.h"
#include "tracking/TrackerParameters.h"

namespace {

const char* GradientName(const std::string& trackerText) {
    std::istringstream in(trackerText);
    const CTrackerParameters parameters(in);
    if (parameters.gradient == CTrackerParameters::DIRECT) return "DIRECT";
    if (parameters.gradient == CTrackerParameters::ANALYTIC) return "ANALYTIC";
    return "DOUBLE";
}

void PrintFrames(const std::vector<TrackedFrameResult>& results) {
    constexpr double kDeg = 180.0 / CV_PI;
    for (const TrackedFrameResult& r : results) {
        const cv::Vec3d rt = r.truth.RotationVector() * kDeg, re = r.estimated.RotationVector() * kDeg;
        const cv::Vec3d tt = r.truth.Translation(), te = r.estimated.Translation();
        std::printf("  %4d true r %7.3f %7.3f %7.3f t %8.2f %8.2f %8.2f | est r %7.3f %7.3f %7.3f t %8.2f %8.2f %8.2f"
                    " | %6.3f deg %7.2f mm\n",
                    r.index, rt[0], rt[1], rt[2], tt[0], tt[1], tt[2], re[0], re[1], re[2], te[0], te[1], te[2],
                    r.error.rotationDeg, r.error.headCentreMm);
    }
    const IncrementErrors increments = MeasureIncrements(results);
    std::printf("  increments over %d pairs, degrees about X, Y, Z: rms %.4f %.4f %.4f,"
                " mean per pair %+.4f %+.4f %+.4f\n",
                increments.pairs, increments.rmsDeg[0], increments.rmsDeg[1], increments.rmsDeg[2],
                increments.meanDeg[0], increments.meanDeg[1], increments.meanDeg[2]);
    const AxisErrors axes = MeasureAxisErrors(results);
    if (axes.frames == 0) return;
    std::printf("  errors about X, Y, Z: rms %.3f %.3f %.3f; per degree about %c %+.4f %+.4f %+.4f;"
                " rest rms %.3f %.3f %.3f\n",
                axes.rmsDeg[0], axes.rmsDeg[1], axes.rmsDeg[2], "XYZ"[axes.mainAxis], axes.slope[0],
                axes.slope[1], axes.slope[2], axes.restRmsDeg[0], axes.restRmsDeg[1], axes.restRmsDeg[2]);
}

}  // namespace

SequenceCase CaseFromOptions(const EvaluationOptions& o, const std::string& trajectory, double distanceMm,
                             double focalPx) {
    SequenceCase c;
    c.trajectory = trajectory;
    c.distanceMm = distanceMm;
    c.focalPx = focalPx;
    c.noise = o.noise;
    c.depthNoiseMm = o.depthNoiseMm;
    c.scene = o.scene;
    c.frames = o.frames;
    c.stillFrames = o.stillFrames;
    c.framesPerSecond = o.framesPerSecond;
    c.offsetMm = o.offsetMm;
    c.seed = o.seed;
    c.yUp = o.yUp;
    c.paths = o.paths;
    c.stereoKeywords = o.stereoKeywords;
    c.exactDepth = o.exactDepth;
    return c;
}

double MedianMilliseconds(std::vector<double> seconds) {
    if (seconds.empty()) return 0.0;
    const auto middle = seconds.begin() + static_cast<long>(seconds.size() / 2);
    std::nth_element(seconds.begin(), middle, seconds.end());
    return 1000.0 * *middle;
}

bool BuildRunConfiguration(const EvaluationOptions& options, const std::string& name, const std::string& folder,
                           const MatchMode& mode, const std::string& gradient, RunConfiguration& configuration,
                           std::string* error) {
    if (!LoadRunConfiguration(name, folder, configuration, error)) return false;
    if (!mode.match.empty()) {
        configuration.AddTrackerKeyword("MATCH_FUNCTION: " + mode.match);
        configuration.AddTrackerKeyword("MERGE_POSE: " + mode.merge);
    }
    if (!gradient.empty()) configuration.AddTrackerKeyword("GRADIENT: " + gradient);
    for (const std::string& line : options.paramKeywords) configuration.AddParamKeyword(line);
    for (const std::string& line : options.initKeywords) configuration.AddInitKeyword(line);
    for (const std::string& line : options.trackerKeywords) configuration.AddTrackerKeyword(line);
    return true;
}

RunLabels LabelsFor(const SequenceCase& sequence, const std::string& path, const std::string& config,
                    const std::string& mode) {
    return {sequence.trajectory, sequence.Label(), path, config, mode};
}

TrackingRunOptions ReplayOptions(const SequenceCase& sequence, const WrittenCase& written, const std::string& path,
                                 const EvaluationOptions& options) {
    TrackingRunOptions run;
    run.folder = written.folder;
    run.path = path;
    run.yUpFiles = sequence.yUp;
    run.stillFrames = sequence.stillFrames;
    run.region = written.region;
    run.centre = options.faceCentroid ? CentrePoint::kFaceCentroid : CentrePoint::kHeadCentre;
    if (path == "live") run.exactDepth = sequence.exactDepth;
    return run;
}

bool RunSequenceCase(const SequenceCase& sequence, const WrittenCase& written, const EvaluationOptions& options,
                     std::vector<RunRow>& rows, std::string* error) {
    const std::vector<std::string> gradients = options.gradients.empty() ? std::vector<std::string>{""}
                                                                         : options.gradients;
    for (const std::string& path : sequence.paths) {
        // The peers ride along the first run of each path: they see the frames of that path.
        bool peersDue = options.peerPaths.empty() ||
                        std::find(options.peerPaths.begin(), options.peerPaths.end(), path) != options.peerPaths.end();
        for (const std::string& config : options.configs)
            for (const std::string& gradient : gradients)
                for (const std::string& modeName : options.modes) {
                    const MatchMode* mode = FindMatchMode(modeName);
                    if (!mode) {
                        if (error) *error = "unknown mode " + modeName;
                        return false;
                    }
                    TrackingRunOptions run = ReplayOptions(sequence, written, path, options);
                    RunConfiguration configuration;
                    if (!BuildRunConfiguration(options, config, written.folder, *mode, gradient, configuration, error))
                        return false;
                    run.configuration = configuration;
                    run.region = written.RegionFor(configuration.init);
                    CPeerRuns peers;
                    if (peersDue && !peers.Create(options.peers, written.camera, run.region, error)) return false;
                    peersDue = false;
                    std::vector<TrackedFrameResult> results;
                    const bool withPeers = !peers.Empty();
                    if (!RunTracking(run, written.truth, results, error, withPeers ? peers.Observer() : FrameObserver()))
                        return false;
                    if (options.verbose) PrintFrames(results);
                    RunRow row;
                    static_cast<RunLabels&>(row) = LabelsFor(sequence, path, config, modeName);
                    row.gradient = GradientName(configuration.tracker);
                    row.errors = Summarise(results);
                    std::vector<double> seconds;
                    for (const TrackedFrameResult& r : results) seconds.push_back(r.seconds);
                    row.msPerPair = MedianMilliseconds(seconds);
                    rows.push_back(row);
                    if (withPeers) peers.AddRows(results, DataYUp(run), row, rows);
                }
    }
    return true;
}
