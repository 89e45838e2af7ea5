// Disparity to 3D from the block's calibration (conventions in svs.h).
#include "platform/svs/svs.h"
#include "platform/svs/svs_internal.h"

#include <cmath>

int svsReconstruct3DFast(float* x, float* y, float* z, float column, float row, float disparity,
                         const svsParameterBlock* block) {
    if (!x || !y || !z) return -1;
    *x = *y = *z = 0.0f;
    if (!block) return -1;
    const svsParameterBlock& b = *block;
    const double s = svs_internal::Subsampling(b);
    if (!(s > 0) || !(b.pixelWidth > 0)) return -1;
    const double focal = b.leftFocal / (s * b.pixelWidth);
    const double centerX = (b.leftCenterX + b.rightCenterX) / (2 * s);
    const double centerY = b.leftCenterY / s;
    // A point at infinity sits at the principal points of both rectified images: its disparity is
    // their difference, not 0.
    const double atInfinity = (b.leftCenterX - b.rightCenterX) / s;
    const double pixels = disparity / 16.0 - b.offsetX - atInfinity;
    // A disparity of 0 or less has its point at infinity or behind the camera.
    if (!(pixels > 0) || !(focal > 0) || !std::isfinite(focal)) return -1;
    const double depth = focal * b.baseline / pixels;
    if (!std::isfinite(depth)) return -1;
    *z = static_cast<float>(depth);
    *x = static_cast<float>((column - centerX) * depth / focal);
    *y = static_cast<float>((row - centerY) * depth / focal);
    return 0;
}
