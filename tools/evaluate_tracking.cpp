// Measures the pose tracker against the synthetic head's ground truth.
//
//   evaluate_tracking sequences [options]   whole sequences: rotation and head-centre errors
//   evaluate_tracking pairs [options]       single frame pairs under small known motions
//   evaluate_tracking host [options]        whole sequences through the host's own loop
//   evaluate_tracking acceptance [--full]   the acceptance table of the real-motion work
//
// Every sequence is rendered, written in the recorded form of the chosen 3D paths and replayed
// through the stereo source and the tracker as the host would run them (see synth/TrackingRun.h):
// frames 1 to --still-frames are grabbed while "detecting", then the face region is set where the
// initialiser would put it and every later frame is tracked. The pose of frame k is compared with
// the true motion from the last still frame to frame k, in the axes of the recorded data. The
// host command runs the host's own loop instead (synth/HostLoopRun.h): the face is detected,
// validated, lost and found again as updateImage does it. The configurations (--configs) are read from the files the sequence writer puts into the folder,
// or are every setting's default; see evaluation/EvaluationOptions.cpp for the options.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "evaluation/Acceptance.h"
#include "evaluation/CaseRuns.h"
#include "evaluation/EvaluationOptions.h"
#include "evaluation/HostRuns.h"
#include "evaluation/RunTable.h"
#include "evaluation/SequenceCase.h"
#include "synth/SceneArguments.h"

namespace {

namespace fs = std::filesystem;

constexpr double kDeg = CV_PI / 180.0;

int RunSequences(const EvaluationOptions& o, const std::string& folder) {
    PrintRunHeader(o.faceCentroid);
    for (const std::string& trajectory : o.trajectories)
        for (double distance : o.distancesMm)
            for (double focal : o.focalsPx) {
                const SequenceCase sequence = CaseFromOptions(o, trajectory, distance, focal);
                WrittenCase written;
                std::vector<RunRow> rows;
                std::string error;
                if (!WriteSequenceCase(sequence, folder, written, &error) ||
                    !RunSequenceCase(sequence, written, o, rows, &error)) {
                    std::cerr << "evaluate_tracking: " << error << "\n";
                    return 1;
                }
                for (const RunRow& row : rows) PrintRunRow(row);
            }
    return 0;
}

int RunHost(const EvaluationOptions& o, const std::string& folder) {
    PrintHostHeader(o.faceCentroid);
    for (const std::string& trajectory : o.trajectories)
        for (double distance : o.distancesMm)
            for (double focal : o.focalsPx) {
                const SequenceCase sequence = CaseFromOptions(o, trajectory, distance, focal);
                WrittenCase written;
                std::vector<HostRow> rows;
                std::string error;
                if (!WriteSequenceCase(sequence, folder, written, &error) ||
                    !RunHostCase(sequence, written, o, rows, &error)) {
                    std::cerr << "evaluate_tracking: " << error << "\n";
                    return 1;
                }
                for (const HostRow& row : rows) PrintHostRow(row);
            }
    return 0;
}

struct PairMotion {
    const char* name;
    cv::Vec3d rotationDeg;
    cv::Vec3d translationMm;
};

const PairMotion kPairMotions[] = {
    {"+wx", {1, 0, 0}, {0, 0, 0}},   {"-wx", {-1, 0, 0}, {0, 0, 0}}, {"+wy", {0, 1, 0}, {0, 0, 0}},
    {"-wy", {0, -1, 0}, {0, 0, 0}},  {"+wz", {0, 0, 1}, {0, 0, 0}},  {"-wz", {0, 0, -1}, {0, 0, 0}},
    {"+tx", {0, 0, 0}, {5, 0, 0}},   {"-tx", {0, 0, 0}, {-5, 0, 0}}, {"+ty", {0, 0, 0}, {0, 5, 0}},
    {"-ty", {0, 0, 0}, {0, -5, 0}},  {"+tz", {0, 0, 0}, {0, 0, 5}},  {"-tz", {0, 0, 0}, {0, 0, -5}},
    {"all", {1, -1, 1}, {5, -5, 5}},
};

// Rotation and translation errors relative to the true magnitudes: a wrong sign shows as 2.
int RunPairs(const EvaluationOptions& o, const std::string& folder) {
    std::printf("relative errors |est - true| / |true| of the rotation vector (degrees when the truth has no\n"
                "rotation) and of the head centre's displacement (mm over 1 mm when it has none), first\n"
                "configuration and mode of the options\n");
    const std::vector<std::string> gradients = o.gradients.empty() ? std::vector<std::string>{""} : o.gradients;
    std::printf("%-5s", "");
    for (const std::string& path : o.paths)
        for (const std::string& gradient : gradients)
            std::printf(" | %-9s %-8s ", path.c_str(), gradient.empty() ? "" : gradient.c_str());
    std::printf("\n");
    const SequenceCase sequence = CaseFromOptions(o, "still", o.distancesMm.front(), o.focalsPx.front());
    const CRigidMotion rest = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, sequence.distanceMm});
    const MatchMode* mode = FindMatchMode(o.modes.front());
    for (const PairMotion& motion : kPairMotions) {
        // A motion of the head about its own centre.
        const CRigidMotion step = CRigidMotion::FromRotationVector(motion.rotationDeg * kDeg * o.pairScale,
                                                                   motion.translationMm * o.pairScale);
        const CRigidMotion moved(step.Rotation() * rest.Rotation(), rest.Translation() + step.Translation());
        std::vector<CRigidMotion> poses(static_cast<std::size_t>(o.stillFrames), rest);
        poses.push_back(moved);
        WrittenCase written;
        std::string error;
        if (!WritePoses(sequence, poses, folder, written, &error)) {
            std::cerr << "evaluate_tracking: " << error << "\n";
            return 1;
        }
        std::printf("%-5s", motion.name);
        for (const std::string& path : o.paths)
            for (const std::string& gradient : gradients) {
                TrackingRunOptions run;
                run.folder = written.folder;
                run.path = path;
                run.yUpFiles = o.yUp;
                run.stillFrames = o.stillFrames;
                run.region = written.region;
                RunConfiguration configuration;
                std::vector<TrackedFrameResult> results;
                if (!BuildRunConfiguration(o, o.configs.front(), written.folder, *mode, gradient, configuration,
                                           &error) ||
                    !(run.configuration = configuration, RunTracking(run, written.truth, results, &error)) ||
                    results.size() != 1) {
                    std::cerr << "evaluate_tracking: " << error << "\n";
                    return 1;
                }
                const TrackedFrameResult& r = results.front();
                // In the data's axes the head centre sits at (0, 0, distance) either way.
                const cv::Vec3d centre = rest.Translation();
                const cv::Vec3d rt = r.truth.RotationVector(), re = r.estimated.RotationVector();
                const cv::Vec3d tt = r.truth.Apply(centre) - centre, te = r.estimated.Apply(centre) - centre;
                const double rotation = cv::norm(rt) > 1e-9 ? cv::norm(re - rt) / cv::norm(rt) : cv::norm(re) / kDeg;
                const double translation = cv::norm(te - tt) / std::max(cv::norm(tt), 1.0);
                std::printf(" | r %5.2f t %5.2f     ", rotation, translation);
                if (o.verbose)
                    std::printf("\n      true r %7.4f %7.4f %7.4f t %7.3f %7.3f %7.3f  est r %7.4f %7.4f %7.4f t %7.3f "
                                "%7.3f %7.3f\n     ",
                                rt[0] / kDeg, rt[1] / kDeg, rt[2] / kDeg, tt[0], tt[1], tt[2], re[0] / kDeg,
                                re[1] / kDeg, re[2] / kDeg, te[0], te[1], te[2]);
            }
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    EvaluationOptions options;
    std::string error;
    if (!ParseEvaluationOptions(argc, argv, options, &error)) {
        std::cerr << "evaluate_tracking: " << error << "\n" << kEvaluationUsage << kSceneUsage;
        return 2;
    }
    // The tracker runs on one core; OpenCV's peers and filters get one too, so times compare.
    cv::setNumThreads(1);
    const auto begin = std::chrono::steady_clock::now();
    const std::string folder = (fs::temp_directory_path() / ("vantorel_eval_" + std::to_string(::getpid()))).string();
    const int status = options.command == "pairs"        ? RunPairs(options, folder)
                       : options.command == "host"       ? RunHost(options, folder)
                       : options.command == "acceptance" ? RunAcceptance(options, folder)
                                                         : RunSequences(options, folder);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    std::printf("evaluate_tracking %s: %.1f s (processor time %.1f s)\n", options.command.c_str(),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count(),
                static_cast<double>(std::clock()) / CLOCKS_PER_SEC);
    return status;
}
