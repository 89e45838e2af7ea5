// The head's surface in head coordinates (see HeadScene.h): the ellipsoid, with the face's relief
// on its front when the head has one. It finds where rays first meet the surface and gives the
// surface's normals; the scene owns it.
#pragma once

#include <memory>

#include <opencv2/core.hpp>

#include "synth/FaceRelief.h"

class CHeadSurface {
public:
    // Without a relief the surface is the plain ellipsoid.
    CHeadSurface(const cv::Vec3d& semiAxesMm, std::unique_ptr<CFaceRelief> relief);

    // The nearest point where origin + s direction meets the surface, for s in (0, farLimit).
    bool Cast(const cv::Vec3d& origin, const cv::Vec3d& direction, double farLimit, double& s) const;
    bool Inside(const cv::Vec3d& point) const;
    cv::Vec3d Normal(const cv::Vec3d& point) const;  // outward, unit length, for a point on the surface
    // Radius of a sphere about the head centre that holds the whole head.
    double Reach() const { return reach_; }
    const CFaceRelief* Relief() const { return relief_.get(); }

private:
    bool InReliefColumn(const cv::Vec3d& p) const;  // x, y over the relief's box
    // First crossing into the head within [begin, end] of the ray inside the relief's box.
    bool March(const cv::Vec3d& origin, const cv::Vec3d& direction, double begin, double end, double& s) const;

    cv::Vec3d axes_;
    cv::Vec3d inverseAxes_;
    std::unique_ptr<CFaceRelief> relief_;
    double reach_ = 0.0;
};
