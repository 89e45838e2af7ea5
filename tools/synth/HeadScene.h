// The synthetic scene: a rectified pinhole stereo camera looking at a textured ellipsoidal head in
// front of a textured background plane.
//
// Camera frame: X right, Y down, Z forward, millimetres; the left camera sits at the origin, the
// right one at (+baseline, 0, 0), both with the same intrinsics. The ray of pixel (column i, row j)
// runs through ((i - centreX) / focal, (j - centreY) / focal, 1).
//
// Head frame: origin at the ellipsoid's centre, axes along its semi-axes (x right, y down, z away
// from the camera when the pose is a pure translation); the face photograph is projected along z onto
// the front (z < 0) half, a neutral procedural texture covers the rest. A head pose maps head points
// into the left camera frame: p_camera = R p_head + t.
//
// Render() gives per pixel: the 8-bit left and right intensities (mean of 2 x 2 sub-pixel rays,
// texture only, so a surface point keeps its brightness however the head moves) and the X, Y, Z of
// the point seen through the left pixel's centre (Y down), from the head or else from the plane.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "synth/RigidMotion.h"

struct StereoRig {
    int width = 320;
    int height = 240;
    double focalPx = 380.0;
    double centreX = 160.0;
    double centreY = 120.0;
    double baselineMm = 90.0;
};

// Where the face photograph lands on the head: photo pixel = photoCentrePx + photoPxPerMm * (x, y)
// for a head point (x, y, z); only inside the elliptical photo mask (feathered) is the photo used.
// The defaults fit the astronaut photograph.
struct FaceMapping {
    cv::Point2d photoCentrePx{224.0, 108.0};
    double photoPxPerMm = 1.15;
    cv::Point2d maskCentrePx{226.0, 102.0};
    cv::Size2d maskSemiAxesPx{70.0, 90.0};
};

struct SceneOptions {
    StereoRig camera;
    cv::Vec3d headSemiAxesMm{75.0, 100.0, 90.0};
    double backgroundDistanceMm = 1800.0;
    std::string faceImagePath;        // empty: astronaut.png of the data folder
    std::string backgroundImagePath;  // empty: brick.png of the data folder
    FaceMapping face;
    double backgroundMmPerTexel = 3.2;
    double intensityNoiseSigma = 0.0;  // grey levels, added before rounding
    double depthNoiseSigmaMm = 0.0;    // moves the point along its ray
    unsigned noiseSeed = 1;
};

struct RenderedFrame {
    cv::Mat left;      // CV_8UC1
    cv::Mat right;     // CV_8UC1, seen from the right camera
    cv::Mat x;         // CV_32FC1, mm, left camera frame
    cv::Mat y;         // CV_32FC1, mm, Y down
    cv::Mat z;         // CV_32FC1, mm
    cv::Mat headMask;  // CV_8UC1: 1 where the left pixel's centre sees the head, else 0
};

// Folder of the photographs unpacked at set-up (the build's data folder).
std::string DefaultDataDir();

class CHeadScene {
public:
    // Null, with the reason in *error, when a photograph cannot be read or an option is unusable.
    static std::unique_ptr<CHeadScene> Create(const SceneOptions& options, std::string* error);

    const SceneOptions& Options() const { return options_; }
    // noiseStream picks the noise of this frame (frames with the same stream get the same noise).
    RenderedFrame Render(const CRigidMotion& headPose, unsigned noiseStream = 0) const;

private:
    explicit CHeadScene(const SceneOptions& options);
    void PrecomputeBackground();
    // intensity comes out CV_32FC1; x, y, z and headMask are filled for the left camera only.
    void RenderCamera(const CRigidMotion& headPose, bool leftCamera, cv::Mat& intensity, cv::Mat* x, cv::Mat* y,
                      cv::Mat* z, cv::Mat* headMask) const;
    // Pixels that may see a head centred at `centre` (camera coordinates); false when none can.
    bool HeadBox(const cv::Vec3d& centre, cv::Rect& box) const;
    double HeadIntensity(const cv::Vec3d& headPoint) const;
    double BackgroundIntensity(double xMm, double yMm) const;

    SceneOptions options_;
    cv::Mat face_;        // CV_32FC1 grey photograph
    cv::Mat background_;  // CV_32FC1 grey photograph
    // Ray slopes of pixel centres and of the two sub-pixel offsets, per column and per row.
    std::vector<double> columnSlope_, rowSlope_;
    std::vector<double> columnSubSlope_[2], rowSubSlope_[2];
    // The plane never moves: its sub-pixel intensities (4 per pixel) and coordinates are fixed.
    std::vector<float> backgroundSamples_[2];  // left, right
    cv::Mat planeX_, planeY_, planeZ_;
};
