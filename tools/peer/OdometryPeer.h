// The peer the tracker is measured against: OpenCV's RGB-D odometry (contrib rgbd module), run on
// the same frames as the tracker and chained frame to frame from the same start.
//
//   rgbd     cv::rgbd::RgbdOdometry: photometric alignment of the intensities, coarse to fine
//   icp      cv::rgbd::ICPOdometry: point-to-plane ICP on the depth alone
//   rgbdicp  cv::rgbd::RgbdICPOdometry: both
//
// Each is configured with its documented defaults (pyramid iterations 7, 7, 7, 10; minimum
// gradient magnitudes 10; at most 7 % of the image's pixels sampled; correspondences whose depths
// differ by more than 7 cm dropped; at most 15 cm and 15 degrees a pair), the camera matrix of the
// rendered rig, and the tracker's own face region: the depth range of the region and a mask of
// the region's rectangle and its valid depth pixels, in both frames.
//
// Units and axes: OpenCV takes depth in metres in the camera frame the matrix K defines (X right,
// Y down, Z forward) and returns Rt with dst_p = Rt src_p; poses here are in millimetres,
// p_current = R p_start + t, the convention of the tracker's poses. A pair OpenCV cannot solve (too
// few correspondences, or a motion beyond its limits) leaves the chained pose where it was and
// counts as failed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "synth/RigidMotion.h"

class CDepthMaskRegion;
class CStereoSource;
class CTrackedFrame;
namespace cv::rgbd {
struct OdometryFrame;
}

struct PeerCamera {
    double focalPx = 380.0;
    double centreX = 160.0;
    double centreY = 120.0;
};

// One frame as the peer sees it.
struct PeerFrame {
    cv::Mat image;  // CV_8UC1
    cv::Mat depth;  // CV_32FC1, metres, 0 where unknown
    cv::Mat mask;   // CV_8UC1, non-zero where the pixel may be used
};

// A tracked frame: its intensity back in grey levels, its depth in metres, its mask restricted to
// the region's rectangle (null: the whole frame) and to positive depths. Empty images when the
// frame lacks one of them.
PeerFrame PeerFrameFrom(const CTrackedFrame& frame, const CDepthMaskRegion* region);
// The source's newest frame, with the source's region.
PeerFrame PeerFrameFromSource(const CStereoSource& source);

class COdometryPeer {
public:
    static const std::vector<std::string>& Names();
    // Null for an unknown name. minDepthMm and maxDepthMm bound the depths OpenCV uses (0, 0: its defaults).
    static std::unique_ptr<COdometryPeer> Create(const std::string& name, const PeerCamera& camera, double minDepthMm,
                                                 double maxDepthMm);
    ~COdometryPeer();
    COdometryPeer(const COdometryPeer&) = delete;
    COdometryPeer& operator=(const COdometryPeer&) = delete;

    const std::string& Name() const { return name_; }
    // The frame the chain starts from: the pose becomes the identity.
    void Start(const PeerFrame& frame);
    // The motion from the previous frame to this one, composed onto the pose; false when OpenCV
    // found none (the pose then stays). Each frame's pyramids are built once for the chain, and
    // LastSeconds is the time of this call: one new frame prepared and one pair solved.
    bool Step(const PeerFrame& frame);
    // The motion of one pair alone, p_b = R p_a + t (mm); false when OpenCV found none.
    bool Estimate(const PeerFrame& a, const PeerFrame& b, CRigidMotion& motion) const;

    const CRigidMotion& Pose() const { return pose_; }
    double LastSeconds() const { return lastSeconds_; }
    int FailedPairs() const { return failedPairs_; }

private:
    struct Odometry;
    COdometryPeer(const std::string& name, std::unique_ptr<Odometry> odometry);

    std::string name_;
    std::unique_ptr<Odometry> odometry_;
    cv::Ptr<cv::rgbd::OdometryFrame> previous_;
    CRigidMotion pose_;
    double lastSeconds_ = 0.0;
    int failedPairs_ = 0;
};
