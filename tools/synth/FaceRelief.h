// The face's relief: a smooth height field over the front of the head ellipsoid (nose bridge and
// tip, nostril wings, brow ridge, eye sockets, cheekbones, lips, chin), placed from the
// photograph's landmarks through the face mapping so that every feature sits under its picture.
//
// Head frame as in HeadScene.h (x right, y down, z away from the camera at rest). The front
// surface is z = Front(x, y) = -c sqrt(1 - (x/a)^2 - (y/b)^2) - Height(x, y): Height pushes the
// surface towards the camera (negative in the eye sockets). Each feature is a bump of compact
// support, so the relief is zero outside Box() and meets the ellipsoid there smoothly (C2).
// Lateral sizes scale with the photograph's eye spacing and eye-to-mouth distance; heights are
// in millimetres, as a real face has them whatever its photograph's scale.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

struct FaceMapping;

// Where the relief can differ from the ellipsoid: x, y within the rectangle, and the front
// surface and the ellipsoid both within [zNear, zFar] there.
struct ReliefBox {
    double xMin = 0.0, xMax = 0.0, yMin = 0.0, yMax = 0.0;
    double zNear = 0.0, zFar = 0.0;
};

class CFaceRelief {
public:
    // Null, with the reason in *error, when the landmarks are degenerate or the face does not fit
    // on the front of the ellipsoid.
    static std::unique_ptr<CFaceRelief> Create(const cv::Vec3d& semiAxesMm, const FaceMapping& mapping,
                                               std::string* error);

    double Height(double x, double y) const;
    double Front(double x, double y) const;
    // d Front / dx, d Front / dy (central differences of a C2 field).
    cv::Vec2d FrontGradient(double x, double y) const;
    const ReliefBox& Box() const { return box_; }
    // Bound of |grad Front| over the box, for stepping along rays without skipping the surface.
    double GradientBound() const { return gradientBound_; }
    // Head point (z on the ellipsoid's front) of a photograph pixel.
    cv::Vec2d PhotoToHead(const cv::Point2d& photoPx) const;

private:
    // One feature: a bump of height `height` over an ellipse (or, with a segment, a ridge whose
    // height and half-width run from the start's values to the end's) in face coordinates.
    struct Feature {
        cv::Vec2d start, end;           // face coordinates: eye spacings across, eye-to-mouth down
        double height = 0.0, endHeight = 0.0;
        cv::Vec2d radii, endRadii;      // across and down
        cv::Vec4d bounds;               // head x min, x max, y min, y max of the support
    };

    CFaceRelief(const cv::Vec3d& semiAxesMm, const FaceMapping& mapping);
    void AddBump(cv::Vec2d centre, cv::Vec2d radii, double height);
    void AddRidge(cv::Vec2d start, cv::Vec2d end, cv::Vec2d startRadii, cv::Vec2d endRadii, double startHeight,
                  double endHeight);
    cv::Vec2d HeadToFace(double x, double y) const;
    cv::Vec2d FaceToHead(const cv::Vec2d& face) const;
    double Ellipsoid(double x, double y) const;  // the ellipsoid's front z, 0 beyond its rim
    bool Measure(std::string* error);

    cv::Vec3d axes_;
    double photoPxPerMm_;
    cv::Point2d photoCentrePx_;
    // Face frame: origin between the eyes, `across_` from the photograph's left eye to its right,
    // `down_` square to it towards the mouth; units the eye spacing and eye-to-mouth distance.
    cv::Vec2d origin_, across_, down_;
    double eyeSpacingMm_ = 0.0, eyeToMouthMm_ = 0.0;
    std::vector<Feature> features_;
    ReliefBox box_;
    double gradientBound_ = 0.0;
};
