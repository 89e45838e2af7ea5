#include "synth/RigidMotion.h"

#include <opencv2/calib3d.hpp>

CRigidMotion::CRigidMotion() : rotation_(cv::Matx33d::eye()), translation_(0, 0, 0) {}

CRigidMotion::CRigidMotion(const cv::Matx33d& rotation, const cv::Vec3d& translationMm)
    : rotation_(rotation), translation_(translationMm) {}

CRigidMotion CRigidMotion::FromRotationVector(const cv::Vec3d& rotationVectorRad, const cv::Vec3d& translationMm) {
    cv::Matx33d rotation;
    cv::Rodrigues(rotationVectorRad, rotation);
    return CRigidMotion(rotation, translationMm);
}

cv::Vec3d CRigidMotion::RotationVector() const {
    cv::Vec3d rotationVector;
    cv::Rodrigues(rotation_, rotationVector);
    // OpenCV gives no rotation for angles below about 1e-5 rad; there the skew part of the
    // matrix is the vector to well below double precision.
    if (rotationVector == cv::Vec3d())
        rotationVector = 0.5 * cv::Vec3d(rotation_(2, 1) - rotation_(1, 2), rotation_(0, 2) - rotation_(2, 0),
                                         rotation_(1, 0) - rotation_(0, 1));
    return rotationVector;
}

double CRigidMotion::RotationAngle() const { return cv::norm(RotationVector()); }

CRigidMotion CRigidMotion::operator*(const CRigidMotion& first) const {
    return CRigidMotion(rotation_ * first.rotation_, rotation_ * first.translation_ + translation_);
}

CRigidMotion CRigidMotion::Inverse() const {
    const cv::Matx33d transposed = rotation_.t();
    return CRigidMotion(transposed, -(transposed * translation_));
}

CRigidMotion CRigidMotion::FlippedY() const {
    const cv::Matx33d flip(1, 0, 0, 0, -1, 0, 0, 0, 1);
    return CRigidMotion(flip * rotation_ * flip, flip * translation_);
}

CRigidMotion RelativeMotion(const CRigidMotion& poseA, const CRigidMotion& poseB) {
    return poseB * poseA.Inverse();
}
