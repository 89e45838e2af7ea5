#include "evaluation/PeerRuns.h"

bool CPeerRuns::Create(const std::vector<std::string>& names, const StereoRig& camera, const FaceRegion& region,
                       std::string* error) {
    chains_.clear();
    for (const std::string& name : names) {
        Chain chain;
        chain.peer = COdometryPeer::Create(name, {camera.focalPx, camera.centreX, camera.centreY}, region.minDepth,
                                           region.maxDepth);
        if (!chain.peer) {
            if (error) *error = "unknown peer " + name;
            return false;
        }
        chains_.push_back(std::move(chain));
    }
    return true;
}

FrameObserver CPeerRuns::Observer() {
    return [this](const CStereoSource& source, int fileIndex) {
        const PeerFrame frame = PeerFrameFromSource(source);
        for (Chain& chain : chains_) {
            if (!chain.started) {
                chain.peer->Start(frame);
                chain.started = true;
                continue;
            }
            chain.peer->Step(frame);
            chain.poses[fileIndex] = chain.peer->Pose();
            chain.seconds.push_back(chain.peer->LastSeconds());
        }
    };
}

void CPeerRuns::AddRows(const std::vector<TrackedFrameResult>& results, bool yUp, const RunRow& run,
                        std::vector<RunRow>& rows) const {
    for (const Chain& chain : chains_) {
        RunRow row = run;
        row.config = row.mode = row.gradient = "-";
        row.estimator = chain.peer->Name();
        row.errors = TrackingErrors();
        for (const TrackedFrameResult& r : results) {
            const auto pose = chain.poses.find(r.index);
            if (pose == chain.poses.end()) continue;
            const CRigidMotion estimated = yUp ? pose->second.FlippedY() : pose->second;
            const PoseError e = ComparePose(estimated, r.truth, r.centre);
            row.errors.Add(e.rotationDeg, e.translationMm, e.headCentreMm);
        }
        row.msPerPair = MedianMilliseconds(chain.seconds);
        row.failedPairs = chain.peer->FailedPairs();
        rows.push_back(row);
    }
}
