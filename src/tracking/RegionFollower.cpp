#include "tracking/RegionFollower.h"

#include <algorithm>
#include <cmath>

#include "image/Image.h"
#include "image/StereoFrame.h"
#include "platform/ipl/ipl.h"
#include "tracking/Pose.h"

bool FaceRegionPoints(const CStereoFrame& frame, const FaceArea& face, std::vector<cv::Vec3d>& points,
                      cv::Vec3d& centre) {
    points.clear();
    const CImage* images[3] = {frame.GetImageX(), frame.GetImageY(), frame.GetDepth()};
    cv::Mat views[3];
    for (int i = 0; i < 3; ++i) {
        if (!images[i] || !images[i]->GetImageData()) return false;
        views[i] = iplFullView(images[i]->GetIplImage());
        if (views[i].type() != CV_32FC1 || views[i].size() != views[0].size()) return false;
    }
    const cv::Rect box = face.box & cv::Rect(0, 0, views[0].cols, views[0].rows);
    points.reserve(static_cast<std::size_t>(box.area()));
    for (int row = box.y; row < box.y + box.height; ++row) {
        const float* x = views[0].ptr<float>(row);
        const float* y = views[1].ptr<float>(row);
        const float* depth = views[2].ptr<float>(row);
        for (int col = box.x; col < box.x + box.width; ++col) {
            const float z = depth[col];
            const bool inside = z > 0.0f && (face.minDepth < 0.0f || z > face.minDepth) &&
                                (face.maxDepth < 0.0f || z < face.maxDepth) && std::isfinite(z);
            if (inside) points.emplace_back(x[col], y[col], z);
        }
    }
    if (points.empty()) return false;
    cv::Vec3d sum(0, 0, 0);
    for (const cv::Vec3d& point : points) sum += point;
    centre = sum / static_cast<double>(points.size());
    return true;
}

bool CRegionFollower::Start(const CStereoFrame& found, const FaceArea& face) {
    started_ = false;
    std::vector<cv::Vec3d> points;
    if (!FaceRegionPoints(found, face, points, centre_)) return false;
    start_ = face;
    started_ = true;
    return true;
}

bool CRegionFollower::Follow(const CPose& pose, const PixelProjection& projection, int width, int height,
                             FaceArea& next) const {
    if (!started_ || !projection.Usable() || !pose.IsRotationVectorValid()) return false;
    CPose motion(pose);
    motion.UpdateRotationMatrix();
    cv::Vec3d moved;
    for (int i = 0; i < 3; ++i) {
        moved[i] = motion.GetTranslation(i);
        for (int j = 0; j < 3; ++j) moved[i] += motion.GetRotationMatrix(i, j) * centre_[j];
    }
    if (!(moved[2] > 0.0) || !std::isfinite(moved[0]) || !std::isfinite(moved[1])) return false;
    double columns, rows;
    if (projection.perspective) {
        columns = projection.columnSign * projection.focalPx * (moved[0] / moved[2] - centre_[0] / centre_[2]);
        rows = projection.rowSign * projection.focalPx * (moved[1] / moved[2] - centre_[1] / centre_[2]);
    } else {
        columns = projection.columnsPerUnit * (moved[0] - centre_[0]);
        rows = projection.rowsPerUnit * (moved[1] - centre_[1]);
    }
    if (!(std::fabs(columns) < width && std::fabs(rows) < height)) return false;
    next = start_;
    next.box += cv::Point(static_cast<int>(std::lround(columns)), static_cast<int>(std::lround(rows)));
    next.box &= cv::Rect(0, 0, width, height);
    if (next.box.width < start_.box.width / 4 || next.box.height < start_.box.height / 4) return false;
    // In steps of a fiftieth of the distance: the bounds leave hundreds of millimetres either
    // side, and bounds that change at every step would make every frame's pyramid anew.
    const double step = std::max(centre_[2] / 50.0, 1e-6);
    const float depthChange = static_cast<float>(std::round((moved[2] - centre_[2]) / step) * step);
    if (start_.minDepth >= 0.0f) next.minDepth = std::max(0.0f, start_.minDepth + depthChange);
    if (start_.maxDepth >= 0.0f) next.maxDepth = start_.maxDepth + depthChange;
    return true;
}
