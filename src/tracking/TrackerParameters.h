// The pose tracker's settings, read from "ParamTrackerZBCCE.cfg".
//
// The file is a stream of whitespace-separated tokens: a key ("LAMBDA:", ...) is followed by its
// value token; a token starting with "#" comments out the rest of its line; other tokens are
// skipped. Keys and keywords match exactly (case and trailing colon included); the last
// occurrence of a key wins; a keyword outside the table leaves its field as it was. Reading stops
// at the end of the stream or at the first value that does not parse, keeping what was read.
// Values that cannot work (a LAMBDA beyond +-kMaxLambda, an NB_MAX_BEST_MATCH above
// kMaxBestMatchesCeiling, ITERATIONS or PYRAMID_LEVELS outside their ranges) are refused with a
// message and the previous value kept. Relative output file names are taken relative to the
// configuration file's folder when the stream carries it.
//
// The keys after GRADIENT select the iterated estimator (IterativeEstimator.h) and its loss
// check; with ITERATIONS absent or 0 none of them has any effect and every pair is solved once,
// linearised, as the first eight keys alone describe.
#pragma once

#include <istream>
#include <string>

class CTrackerParameters {
public:
    enum MatchFunction {
        MATCH_PREVIOUS = 1,
        MATCH_FIRST = 2,
        MATCH_FIRST_AS_END = 3,
        MATCH_INTENSITY = 5,
        MATCH_INTENSITY_DYNAMIC = 6,
        MATCH_INTENSITY_WITH_PREVIOUS = 7,
        MATCH_COVARIANCE = 8,
        MATCH_COVARIANCE_DYNAMIC = 9,
    };
    enum MergePose {
        POSE_AVERAGE = 1,
        POSE_WEIGHTED_AVERAGE = 2,
        POSE_FIRST = 3,
        POSE_COVARIANCE = 4,
    };
    enum Gradient {
        DOUBLE = 1,    // both frames' 5-tap gradients averaged, prefiltered differences
        DIRECT = 2,    // the reference frame's 5-tap gradients, raw differences
        ANALYTIC = 3,  // masked Gaussian smoothing, 3-tap gradients
    };

    enum RobustWeighting {
        ROBUST_NONE = 0,
        ROBUST_HUBER = 1,
        ROBUST_TUKEY = 2,
    };
    enum BrightnessChange {
        BRIGHTNESS_CONSTANT = 0,  // a surface keeps its grey level from frame to frame
        BRIGHTNESS_GAIN = 1,      // the exposure may scale it by a gain per pair
        BRIGHTNESS_SHADING = 2,   // and a lamp by a gain varying linearly across the face
    };
    enum DepthSmoothing {
        DEPTH_PLAIN = 0,    // the depth smoothed by the prefilter alone
        DEPTH_TEXTURE = 1,  // averaged where the texture is, as the smoothed grey levels see it
        // The brightness rows' points at the texture's depth, the depth rows' at their own.
        DEPTH_TEXTURE_BRIGHTNESS = 2,
        // The finest level's depth from a local quadratic fit (QuadraticDepth.h): for exact depth.
        DEPTH_QUADRATIC = 3,
    };
    enum JacobianDepth {
        JACOBIAN_REFERENCE = 0,  // the rows' derivatives at the reference's point, moved
        // At the depth averaged over both frames on that point's ray: the two frames' depth
        // noise then pulls the rows neither way.
        JACOBIAN_DOUBLE = 1,
    };
    enum RowWeighting {
        ROWS_LAMBDA = 0,  // brightness rows 1, depth rows LAMBDA (with its special values)
        ROWS_NOISE = 1,   // each row divided by the noise its measurement has
    };

    static constexpr float kMaxLambda = 1e6f;
    // Each pair is one estimation: this many keep a step well under a second.
    static constexpr int kMaxBestMatchesCeiling = 10;
    // Iterations per level and halvings beyond these buy nothing but time.
    static constexpr int kMaxIterations = 100;
    static constexpr int kMaxPyramidLevels = 6;
    // Beyond one finest-level pixel in four, the coarser levels have more rows than it.
    static constexpr int kMaxFineStride = 4;

    CTrackerParameters() = default;
    explicit CTrackerParameters(std::istream& in) { Read(in); }

    void Read(std::istream& in);

    std::string resultsFileName;
    std::string posesFileName;
    float lambda = 1.0f;            // weight of the depth rows; 0, -1 and -10 select special layouts
    float compareThreshold = 1.0f;  // read and kept; nothing uses it
    int matchFunction = MATCH_PREVIOUS;
    int maxBestMatches = 2;
    int mergePose = POSE_FIRST;
    int gradient = DOUBLE;

    // The iterated estimator.
    int iterations = 0;                   // "ITERATIONS:" per pyramid level; 0: one linearised solve
    int pyramidLevels = 1;                // "PYRAMID_LEVELS:" 1 is the frames' own resolution
    int robustWeights = ROBUST_NONE;      // "ROBUST_WEIGHTS:" NONE, HUBER or TUKEY
    int rowWeights = ROWS_LAMBDA;         // "ROW_WEIGHTS:" LAMBDA or NOISE
    int brightness = BRIGHTNESS_CONSTANT; // "BRIGHTNESS:" CONSTANT, GAIN or SHADING (iterated only)
    int depthSmoothing = DEPTH_PLAIN;     // "DEPTH_SMOOTHING:" PLAIN, TEXTURE, TEXTURE_BRIGHTNESS or
                                          // QUADRATIC (iterated, GRADIENT: DOUBLE)
    int jacobianDepth = JACOBIAN_REFERENCE; // "JACOBIAN_DEPTH:" REFERENCE or DOUBLE (iterated)
    // "FINE_STRIDE:" rows at the finest level from one reference pixel in this many (2: a
    // checkerboard), the coarser levels from every pixel; 1 (the default): every pixel.
    int fineStride = 1;
    // "FINE_SMOOTHING:" passes of the 5-tap prefilter over the finest level's grey levels under
    // GRADIENT: DOUBLE, 1 to 3 (3, the default, as at every level). Smoothing in the image does not
    // follow the face's foreshortening from frame to frame, which draws the fit towards the pose
    // that changes it least. The coarser levels, which reach the far motions, keep their passes.
    int fineSmoothing = kMaxFineSmoothing;
    static constexpr int kMaxFineSmoothing = 3;
    // "MASK_EROSION:" 3 x 3 erosions of the face mask before the iterated estimator takes rows
    // from it, at the camera's resolution; -1 (the default): one per 64 columns of the image.
    // Never fewer than the derivatives' reach, which keeps the background out of them.
    int maskErosion = -1;
    static constexpr int kMaxMaskErosion = 16;
    // "DEPTH_EROSION:" further 3 x 3 erosions, at the camera's resolution, before a depth row is
    // taken where its point lands (iterated only): a stereo camera's matching window spreads the
    // head's depth over the background by half its width, and that spread moves with the outline,
    // not with the face. The brightness rows keep the outline. 0 (the default): none.
    int depthErosion = 0;
    // "OUTLINE_FILL:" pixels without depth within this many pixels of the face join it, their
    // depth and rays from the face beside them, so that the rows next to them keep their
    // derivatives; depth rows are still taken only where depth was measured (iterated only;
    // OutlineFill.h). A stereo camera leaves such holes along the head's outline. 0 (the
    // default): none.
    int outlineFill = 0;
    static constexpr int kMaxOutlineFill = 8;
    // The loss check of an iterated pair: a pair failing one of these loses the face.
    float minInlierShare = 0.5f;          // "MIN_INLIER_SHARE:" rows keeping a robust weight
    float minFaceShare = 0.3f;            // "MIN_FACE_SHARE:" face pixels still matched, of the first pair's
    float maxResidual = 0.0f;             // "MAX_RESIDUAL:" block residual scale in noise units; 0: none
    bool requireConvergence = false;      // "REQUIRE_CONVERGENCE:" YES or NO
    // Keyframe candidates compared over the whole intensity image, or over the face region only
    // ("KEYFRAME_COMPARISON:" IMAGE or REGION): the background says nothing about the head's pose,
    // and the region is a sixth of the pixels to compare against every stored frame.
    bool compareRegion = false;
    // "FOLLOW_REGION: YES" moves the face region with the tracked head (iterated estimator only);
    // NO (the default) keeps it where the face was found.
    bool followRegion = false;
    // "MAX_FRAME_ROTATION:" degrees the merged pose may turn from the previous frame's; a step
    // beyond it loses the face (no head turns 10 degrees in a thirtieth of a second). 0: any.
    float maxFrameRotationDeg = 0.0f;
    // "OCCLUSION_GAP:" a face point that lands where the current frame is nearer than it by more
    // than this (depth units) is hidden there, by a hand or the nose, and makes no rows (iterated
    // estimator only). 0 (the default): never hidden.
    float occlusionGap = 0.0f;
    // "DEPTH_NOISE_CORRECTION: YES" takes out of the brightness rows what the noise of their
    // points' depth adds, which shortens every motion (iterated, perspective; PointDepthNoise.h).
    // NO (the default): the rows as they come.
    bool depthNoiseCorrection = false;

    bool Iterated() const { return iterations > 0; }
};
