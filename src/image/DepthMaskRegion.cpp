#include "image/DepthMaskRegion.h"

#include <algorithm>
#include <limits>

namespace {

// right - left without overflow for any pair of ints a configuration file may hold.
int Extent(int from, int to) {
    const long long extent = static_cast<long long>(to) - from;
    return static_cast<int>(std::clamp<long long>(extent, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
}

}  // namespace

CDepthMaskRegion::CDepthMaskRegion() : CImageROI(0, 0, 0, 0, 0) {}

CDepthMaskRegion::CDepthMaskRegion(int left, int right, int top, int bottom, float minDepth, float maxDepth)
    : CImageROI(left, top, Extent(left, right), Extent(top, bottom), 0), minDepth(minDepth), maxDepth(maxDepth) {}

CDepthMaskRegion CDepthMaskRegion::ClampedTo(int imageWidth, int imageHeight) const {
    const long long x0 = std::clamp<long long>(GetXOffset(), 0, imageWidth);
    const long long y0 = std::clamp<long long>(GetYOffset(), 0, imageHeight);
    const long long x1 = std::clamp<long long>(static_cast<long long>(GetXOffset()) + GetWidth(), x0, imageWidth);
    const long long y1 = std::clamp<long long>(static_cast<long long>(GetYOffset()) + GetHeight(), y0, imageHeight);
    CDepthMaskRegion clamped(static_cast<int>(x0), static_cast<int>(x1), static_cast<int>(y0), static_cast<int>(y1),
                             minDepth, maxDepth);
    clamped.SetCoi(GetCoi());
    return clamped;
}
