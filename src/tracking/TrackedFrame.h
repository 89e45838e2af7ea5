// The frame the stereo source keeps in its list: a stereo frame plus its pose and frame number.
//
// The pose is owned by the frame and null until the source (first frame after construction or
// reset) or the tracker sets one; SetPose deletes the pose it replaces. The index is the
// source's frame count when the frame was grabbed; it starts again when the source is reset. The
// serial number is the process's count of tracked frames made: no two frames share one, whatever
// address or index they are given.
#pragma once

#include <cstdint>
#include <memory>

#include "image/StereoFrame.h"
#include "tracking/Pose.h"

class CTrackedFrame : public CStereoFrame {
public:
    // Takes over the four images and copies the region, as CStereoFrame does.
    CTrackedFrame(CImage* intensity, CImage* depth, CImage* imageX, CImage* imageY, const CDepthMaskRegion* region,
                  int index);
    ~CTrackedFrame();

    CPose* GetPose() const { return pose.get(); }  // null when none; the frame keeps ownership
    int GetIndex() const { return index; }
    std::uint64_t GetSerial() const { return serial; }
    void SetPose(CPose* newPose);  // takes ownership

private:
    std::unique_ptr<CPose> pose;
    int index;
    std::uint64_t serial;
};
