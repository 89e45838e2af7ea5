// Replays a written synthetic sequence through the host's own loop, the tracker context that
// updateImage drives (host/TrackerContext.h): the real face detector finds the face, the tracker
// follows it, the initialiser's Validate decides after every tracked frame whether the face is
// lost, and a lost face is searched again from a new frame. Nothing of that state machine is
// repeated here: each step is one CTrackerContext::Update, read back through the context's
// public operations.
//
// A tracking run's poses are motions from the frame where its face was found (the anchor), so a
// tracked frame k is compared with the true motion from the anchor to k, in the data's axes; a run
// that starts again after a loss has a new anchor. The head-centre error is taken at the rendered
// head's centre at the anchor, or at the run's first tracked frame's face centroid.
#pragma once

#include <string>
#include <vector>

#include "synth/GroundTruth.h"
#include "synth/RunConfiguration.h"
#include "synth/TrackingErrors.h"
#include "synth/TrackingRun.h"

struct HostLoopOptions {
    std::string folder;        // written by CSequenceWriter with the path's forms
    std::string path = "xyz";  // xyz, disparity, iff or live
    bool yUpFiles = false;
    RunConfiguration configuration;
    std::string runDirectory;  // the configuration files are written here (made when missing)
    std::string classifier;    // the face classifier's file; empty: as the environment says
    CentrePoint centre = CentrePoint::kHeadCentre;
    bool quiet = true;         // the library's console lines (detector, region) go to /dev/null
};

// One Update of the context.
struct HostStep {
    int fileIndex = 0;     // the newest frame after the step
    bool tracking = false;  // what updateImage returns
    bool found = false;     // the face was found in this frame
    bool lost = false;      // the tracked frame failed validation: back to detecting, a new frame grabbed
    bool tracked = false;   // a pose of a tracking run was reported (tracking, not the finding step)
    int anchor = -1;        // the frame the run's poses start from
    CRigidMotion estimated; // tracked steps: the pose, data axes
    CRigidMotion truth;
    PoseError error;
};

// False, with the reason in *error, when the folder cannot be run. The run lasts until every frame
// of the truth has been grabbed.
bool RunHostLoop(const HostLoopOptions& options, const CGroundTruth& truth, std::vector<HostStep>& steps,
                 std::string* error);

// What a user of the leaving head sees. returnFrame: the first frame at which the face is back in
// view after being gone (-1: it never left).
struct HostLoopSummary {
    TrackingErrors tracked;      // over the tracked steps
    int firstFound = -1;         // frame of the first detection
    int losses = 0;
    int restarts = 0;            // detections after the first
    int trackedWhileGone = 0;    // tracked steps while no head pixel is in view
    int restartFrame = -1;       // the first detection at or after the last loss before the return
    int framesToRestart = -1;    // restartFrame - returnFrame; -1 when tracking never restarted
    bool lostWhileGone = false;  // tracking was not running when the face came back
};

// headVisible[k] for file index k + 1: whether any head pixel is in view.
HostLoopSummary SummariseHostLoop(const std::vector<HostStep>& steps, const std::vector<bool>& headVisible,
                                  int returnFrame);
