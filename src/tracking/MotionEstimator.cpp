#include "tracking/MotionEstimator.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "image/Image.h"
#include "image/ImageROI.h"
#include "image/StereoFrame.h"
#include "linalg/DMatrix.h"
#include "linalg/DVector.h"
#include "tracking/Pose.h"
#include "tracking/TrackerParameters.h"

namespace {

constexpr int kDerivative5 = 5;
constexpr int kSmoothPrefilter5 = 5;
constexpr int kSmoothMaskedGaussian = 4;
constexpr int kNormL1 = 2;
constexpr int kColumns = 6;
constexpr int kColumnsPerErosion = 64;
// Half-widths of the kernels behind each pixel's derivatives: the 5-tap derivative and prefilter,
// and, in ANALYTIC, the 15-tap Gaussian followed by the 3-tap difference.
constexpr int kReach5Tap = 2;
constexpr int kReachAnalytic = 7 + 1;

// Row layouts selected by the exact LAMBDA values.
constexpr float kBrightnessOnly = 0.0f;
constexpr float kDepthOnly = -1.0f;
constexpr float kBalanced = -10.0f;

using ImagePtr = std::unique_ptr<CImage>;

bool SameSize(const CImage* a, const CImage* b) {
    return a && b && a->GetWidth() == b->GetWidth() && a->GetHeight() == b->GetHeight();
}

bool UsableScale(float scale) { return scale != 0.0f && std::isfinite(scale); }

// The gradient slot of the reference frame, created like `like` when missing or of another size.
CImage* GradientSlot(CImage* held, const CImage* like) {
    return SameSize(held, like) ? held : like->CreateLike();
}

const float* FloatRow(const CImage* image, int row) {
    return reinterpret_cast<const float*>(image->GetImageData() + static_cast<long>(row) * image->GetWidthStep());
}

ImagePtr Prefiltered(const CImage* image) {
    ImagePtr smoothed(image->CreateLike());
    image->Smooth(smoothed.get(), kSmoothPrefilter5, nullptr);
    return smoothed;
}

// Gaussian of (image * mask) normalised by the Gaussian of the mask.
ImagePtr MaskedGaussian(CImage* image, CImage* mask) {
    ImagePtr weighted(image->CreateLike());
    weighted->Multiply(image, mask);
    ImagePtr smoothed(image->CreateLike());
    weighted->Smooth(smoothed.get(), kSmoothMaskedGaussian, mask);
    return smoothed;
}

// The identity built from its matrix: its rotation vector is marked invalid, which validation
// refuses, so a failed solve loses the face instead of holding it still.
CPose* RefusedPose() {
    const float identity[9] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    const float none[3] = {0.0f, 0.0f, 0.0f};
    return new CPose(identity, none);
}

}  // namespace

CMotionEstimator::CMotionEstimator(float depthRowWeight, int gradientMode)
    : lambda(depthRowWeight), gradient(gradientMode) {}

CMotionEstimator::~CMotionEstimator() = default;

CPose* CMotionEstimator::EstimateMotionInRegion(CStereoFrame* reference, CStereoFrame* current,
                                                const CImageROI* region) {
    if (!region) return EstimateMotion(reference, current);
    if (!reference || !current || !reference->GetMask()) return new CPose();
    const std::unique_ptr<CStereoFrame> referenceCrop(reference->Crop(region));
    const std::unique_ptr<CStereoFrame> currentCrop(current->Crop(region));
    return Estimate(referenceCrop.get(), currentCrop.get(), ErosionFor(reference->GetMask()->GetWidth()));
}

CPose* CMotionEstimator::EstimateMotion(CStereoFrame* reference, CStereoFrame* current) {
    if (!reference || !reference->GetMask()) return new CPose();
    return Estimate(reference, current, ErosionFor(reference->GetMask()->GetWidth()));
}

void CMotionEstimator::SetPerspectiveFocal(float focalPx) {
    perspectiveFocal = (focalPx > 0.0f && std::isfinite(focalPx)) ? focalPx : 0.0f;
}

int CMotionEstimator::KernelReach() const {
    return gradient == CTrackerParameters::ANALYTIC ? kReachAnalytic : kReach5Tap;
}

// One 3 x 3 erosion per 64 columns of the camera image (5 at 320 columns), whatever the crop.
int CMotionEstimator::ErosionFor(int imageWidth) { return imageWidth / kColumnsPerErosion; }

CPose* CMotionEstimator::Estimate(CStereoFrame* reference, CStereoFrame* current, int erosion) {
    if (!Prepare(reference, current, erosion)) return new CPose();
    const float centre[3] = {reference->GetCentroidX(), reference->GetCentroidY(), reference->GetCentroidZ()};
    MotionSystem system;
    BuildSystem(reference, centre, system);
    float x[kColumns];
    if (!Solve(system, x)) {
        // Too few rows is the pair saying nothing (no motion, as ever); a failed or non-finite
        // solve of a full system is a fault, and no motion would be reported as tracked.
        if (system.rows < kMinValidPixels) return new CPose();
        if (!failedSolveReported) {
            std::cerr << "Vantorel: motion estimation failed (the solve of " << system.rows
                      << " rows gave no finite motion); the pair is refused" << std::endl;
            failedSolveReported = true;
        }
        return RefusedPose();
    }
    auto* pose = new CPose(x[3], x[4], x[5], x[0], x[1], x[2]);
    // Solved about the centre; restated about the camera origin.
    pose->ShiftRotationCentre(-centre[0], -centre[1], -centre[2]);
    return pose;
}

bool CMotionEstimator::Prepare(CStereoFrame* reference, CStereoFrame* current, int erosion) {
    if (!reference || !current) return false;
    const CImage* depth = reference->GetDepth();
    if (!depth || depth->GetWidth() < 1 || depth->GetHeight() < 1 || !reference->GetMask() || !current->GetMask())
        return false;
    const CImage* const images[] = {reference->GetIntensity(), reference->GetImageX(), reference->GetImageY(),
                                    current->GetIntensity(), current->GetDepth(), reference->GetMask(),
                                    current->GetMask()};
    for (const CImage* image : images)
        if (!SameSize(image, depth)) return false;
    if (!UsableScale(reference->GetScaleX()) || !UsableScale(reference->GetScaleY())) {
        // A frame grabbed before the face region was set has no centroid, so no pixel scale; the
        // current frame, cropped to the same region, tells the pixel size at the head's depth.
        if (!UsableScale(current->GetScaleX()) || !UsableScale(current->GetScaleY())) return false;
        reference->SetScaleX(current->GetScaleX());
        reference->SetScaleY(current->GetScaleY());
    }
    BuildValidMask(reference, current, erosion);
    ComputeDerivatives(reference, current);
    return true;
}

// Pixels inside both frames' masks, each mask eroded first: near a mask's edge the derivative
// and smoothing kernels reach across the head's silhouette into the background, and the rows
// built there describe the jump, not the head. Both frames need it, since the reference may have
// been grabbed before the face region existed (its mask then covers the whole image).
void CMotionEstimator::BuildValidMask(const CStereoFrame* reference, const CStereoFrame* current, int iterations) {
    const ImagePtr valid(reference->GetMask()->Clone());
    valid->Erode(iterations);
    const ImagePtr currentValid(current->GetMask()->Clone());
    currentValid->Erode(iterations);
    valid->And(currentValid.get());
    if (!SameSize(validMask.get(), reference->GetDepth())) validMask.reset(reference->GetDepth()->CreateLike());
    valid->ScaleFP(validMask.get(), 0.0f, 255.0f);  // keeps 0 and 1 as numbers
    // The frame is usually a crop through the head: along its edges the kernels read the
    // replicated border instead of the head, so those pixels give no rows.
    const int reach = KernelReach();
    const int width = validMask->GetWidth(), height = validMask->GetHeight();
    CImageROI edge;
    const auto clear = [&](int x, int y, int w, int h) {
        if (w <= 0 || h <= 0) return;
        edge.Set(x, y, w, h, 0);
        validMask->SetROI(&edge);
        validMask->Set(0);
        validMask->SetROI(nullptr);
    };
    const int across = std::min(reach, height), down = std::min(reach, width);
    clear(0, 0, width, across);
    clear(0, height - across, width, across);
    clear(0, 0, down, height);
    clear(width - down, 0, down, height);
}

void CMotionEstimator::ComputeDerivatives(CStereoFrame* reference, CStereoFrame* current) {
    differenceFrame.reset(reference->CreateLike());
    switch (gradient) {
        case CTrackerParameters::DIRECT: ComputeDirect(reference, current); break;
        case CTrackerParameters::ANALYTIC: ComputeAnalytic(reference, current); break;
        default: ComputeDouble(reference, current); break;
    }
}

// Gradients averaged over both frames; prefiltered temporal differences.
void CMotionEstimator::ComputeDouble(CStereoFrame* reference, CStereoFrame* current) {
    const float horizontal = 0.5f / reference->GetScaleX();
    const float vertical = -0.5f / reference->GetScaleY();
    const auto averaged = [&](CImage* held, CImage* ofReference, CImage* ofCurrent, bool alongX) {
        CImage* slot = GradientSlot(held, ofReference);
        const ImagePtr other(ofReference->CreateLike());
        if (alongX) {
            slot->GradientX(ofReference, kDerivative5);
            other->GradientX(ofCurrent, kDerivative5);
        } else {
            slot->GradientY(ofReference, kDerivative5);
            other->GradientY(ofCurrent, kDerivative5);
        }
        slot->Add(other.get());
        slot->MultiplySFP(alongX ? horizontal : vertical);
        return slot;
    };
    CImage* const intensityA = reference->GetIntensity();
    CImage* const depthA = reference->GetDepth();
    reference->SetIntensityGradX(averaged(reference->GetIntensityGradX(), intensityA, current->GetIntensity(), true));
    reference->SetIntensityGradY(averaged(reference->GetIntensityGradY(), intensityA, current->GetIntensity(), false));
    reference->SetDepthGradX(averaged(reference->GetDepthGradX(), depthA, current->GetDepth(), true));
    reference->SetDepthGradY(averaged(reference->GetDepthGradY(), depthA, current->GetDepth(), false));

    differenceFrame->GetIntensity()->Subtract(Prefiltered(current->GetIntensity()).get(),
                                              Prefiltered(intensityA).get());
    differenceFrame->GetDepth()->Subtract(Prefiltered(current->GetDepth()).get(), Prefiltered(depthA).get());
}

// The reference frame's gradients; raw temporal differences.
void CMotionEstimator::ComputeDirect(CStereoFrame* reference, CStereoFrame* current) {
    CImage* const intensityA = reference->GetIntensity();
    CImage* const depthA = reference->GetDepth();
    CImage* slot = GradientSlot(reference->GetDepthGradX(), depthA);
    slot->GradientX(depthA, kDerivative5);
    reference->SetDepthGradX(slot);
    slot = GradientSlot(reference->GetDepthGradY(), depthA);
    slot->GradientY(depthA, kDerivative5);
    reference->SetDepthGradY(slot);
    slot = GradientSlot(reference->GetIntensityGradX(), intensityA);
    slot->GradientX(intensityA, kDerivative5);
    reference->SetIntensityGradX(slot);
    slot = GradientSlot(reference->GetIntensityGradY(), intensityA);
    slot->GradientY(intensityA, kDerivative5);
    reference->SetIntensityGradY(slot);
    ScaleGradients(reference, 1.0f / reference->GetScaleX(), -1.0f / reference->GetScaleY());

    differenceFrame->GetIntensity()->Subtract(current->GetIntensity(), intensityA);
    differenceFrame->GetDepth()->Subtract(current->GetDepth(), depthA);
}

// Both frames smoothed by the Gaussian normalised over the valid mask; the frame's own 3-tap
// gradient pair of the smoothed reference.
void CMotionEstimator::ComputeAnalytic(CStereoFrame* reference, CStereoFrame* current) {
    CImage* const mask = validMask.get();
    const ImagePtr smoothIntensityA = MaskedGaussian(reference->GetIntensity(), mask);
    const ImagePtr smoothDepthA = MaskedGaussian(reference->GetDepth(), mask);
    reference->ComputeGradients(smoothIntensityA.get(), smoothDepthA.get());
    ScaleGradients(reference, 1.0f / reference->GetScaleX(), -1.0f / reference->GetScaleY());

    differenceFrame->GetDepth()->Subtract(MaskedGaussian(current->GetDepth(), mask).get(), smoothDepthA.get());
    differenceFrame->GetIntensity()->Subtract(MaskedGaussian(current->GetIntensity(), mask).get(),
                                              smoothIntensityA.get());
}

void CMotionEstimator::ScaleGradients(CStereoFrame* reference, float horizontal, float vertical) {
    reference->GetIntensityGradX()->MultiplySFP(horizontal);
    reference->GetDepthGradX()->MultiplySFP(horizontal);
    reference->GetIntensityGradY()->MultiplySFP(vertical);
    reference->GetDepthGradY()->MultiplySFP(vertical);
}

// lambda of the depth rows; for -10 the ratio of the temporal differences' L1 norms.
float CMotionEstimator::DepthRowWeight() const {
    if (lambda == kBrightnessOnly) return 0.0f;
    if (lambda == kDepthOnly) return 1.0f;
    if (lambda != kBalanced) return lambda;
    const double depthChange = differenceFrame->GetDepth()->Norm(kNormL1);
    if (!(depthChange > 0.0)) return 0.0f;
    return static_cast<float>(differenceFrame->GetIntensity()->Norm(kNormL1) / depthChange);
}

// Per valid pixel, with (X, Y, Z) relative to the centre and the image motion
// (dx, dy) = (tx + wy Z - wz Y, ty + wz X - wx Z), dZ = tz + wx Y - wy X:
//   brightness: Ix dx + Iy dy = -It
//   depth:      Zx dx + Zy dy - dZ = -Zt, times lambda.
// One pass over all images in lock-step; only the blocks the layout uses are stored.
void CMotionEstimator::BuildSystem(const CStereoFrame* reference, const float centre[3],
                                   MotionSystem& system) const {
    const CImage* mask = validMask.get();
    system.validPixels = 0;
    system.rows = 0;
    if (!mask || !differenceFrame || !reference || !SameSize(mask, reference->GetIntensity())) return;
    const int n = static_cast<int>(mask->Norm(kNormL1));
    system.validPixels = n;
    if (n < kMinValidPixels) return;
    // lambda 0, given or computed, leaves the depth rows out: they would add nothing.
    const float lam = DepthRowWeight();
    const bool brightness = lambda != kDepthOnly;
    const bool depthRows = lam != 0.0f;
    const bool perspective = perspectiveFocal > 0.0f;
    const int rows = (brightness ? n : 0) + (depthRows ? n : 0);
    system.rows = rows;
    // Weak-perspective brightness rows say nothing about tz (their column 3 is zero): without
    // depth rows it is left out of the solve and comes out 0, where a zero column would meet the
    // solver's absolute cut-off with a rounding-sized singular value and be inverted.
    const bool withTz = depthRows || perspective;
    system.columns = withTz ? kColumns : kColumns - 1;
    system.matrix.assign(static_cast<std::size_t>(rows) * system.columns, 0.0f);
    system.rhs.assign(static_cast<std::size_t>(rows), 0.0f);
    float* column[kColumns];
    for (int j = 0, slot = 0; j < kColumns; ++j) {
        const bool stored = withTz || j != 2;
        column[j] = stored ? system.matrix.data() + static_cast<std::size_t>(slot++) * rows : nullptr;
    }
    float* const rhs = system.rhs.data();
    const int depthOffset = brightness ? n : 0;
    const float cx = centre[0], cy = centre[1], cz = centre[2];
    // The gradients were scaled for the pixel size at the depth |scaleX| * f; in perspective each
    // pixel's own depth rescales them.
    const float scaleDepth = std::fabs(reference->GetScaleX()) * perspectiveFocal;

    const CImage* intensity = reference->GetIntensity();
    const int width = intensity->GetWidth();
    const int height = intensity->GetHeight();
    int k = 0;
    for (int row = 0; row < height && k < n; ++row) {
        const float* valid = FloatRow(mask, row);
        const float* ix = FloatRow(reference->GetIntensityGradX(), row);
        const float* iy = FloatRow(reference->GetIntensityGradY(), row);
        const float* zx = FloatRow(reference->GetDepthGradX(), row);
        const float* zy = FloatRow(reference->GetDepthGradY(), row);
        const float* px = FloatRow(reference->GetImageX(), row);
        const float* py = FloatRow(reference->GetImageY(), row);
        const float* pz = FloatRow(reference->GetDepth(), row);
        const float* it = FloatRow(differenceFrame->GetIntensity(), row);
        const float* zt = FloatRow(differenceFrame->GetDepth(), row);
        for (int col = 0; col < width && k < n; ++col) {
            if (valid[col] != 1.0f) continue;
            const float x = px[col] - cx, y = py[col] - cy, z = pz[col] - cz;
            if (perspective) {
                AddPerspectiveRows(k, depthOffset, brightness, depthRows, lam, scaleDepth, ix[col], iy[col],
                                   zx[col], zy[col], px[col], py[col], pz[col], x, y, z, it[col], zt[col], column, rhs);
                ++k;
                continue;
            }
            if (brightness) {
                column[0][k] = ix[col];
                column[1][k] = iy[col];
                column[3][k] = -z * iy[col];
                column[4][k] = z * ix[col];
                column[5][k] = x * iy[col] - y * ix[col];
                rhs[k] = -it[col];
            }
            if (depthRows) {
                const int r = depthOffset + k;
                column[0][r] = lam * zx[col];
                column[1][r] = lam * zy[col];
                column[2][r] = -lam;
                column[3][r] = lam * (-z * zy[col] - y);
                column[4][r] = lam * (z * zx[col] + x);
                column[5][r] = lam * (x * zy[col] - y * zx[col]);
                rhs[r] = -zt[col] * lam;
            }
            ++k;
        }
    }
}

// The rows of one pixel under perspective. With g = (gx, gy) the gradient per unit of X and Y at
// the pixel's depth Z and P = (X, Y, Z) its point (x, y, z relative to the rotation centre):
//   brightness: gx dX + gy dY - s dZ = -It,              s = (gx X + gy Y) / Z
//   depth:      ex dX + ey dY - (1 + sz) dZ = -Zt,       sz = (ex X + ey Y) / Z, times lambda
// with dX = tx + wy z - wz y, dY = ty + wz x - wx z, dZ = tz + wx y - wy x. A point at or behind
// the camera gives empty rows.
void CMotionEstimator::AddPerspectiveRows(int k, int depthOffset, bool brightness, bool depthRows, float lam,
                                          float scaleDepth, float ix, float iy, float zx, float zy, float pointX,
                                          float pointY, float pointZ, float x, float y, float z, float it, float zt,
                                          float* const column[6], float* rhs) {
    if (!(pointZ > 0.0f)) return;
    const float ratio = scaleDepth / pointZ;
    const auto fill = [&](int r, float gx, float gy, float zoom, float weight, float change) {
        column[0][r] = weight * gx;
        column[1][r] = weight * gy;
        column[2][r] = -weight * zoom;
        column[3][r] = weight * (-gy * z - zoom * y);
        column[4][r] = weight * (gx * z + zoom * x);
        column[5][r] = weight * (gy * x - gx * y);
        rhs[r] = -weight * change;
    };
    if (brightness) {
        const float gx = ix * ratio, gy = iy * ratio;
        fill(k, gx, gy, (gx * pointX + gy * pointY) / pointZ, 1.0f, it);
    }
    if (depthRows) {
        const float ex = zx * ratio, ey = zy * ratio;
        fill(depthOffset + k, ex, ey, 1.0f + (ex * pointX + ey * pointY) / pointZ, lam, zt);
    }
}

bool CMotionEstimator::Solve(MotionSystem& system, float solution[6]) {
    if (system.rows < kMinValidPixels || (system.columns != kColumns && system.columns != kColumns - 1) ||
        system.matrix.size() != static_cast<std::size_t>(system.rows) * system.columns)
        return false;
    const DMatrix a(system.rows, system.columns, system.matrix.data(), false);
    const DVector b(system.rows, system.rhs.data(), false);
    DVector x(system.columns);
    if (a.SolveSVD(b, x) != 0) return false;
    for (int i = 0, slot = 1; i < kColumns; ++i) {
        solution[i] = (system.columns == kColumns || i != 2) ? x.AtValue(slot++) : 0.0f;
        if (!std::isfinite(solution[i])) return false;
    }
    return true;
}
