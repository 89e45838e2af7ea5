#include "evaluation/EvaluationOptions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "peer/OdometryPeer.h"
#include "synth/ExactDepth.h"
#include "synth/RunConfiguration.h"
#include "synth/SceneArguments.h"
#include "synth/Trajectory.h"

const char* const kEvaluationUsage =
    "usage: evaluate_tracking sequences|pairs|host|acceptance [options]\n"
    "  sequences   whole sequences replayed through the source and the tracker, the face region set\n"
    "              where the initialiser would put it: rotation and head-centre errors\n"
    "  pairs       single frame pairs under small known motions: relative errors\n"
    "  host        whole sequences through the host's own loop (face detection, tracking, validation,\n"
    "              loss and new search): wrong poses reported as tracked, frames until tracking\n"
    "              restarts after the face comes back (default trajectory quickleave)\n"
    "  acceptance  the accuracy table of the real-motion work, each row against its bounds: every\n"
    "              trajectory (yaw, pitch, roll, translate, random, glance, sway, fastrandom; still\n"
    "              with noise; quickleave through the host's loop) on the xyz, disparity and live\n"
    "              paths, with MATCH_PREVIOUS and a keyframe mode (previous,intensity), noise-free\n"
    "              and with stereo-like noise, beside OpenCV's odometry on the xyz path; at 950 mm\n"
    "              and focal 380, or with --full at five distances and focal lengths\n"

    "options (LIST: comma-separated):\n"
    "  --paths LIST           3D paths among xyz, disparity (Y up), iff (recorded) and live (stereo pairs\n"
    "                         matched by the live camera) (default xyz)\n"
    "  --modes LIST           among previous (MATCH_PREVIOUS + POSE_FIRST), intensity (MATCH_INTENSITY +\n"
    "                         POSE_WEIGHTED_AVERAGE), covariance (MATCH_COVARIANCE + POSE_COVARIANCE),\n"
    "                         dynamic (MATCH_INTENSITY_DYNAMIC + POSE_FIRST), withprevious\n"
    "                         (MATCH_INTENSITY_WITH_PREVIOUS + POSE_FIRST), configured (as the\n"
    "                         configuration says) (default previous,intensity,covariance)\n"
    "  --trajectories LIST    names of synth/Trajectory.h (default yaw,pitch,roll,translate,random)\n"
    "  --configs LIST         defaults (every setting at its default: LAMBDA 1, PROJECTION ORTHOGONAL)\n"
    "                         and/or recommended (the files tools/render_sequence writes) (default\n"
    "                         recommended)\n"
    "  --tracker-keyword K    a line \"KEY: value\" added to ParamTrackerZBCCE.cfg (repeatable)\n"
    "  --param-keyword K      the same for Param.cfg\n"
    "  --stereo-keyword K     the same for the live camera's parameter file (camera-live.cfg)\n"
    "  --init-keyword K       the same for ParamInit.cfg\n"
    "  --lambda L             short for --tracker-keyword \"LAMBDA: L\"\n"
    "  --projection P         short for --param-keyword \"PROJECTION: P\" (orthogonal or perspective)\n"
    "  --gradients LIST       runs with each GRADIENT among DOUBLE, DIRECT, ANALYTIC (default: as configured)\n"
    "  --peers LIST           also OpenCV's odometry, on the frames of each path's first run, chained from\n"
    "                         the same start: among rgbd, icp, rgbdicp (see peer/OdometryPeer.h)\n"
    "  --peer-paths LIST      the paths the peers run on (default every path; acceptance: xyz)\n"

    "  --distance LIST        head distances in mm, each with every focal length (default 950)\n"
    "  --focal LIST           focal lengths in pixels (default 380)\n"
    "  --frames N             frames of each sinusoidal sequence (default 120; random and fastrandom\n"
    "                         get 300, glance, nod, tilt, sway and quickleave as many as their\n"
    "                         motion needs)\n"
    "  --still-frames N       frames at rest before the motion (default 8)\n"
    "  --offset X,Y           the head rests X mm right of the optical axis and Y mm below it\n"
    "                         (default 0,0)\n"
    "  --fps F                the camera's frame rate: glance, nod, tilt, sway and quickleave move\n"
    "                         as far in a frame as their speed gives at F (default 30)\n"
    "  --noise SIGMA          intensity noise in grey levels (default 0)\n"
    "  --depth-noise MM       depth noise along the ray (default 0)\n"
    "  --seed N               seed of the random trajectories and the noise (default 1)\n"
    "  --face-centroid        head-centre errors at the first tracked frame's face centroid (default:\n"
    "                         at the rendered head's centre)\n"
    "  --exact-depth MODE     sequences: the live path's matched depth replaced by the rendered one,\n"
    "                         a diagnosis: all, near (within 20 mm), interior or outline (more / at\n"
    "                         most 4 pixels from the head's outline), smooth or fine (only the error's\n"
    "                         part over / under 2 pixels kept) (see synth/ExactDepth.h)\n"
    "  --full                 the full sweep: 700 and 1200 mm each at focal 300 and 500, and 950 mm at\n"
    "                         380 (unless --distance or --focal are given)\n"
    "  --conditions LIST      acceptance: clean (noise-free) and/or noisy (intensity noise 2 grey levels,\n"
    "                         disparity noise 0.1 pixel, no depth on weak texture (deviation below 3\n"
    "                         grey levels) and at 2 % of the pixels) and/or noholes (the noise alone)\n"
    "                         (default clean,noisy)\n"

    "  --pair-scale S         pairs: multiplies the motions (1 degree, 5 mm) by S (default 1)\n"
    "  --y-up                 write the X, Y files Y up\n"
    "  --verbose              one line per tracked frame, then the frame-to-frame increments' errors\n"
    "                         (RMS: one pair's precision; mean: the drift per pair), and the\n"
    "                         poses' errors about each axis: the share that follows the true turn\n"
    "                         about its main axis (a gain there, crosstalk elsewhere) and the rest\n";

const std::vector<MatchMode>& MatchModes() {
    static const std::vector<MatchMode> modes = {
        {"previous", "MATCH_PREVIOUS", "POSE_FIRST"},
        {"intensity", "MATCH_INTENSITY", "POSE_WEIGHTED_AVERAGE"},
        {"covariance", "MATCH_COVARIANCE", "POSE_COVARIANCE"},
        {"dynamic", "MATCH_INTENSITY_DYNAMIC", "POSE_FIRST"},
        {"withprevious", "MATCH_INTENSITY_WITH_PREVIOUS", "POSE_FIRST"},
        {"configured", "", ""},
    };
    return modes;
}

const MatchMode* FindMatchMode(const std::string& name) {
    for (const MatchMode& mode : MatchModes())
        if (mode.name == name) return &mode;
    return nullptr;
}

namespace {

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        if (!item.empty()) items.push_back(item);
    return items;
}

bool Number(const std::string& text, double& value) {
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && std::isfinite(value);
}

bool Numbers(const std::string& text, std::vector<double>& values) {
    values.clear();
    for (const std::string& item : Split(text)) {
        double value = 0.0;
        if (!Number(item, value) || !(value > 0.0)) return false;
        values.push_back(value);
    }
    return !values.empty();
}

bool AllIn(const std::vector<std::string>& items, const std::vector<std::string>& allowed) {
    return !items.empty() && std::all_of(items.begin(), items.end(), [&](const std::string& item) {
        return std::find(allowed.begin(), allowed.end(), item) != allowed.end();
    });
}

}  // namespace

bool ParseEvaluationOptions(int argc, char** argv, EvaluationOptions& o, std::string* error) {
    const auto fail = [&](const std::string& reason) {
        if (error) *error = reason;
        return false;
    };
    if (argc < 2) return fail("no command");
    o.command = argv[1];
    if (o.command != "sequences" && o.command != "pairs" && o.command != "host" && o.command != "acceptance")
        return fail("unknown command " + o.command);
    if (o.command == "host") o.trajectories = {"quickleave"};
    if (o.command == "acceptance") {
        o.paths = {"xyz", "disparity", "live"};
        o.modes = {"previous", "intensity"};
        o.trajectories = {"yaw", "pitch", "roll", "translate", "random", "glance", "sway", "fastrandom", "still",
                          "quickleave"};
        o.peers = COdometryPeer::Names();
        o.peerPaths = {"xyz"};
    }
    std::vector<double> distances{950.0}, focals{380.0};
    bool sweepGiven = false;
    std::vector<std::string> modeNames;
    for (const MatchMode& mode : MatchModes()) modeNames.push_back(mode.name);
    for (int k = 2; k < argc; ++k) {
        const std::string option = argv[k];
        if (option == "--y-up") o.yUp = true;
        else if (option == "--verbose") o.verbose = true;
        else if (option == "--face-centroid") o.faceCentroid = true;
        else if (option == "--full") o.full = true;
        else {
            if (k + 1 >= argc) return fail(option + " needs a value");
            const std::string value = argv[++k];
            double number = 0.0;
            const bool numeric = Number(value, number);
            bool ok = true;
            if (const SceneOption scene = ParseSceneOption(option, value, o.scene); scene != SceneOption::kUnknown)
                ok = scene == SceneOption::kParsed;
            else if (option == "--exact-depth") ok = exact_depth::KnownMode(o.exactDepth = value);
            else if (option == "--paths") ok = AllIn(o.paths = Split(value), {"xyz", "disparity", "iff", "live"});
            else if (option == "--modes") ok = AllIn(o.modes = Split(value), modeNames);
            else if (option == "--trajectories") ok = AllIn(o.trajectories = Split(value), TrajectoryNames());
            else if (option == "--configs") ok = AllIn(o.configs = Split(value), RunConfigurationNames());
            else if (option == "--peers") ok = AllIn(o.peers = Split(value), COdometryPeer::Names());
            else if (option == "--peer-paths") ok = AllIn(o.peerPaths = Split(value), {"xyz", "disparity", "iff", "live"});
            else if (option == "--conditions") ok = AllIn(o.conditions = Split(value), {"clean", "noisy", "noholes"});
            else if (option == "--gradients") ok = AllIn(o.gradients = Split(value), {"DOUBLE", "DIRECT", "ANALYTIC"});
            else if (option == "--tracker-keyword") o.trackerKeywords.push_back(value);
            else if (option == "--param-keyword") o.paramKeywords.push_back(value);
            else if (option == "--init-keyword") o.initKeywords.push_back(value);
            else if (option == "--stereo-keyword") o.stereoKeywords.push_back(value);
            else if (option == "--projection") {
                ok = value == "orthogonal" || value == "perspective";
                o.paramKeywords.push_back(value == "perspective" ? "PROJECTION: PERSPECTIVE" : "PROJECTION: ORTHOGONAL");
            } else if (option == "--lambda") {
                ok = numeric;
                o.trackerKeywords.push_back("LAMBDA: " + value);
            } else if (option == "--offset") {
                std::vector<double> offset;
                ok = ParseNumbers(value, offset, 2);
                if (ok) o.offsetMm = cv::Vec2d(offset[0], offset[1]);
            } else if (option == "--distance") ok = Numbers(value, distances), sweepGiven = true;
            else if (option == "--focal") ok = Numbers(value, focals), sweepGiven = true;
            else if (!numeric) ok = false;
            else if (option == "--frames") o.frames = static_cast<int>(number);
            else if (option == "--still-frames") o.stillFrames = static_cast<int>(number);
            else if (option == "--fps") ok = (o.framesPerSecond = number) > 0.0;
            else if (option == "--noise") ok = (o.noise = number) >= 0.0;
            else if (option == "--depth-noise") ok = (o.depthNoiseMm = number) >= 0.0;
            else if (option == "--pair-scale") o.pairScale = number;
            else if (option == "--seed") ok = number >= 0.0 && (o.seed = static_cast<unsigned>(number), true);
            else return fail("unknown option " + option);
            if (!ok) return fail("bad value for " + option + ": " + value);
        }
    }
    if (!(o.frames > o.stillFrames + 1 && o.stillFrames >= 2)) return fail("need --still-frames >= 2 and more frames");
    o.rigs.clear();
    if (o.full && !sweepGiven)
        o.rigs = {{700.0, 300.0}, {700.0, 500.0}, {950.0, 380.0}, {1200.0, 300.0}, {1200.0, 500.0}};
    else
        for (double distance : distances)
            for (double focal : focals) o.rigs.push_back({distance, focal});
    return true;
}
