// Frames whose face something hid in part, a hand passing in front of it: their face region holds
// the occluder as well as the face, and a pair taken from such a frame follows the occluder as
// much as the head (a hand over half the face carried the pose sideways with it).
//
// With an occlusion gap the estimator tells, per pair, how many face points landed behind
// something nearer. A tracked frame counts as hidden when even its least hidden pair found more
// than kMaxShare of its points so: a pair of a large turn hides some of the head behind itself,
// the pair from the frame before hides next to nothing. Hidden frames do not serve as references
// while a clear frame of the session does.
//
// A hand that entered a frame's face region beside the face, over the wall, hid no face point
// there, yet taken as a reference it would be followed. So the session keeps how far its face
// reaches in front of the face's centre when it was found (the nose's tip, of its points, a hand
// in the region then left out), and a reference's pixels nearer than that, where its pose puts
// the face, by more than the gap, are no part of it.
#pragma once

#include <map>
#include <vector>

#include <opencv2/core.hpp>

#include "tracking/MotionLoss.h"

class CPose;
class CStereoFrame;
struct FaceArea;

class CHiddenFaces {
public:
    static constexpr float kMaxShare = 0.05f;

    void Clear() {
        shares_.clear();
        started_ = false;
    }
    // The session's face as found in its first frame, without what lies nearer than the depth at
    // the region's centre by more than `gap` (0: everything counts); false (nothing known)
    // without face points.
    bool StartSession(const CStereoFrame& origin, const FaceArea& face, float gap);
    // Of the found region's points, the share left out as nearer than the face; 0 before a session.
    float FoundHiddenShare() const { return started_ ? foundHidden_ : 0.0f; }
    // Reference pixels nearer than this are not the face of a frame at `pose` (the session's
    // motion; null: its first frame); -1 before a session started or for an unusable pose.
    float NearestFaceDepth(const CPose* pose, float gap) const;
    // The tracked frame's step: its estimated pairs' losses (nothing recorded without one).
    void Record(int frameIndex, const std::vector<MotionLoss>& losses);
    bool Hidden(int frameIndex) const;
    // Of a step's pairs, those that found more than kMaxShare of the face hidden get no say in
    // the merged pose (coefficient 0) while a pair still counted found it clear: a keyframe seen
    // from far aside compares the head's other side, and its pose moved a glance's by half a
    // degree. coefficients[k] belongs to losses[k].
    static void LeaveOutHiddenPairs(const std::vector<MotionLoss>& losses, std::vector<double>& coefficients);
    // Frames older than `oldest` are no longer kept by the source.
    void Forget(int oldest);

private:
    std::map<int, float> shares_;
    bool started_ = false;
    cv::Vec3d centre_;   // of the found face's points
    double front_ = 0.0;  // how far its nearest points lie in front of the centre (depth, negative)
    float foundHidden_ = 0.0f;
};
