// One candidate registration of a tracking step: the frame being tracked, the stored frame it is
// registered against, the estimated motion between them and the match score (smaller is better).
//
// The frames are borrowed from the stereo source; the relative pose is owned (null until
// estimated) and maps points of the reference frame into the current one: p_cur = R p_ref + t.
#pragma once

#include <memory>

#include "tracking/Pose.h"

class CTrackedFrame;

class CFrameMatch {
public:
    CFrameMatch(CTrackedFrame* reference, CTrackedFrame* current, float weight);

    CTrackedFrame* GetReference() const { return reference; }
    CTrackedFrame* GetCurrent() const { return current; }
    float GetWeight() const { return weight; }
    CPose* GetRelativePose() const { return relativePose.get(); }
    void SetRelativePose(CPose* pose) { relativePose.reset(pose); }  // takes ownership

    // The current frame's absolute pose through this match, a new pose the caller owns: the
    // reference frame's pose (the identity when it has none) followed by the relative motion,
    // composed exactly, rotation vector recomputed from the product; it carries the reference
    // pose's weight. Null before estimation.
    CPose* GetAbsolutePose() const;
    // The same for the reference frame when the roles are exchanged (the current frame's pose
    // is known): the current pose followed by the inverse motion.
    CPose* GetReferenceAbsolutePose() const;

private:
    CTrackedFrame* current = nullptr;
    CTrackedFrame* reference = nullptr;
    std::unique_ptr<CPose> relativePose;
    float weight = 0.0f;
};
