// How well an iterated estimate explains its frame pair, taken from the last iteration at the
// finest level, and the thresholds a pair must meet for its pose to be trusted.
//
// A pair that fails the thresholds is not a motion of the face: the tracker then reports the face
// lost, the way a motion beyond MAX_ROTATION is, instead of handing a wrong pose on.
#pragma once

class CTrackerParameters;

struct MotionLoss {
    bool estimated = false;         // false: no iterated estimate was made (nothing to judge)
    int referencePixels = 0;        // usable face pixels of the reference at the finest level
    int matchedRows = 0;            // of those, pixels that landed on usable pixels of the current frame
    int hiddenRows = 0;             // and pixels that landed there behind something nearer (OCCLUSION_GAP)
    float foundHiddenShare = 0.0f;  // of the face region the session was found with, what lay in front of the face
    float brightnessScale = 0.0f;   // robust scale of the brightness residuals, in noise units
    float depthScale = 0.0f;        // the same for the depth residuals
    float inlierShare = 0.0f;       // rows whose residual keeps a weight, of all rows
    float faceShare = 1.0f;         // matched rows of the pair over those of the session's first pair
    bool jumped = false;            // a residual scale far above the last step's best (ResidualJumped)
    bool converged = false;         // the finest level stopped on a negligible step
    int iterations = 0;             // over all levels

    // Hidden points of those that landed on usable pixels; -1 when nothing was estimated or landed.
    float HiddenShare() const {
        const int tried = matchedRows + hiddenRows;
        return estimated && tried > 0 ? static_cast<float>(hiddenRows) / static_cast<float>(tried) : -1.0f;
    }
};

struct LossThresholds {
    float minInlierShare = 0.0f;
    float minFaceShare = 0.0f;
    float maxResidual = 0.0f;       // 0: residual scales are not checked
    bool requireConvergence = false;
    // With an occlusion gap, a face more than half hidden is lost: what is left of it is too
    // little to trust a pose from (a hand over more than half of it left one nearly 3 degrees off).
    // So is a session found with more than half of its face behind something: measured against
    // that frame, nothing more is hidden, and the rest of a darker face was tracked 3.6 degrees off.
    static constexpr float kMaxHiddenShare = 0.5f;
    float maxHiddenShare = 1.0f;    // of the points that landed on usable pixels, and of the found
                                    // face; 1: not checked

    static LossThresholds From(const CTrackerParameters& parameters);
    // True when the pose can be trusted; a loss not estimated is trusted (nothing says otherwise).
    bool Accepts(const MotionLoss& loss) const;
};
