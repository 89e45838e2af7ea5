// The depth-and-brightness motion estimator: the rigid motion of the head between a reference and
// a current stereo frame, from one linear least-squares system that stacks, per pixel valid in
// both frames, a brightness-constancy row and a depth-constancy row.
//
// Data path, one stage per member: valid mask -> spatial gradients and temporal differences ->
// centring -> one linear system (2N x 6, or N x 6 for one block) -> SVD solve -> pose.
// The result maps reference points into the current frame, p_cur = R p_ref + t, in the units and
// axes of the frames' X, Y, Z images.
//
// Image model: by default weak perspective (every pixel's gradients scaled by the pixel size at
// the frame's centroid depth, a motion along Z moving no pixel). With a focal length set, full
// perspective instead: each pixel's gradients scaled by its own depth, and the image motion
// d(u, v) = f / Z (dX - X dZ / Z, dY - Y dZ / Z), so that a lateral move is not taken for a turn
// and a move along Z is seen as the image growing or shrinking.
//
// Ownership: EstimateMotion* return a new pose the caller owns. The estimator owns its scratch
// (the valid mask and the difference frame), kept between calls and re-made when a pair of
// another size arrives. The reference frame's gradient images are replaced by the estimation;
// its X, Y, Z images are left untouched.
#pragma once

#include <memory>
#include <vector>

class CImage;
class CImageROI;
class CPose;
class CStereoFrame;

// The system of one frame pair: `rows` x `columns` column-major coefficients and `rows`
// right-hand sides. Columns are tx, ty, tz, wx, wy, wz; without depth rows tz is not among them.
struct MotionSystem {
    int validPixels = 0;
    int rows = 0;
    int columns = 6;
    std::vector<float> matrix;
    std::vector<float> rhs;
};

class CMotionEstimator {
public:
    static constexpr int kMinValidPixels = 7;  // six unknowns need at least seven rows

    CMotionEstimator(float lambda, int gradient);
    ~CMotionEstimator();
    CMotionEstimator(const CMotionEstimator&) = delete;
    CMotionEstimator& operator=(const CMotionEstimator&) = delete;

    // Estimates on both frames cropped to the region (the whole frames when it is null).
    CPose* EstimateMotionInRegion(CStereoFrame* reference, CStereoFrame* current, const CImageROI* region);
    // The identity when the pair cannot be estimated: frames of different sizes or without
    // masks, an empty frame, no usable pixel scale, fewer than seven valid pixels. A solve that
    // fails or gives a non-finite motion gives a pose without a valid rotation vector, which
    // validation refuses, and one message.
    CPose* EstimateMotion(CStereoFrame* reference, CStereoFrame* current);

    // Focal length in pixels for the perspective model; 0 (or anything not positive and finite)
    // selects the weak-perspective model.
    void SetPerspectiveFocal(float focalPx);
    float GetPerspectiveFocal() const { return perspectiveFocal; }

    // Erosions of the masks for a camera image of this width.
    static int ErosionFor(int imageWidth);
    // The stages, public so that each can be exercised alone. Prepare builds the valid mask
    // (both masks eroded `erosion` times), the reference frame's scaled gradients and the
    // difference frame; false when the pair cannot be estimated.
    bool Prepare(CStereoFrame* reference, CStereoFrame* current, int erosion);
    // The system of the prepared pair with the coordinates taken relative to `centre`.
    void BuildSystem(const CStereoFrame* reference, const float centre[3], MotionSystem& system) const;
    // (tx, ty, tz, wx, wy, wz); false when the solve fails or gives a non-finite value.
    static bool Solve(MotionSystem& system, float solution[6]);

    const CImage* GetValidMask() const { return validMask.get(); }
    const CStereoFrame* GetDifferenceFrame() const { return differenceFrame.get(); }

private:
    CPose* Estimate(CStereoFrame* reference, CStereoFrame* current, int erosion);
    void BuildValidMask(const CStereoFrame* reference, const CStereoFrame* current, int iterations);
    void ComputeDerivatives(CStereoFrame* reference, CStereoFrame* current);
    void ComputeDouble(CStereoFrame* reference, CStereoFrame* current);
    void ComputeDirect(CStereoFrame* reference, CStereoFrame* current);
    void ComputeAnalytic(CStereoFrame* reference, CStereoFrame* current);
    // Multiplies the reference frame's gradients by the pixel scales: 1/scaleX horizontally,
    // -1/scaleY vertically.
    static void ScaleGradients(CStereoFrame* reference, float horizontal, float vertical);
    float DepthRowWeight() const;
    static void AddPerspectiveRows(int k, int depthOffset, bool brightness, bool depthRows, float lam,
                                   float scaleDepth, float ix, float iy, float zx, float zy, float pointX,
                                   float pointY, float pointZ, float x, float y, float z, float it, float zt,
                                   float* const column[6], float* rhs);
    // Pixels this close to the frame's edge see the derivative kernels' replicated border.
    int KernelReach() const;

    float lambda;
    int gradient;
    float perspectiveFocal = 0.0f;
    bool failedSolveReported = false;  // one message per estimator, not one per frame
    std::unique_ptr<CStereoFrame> differenceFrame;  // It in its intensity, Zt in its depth
    std::unique_ptr<CImage> validMask;               // float 0/1
};
