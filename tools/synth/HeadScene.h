// The synthetic scene: a rectified pinhole stereo camera looking at a textured head in front of a
// textured background plane.
//
// Camera frame: X right, Y down, Z forward, millimetres; the left camera sits at the origin, the
// right one at (+baseline, 0, 0), both with the same intrinsics. The ray of pixel (column i, row j)
// runs through ((i - centreX) / focal, (j - centreY) / focal, 1).
//
// Head frame: origin at the ellipsoid's centre, axes along its semi-axes (x right, y down, z away
// from the camera when the pose is a pure translation). The head is the ellipsoid with the face's
// relief on its front (synth/FaceRelief.h), or the plain ellipsoid. The face photograph is
// projected along z onto the front (z < 0), a neutral procedural texture covers the rest. A head
// pose maps head points into the left camera frame: p_camera = R p_head + t.
//
// Render() gives per pixel: the 8-bit left and right intensities (mean of 2 x 2 sub-pixel rays;
// the texture, times the lamp's shading when there is shading, so without it a surface point
// keeps its brightness however the head moves) and the X, Y, Z of the point seen through the left
// pixel's centre (Y down), from the head or else from the plane. The right camera's rows are cast
// with its row shift and its image takes its exposure, before the noise. A pixel without depth (a hole of
// the stereo-like depth errors) has X = Y = Z = 0, as a live stereo camera gives it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "synth/Hand.h"
#include "synth/RigidMotion.h"
#include "synth/StereoDepthErrors.h"

class CHeadSurface;

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
// The landmarks (photo pixels; left and right as the photograph shows them) place the relief.
// The defaults fit the astronaut photograph.
struct FaceMapping {
    cv::Point2d photoCentrePx{224.0, 108.0};
    double photoPxPerMm = 1.15;
    cv::Point2d maskCentrePx{226.0, 102.0};
    cv::Size2d maskSemiAxesPx{70.0, 90.0};
    cv::Point2d leftEyePx{203.0, 101.0};
    cv::Point2d rightEyePx{246.0, 103.0};
    cv::Point2d noseTipPx{224.0, 127.0};
    cv::Point2d mouthPx{223.0, 145.0};
};

enum class HeadShape { kRelief, kEllipsoid };

// A lamp: light from `direction` (camera frame, pointing from the head towards the lamp, which
// must be in front of the head) and ambient light. `strength` is the lamp's share, 0 (ambient
// only: no shading at all) to 1; the brightness is scaled so that a surface facing the camera
// keeps the texture's own.
struct Lighting {
    double strength = 0.0;
    cv::Vec3d direction{-0.5, -0.4, -1.0};
};

// How the right camera differs from the left one after calibration: its own exposure (gain and
// offset on the grey levels) and a rectification error that leaves its rows `rowShift` pixels
// below the left camera's (real calibrations leave a few tenths). None by default.
struct CameraMismatch {
    double gain = 1.0;
    double offset = 0.0;
    double rowShift = 0.0;
    bool Any() const { return gain != 1.0 || offset != 0.0 || rowShift != 0.0; }
};

// The head's texture (face, skin and hair) as another face would have it: grey levels scaled
// about mid grey by `contrast` and centred on `level`. The default keeps the photograph's.
struct SkinTone {
    double contrast = 1.0;
    double level = 128.0;
};

struct SceneOptions {
    StereoRig camera;
    HeadShape head = HeadShape::kRelief;
    cv::Vec3d headSemiAxesMm{75.0, 100.0, 90.0};
    double backgroundDistanceMm = 1800.0;
    std::string faceImagePath;        // empty: astronaut.png of the data folder
    std::string backgroundImagePath;  // empty: brick.png of the data folder
    FaceMapping face;
    double backgroundMmPerTexel = 3.2;
    Lighting lighting;
    double intensityNoiseSigma = 0.0;  // grey levels, added before rounding
    double depthNoiseSigmaMm = 0.0;    // moves the point along its ray
    StereoDepthErrors stereo;
    CameraMismatch right;
    // Both cameras' exposure (an automatic exposure at work): frame k's grey levels times
    // 1 + exposureSwing sin(2 pi k / 90), k the noise stream (the frame's index). 0: steady.
    double exposureSwing = 0.0;
    SkinTone skin;
    HandPass hand;  // none by default
    // How long the shutter stays open, as a share of the frame interval (synth/MotionBlur.h);
    // 0: a sharp frame.
    double shutterShare = 0.0;
    unsigned noiseSeed = 1;
};

struct RenderedFrame {
    cv::Mat left;      // CV_8UC1
    cv::Mat right;     // CV_8UC1, seen from the right camera
    cv::Mat x;         // CV_32FC1, mm, left camera frame
    cv::Mat y;         // CV_32FC1, mm, Y down
    cv::Mat z;         // CV_32FC1, mm
    cv::Mat headMask;  // CV_8UC1: 1 where the left pixel's centre sees the head, else 0 (holes too)
};

// Folder of the photographs unpacked at set-up (the build's data folder).
std::string DefaultDataDir();

class CHeadScene {
public:
    // Null, with the reason in *error, when a photograph cannot be read or an option is unusable.
    static std::unique_ptr<CHeadScene> Create(const SceneOptions& options, std::string* error);
    ~CHeadScene();

    const SceneOptions& Options() const { return options_; }
    const CHeadSurface& Surface() const { return *surface_; }
    // noiseStream picks the noise of this frame (frames with the same stream get the same noise).
    // With shutterPoses, both images are the mean of those poses' (motion blur); depth and the
    // head mask stay headPose's.
    RenderedFrame Render(const CRigidMotion& headPose, unsigned noiseStream = 0,
                         const std::vector<CRigidMotion>& shutterPoses = {}) const;

private:
    explicit CHeadScene(const SceneOptions& options);
    void PrecomputeBackground();
    // intensity comes out CV_32FC1; x, y, z and headMask are filled for the left camera only.
    void RenderCamera(const CRigidMotion& headPose, bool leftCamera, cv::Mat& intensity, cv::Mat* x, cv::Mat* y,
                      cv::Mat* z, cv::Mat* headMask) const;
    void ExposeRight(cv::Mat& right) const;
    // Pixels that may see a head centred at `centre` (camera coordinates) in a camera whose rows
    // lie rowShift lower; false when none can.
    bool HeadBox(const cv::Vec3d& centre, double rowShift, cv::Rect& box) const;
    double HeadIntensity(const cv::Vec3d& headPoint) const;  // the texture in the skin's tone
    double Texture(const cv::Vec3d& headPoint) const;
    // The lamp's factor on the texture at a head point, its normal turned by the head's rotation.
    double Shading(const cv::Vec3d& headPoint, const cv::Matx33d& headToCamera) const;
    double BackgroundIntensity(double xMm, double yMm) const;

    SceneOptions options_;
    std::unique_ptr<CHeadSurface> surface_;
    cv::Vec3d light_;  // unit, towards the lamp
    cv::Mat face_;        // CV_32FC1 grey photograph
    cv::Mat background_;  // CV_32FC1 grey photograph
    // Ray slopes of pixel centres and of the two sub-pixel offsets, per column and per row.
    std::vector<double> columnSlope_, rowSlope_;
    std::vector<double> columnSubSlope_[2], rowSubSlope_[2];
    std::vector<double> rightRowSubSlope_[2];  // the right camera's, its rows shifted
    // The plane never moves: its sub-pixel intensities (4 per pixel) and coordinates are fixed.
    std::vector<float> backgroundSamples_[2];  // left, right
    cv::Mat planeX_, planeY_, planeZ_;
};
