// Measures the pose tracker against the synthetic head's ground truth.
//
//   evaluate_tracking sequences [options]   whole sequences: rotation and head-centre errors
//   evaluate_tracking pairs [options]       single frame pairs under small known motions
//
// Every sequence is rendered, written in the recorded form of the chosen 3D path and replayed
// through the stereo source and the tracker as the host would run them (see synth/TrackingRun.h):
// frames 1 to --still-frames are grabbed while "detecting", then the face region is set where the
// initialiser would put it (box centred on the projected head centre, SIZE_FACE 60, 80/30,
// 400/300) and every later frame is tracked. The pose of frame k is compared with the true motion
// from the last still frame to frame k, in the axes of the recorded data.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "synth/GroundTruth.h"
#include "synth/HeadScene.h"
#include "synth/SequenceWriter.h"
#include "synth/Trajectory.h"
#include "synth/TrackingRun.h"

namespace {

namespace fs = std::filesystem;

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;

const char* kUsage =
    "usage: evaluate_tracking sequences|pairs [options]\n"
    "  --paths LIST         3D paths among xyz,disparity,iff (recorded) and live (stereo pairs\n"
    "                       matched by the live camera) (default xyz)\n"
    "  --gradients LIST     among DOUBLE,DIRECT,ANALYTIC (default DOUBLE)\n"
    "  --modes LIST         sequences: among previous,intensity,covariance (default all three):\n"
    "                       MATCH_PREVIOUS + POSE_FIRST, MATCH_INTENSITY + POSE_WEIGHTED_AVERAGE,\n"
    "                       MATCH_COVARIANCE + POSE_COVARIANCE\n"
    "  --trajectories LIST  sequences: names of synth/Trajectory.h (default yaw,pitch,roll,translate,random)\n"
    "  --frames N           frames of each sinusoidal sequence (default 120; random and fastrandom\n"
    "                       get 300, glance, sway and quickleave as many as their motion needs)\n"
    "  --still-frames N     frames at rest before tracking starts (default 8)\n"
    "  --distance MM        head distance (default 950)\n"
    "  --focal PX           focal length (default 380)\n"
    "  --noise SIGMA        intensity noise in grey levels (default 0)\n"
    "  --depth-noise MM     depth noise along the ray (default 0)\n"
    "  --seed N             seed of the random trajectory and the noise (default 1)\n"
    "  --lambda L           LAMBDA of the tracker (default -10, the balance the sequence writer sets)\n"
    "  --projection P       image model, orthogonal or perspective (default perspective, as written)\n"
    "  --pair-scale S       pairs: multiplies the motions (1 degree, 5 mm) by S (default 1)\n"
    "  --y-up               write the X, Y files Y up\n"
    "  --face-centroid      head-centre errors at the first tracked frame's face centroid (default:\n"
    "                       at the rendered head's centre)\n"
    "  --verbose            sequences: one line per tracked frame\n";

struct Arguments {
    std::string command;
    std::vector<std::string> paths{"xyz"};
    std::vector<std::string> gradients{"DOUBLE"};
    std::vector<std::string> modes{"previous", "intensity", "covariance"};
    std::vector<std::string> trajectories{"yaw", "pitch", "roll", "translate", "random"};
    int frames = 120;
    int stillFrames = 8;
    double distanceMm = 950.0;
    double focalPx = 380.0;
    double noise = 0.0;
    double depthNoise = 0.0;
    // The configuration the sequence writer gives a synthetic sequence.
    float lambda = -10.0f;
    bool perspective = true;
    double pairScale = 1.0;
    unsigned seed = 1;
    bool yUp = false;
    bool verbose = false;
    bool faceCentroid = false;
};

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) items.push_back(item);
    return items;
}

bool ParseArguments(int argc, char** argv, Arguments& a) {
    if (argc < 2) return false;
    a.command = argv[1];
    if (a.command != "sequences" && a.command != "pairs") return false;
    for (int k = 2; k < argc; ++k) {
        const std::string option = argv[k];
        if (option == "--y-up") {
            a.yUp = true;
            continue;
        }
        if (option == "--verbose") {
            a.verbose = true;
            continue;
        }
        if (option == "--face-centroid") {
            a.faceCentroid = true;
            continue;
        }
        if (k + 1 >= argc) return false;
        const std::string value = argv[++k];
        char* end = nullptr;
        const double number = std::strtod(value.c_str(), &end);
        const bool numeric = !value.empty() && *end == '\0' && std::isfinite(number);
        if (option == "--paths") a.paths = Split(value);
        else if (option == "--gradients") a.gradients = Split(value);
        else if (option == "--modes") a.modes = Split(value);
        else if (option == "--trajectories") a.trajectories = Split(value);
        else if (option == "--projection" && (value == "orthogonal" || value == "perspective"))
            a.perspective = value == "perspective";
        else if (!numeric) return false;
        else if (option == "--frames") a.frames = static_cast<int>(number);
        else if (option == "--still-frames") a.stillFrames = static_cast<int>(number);
        else if (option == "--distance") a.distanceMm = number;
        else if (option == "--focal") a.focalPx = number;
        else if (option == "--noise") a.noise = number;
        else if (option == "--depth-noise") a.depthNoise = number;
        else if (option == "--pair-scale") a.pairScale = number;
        else if (option == "--lambda") a.lambda = static_cast<float>(number);
        else if (option == "--seed") a.seed = static_cast<unsigned>(number);
        else return false;
    }
    return a.frames > a.stillFrames + 1 && a.stillFrames >= 2;
}

int GradientCode(const std::string& name) {
    if (name == "DIRECT") return CTrackerParameters::DIRECT;
    if (name == "ANALYTIC") return CTrackerParameters::ANALYTIC;
    return CTrackerParameters::DOUBLE;
}

unsigned FormsFor(const std::string& path) {
    if (path == "disparity") return kFormPgm | kFormDisparity;
    if (path == "iff") return kFormIff;
    if (path == "live") return kFormPng;
    return kFormPgm;
}

// The run of one written folder through one 3D path and gradient mode, as the arguments say.
TrackingRunOptions RunOptions(const Arguments& a, const std::string& folder, const std::string& path,
                              const std::string& gradient, const FaceRegion& region) {
    TrackingRunOptions run;
    run.folder = fs::absolute(folder).string();
    run.path = path;
    run.yUpFiles = a.yUp;
    run.stillFrames = a.stillFrames;
    run.region = region;
    run.tracker.gradient = GradientCode(gradient);
    run.tracker.lambda = a.lambda;
    run.perspective = a.perspective;
    run.centre = a.faceCentroid ? CentrePoint::kFaceCentroid : CentrePoint::kHeadCentre;
    return run;
}

// Renders the poses, writes them for every requested path into one folder, and keeps the truth.
bool WriteSequence(const CHeadScene& scene, const std::vector<CRigidMotion>& poses, const Arguments& a,
                   const std::string& folder, CGroundTruth& truth, FaceRegion& region) {
    SequenceOptions options;
    options.folder = folder;
    options.camera = scene.Options().camera;
    options.frameCount = static_cast<int>(poses.size());
    options.yUp = a.yUp;
    options.forms = 0;
    for (const std::string& path : a.paths) options.forms |= FormsFor(path);
    options.trackerCamera = a.paths.empty() ? "xyz" : a.paths.front();
    options.nearestDepthMm = 0.5 * a.distanceMm;
    std::string error;
    const auto writer = CSequenceWriter::Create(options, &error);
    if (!writer || !writer->WriteConfiguration(&error)) {
        std::cerr << "evaluate_tracking: " << error << "\n";
        return false;
    }
    truth = CGroundTruth();
    for (std::size_t k = 0; k < poses.size(); ++k) {
        const int index = static_cast<int>(k) + 1;
        const RenderedFrame frame = scene.Render(poses[k], static_cast<unsigned>(index));
        if (!writer->WriteFrame(index, frame, &error)) {
            std::cerr << "evaluate_tracking: " << error << "\n";
            return false;
        }
        truth.Add(index, poses[k]);
        if (index == a.stillFrames) region = InitialiserRegion(frame, options.camera, poses[k]);
    }
    return true;
}

struct Mode {
    const char* name;
    int match;
    int merge;
};

const Mode kModes[] = {
    {"previous", CTrackerParameters::MATCH_PREVIOUS, CTrackerParameters::POSE_FIRST},
    {"intensity", CTrackerParameters::MATCH_INTENSITY, CTrackerParameters::POSE_WEIGHTED_AVERAGE},
    {"covariance", CTrackerParameters::MATCH_COVARIANCE, CTrackerParameters::POSE_COVARIANCE},
};

int RunSequences(const CHeadScene& scene, const Arguments& a, const std::string& folder) {
    std::printf("head centre: how far apart the estimated and the true motion put the %s; wrong: tracked\n"
                "frames with a rotation error above %.0f degrees\n",
                a.faceCentroid ? "first tracked frame's face centroid" : "rendered head's centre", kWrongPoseDeg);
    std::printf("%-10s %-9s %-8s %-10s %6s | %8s %8s %8s | %8s %8s %8s | %5s\n", "sequence", "path", "gradient",
                "mode", "frames", "rot rms", "rot max", "rot last", "hc rms", "hc max", "hc last", "wrong");
    std::printf("%-10s %-9s %-8s %-10s %6s | %8s %8s %8s | %8s %8s %8s |\n", "", "", "", "", "", "deg", "deg", "deg",
                "mm", "mm", "mm");
    for (const std::string& name : a.trajectories) {
        TrajectoryOptions trajectory;
        trajectory.name = name;
        trajectory.frameCount = name == "random" || name == "fastrandom" ? 300 : a.frames;
        trajectory.stillFrames = a.stillFrames;
        trajectory.distanceMm = a.distanceMm;
        trajectory.seed = a.seed;
        if (IsTimedTrajectory(name)) trajectory.frameCount = TimedFrameCount(trajectory);
        std::vector<CRigidMotion> poses;
        std::string error;
        if (!MakeTrajectory(trajectory, poses, &error)) {
            std::cerr << "evaluate_tracking: " << error << "\n";
            return 1;
        }
        CGroundTruth truth;
        FaceRegion region;
        if (!WriteSequence(scene, poses, a, folder, truth, region)) return 1;
        for (const std::string& path : a.paths)
            for (const std::string& gradient : a.gradients)
                for (const Mode& mode : kModes) {
                    bool wanted = false;
                    for (const std::string& m : a.modes) wanted = wanted || m == mode.name;
                    if (!wanted) continue;
                    TrackingRunOptions run = RunOptions(a, folder, path, gradient, region);
                    run.tracker.matchFunction = mode.match;
                    run.tracker.mergePose = mode.merge;
                    std::vector<TrackedFrameResult> results;
                    if (!RunTracking(run, truth, results, &error)) {
                        std::cerr << "evaluate_tracking: " << error << "\n";
                        return 1;
                    }
                    if (a.verbose)
                        for (const TrackedFrameResult& r : results) {
                            const cv::Vec3d rt = r.truth.RotationVector(), re = r.estimated.RotationVector();
                            const cv::Vec3d tt = r.truth.Translation(), te = r.estimated.Translation();
                            std::printf("  %4d true r %7.3f %7.3f %7.3f t %8.2f %8.2f %8.2f | est r %7.3f %7.3f %7.3f "
                                        "t %8.2f %8.2f %8.2f\n",
                                        r.index, rt[0] / kDeg, rt[1] / kDeg, rt[2] / kDeg, tt[0], tt[1], tt[2],
                                        re[0] / kDeg, re[1] / kDeg, re[2] / kDeg, te[0], te[1], te[2]);
                        }
                    const TrackingErrors s = Summarise(results);
                    std::printf("%-10s %-9s %-8s %-10s %6d | %8.3f %8.3f %8.3f | %8.2f %8.2f %8.2f | %5d\n",
                                name.c_str(), path.c_str(), gradient.c_str(), mode.name, s.rotationDeg.count,
                                s.rotationDeg.rms, s.rotationDeg.max, s.rotationDeg.last, s.headCentreMm.rms,
                                s.headCentreMm.max, s.headCentreMm.last, s.wrongPoses);
                    std::fflush(stdout);
                }
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
int RunPairs(const CHeadScene& scene, const Arguments& a, const std::string& folder) {
    std::printf("relative errors |est - true| / |true| of the rotation vector (degrees when the truth has no\n"
                "rotation) and of the head centre's displacement (mm over 1 mm when it has none)\n");
    std::printf("%-5s", "");
    for (const std::string& path : a.paths)
        for (const std::string& gradient : a.gradients) std::printf(" | %-9s %-8s ", path.c_str(), gradient.c_str());
    std::printf("\n");
    const CRigidMotion rest = CRigidMotion::FromRotationVector({0, 0, 0}, {0, 0, a.distanceMm});
    for (const PairMotion& motion : kPairMotions) {
        // A motion of the head about its own centre.
        const CRigidMotion step = CRigidMotion::FromRotationVector(motion.rotationDeg * kDeg * a.pairScale,
                                                                   motion.translationMm * a.pairScale);
        const CRigidMotion moved(step.Rotation() * rest.Rotation(), rest.Translation() + step.Translation());
        std::vector<CRigidMotion> poses(static_cast<std::size_t>(a.stillFrames), rest);
        poses.push_back(moved);
        CGroundTruth truth;
        FaceRegion region;
        if (!WriteSequence(scene, poses, a, folder, truth, region)) return 1;
        std::printf("%-5s", motion.name);
        for (const std::string& path : a.paths)
            for (const std::string& gradient : a.gradients) {
                const TrackingRunOptions run = RunOptions(a, folder, path, gradient, region);
                std::vector<TrackedFrameResult> results;
                std::string error;
                if (!RunTracking(run, truth, results, &error) || results.size() != 1) {
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
                if (a.verbose)
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
    Arguments a;
    if (!ParseArguments(argc, argv, a)) {
        std::cerr << kUsage;
        return 2;
    }
    SceneOptions sceneOptions;
    sceneOptions.camera.focalPx = a.focalPx;
    sceneOptions.intensityNoiseSigma = a.noise;
    sceneOptions.depthNoiseSigmaMm = a.depthNoise;
    sceneOptions.noiseSeed = a.seed;
    std::string error;
    const auto scene = CHeadScene::Create(sceneOptions, &error);
    if (!scene) {
        std::cerr << "evaluate_tracking: " << error << "\n";
        return 1;
    }
    const std::string folder = (fs::temp_directory_path() / ("vantorel_eval_" + std::to_string(::getpid()))).string();
    const int status = a.command == "pairs" ? RunPairs(*scene, a, folder) : RunSequences(*scene, a, folder);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return status;
}
