#include "synth/FaceRelief.h"

#include <algorithm>
#include <cmath>

#include "synth/HeadScene.h"

namespace {

// Below this many millimetres between landmarks the face frame is meaningless.
constexpr double kMinLandmarkSpacingMm = 5.0;
// The relief stays where the ellipsoid's front is a well-behaved height field.
constexpr double kMaxRimFraction = 0.97;
constexpr double kSampleStepMm = 0.25;
constexpr double kDifferenceStepMm = 1e-3;

// (1 - r^2)^3: smooth up to its second derivative where it meets zero.
double Kernel(double r2) {
    if (r2 >= 1.0) return 0.0;
    const double s = 1.0 - r2;
    return s * s * s;
}

double Smoothstep(double s) {
    s = std::clamp(s, 0.0, 1.0);
    return s * s * (3.0 - 2.0 * s);
}

}  // namespace

std::unique_ptr<CFaceRelief> CFaceRelief::Create(const cv::Vec3d& semiAxesMm, const FaceMapping& mapping,
                                                 std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return nullptr;
    };
    std::unique_ptr<CFaceRelief> relief(new CFaceRelief(semiAxesMm, mapping));
    const cv::Vec2d leftEye = relief->PhotoToHead(mapping.leftEyePx), rightEye = relief->PhotoToHead(mapping.rightEyePx);
    const cv::Vec2d mouth = relief->PhotoToHead(mapping.mouthPx), noseTip = relief->PhotoToHead(mapping.noseTipPx);
    relief->eyeSpacingMm_ = cv::norm(rightEye - leftEye);
    if (!(relief->eyeSpacingMm_ >= kMinLandmarkSpacingMm)) return fail("the face's eyes are too close together");
    relief->origin_ = 0.5 * (leftEye + rightEye);
    relief->across_ = (rightEye - leftEye) / relief->eyeSpacingMm_;
    relief->down_ = cv::Vec2d(-relief->across_[1], relief->across_[0]);
    relief->eyeToMouthMm_ = (mouth - relief->origin_).dot(relief->down_);
    if (!(relief->eyeToMouthMm_ >= kMinLandmarkSpacingMm)) return fail("the face's mouth must lie below its eyes");
    const cv::Vec2d tip(relief->HeadToFace(noseTip[0], noseTip[1]));
    if (!(tip[1] > 0.2 && tip[1] < 0.85 && std::abs(tip[0]) < 0.3))
        return fail("the face's nose tip must lie between its eyes and its mouth");

    // Face coordinates: eye spacings across (eyes at -0.5 and 0.5), eye-to-mouth distances down
    // (eyes at 0, mouth at 1). Heights in millimetres towards the camera.
    for (double side : {-0.5, 0.5}) {
        relief->AddBump({side * 0.84, -0.3}, {0.5, 0.27}, 4.0);                // brow ridge
        relief->AddBump({side, 0.02}, {0.36, 0.3}, -6.5);                      // eye socket
        relief->AddBump({side * 0.5, tip[1] + 0.04}, {0.22, 0.2}, 8.0);        // nostril wing
        relief->AddBump({side * 1.3, 0.42}, {0.42, 0.4}, 4.0);                 // cheekbone
    }
    relief->AddRidge({0.0, -0.15}, tip, {0.2, 0.3}, {0.3, 0.3}, 6.0, 24.0);   // nose, bridge to tip
    relief->AddBump({0.0, 0.95}, {0.7, 0.5}, 5.0);                             // the mouth's mound
    relief->AddBump({0.0, 0.87}, {0.5, 0.14}, 2.5);                            // upper lip
    relief->AddBump({0.0, 1.14}, {0.42, 0.14}, 2.5);                           // lower lip
    relief->AddBump({0.0, 1.72}, {0.6, 0.4}, 6.0);                             // chin
    if (!relief->Measure(error)) return nullptr;
    return relief;
}

CFaceRelief::CFaceRelief(const cv::Vec3d& semiAxesMm, const FaceMapping& mapping)
    : axes_(semiAxesMm), photoPxPerMm_(mapping.photoPxPerMm), photoCentrePx_(mapping.photoCentrePx) {}

cv::Vec2d CFaceRelief::PhotoToHead(const cv::Point2d& photoPx) const {
    return {(photoPx.x - photoCentrePx_.x) / photoPxPerMm_, (photoPx.y - photoCentrePx_.y) / photoPxPerMm_};
}

cv::Vec2d CFaceRelief::HeadToFace(double x, double y) const {
    const cv::Vec2d q = cv::Vec2d(x, y) - origin_;
    return {q.dot(across_) / eyeSpacingMm_, q.dot(down_) / eyeToMouthMm_};
}

cv::Vec2d CFaceRelief::FaceToHead(const cv::Vec2d& face) const {
    return origin_ + face[0] * eyeSpacingMm_ * across_ + face[1] * eyeToMouthMm_ * down_;
}

void CFaceRelief::AddBump(cv::Vec2d centre, cv::Vec2d radii, double height) {
    AddRidge(centre, centre, radii, radii, height, height);
}

void CFaceRelief::AddRidge(cv::Vec2d start, cv::Vec2d end, cv::Vec2d startRadii, cv::Vec2d endRadii,
                           double startHeight, double endHeight) {
    Feature f;
    f.start = start;
    f.end = end;
    f.radii = cv::Vec2d(startRadii[0] * eyeSpacingMm_, startRadii[1] * eyeToMouthMm_);
    f.endRadii = cv::Vec2d(endRadii[0] * eyeSpacingMm_, endRadii[1] * eyeToMouthMm_);
    f.height = startHeight;
    f.endHeight = endHeight;
    // The support lies within the ellipse of the larger radii swept from one end to the other;
    // its half-extents along x and y in the tilted face frame:
    const double across = std::max(f.radii[0], f.endRadii[0]), down = std::max(f.radii[1], f.endRadii[1]);
    const double reachX = std::hypot(across * across_[0], down * down_[0]);
    const double reachY = std::hypot(across * across_[1], down * down_[1]);
    const cv::Vec2d a = FaceToHead(start), b = FaceToHead(end);
    f.bounds = cv::Vec4d(std::min(a[0], b[0]) - reachX, std::max(a[0], b[0]) + reachX, std::min(a[1], b[1]) - reachY,
                         std::max(a[1], b[1]) + reachY);
    features_.push_back(f);
}

double CFaceRelief::Height(double x, double y) const {
    if (x <= box_.xMin || x >= box_.xMax || y <= box_.yMin || y >= box_.yMax) return 0.0;
    // Face coordinates in millimetres.
    const cv::Vec2d q0 = cv::Vec2d(x, y) - origin_;
    const cv::Vec2d q(q0.dot(across_), q0.dot(down_));
    double height = 0.0;
    for (const Feature& f : features_) {
        if (x <= f.bounds[0] || x >= f.bounds[1] || y <= f.bounds[2] || y >= f.bounds[3]) continue;
        const cv::Vec2d s(f.start[0] * eyeSpacingMm_, f.start[1] * eyeToMouthMm_);
        const cv::Vec2d e(f.end[0] * eyeSpacingMm_, f.end[1] * eyeToMouthMm_);
        const cv::Vec2d along = e - s;
        const double length2 = along.dot(along);
        const double t = length2 > 0.0 ? std::clamp((q - s).dot(along) / length2, 0.0, 1.0) : 0.0;
        // Height and width run smoothly from one end to the other, level at both ends.
        const double w = Smoothstep(t);
        const cv::Vec2d radii = f.radii + w * (f.endRadii - f.radii);
        const cv::Vec2d offset = q - (s + t * along);
        const double r2 = offset[0] * offset[0] / (radii[0] * radii[0]) + offset[1] * offset[1] / (radii[1] * radii[1]);
        height += (f.height + w * (f.endHeight - f.height)) * Kernel(r2);
    }
    return height;
}

double CFaceRelief::Ellipsoid(double x, double y) const {
    const double rim = 1.0 - (x / axes_[0]) * (x / axes_[0]) - (y / axes_[1]) * (y / axes_[1]);
    return rim > 0.0 ? -axes_[2] * std::sqrt(rim) : 0.0;
}

double CFaceRelief::Front(double x, double y) const { return Ellipsoid(x, y) - Height(x, y); }

cv::Vec2d CFaceRelief::FrontGradient(double x, double y) const {
    const double h = kDifferenceStepMm;
    return {(Front(x + h, y) - Front(x - h, y)) / (2.0 * h), (Front(x, y + h) - Front(x, y - h)) / (2.0 * h)};
}

bool CFaceRelief::Measure(std::string* error) {
    box_.xMin = box_.yMin = HUGE_VAL;
    box_.xMax = box_.yMax = -HUGE_VAL;
    for (const Feature& f : features_) {
        box_.xMin = std::min(box_.xMin, f.bounds[0]);
        box_.xMax = std::max(box_.xMax, f.bounds[1]);
        box_.yMin = std::min(box_.yMin, f.bounds[2]);
        box_.yMax = std::max(box_.yMax, f.bounds[3]);
    }
    for (double x : {box_.xMin, box_.xMax})
        for (double y : {box_.yMin, box_.yMax}) {
            const double rim = (x / axes_[0]) * (x / axes_[0]) + (y / axes_[1]) * (y / axes_[1]);
            if (!(rim <= kMaxRimFraction * kMaxRimFraction)) {
                if (error) *error = "the face's relief does not fit on the front of the head (move the face mapping or take the plain ellipsoid)";
                return false;
            }
        }
    box_.zNear = HUGE_VAL;
    box_.zFar = -HUGE_VAL;
    double steepest = 0.0;
    for (double y = box_.yMin; y <= box_.yMax; y += kSampleStepMm)
        for (double x = box_.xMin; x <= box_.xMax; x += kSampleStepMm) {
            const double front = Front(x, y), ellipsoid = Ellipsoid(x, y);
            box_.zNear = std::min({box_.zNear, front, ellipsoid});
            box_.zFar = std::max({box_.zFar, front, ellipsoid});
            steepest = std::max(steepest, cv::norm(FrontGradient(x, y)));
        }
    // Margins for what falls between the samples.
    box_.zNear -= 1.0;
    box_.zFar += 1.0;
    gradientBound_ = 1.1 * steepest + 0.5;
    return true;
}
