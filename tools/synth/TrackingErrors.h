// How far a run of tracked poses is from the truth, in the terms a user feels: root mean square,
// maximum and last of the rotation errors (degrees), of the head-centre errors (millimetres: how
// far apart the estimated and the true motion put the head's centre) and of the translation
// errors (millimetres, |t_est - t_true|, which mixes in the rotation's lever arm from the camera
// origin), added frame by frame; and how many frames were reported as tracked with a rotation
// error above a threshold (a wrong pose a user would rather not get).
#pragma once

#include <algorithm>
#include <cmath>

#include <opencv2/core.hpp>

struct ErrorSummary {
    int count = 0;
    double rms = 0.0;
    double max = 0.0;
    double last = 0.0;
    double sumOfSquares = 0.0;

    void Add(double value) {
        ++count;
        sumOfSquares += value * value;
        max = std::max(max, value);
        last = value;
        rms = std::sqrt(sumOfSquares / count);
    }
};

// A tracked pose this far from the truth (degrees) counts as a wrong pose.
constexpr double kWrongPoseDeg = 3.0;

struct TrackingErrors {
    ErrorSummary rotationDeg;
    ErrorSummary translationMm;
    ErrorSummary headCentreMm;
    int wrongPoses = 0;  // frames with a rotation error above kWrongPoseDeg

    void Add(double rotation, double translation, double headCentre) {
        rotationDeg.Add(rotation);
        translationMm.Add(translation);
        headCentreMm.Add(headCentre);
        if (rotation > kWrongPoseDeg) ++wrongPoses;
    }
};

// The angle of R_a^T R_b, degrees.
inline double RotationDifferenceDeg(const cv::Matx33d& a, const cv::Matx33d& b) {
    const double cosine = std::clamp((cv::trace(a.t() * b) - 1.0) / 2.0, -1.0, 1.0);
    return std::acos(cosine) * 180.0 / CV_PI;
}

// |(R_a c + t_a) - (R_b c + t_b)|: where two motions put the point c.
inline double PointDistance(const cv::Matx33d& ra, const cv::Vec3d& ta, const cv::Matx33d& rb, const cv::Vec3d& tb,
                            const cv::Vec3d& c) {
    return cv::norm((ra * c + ta) - (rb * c + tb));
}
