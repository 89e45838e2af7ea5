// OpenCV's odometry riding along one tracking run (peer/OdometryPeer.h): it sees the same frames
// through the run's observer, from the frame where tracking starts, chains its own poses, and is
// measured afterwards against the same truth and at the same head-centre point as the tracker.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "evaluation/CaseRuns.h"
#include "peer/OdometryPeer.h"
#include "synth/TrackingRun.h"

class CPeerRuns {
public:
    // False, with the reason in *error, for an unknown peer name. The peers' depth range is the region's.
    bool Create(const std::vector<std::string>& names, const StereoRig& camera, const FaceRegion& region,
                std::string* error);
    bool Empty() const { return chains_.empty(); }
    // Hands every frame to every peer; the observer refers to this object.
    FrameObserver Observer();
    // One row per peer, labelled like `run` (the tracker's row) but for the estimator and the
    // settings, which are OpenCV's own. yUp: the run's data axes have Y up.
    void AddRows(const std::vector<TrackedFrameResult>& results, bool yUp, const RunRow& run,
                 std::vector<RunRow>& rows) const;

private:
    struct Chain {
        std::unique_ptr<COdometryPeer> peer;
        std::map<int, CRigidMotion> poses;  // by file index, camera axes (Y down)
        std::vector<double> seconds;
        bool started = false;
    };
    std::vector<Chain> chains_;
};
