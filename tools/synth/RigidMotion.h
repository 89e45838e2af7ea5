// A rigid motion of 3D points, p' = R p + t, in double precision: the head pose of a synthetic
// sequence (head frame to left camera frame) and the motions derived from it.
//
// Units are millimetres and radians. The product A * B applies B first, then A, so the motion that
// takes points seen in frame a to the same points seen in frame b is H_b * H_a.Inverse(): the
// convention of the tracker's relative poses.
#pragma once

#include <opencv2/core.hpp>

class CRigidMotion {
public:
    CRigidMotion();  // identity
    CRigidMotion(const cv::Matx33d& rotation, const cv::Vec3d& translationMm);
    static CRigidMotion FromRotationVector(const cv::Vec3d& rotationVectorRad, const cv::Vec3d& translationMm);

    const cv::Matx33d& Rotation() const { return rotation_; }
    const cv::Vec3d& Translation() const { return translation_; }
    // Axis times angle, angle in [0, pi].
    cv::Vec3d RotationVector() const;
    double RotationAngle() const;

    cv::Vec3d Apply(const cv::Vec3d& point) const { return rotation_ * point + translation_; }
    CRigidMotion operator*(const CRigidMotion& first) const;
    CRigidMotion Inverse() const;
    // The same motion expressed in a frame whose Y axis points the other way.
    CRigidMotion FlippedY() const;

private:
    cv::Matx33d rotation_;
    cv::Vec3d translation_;
};

// Motion that maps points as seen in frame a onto the same points as seen in frame b, given the
// two poses of the moving body.
CRigidMotion RelativeMotion(const CRigidMotion& poseA, const CRigidMotion& poseB);
