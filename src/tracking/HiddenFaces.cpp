#include "tracking/HiddenFaces.h"

#include <algorithm>
#include <cmath>

#include "tracking/Pose.h"
#include "tracking/RegionFollower.h"

void CHiddenFaces::Record(int frameIndex, const std::vector<MotionLoss>& losses) {
    float least = 2.0f;
    for (const MotionLoss& loss : losses)
        if (const float share = loss.HiddenShare(); share >= 0.0f) least = std::min(least, share);
    if (least <= 1.0f) shares_[frameIndex] = least;
}

void CHiddenFaces::LeaveOutHiddenPairs(const std::vector<MotionLoss>& losses, std::vector<double>& coefficients) {
    const std::size_t n = std::min(losses.size(), coefficients.size());
    bool anyClear = false;
    for (std::size_t k = 0; k < n; ++k) {
        const float share = losses[k].HiddenShare();
        anyClear = anyClear || (coefficients[k] > 0.0 && share >= 0.0f && share <= kMaxShare);
    }
    if (!anyClear) return;
    for (std::size_t k = 0; k < n; ++k)
        if (losses[k].HiddenShare() > kMaxShare) coefficients[k] = 0.0;
}

bool CHiddenFaces::StartSession(const CStereoFrame& origin, const FaceArea& face, float gap) {
    started_ = false;
    foundHidden_ = 0.0f;
    std::vector<cv::Vec3d> points;
    if (!FaceRegionPoints(origin, face, points, centre_)) return false;
    const std::size_t found = points.size();
    // A hand resting beside the face lies in its region too, nearer than the face: taken for the
    // face's front, it let the hand be followed. The detector found the face at the region's
    // centre, so the depth there tells where the face is, and points nearer than it by more
    // than the gap are none of it.
    FaceArea middle = face;
    middle.box = cv::Rect(face.box.x + face.box.width / 3, face.box.y + face.box.height / 3, face.box.width / 3,
                          face.box.height / 3);
    std::vector<cv::Vec3d> central;
    cv::Vec3d centralMean;
    if (gap > 0.0f && FaceRegionPoints(origin, middle, central, centralMean)) {
        std::vector<double> depths(central.size());
        for (std::size_t k = 0; k < central.size(); ++k) depths[k] = central[k][2];
        const auto median = depths.begin() + static_cast<std::ptrdiff_t>(depths.size() / 2);
        std::nth_element(depths.begin(), median, depths.end());
        const double nearest = *median - gap;
        points.erase(std::remove_if(points.begin(), points.end(), [&](const cv::Vec3d& p) { return p[2] < nearest; }),
                     points.end());
        if (points.empty()) return false;
        foundHidden_ = 1.0f - static_cast<float>(points.size()) / static_cast<float>(found);
        centre_ = cv::Vec3d(0, 0, 0);
        for (const cv::Vec3d& point : points) centre_ += point / static_cast<double>(points.size());
    }
    // The nearest hundredth of the points rather than the nearest one: depth noise has outliers.
    std::vector<double> ahead(points.size());
    for (std::size_t k = 0; k < points.size(); ++k) ahead[k] = points[k][2] - centre_[2];
    const std::size_t nth = ahead.size() / 100;
    std::nth_element(ahead.begin(), ahead.begin() + static_cast<std::ptrdiff_t>(nth), ahead.end());
    front_ = ahead[nth];
    started_ = std::isfinite(front_) && std::isfinite(centre_[2]);
    return started_;
}

float CHiddenFaces::NearestFaceDepth(const CPose* pose, float gap) const {
    if (!started_) return -1.0f;
    double depth = centre_[2];
    if (pose) {
        if (!pose->IsRotationVectorValid()) return -1.0f;
        CPose motion(*pose);
        motion.UpdateRotationMatrix();
        depth = motion.GetTranslation(2);
        for (int j = 0; j < 3; ++j) depth += motion.GetRotationMatrix(2, j) * centre_[j];
    }
    const double nearest = depth + front_ - gap;
    return std::isfinite(nearest) && nearest > 0.0 ? static_cast<float>(nearest) : -1.0f;
}

bool CHiddenFaces::Hidden(int frameIndex) const {
    const auto found = shares_.find(frameIndex);
    return found != shares_.end() && found->second > kMaxShare;
}

void CHiddenFaces::Forget(int oldest) { shares_.erase(shares_.begin(), shares_.lower_bound(oldest)); }
