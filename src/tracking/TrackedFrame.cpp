#include "tracking/TrackedFrame.h"

CTrackedFrame::CTrackedFrame(CImage* intensity, CImage* depth, CImage* imageX, CImage* imageY,
                             const CDepthMaskRegion* region, int index)
    : CStereoFrame(intensity, depth, imageX, imageY, region), index(index) {}

CTrackedFrame::~CTrackedFrame() { pose.reset(); }

void CTrackedFrame::SetPose(CPose* newPose) {
    if (pose.get() != newPose) pose.reset(newPose);
}
