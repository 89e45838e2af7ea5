// Turns a stereo camera into a stream of tracked frames.
//
// Built from the "Param.cfg" stream (see StereoSourceParameters.h): creates the camera that
// CAMERA_TYPE names and grabs the first frame, which gets an identity pose. Each GrabImage() adds
// the camera's next frame, restricted by the current depth-mask region, at the front of the
// frame list (newest first) and trims the list to MAX_FRAMES, always keeping the oldest frame.
//
// Ownership: the source owns its camera, its frames (and through them their images and poses),
// its region and its disparity image. Pointers it hands out are borrowed and stay valid until
// the next GrabImage, Reset, ResetRegion or SetRegion that replaces them.
//
// CAMERA_TYPE SRI gives the live stereo camera; a recording made by it (RECORDED_CAMERA: SRI) gets
// an auxiliary live camera, built from the recording's CAMERA_CONFIG_FILENAME, that turns the
// recorded disparity into 3D (a recording without disparity files keeps its own 3D data).
// Pixels a camera gives no 3D point read X = Y = Z = 0. Without a camera (TRICLOPS) every grab
// fails. After a Reset whose grab failed the list is empty: GetCurrentFrame, GetIntensity,
// GetDepth and GetMask then return null, and callers must check.
#pragma once

#include <istream>
#include <list>
#include <memory>
#include <string>

#include "acquisition/StereoSourceParameters.h"
#include "image/DepthMaskRegion.h"
#include "tracking/Pose.h"
#include "tracking/TrackedFrame.h"

class CImage;
class CStereoCamera;

class CStereoSource {
public:
    using FrameList = std::list<std::unique_ptr<CTrackedFrame>>;

    static constexpr int kImageWidth = 320;
    static constexpr int kImageHeight = 240;

    explicit CStereoSource(std::istream* paramFile);
    ~CStereoSource();
    CStereoSource(const CStereoSource&) = delete;
    CStereoSource& operator=(const CStereoSource&) = delete;

    // Reads the parameters (a null stream keeps the defaults), sets the region, creates the
    // camera and grabs the first frame.
    void Init(std::istream* paramFile);
    // 1 when a frame was added; 0 when there is no camera or the camera could not deliver a
    // complete frame (list, newest frame and frame count then stay as they were).
    int GrabImage();
    // Why the last GrabImage failed ("<kind>: <detail>", see CStereoCamera::GetFailure); empty
    // after a grab that succeeded.
    const std::string& GetGrabFailure() const { return grabFailure; }
    // Drops every frame and grabs a fresh first frame; the camera is not rewound.
    void Reset();
    // Drops the frames grabbed before the one numbered `index` (the newest frame stays); that
    // frame is then the oldest, kept until Reset.
    void DropFramesBefore(int index);
    CDepthMaskRegion* ResetRegion();
    // Only frames grabbed afterwards use the new region.
    void SetRegion(int left, int right, int top, int bottom, float minDepth, float maxDepth);

    CTrackedFrame* GetCurrentFrame() const;  // null when the list is empty
    CPose* GetCurrentPose();                 // the default pose when there is no frame or pose
    CImage* GetIntensity() const;            // null when the list is empty
    CImage* GetDepth() const;                // null when the list is empty
    CImage* GetMask() const;                 // null when the list is empty or the frame has none

    const FrameList& GetFrames() const { return frames; }  // newest first
    CDepthMaskRegion* GetRegion() const { return region.get(); }
    CStereoCamera* GetCamera() const { return camera.get(); }
    const CStereoSourceParameters& GetParameters() const { return parameters; }
    int GetFrameCount() const { return frameCount; }

private:
    void CreateCamera();
    void AddFrame(CImage* intensity, CImage* depth, CImage* x, CImage* y);
    void ComputePixelScale(CTrackedFrame* frame);
    void TrimFrames();

    FrameList frames;
    std::unique_ptr<CStereoCamera> camera;
    // Turns recorded SRI disparity into 3D; null unless the recording was made by the SRI camera.
    std::unique_ptr<CStereoCamera> disparityProcessor;
    std::unique_ptr<CDepthMaskRegion> region;
    std::unique_ptr<CImage> disparityImage;
    CStereoSourceParameters parameters;
    CPose defaultPose;
    int frameCount = 0;
    std::string grabFailure;
};
