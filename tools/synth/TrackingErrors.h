// How far a run of tracked poses is from the truth: root mean square, maximum and last of the
// rotation errors (degrees) and of the translation errors (millimetres), added frame by frame.
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

struct TrackingErrors {
    ErrorSummary rotationDeg;
    ErrorSummary translationMm;
};

// The angle of R_a^T R_b, degrees.
inline double RotationDifferenceDeg(const cv::Matx33d& a, const cv::Matx33d& b) {
    const double cosine = std::clamp((cv::trace(a.t() * b) - 1.0) / 2.0, -1.0, 1.0);
    return std::acos(cosine) * 180.0 / CV_PI;
}
