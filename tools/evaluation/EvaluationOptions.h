// The command line of tools/evaluate_tracking: what to render, how to run it, what to print.
#pragma once

#include <string>
#include <vector>

#include "synth/HeadScene.h"

// One way of choosing frame pairs and merging their poses, as the tracker's keywords name them.
struct MatchMode {
    std::string name;   // previous, intensity, covariance, ..., or "configured" (as the configuration says)
    std::string match;  // MATCH_FUNCTION keyword; empty for "configured"
    std::string merge;  // MERGE_POSE keyword
};

const std::vector<MatchMode>& MatchModes();
// Null for an unknown name.
const MatchMode* FindMatchMode(const std::string& name);

struct EvaluationOptions {
    std::string command;  // sequences, pairs, host or acceptance
    std::vector<std::string> paths{"xyz"};
    std::vector<std::string> modes{"previous", "intensity", "covariance"};
    std::vector<std::string> trajectories{"yaw", "pitch", "roll", "translate", "random"};
    std::vector<std::string> configs{"recommended"};
    std::vector<std::string> peers;  // rgbd, icp, rgbdicp: OpenCV's odometry on the same frames
    std::vector<std::string> peerPaths;  // empty: every path
    std::vector<std::string> conditions{"clean", "noisy"};  // acceptance
    std::vector<std::string> gradients;  // empty: as configured
    // The cameras measured: every distance with every focal length (--distance, --focal), or the
    // full sweep's five.
    struct Rig {
        double distanceMm;
        double focalPx;
    };
    std::vector<Rig> rigs{{950.0, 380.0}};
    int frames = 120;
    int stillFrames = 8;
    double framesPerSecond = 30.0;
    cv::Vec2d offsetMm{0.0, 0.0};
    double noise = 0.0;          // grey levels
    double depthNoiseMm = 0.0;   // along the ray
    unsigned seed = 1;
    bool yUp = false;
    bool verbose = false;
    bool faceCentroid = false;
    std::string exactDepth;  // sequences, live path: the rendered depth put in (synth/ExactDepth.h)
    double pairScale = 1.0;
    bool full = false;  // the full sweep: 700 and 1200 mm at focal 300 and 500, and 950 mm at 380
    SceneOptions scene;  // head shape, shading, stereo-like depth errors
    // Keyword lines added to the configuration's files, after what --lambda and the like set.
    std::vector<std::string> paramKeywords;
    std::vector<std::string> initKeywords;
    std::vector<std::string> trackerKeywords;
    std::vector<std::string> stereoKeywords;  // the live camera's parameter file
};

extern const char* const kEvaluationUsage;

// False, with the reason in *error, for anything unusable.
bool ParseEvaluationOptions(int argc, char** argv, EvaluationOptions& options, std::string* error);
