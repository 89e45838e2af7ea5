// The face region of a frame: an image rectangle (a CImageROI) plus a depth range.
//
// A depth bound of -1 means "no bound". Built from the rectangle's left, right, top and bottom
// edges (right and bottom exclusive). A copy shares the rectangle object with its original, as
// every CImageROI copy does; ClampedTo() makes an independent one that lies inside an image.
#pragma once

#include "image/ImageROI.h"

class CDepthMaskRegion : public CImageROI {
public:
    static constexpr float kNoBound = -1.0f;

    CDepthMaskRegion();  // empty rectangle at the origin, no depth bounds
    CDepthMaskRegion(int left, int right, int top, int bottom, float minDepth, float maxDepth);

    float GetMinDepth() const { return minDepth; }
    float GetMaxDepth() const { return maxDepth; }
    void SetMinDepth(float depth) { minDepth = depth; }
    void SetMaxDepth(float depth) { maxDepth = depth; }

    // The part of the rectangle inside an image of the given size (possibly empty: width or
    // height 0, offsets inside the image), with the same depth bounds, as a new rectangle object.
    CDepthMaskRegion ClampedTo(int imageWidth, int imageHeight) const;
    bool IsEmpty() const { return GetWidth() <= 0 || GetHeight() <= 0; }

private:
    float minDepth = kNoBound;
    float maxDepth = kNoBound;
};
