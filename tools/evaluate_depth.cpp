// Measures the live stereo camera's depth against the synthetic head's exact depth.
//
//   evaluate_depth [options]
//
// For every focal length, distance and noise level, the head is rendered in a few poses (front,
// turned left and right, nodding, tilted) in front of the textured wall; the pairs are written with
// the live camera's parameter file as the sequence writer makes it (the pairs as its file source,
// disparities searched from the wall to half the head's distance), and every matcher setting is
// appended to that file and run through the camera as the stereo source runs it (GrabFrame with
// rectification, then X, Y, Z). Per setting, on the face and on the silhouette band
// (synth/DepthErrors.h): the share of pixels with depth, the median and 95th-percentile absolute
// depth error, the share off by more than 20 mm (bleeding) and, on the band, the share nearer than
// the truth by more than 20 mm (the head dragged over the wall); and the median time per frame.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <unistd.h>

#include "synth/DepthErrors.h"
#include "synth/DepthPicture.h"
#include "synth/HeadScene.h"
#include "synth/LiveDepthRun.h"
#include "synth/MotionBlur.h"
#include "synth/SceneArguments.h"
#include "synth/SequenceWriter.h"

namespace {

namespace fs = std::filesystem;

constexpr double kDeg = 3.14159265358979323846 / 180.0;
constexpr double kBleedingMm = 20.0;

// Matcher settings: keyword lines appended to the generator's parameter file (the last mention of
// a keyword counts). All but "generator" start from the defaults of every matching keyword, so
// that they do not inherit what the generator recommends.
struct MatcherSetting {
    std::string name;
    std::string lines;
    bool fromDefaults = true;
};

const char* kMatchingDefaults =
    "MATCHER: BLOCK CORRELATION_WINDOW: 11 PREFILTER_WINDOW: 9 TEXTURE_THRESHOLD: 10 UNIQUENESS: 10\n"
    "SPECKLE: 0 0 LEFT_RIGHT_CHECK: OFF SMOOTHNESS: 0 0 SUBPIXEL_WINDOW: 0 DEPTH_EDGE: 0 1 EDGE_RECHECK: 0 1\n"
    "SEMI_GLOBAL_PATHS: 3 AUTO_ALIGN: NONE\n";

const std::vector<MatcherSetting>& Settings() {
    static const std::string semiGlobal = "MATCHER: SEMI_GLOBAL CORRELATION_WINDOW: 5 ";
    static const std::string light = semiGlobal + "SMOOTHNESS: 50 200 LEFT_RIGHT_CHECK: 1 ";
    static const std::vector<MatcherSetting> settings = {
        {"generator", "", false},
        {"block", ""},
        {"block-checked", "LEFT_RIGHT_CHECK: 1"},
        {"block-checked-sub", "LEFT_RIGHT_CHECK: 1 SUBPIXEL_WINDOW: 7"},
        {"sgbm", semiGlobal},
        {"sgbm-checked", semiGlobal + "LEFT_RIGHT_CHECK: 1"},
        {"sgbm-light-checked", light},
        {"sgbm-light-checked-sub", light + "SUBPIXEL_WINDOW: 7"},
        {"sgbm-light-checked-sub-edge", light + "SUBPIXEL_WINDOW: 7 DEPTH_EDGE: 3 2"},
        {"sgbm-light-checked-sub-recheck", light + "SUBPIXEL_WINDOW: 7 EDGE_RECHECK: 3 2"},
    };
    return settings;
}

struct NamedPose {
    const char* name;
    cv::Vec3d rotationDeg;
    bool byDefault = true;  // in the set measured when --poses is not given
};

// Turned heads show their sides and hide part of the face from one camera.
const NamedPose kPoses[] = {
    {"front", {0, 0, 0}},     {"yaw+30", {0, 30, 0}},  {"yaw-30", {0, -30, 0}},
    {"pitch+15", {15, 0, 0}}, {"roll+20", {0, 0, 20}}, {"mixed", {-10, 20, 10}},
    {"pitch-15", {-15, 0, 0}, false},
};

const char* kUsage =
    "usage: evaluate_depth [options]\n"
    "  --settings LIST    matcher settings (default all): names below, or a file of keyword lines\n"
    "                     (added to the matching defaults)\n"
    "  --distances LIST   head centre distances, mm (default 700,950,1200)\n"
    "  --focals LIST      focal lengths, pixels (default 380)\n"
    "  --noise LIST       intensity noise, grey levels (default 0,2)\n"
    "  --poses LIST       among front,yaw+30,yaw-30,pitch+15,roll+20,mixed (default all of these)\n"
    "                     and pitch-15\n"
    "  --frames N         noise draws per pose (default 2)\n"
    "  --band PX          half-width of the silhouette band (default 4)\n"
    "  --by-pose          one line per pose instead of one per pose set\n"
    "  --keep FOLDER      write the pairs and parameter files into FOLDER and keep them\n"
    "  --pictures FOLDER  one picture per setting, condition and pose (synth/DepthPicture.h)\n"
    "  --motion MM,DEG    the head moving sideways by MM and turning by DEG (about the vertical)\n"
    "                     per frame through each pose, which --shutter blurs (default 0,0)\n"
    "  --offset X,Y       the head X mm right of the optical axis and Y mm below it (default 0,0)\n"
    "scene (the depth errors of a stereo camera are what is measured here, so none is added):\n";

struct Arguments {
    std::vector<std::string> settings;
    std::vector<double> distances{700, 950, 1200};
    std::vector<double> focals{380};
    std::vector<double> noise{0, 2};
    std::vector<std::string> poses;
    int frames = 2;
    int bandPx = 4;
    bool byPose = false;
    std::string keep;
    std::string pictures;
    cv::Vec2d motion{0.0, 0.0};  // mm and degrees a frame
    cv::Vec2d offsetMm{0.0, 0.0};
    SceneOptions scene;
};

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> items;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) items.push_back(item);
    return items;
}

bool Numbers(const std::string& text, std::vector<double>& out) {
    out.clear();
    for (const std::string& item : Split(text)) {
        char* end = nullptr;
        const double value = std::strtod(item.c_str(), &end);
        if (item.empty() || *end != '\0' || !std::isfinite(value) || value < 0) return false;
        out.push_back(value);
    }
    return !out.empty();
}

bool ParseArguments(int argc, char** argv, Arguments& a) {
    for (const MatcherSetting& s : Settings()) a.settings.push_back(s.name);
    for (const NamedPose& p : kPoses)
        if (p.byDefault) a.poses.push_back(p.name);
    for (int k = 1; k < argc; ++k) {
        const std::string option = argv[k];
        if (option == "--by-pose") {
            a.byPose = true;
            continue;
        }
        if (k + 1 >= argc) return false;
        const std::string value = argv[++k];
        std::vector<double> numbers;
        const SceneOption sceneOption = ParseSceneOption(option, value, a.scene);
        if (sceneOption == SceneOption::kBadValue) return false;
        if (sceneOption == SceneOption::kParsed) continue;
        if (option == "--settings") a.settings = Split(value);
        else if (option == "--poses") a.poses = Split(value);
        else if (option == "--keep") a.keep = value;
        else if (option == "--pictures") a.pictures = value;
        else if (option == "--offset") {
            if (!ParseNumbers(value, numbers, 2)) return false;
            a.offsetMm = cv::Vec2d(numbers[0], numbers[1]);
        }
        else if (!Numbers(value, numbers)) return false;
        else if (option == "--distances") a.distances = numbers;
        else if (option == "--focals") a.focals = numbers;
        else if (option == "--noise") a.noise = numbers;
        else if (option == "--frames" && numbers.size() == 1 && numbers[0] >= 1) a.frames = static_cast<int>(numbers[0]);
        else if (option == "--band" && numbers.size() == 1 && numbers[0] >= 1) a.bandPx = static_cast<int>(numbers[0]);
        else if (option == "--motion" && numbers.size() == 2) a.motion = cv::Vec2d(numbers[0], numbers[1]);
        else return false;
    }
    for (const std::string& pose : a.poses)
        if (std::none_of(std::begin(kPoses), std::end(kPoses), [&](const NamedPose& p) { return pose == p.name; }))
            return false;
    return !a.settings.empty() && !a.poses.empty() && !a.scene.stereo.Any();
}

// A setting by name, or the keyword lines of a file.
bool FindSetting(const std::string& name, MatcherSetting& setting) {
    for (const MatcherSetting& s : Settings())
        if (s.name == name) {
            setting = s;
            return true;
        }
    std::ifstream in(name);
    if (!in) return false;
    std::stringstream text;
    text << in.rdbuf();
    setting = {fs::path(name).filename().string(), text.str(), true};
    return true;
}

struct PoseFrames {
    std::string pose;
    std::vector<RenderedFrame> frames;  // one per noise draw
};

struct Condition {
    double focalPx = 380;
    double distanceMm = 950;
    double noise = 0;
};

// Renders every pose and noise draw of one condition and writes them as one live sequence.
bool WriteCondition(const Arguments& a, const Condition& c, const std::string& folder, std::vector<PoseFrames>& rendered,
                    std::string* error) {
    SceneOptions sceneOptions = a.scene;
    sceneOptions.camera.focalPx = c.focalPx;
    sceneOptions.intensityNoiseSigma = c.noise;
    const auto scene = CHeadScene::Create(sceneOptions, error);
    if (!scene) return false;
    SequenceOptions options;
    options.folder = folder;
    options.camera = sceneOptions.camera;
    options.frameCount = static_cast<int>(a.poses.size()) * a.frames;
    options.forms = kFormPng;
    options.trackerCamera = "live";
    options.nearestDepthMm = 0.5 * c.distanceMm;  // as render_sequence and evaluate_tracking ask
    options.farthestDepthMm = sceneOptions.backgroundDistanceMm;
    const auto writer = CSequenceWriter::Create(options, error);
    if (!writer || !writer->WriteConfiguration(error)) return false;
    rendered.clear();
    int index = options.firstIndex;
    for (const std::string& name : a.poses) {
        const NamedPose& pose = *std::find_if(std::begin(kPoses), std::end(kPoses),
                                              [&](const NamedPose& p) { return name == p.name; });
        // The frames before and after, for the shutter.
        std::vector<CRigidMotion> passing;
        for (int step = -1; step <= 1; ++step) {
            const CRigidMotion turn = CRigidMotion::FromRotationVector({0, step * a.motion[1] * kDeg, 0}, {});
            const CRigidMotion posed = CRigidMotion::FromRotationVector(pose.rotationDeg * kDeg, {});
            const cv::Vec3d centre(a.offsetMm[0] + step * a.motion[0], a.offsetMm[1], c.distanceMm);
            passing.emplace_back(turn.Rotation() * posed.Rotation(), centre);
        }
        PoseFrames poseFrames{name, {}};
        for (int draw = 0; draw < a.frames; ++draw, ++index) {
            poseFrames.frames.push_back(RenderSequenceFrame(*scene, passing, 1, static_cast<unsigned>(index)));
            if (!writer->WriteFrame(index, poseFrames.frames.back(), error)) return false;
        }
        rendered.push_back(poseFrames);
    }
    return true;
}

struct RegionErrors {
    CDepthErrors face;
    CDepthErrors band;
    CDepthErrors outline;
    std::vector<double> seconds;
};

double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

void PrintHeader() {
    std::printf("%-30s %5s %5s %5s %-8s | %6s %6s %6s %6s %6s | %6s %6s %6s %6s %6s %7s | %6s\n", "setting", "focal",
                "dist", "noise", "poses", "face", "median", "p95", ">20mm", "relief", "band", "median", "p95", "bleed",
                "nearer", "outline", "frame");
    std::printf("%-30s %5s %5s %5s %-8s | %6s %6s %6s %6s %6s | %6s %6s %6s %6s %6s %7s | %6s\n", "", "px", "mm", "grey",
                "", "depth%", "mm", "mm", "%", "scale", "depth%", "mm", "mm", "%", "%", "depth%", "ms");
}

void PrintLine(const std::string& setting, const Condition& c, const std::string& poses, const RegionErrors& e) {
    std::printf(
        "%-30s %5.0f %5.0f %5.1f %-8s | %6.1f %6.2f %6.1f %6.2f %6.3f | %6.1f %6.2f %6.1f %6.2f %6.2f %7.1f | %6.2f\n",
                setting.c_str(), c.focalPx, c.distanceMm, c.noise, poses.c_str(), 100 * e.face.ShareWithDepth(),
                e.face.QuantileMm(0.5), e.face.QuantileMm(0.95), 100 * e.face.ShareOffBy(kBleedingMm),
                e.face.ReliefScale(), 100 * e.band.ShareWithDepth(), e.band.QuantileMm(0.5), e.band.QuantileMm(0.95),
                100 * e.band.ShareOffBy(kBleedingMm), 100 * e.band.ShareNearerBy(kBleedingMm),
                100 * e.outline.ShareWithDepth(), 1000 * Median(e.seconds));
    std::fflush(stdout);
}

void SavePicture(const Arguments& a, const Condition& c, const std::string& setting, const PoseFrames& pose,
                 const LiveDepthFrame& measured) {
    const RenderedFrame& truth = pose.frames.front();
    char name[256];
    std::snprintf(name, sizeof name, "/%s-f%.0f-d%.0f-n%.1f-%s.png", setting.c_str(), c.focalPx, c.distanceMm, c.noise,
                  pose.pose.c_str());
    fs::create_directories(a.pictures);
    cv::imwrite(a.pictures + name, DepthPicture(truth.left, measured.z, truth.z, truth.headMask, kBleedingMm));
}

bool RunCondition(const Arguments& a, const Condition& c, const std::vector<MatcherSetting>& settings,
                  const std::string& folder) {
    std::string error;
    std::vector<PoseFrames> rendered;
    if (!WriteCondition(a, c, folder, rendered, &error)) {
        std::cerr << "evaluate_depth: " << error << "\n";
        return false;
    }
    const int count = static_cast<int>(a.poses.size()) * a.frames;
    for (const MatcherSetting& setting : settings) {
        const std::string file = folder + "/camera-" + setting.name + ".cfg";
        std::vector<LiveDepthFrame> measured;
        const std::string lines = setting.fromDefaults ? kMatchingDefaults + setting.lines : setting.lines;
        if (!WriteParameterVariant(folder + "/camera-live.cfg", lines, file, &error) ||
            !RunLiveCamera(file, count, measured, &error)) {
            std::cerr << "evaluate_depth: " << error << "\n";
            return false;
        }
        RegionErrors all;
        std::size_t k = 0;
        for (const PoseFrames& pose : rendered) {
            RegionErrors one;
            for (const RenderedFrame& truth : pose.frames) {
                const DepthRegions regions = MakeDepthRegions(truth.headMask, a.bandPx);
                for (RegionErrors* e : {&one, &all}) {
                    e->face.Add(measured[k].z, truth.z, regions.face);
                    e->band.Add(measured[k].z, truth.z, regions.band);
                    e->outline.Add(measured[k].z, truth.z, regions.outline);
                    e->seconds.push_back(measured[k].seconds);
                }
                ++k;
            }
            if (a.byPose) PrintLine(setting.name, c, pose.pose, one);
            if (!a.pictures.empty()) SavePicture(a, c, setting.name, pose, measured[k - pose.frames.size()]);
        }
        if (!a.byPose) PrintLine(setting.name, c, a.poses.size() == 1 ? a.poses.front() : "all", all);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments a;
    if (!ParseArguments(argc, argv, a)) {
        std::cerr << kUsage << kSceneUsage << "settings:";
        for (const MatcherSetting& s : Settings()) std::cerr << " " << s.name;
        std::cerr << "\n";
        return 2;
    }
    std::vector<MatcherSetting> settings;
    for (const std::string& name : a.settings) {
        MatcherSetting setting;
        if (!FindSetting(name, setting)) {
            std::cerr << "evaluate_depth: no setting or file named " << name << "\n";
            return 2;
        }
        settings.push_back(setting);
    }
    const std::string folder = a.keep.empty()
                                   ? (fs::temp_directory_path() / ("vantorel_depth_" + std::to_string(::getpid()))).string()
                                   : a.keep;
    std::printf("face: head pixels more than %d px inside the outline; band: pixels within %d px of it on either side;\n"
                "outline: the band's head pixels; errors over the pixels with depth; >20mm and bleed: share of\n"
                "all the region's pixels\n",
                a.bandPx, a.bandPx);
    PrintHeader();
    int status = 0;
    for (double focal : a.focals)
        for (double distance : a.distances)
            for (double noise : a.noise)
                if (status == 0 && !RunCondition(a, {focal, distance, noise}, settings, folder)) status = 1;
    if (a.keep.empty()) {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    return status;
}
