// A pure rotation given in degrees about the camera's axes, for the tools' error measures.
#pragma once

#include "synth/RigidMotion.h"

inline CRigidMotion TurnDegrees(const cv::Vec3d& degrees) {
    return CRigidMotion::FromRotationVector(degrees * (CV_PI / 180.0), {0, 0, 0});
}
