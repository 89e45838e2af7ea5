// One stereo frame as the tracker sees it: float intensity, depth (Z) and X, Y coordinate images
// of the same pixels, their horizontal and vertical gradients, a 0/1 mask of the pixels inside
// the region's depth range, a copy of that region, two pixel scales and the 3D centroid of the
// masked pixels of the region.
//
// Ownership: the frame owns every image it points to and its region copy. The constructor takes
// over the four images it is given; setters take over the new image and delete the one they
// replace; getters lend, never give. CreateLike() and Crop() return new frames the caller owns.
//
// The region's rectangle is clamped to the image when it is copied and before every crop, so a
// region reaching past the border crops what lies inside; an empty one gives 0 x 0 crops and a
// zero centroid. The mask covers the whole image: the rectangle restricts only the centroid.
#pragma once

#include <memory>

#include "image/DepthMaskRegion.h"

class CImage;
class CImageROI;

class CStereoFrame {
public:
    CStereoFrame();
    // Takes over the four images (8-bit intensity or depth are converted to float, keeping each
    // value's number) and copies the region; a null region gives a frame without mask.
    CStereoFrame(CImage* intensity, CImage* depth, CImage* imageX, CImage* imageY, const CDepthMaskRegion* region);
    ~CStereoFrame();
    CStereoFrame(const CStereoFrame&) = delete;
    CStereoFrame& operator=(const CStereoFrame&) = delete;

    // Same formats, contents undefined; no gradients, mask or region; scales 1, centroid 0.
    CStereoFrame* CreateLike() const;
    // The region's rectangle (clamped to the image) of intensity, depth, X, Y and mask; the
    // frame's scales; no gradients or region; centroid 0. Without a mask the crop has none.
    CStereoFrame* Crop(const CImageROI* region) const;
    CStereoFrame* CropOrCreateLike() const;

    // Central differences d/dcolumn and d/drow (both positive on a ramp growing that way) of each
    // source, written into the frame's gradient images.
    void ComputeGradients(CImage* intensitySource, CImage* depthSource);

    CImage* GetIntensity() const { return intensity.get(); }
    CImage* GetIntensityGradX() const { return intensityGradX.get(); }
    CImage* GetIntensityGradY() const { return intensityGradY.get(); }
    CImage* GetDepth() const { return depth.get(); }
    CImage* GetDepthGradX() const { return depthGradX.get(); }
    CImage* GetDepthGradY() const { return depthGradY.get(); }
    CImage* GetImageX() const { return imageX.get(); }
    CImage* GetImageY() const { return imageY.get(); }
    CImage* GetMask() const { return mask.get(); }
    const CDepthMaskRegion* GetRegion() const { return region.get(); }
    float GetScaleX() const { return scaleX; }
    float GetScaleY() const { return scaleY; }
    float GetCentroidX() const { return centroidX; }
    float GetCentroidY() const { return centroidY; }
    float GetCentroidZ() const { return centroidZ; }

    void SetIntensityGradX(CImage* image) { Replace(intensityGradX, image); }
    void SetIntensityGradY(CImage* image) { Replace(intensityGradY, image); }
    void SetDepthGradX(CImage* image) { Replace(depthGradX, image); }
    void SetDepthGradY(CImage* image) { Replace(depthGradY, image); }
    // Replaces the image and drops its gradients (recomputed when asked); holding it already
    // changes nothing.
    void SetIntensity(CImage* image, bool computeGradients);
    void SetDepth(CImage* image, bool computeGradients);
    void SetScaleX(float scale) { scaleX = scale; }
    void SetScaleY(float scale) { scaleY = scale; }

private:
    static void Replace(std::unique_ptr<CImage>& slot, CImage* image);
    static void ComputeGradientPair(CImage* source, std::unique_ptr<CImage>& gradX, std::unique_ptr<CImage>& gradY);
    void BuildMask();
    void ComputeCentroid();

    std::unique_ptr<CImage> intensity;
    std::unique_ptr<CImage> intensityGradX;
    std::unique_ptr<CImage> intensityGradY;
    std::unique_ptr<CImage> imageX;
    std::unique_ptr<CImage> imageY;
    std::unique_ptr<CImage> depth;
    std::unique_ptr<CImage> depthGradX;
    std::unique_ptr<CImage> depthGradY;
    std::unique_ptr<CImage> mask;  // 8-bit 0/1; null without a region
    std::unique_ptr<CDepthMaskRegion> region;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    float centroidX = 0.0f;
    float centroidY = 0.0f;
    float centroidZ = 0.0f;
};
