#include "tracking/TrackedFrame.h"

#include <atomic>

namespace {

// Frames are made on whichever thread grabs: the count is shared.
std::atomic<std::uint64_t> framesMade{0};

}  // namespace

CTrackedFrame::CTrackedFrame(CImage* intensity, CImage* depth, CImage* imageX, CImage* imageY,
                             const CDepthMaskRegion* region, int index)
    : CStereoFrame(intensity, depth, imageX, imageY, region), index(index), serial(++framesMade) {}

CTrackedFrame::~CTrackedFrame() { pose.reset(); }

void CTrackedFrame::SetPose(CPose* newPose) {
    if (pose.get() != newPose) pose.reset(newPose);
}
