// The last few frame pyramids the iterated estimator built, so that a frame's pyramid is built
// once: tracking frame to frame, a step's current frame is the next step's reference, and
// keyframes come back for many steps.
//
// A pyramid is found again by the frame's address, two numbers computed from its pixels (a frame
// the source has deleted must not lend its pyramid to a new frame that took its address), the
// window and the build settings; a pyramid built over a larger window serves a smaller one (its
// levels sit on the same frame pixels), and a frame asked for over a window its pyramid does not
// hold is built again over both. Sixteen slots, the least recently used one rebuilt: a step's
// five keyframes and its current frame, and the keyframes of the steps before, which come back
// among the best as the head turns to and fro; rebuilding them cost more than the memory of
// the extra slots. The cache owns its pyramids; Get lends one until the next Get that rebuilds
// its slot.
#pragma once

#include <opencv2/core.hpp>

#include "tracking/FramePyramid.h"

class CStereoFrame;

struct PyramidSettings {
    int levels = 1;
    int gradient = 1;
    int erosion = 0;
    float nearest = -1.0f;  // depth bounds of the face region, -1: none
    float farthest = -1.0f;
    int depthSmoothing = 0;  // CTrackerParameters::DepthSmoothing (CFramePyramid::Build)
    int depthErosion = 0;
    int outlineFill = 0;
    int fineSmoothing = CFramePyramid::kIntensityPasses;  // CTrackerParameters::fineSmoothing
};

class CPyramidCache {
public:
    // The frame's pyramid over the window; null when the frame cannot be built (see
    // CFramePyramid::Build). `keep` is never rebuilt by this call.
    const CFramePyramid* Get(const CStereoFrame& frame, const cv::Rect& window, const PyramidSettings& settings,
                             const CFramePyramid* keep);
    // How many pyramids Get has built.
    long Builds() const { return builds_; }

private:
    struct Key {
        const CStereoFrame* frame = nullptr;
        double print[2] = {0.0, 0.0};
        cv::Rect window;
        int levels = 0, gradient = 0, erosion = 0;
        float nearest = 0.0f, farthest = 0.0f;
        int depthSmoothing = 0, depthErosion = 0, outlineFill = 0, fineSmoothing = 0;
        bool SameFrame(const Key& other) const;  // and the same settings, whatever the windows
        // Same frame and settings, and this window holds the other's.
        bool Serves(const Key& other) const;
    };
    struct Slot {
        CFramePyramid pyramid;
        Key key;
        bool valid = false;
        long used = 0;
    };
    static constexpr int kSlots = 16;

    static void Fingerprint(const CStereoFrame& frame, double print[2]);

    Slot slots_[kSlots];
    long clock_ = 0;
    long builds_ = 0;
};
