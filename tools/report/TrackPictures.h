// Pictures of a tracking run for a person to look at: annotated frames (face box, face region,
// pose axes and a caption), a contact sheet of them, and a plot of the six pose components over
// the frames, with the ground truth when there is one. All images are 8-bit BGR.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

// A pinhole projection u = fx X / Z + cx, v = fy Y / Z + cy fitted to a frame's own X, Y, Z
// images, so it holds whatever convention the camera's 3D output uses (fy < 0 when Y is up).
struct Projection {
    double fx = 0.0, cx = 0.0, fy = 0.0, cy = 0.0;
    bool valid = false;

    cv::Point2d Project(const cv::Vec3d& point) const {
        return {fx * point[0] / point[2] + cx, fy * point[1] / point[2] + cy};
    }
    bool YUp() const { return fy < 0.0; }
};

// Least squares over the pixels with a finite positive Z; invalid with fewer than 100 of them.
Projection FitProjection(const cv::Mat& x, const cv::Mat& y, const cv::Mat& z);

struct FrameAnnotation {
    std::vector<std::string> caption;  // lines written at the top left
    std::optional<cv::Rect2d> faceBox;  // the detected face
    bool faceFoundHere = false;         // else the box is where the face was found, drawn thin
    std::optional<cv::Rect> region;     // the face region the tracker works in
    bool tracking = false;
    // Pose axes: the head's axes (the columns of R, that is the camera axes carried along by the
    // head's motion) drawn from the face centroid.
    bool drawAxes = false;
    cv::Vec3d centroid;
    cv::Matx33d rotation = cv::Matx33d::eye();
    Projection projection;
    double axisLengthMm = 70.0;
};

// grey: 8-bit one channel. The result is `scale` times larger.
cv::Mat AnnotateFrame(const cv::Mat& grey, const FrameAnnotation& annotation, int scale);

// Tiles of equal size in rows of `columns`, on a dark background.
cv::Mat ContactSheet(const std::vector<cv::Mat>& tiles, int columns);

struct PoseSeries {
    std::vector<int> frames;
    // yaw, pitch, roll (degrees), t1, t2, t3 (mm) per frame; NaN where there is no value.
    std::vector<cv::Vec6d> values;
};

// Six panels (yaw, pitch, roll; tx, ty, tz) of the estimate and, when truth has frames, the truth;
// trackedFrom marks the frames where tracking runs started.
cv::Mat PosePlot(const PoseSeries& estimate, const PoseSeries& truth, const std::vector<int>& trackingStarts,
                 const std::string& title);
