#include "peer/OdometryPeer.h"

#include <chrono>
#include <cmath>

#include <opencv2/imgproc.hpp>
#include <opencv2/rgbd.hpp>

#include "acquisition/StereoSource.h"
#include "image/DepthMaskRegion.h"
#include "image/Image.h"
#include "platform/ipl/ipl.h"

struct COdometryPeer::Odometry {
    cv::Ptr<cv::rgbd::Odometry> odometry;
};

namespace {

cv::Mat View(const CImage* image) { return image ? iplFullView(image->GetIplImage()) : cv::Mat(); }

}  // namespace

PeerFrame PeerFrameFrom(const CTrackedFrame& frame, const CDepthMaskRegion* region) {
    PeerFrame peer;
    const cv::Mat intensity = View(frame.GetIntensity()), depth = View(frame.GetDepth()), mask = View(frame.GetMask());
    if (intensity.empty() || depth.empty() || mask.empty()) return peer;
    // The source scales grey levels to 0..0.01 (1/25500 a level): undone exactly by rounding.
    intensity.convertTo(peer.image, CV_8U, 25500.0);
    depth.convertTo(peer.depth, CV_32F, 0.001);
    cv::Mat positive;
    cv::compare(depth, 0.0, positive, cv::CMP_GT);
    peer.mask = cv::Mat::zeros(mask.size(), CV_8U);
    cv::Rect rectangle(0, 0, mask.cols, mask.rows);
    if (region)
        rectangle &= cv::Rect(region->GetXOffset(), region->GetYOffset(), region->GetWidth(), region->GetHeight());
    if (rectangle.area() > 0) cv::bitwise_and(mask(rectangle), positive(rectangle), peer.mask(rectangle));
    peer.depth.setTo(0.0f, ~positive);
    return peer;
}

PeerFrame PeerFrameFromSource(const CStereoSource& source) {
    const CTrackedFrame* current = source.GetCurrentFrame();
    return current ? PeerFrameFrom(*current, source.GetRegion()) : PeerFrame();
}

const std::vector<std::string>& COdometryPeer::Names() {
    static const std::vector<std::string> names = {"rgbd", "icp", "rgbdicp"};
    return names;
}

std::unique_ptr<COdometryPeer> COdometryPeer::Create(const std::string& name, const PeerCamera& camera,
                                                     double minDepthMm, double maxDepthMm) {
    const cv::Mat k = (cv::Mat_<float>(3, 3) << camera.focalPx, 0, camera.centreX, 0, camera.focalPx, camera.centreY,
                       0, 0, 1);
    const float minDepth = minDepthMm > 0.0 ? static_cast<float>(minDepthMm / 1000.0)
                                            : cv::rgbd::Odometry::DEFAULT_MIN_DEPTH();
    const float maxDepth = maxDepthMm > 0.0 ? static_cast<float>(maxDepthMm / 1000.0)
                                            : cv::rgbd::Odometry::DEFAULT_MAX_DEPTH();
    auto odometry = std::make_unique<Odometry>();
    // Empty iteration counts and gradient magnitudes select OpenCV's defaults (7, 7, 7, 10 and 10
    // each level), which measured as well as 2 or 3 levels of 10 to 30 iterations on rendered heads.
    if (name == "rgbd") odometry->odometry = cv::rgbd::RgbdOdometry::create(k, minDepth, maxDepth);
    else if (name == "icp") odometry->odometry = cv::rgbd::ICPOdometry::create(k, minDepth, maxDepth);
    else if (name == "rgbdicp") odometry->odometry = cv::rgbd::RgbdICPOdometry::create(k, minDepth, maxDepth);
    else return nullptr;
    return std::unique_ptr<COdometryPeer>(new COdometryPeer(name, std::move(odometry)));
}

COdometryPeer::COdometryPeer(const std::string& name, std::unique_ptr<Odometry> odometry)
    : name_(name), odometry_(std::move(odometry)) {}

COdometryPeer::~COdometryPeer() = default;

void COdometryPeer::Start(const PeerFrame& frame) {
    previous_ = cv::rgbd::OdometryFrame::create(frame.image, frame.depth, frame.mask);
    pose_ = CRigidMotion();
}

namespace {

// OpenCV refuses frames with too few usable pixels by throwing.
template <typename Compute>
bool Solve(Compute compute, CRigidMotion& motion) {
    cv::Mat rt;
    bool solved = false;
    try {
        solved = compute(rt);
    } catch (const cv::Exception&) {
        solved = false;
    }
    if (!solved || rt.rows != 4 || rt.cols != 4 || rt.type() != CV_64F) return false;
    cv::Matx33d rotation;
    cv::Vec3d translation;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) rotation(i, j) = rt.at<double>(i, j);
        translation[i] = 1000.0 * rt.at<double>(i, 3);
    }
    motion = CRigidMotion(rotation, translation);
    return true;
}

}  // namespace

bool COdometryPeer::Estimate(const PeerFrame& a, const PeerFrame& b, CRigidMotion& motion) const {
    return Solve([&](cv::Mat& rt) { return odometry_->odometry->compute(a.image, a.depth, a.mask, b.image, b.depth,
                                                                        b.mask, rt); },
                 motion);
}

bool COdometryPeer::Step(const PeerFrame& frame) {
    const auto begin = std::chrono::steady_clock::now();
    // A frame's pyramids are built once: as the destination of this pair, then the source of the next.
    cv::Ptr<cv::rgbd::OdometryFrame> current = cv::rgbd::OdometryFrame::create(frame.image, frame.depth, frame.mask);
    CRigidMotion motion;
    const bool solved =
        previous_ && Solve([&](cv::Mat& rt) { return odometry_->odometry->compute(previous_, current, rt); }, motion);
    lastSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (solved) pose_ = motion * pose_;
    else ++failedPairs_;
    previous_ = current;
    return solved;
}
