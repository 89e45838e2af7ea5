// A rectangular region of interest (channel of interest, x and y offset, width, height) that is
// attached to one or more images with CImage::SetROI to restrict an operation to a rectangle.
//
// The region owns its IplROI. Copies of a region share that same IplROI, so a change made
// through one copy is seen by every copy and by every image it is attached to. The IplROI lives
// as long as the last copy or the last image it is attached to, so no copy ever frees it twice
// and an image never holds a dangling region pointer in its header.
#pragma once

#include <memory>

#include "platform/ipl/ipl.h"

class CImageROI {
public:
    // Channel 0 and a zero rectangle; callers set the rectangle with Set before attaching it.
    CImageROI();
    CImageROI(int x, int y, int width, int height, int coi);
    virtual ~CImageROI();

    CImageROI(const CImageROI&) = default;
    CImageROI& operator=(const CImageROI&) = default;

    int GetXOffset() const { return roi_->xOffset; }
    void SetXOffset(int x) { roi_->xOffset = x; }
    int GetYOffset() const { return roi_->yOffset; }
    void SetYOffset(int y) { roi_->yOffset = y; }
    int GetWidth() const { return roi_->width; }
    void SetWidth(int width) { roi_->width = width; }
    int GetHeight() const { return roi_->height; }
    void SetHeight(int height) { roi_->height = height; }
    int GetCoi() const { return roi_->coi; }
    void SetCoi(int coi) { roi_->coi = coi; }

    // Rewrites all five fields.
    void Set(int x, int y, int width, int height, int coi);

    // The shared IplROI; it stays owned by the region.
    IplROI* GetIplROI() const { return roi_.get(); }
    // Shared ownership of the IplROI, for images that keep it alive while it is attached.
    const std::shared_ptr<IplROI>& GetSharedIplROI() const { return roi_; }

private:
    std::shared_ptr<IplROI> roi_;
};
