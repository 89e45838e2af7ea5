#include "tracking/RotationVector.h"

#include <algorithm>
#include <cmath>

cv::Matx33d RotationFromVector(const cv::Vec3d& vector) {
    const double angle = cv::norm(vector);
    const cv::Matx33d cross(0.0, -vector[2], vector[1], vector[2], 0.0, -vector[0], -vector[1], vector[0], 0.0);
    // Below this the second-order terms are lost in rounding anyway.
    if (angle < 1e-9) return cv::Matx33d::eye() + cross;
    const double s = std::sin(angle) / angle, c = (1.0 - std::cos(angle)) / (angle * angle);
    return cv::Matx33d::eye() + s * cross + c * (cross * cross);
}

cv::Vec3d VectorFromRotation(const cv::Matx33d& r) {
    // Shepperd's choice: the quaternion component largest in magnitude is taken from the diagonal,
    // the others from sums and differences divided by it, so no division is by a small number.
    const double trace = r(0, 0) + r(1, 1) + r(2, 2);
    double q[4];  // w, x, y, z
    if (trace >= r(0, 0) && trace >= r(1, 1) && trace >= r(2, 2)) {
        const double s = 2.0 * std::sqrt(std::max(1.0 + trace, 0.0));
        q[0] = 0.25 * s;
        q[1] = (r(2, 1) - r(1, 2)) / s;
        q[2] = (r(0, 2) - r(2, 0)) / s;
        q[3] = (r(1, 0) - r(0, 1)) / s;
    } else if (r(0, 0) >= r(1, 1) && r(0, 0) >= r(2, 2)) {
        const double s = 2.0 * std::sqrt(std::max(1.0 + r(0, 0) - r(1, 1) - r(2, 2), 0.0));
        q[0] = (r(2, 1) - r(1, 2)) / s;
        q[1] = 0.25 * s;
        q[2] = (r(0, 1) + r(1, 0)) / s;
        q[3] = (r(0, 2) + r(2, 0)) / s;
    } else if (r(1, 1) >= r(2, 2)) {
        const double s = 2.0 * std::sqrt(std::max(1.0 - r(0, 0) + r(1, 1) - r(2, 2), 0.0));
        q[0] = (r(0, 2) - r(2, 0)) / s;
        q[1] = (r(0, 1) + r(1, 0)) / s;
        q[2] = 0.25 * s;
        q[3] = (r(1, 2) + r(2, 1)) / s;
    } else {
        const double s = 2.0 * std::sqrt(std::max(1.0 - r(0, 0) - r(1, 1) + r(2, 2), 0.0));
        q[0] = (r(1, 0) - r(0, 1)) / s;
        q[1] = (r(0, 2) + r(2, 0)) / s;
        q[2] = (r(1, 2) + r(2, 1)) / s;
        q[3] = 0.25 * s;
    }
    if (q[0] < 0.0)
        for (double& component : q) component = -component;
    const double sine = std::sqrt(q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);  // sin(angle / 2), unnormalised
    // angle / sin(angle / 2) / 2 for the vector part; near zero it tends to 2 / cos(angle / 2).
    const double scale = sine > 1e-12 ? 2.0 * std::atan2(sine, q[0]) / sine : 2.0 / q[0];
    return cv::Vec3d(q[1], q[2], q[3]) * scale;
}
