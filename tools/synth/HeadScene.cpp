#include "synth/HeadScene.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "synth/FaceRelief.h"
#include "synth/HeadSurface.h"

#ifndef VANTOREL_DATA_DIR
#define VANTOREL_DATA_DIR ".cache/data"
#endif

namespace {

// Sub-pixel ray offsets: the 2 x 2 samples sit at the centres of the pixel's quarters.
constexpr double kSubOffset[2] = {-0.25, 0.25};
constexpr double kPi = 3.14159265358979323846;
// Three seconds at 30 frames a second: an automatic exposure following a head and the room.
constexpr double kExposurePeriodFrames = 90.0;

double Smoothstep(double edge0, double edge1, double value) {
    const double s = std::clamp((value - edge0) / (edge1 - edge0), 0.0, 1.0);
    return s * s * (3.0 - 2.0 * s);
}

int MirrorIndex(long index, int size) {
    const long period = 2L * size;
    long m = index % period;
    if (m < 0) m += period;
    return static_cast<int>(m < size ? m : period - 1 - m);
}

float SampleMirrored(const cv::Mat& texture, double u, double v) {
    const double fu = std::floor(u), fv = std::floor(v);
    const double au = u - fu, av = v - fv;
    const long iu = static_cast<long>(fu), iv = static_cast<long>(fv);
    const int u0 = MirrorIndex(iu, texture.cols), u1 = MirrorIndex(iu + 1, texture.cols);
    const float* row0 = texture.ptr<float>(MirrorIndex(iv, texture.rows));
    const float* row1 = texture.ptr<float>(MirrorIndex(iv + 1, texture.rows));
    const double top = row0[u0] + au * (row0[u1] - row0[u0]);
    const double bottom = row1[u0] + au * (row1[u1] - row1[u0]);
    return static_cast<float>(top + av * (bottom - top));
}

float SampleClamped(const cv::Mat& texture, double u, double v) {
    u = std::clamp(u, 0.0, texture.cols - 1.0);
    v = std::clamp(v, 0.0, texture.rows - 1.0);
    return SampleMirrored(texture, u, v);
}

std::uint32_t HashLattice(std::int64_t x, std::int64_t y, std::int64_t z) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 0x8da6b343u ^ static_cast<std::uint32_t>(y) * 0xd8163841u ^
                      static_cast<std::uint32_t>(z) * 0xcb1ab31fu;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

// Smooth value noise in [0, 1] with one lattice cell per unit.
double ValueNoise(double x, double y, double z) {
    const double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
    const auto ix = static_cast<std::int64_t>(fx), iy = static_cast<std::int64_t>(fy),
               iz = static_cast<std::int64_t>(fz);
    const double wx = Smoothstep(0, 1, x - fx), wy = Smoothstep(0, 1, y - fy), wz = Smoothstep(0, 1, z - fz);
    double corners[2][2][2];
    for (int a = 0; a < 2; ++a)
        for (int b = 0; b < 2; ++b)
            for (int c = 0; c < 2; ++c) corners[a][b][c] = HashLattice(ix + a, iy + b, iz + c) / 4294967295.0;
    double plane[2];
    for (int c = 0; c < 2; ++c) {
        const double near = corners[0][0][c] + wx * (corners[1][0][c] - corners[0][0][c]);
        const double far = corners[0][1][c] + wx * (corners[1][1][c] - corners[0][1][c]);
        plane[c] = near + wy * (far - near);
    }
    return plane[0] + wz * (plane[1] - plane[0]);
}

bool LoadGrey(const std::string& path, cv::Mat& texture, std::string* error) {
    cv::Mat image = cv::imread(path, cv::IMREAD_GRAYSCALE);
    if (image.empty() || image.cols < 2 || image.rows < 2) {
        if (error) *error = "cannot read the photograph " + path;
        return false;
    }
    image.convertTo(texture, CV_32F);
    // Takes the edge off the sub-pixel sampling's aliasing.
    cv::GaussianBlur(texture, texture, cv::Size(0, 0), 1.2);
    return true;
}

std::string ValidationError(const SceneOptions& o) {
    const StereoRig& c = o.camera;
    if (c.width < 2 || c.height < 2 || c.width > 4096 || c.height > 4096) return "image size out of range";
    if (!(c.focalPx > 0.0) || !std::isfinite(c.focalPx)) return "focal length must be positive";
    if (!std::isfinite(c.centreX) || !std::isfinite(c.centreY) || !std::isfinite(c.baselineMm))
        return "principal point and baseline must be finite";
    if (!(c.baselineMm > 0.0)) return "baseline must be positive";
    for (int k = 0; k < 3; ++k)
        if (!(o.headSemiAxesMm[k] > 0.0) || !std::isfinite(o.headSemiAxesMm[k]))
            return "head semi-axes must be positive";
    if (!(o.backgroundDistanceMm > 0.0) || !std::isfinite(o.backgroundDistanceMm))
        return "background distance must be positive";
    if (!(o.backgroundMmPerTexel > 0.0)) return "background texel size must be positive";
    if (!(o.face.photoPxPerMm > 0.0) || !(o.face.maskSemiAxesPx.width > 0.0) || !(o.face.maskSemiAxesPx.height > 0.0))
        return "face mapping scales must be positive";
    if (!(o.intensityNoiseSigma >= 0.0) || !(o.depthNoiseSigmaMm >= 0.0)) return "noise must not be negative";
    const Lighting& l = o.lighting;
    if (!(l.strength >= 0.0 && l.strength <= 1.0)) return "shading strength must lie between 0 and 1";
    if (!std::isfinite(l.direction[0]) || !std::isfinite(l.direction[1]) || !(l.direction[2] < 0.0))
        return "the light must come from in front of the head (negative Z)";
    const StereoDepthErrors& e = o.stereo;
    if (!(e.disparityNoisePx >= 0.0) || !std::isfinite(e.disparityNoisePx) || !(e.textureThreshold >= 0.0) ||
        !std::isfinite(e.textureThreshold) || !(e.dropout >= 0.0 && e.dropout <= 1.0))
        return "stereo depth errors must not be negative (dropout at most 1)";
    if (e.textureWindow < 3 || e.textureWindow > 51 || e.textureWindow % 2 == 0)
        return "the texture window must be odd, 3 to 51 pixels";
    if (!(std::fabs(o.exposureSwing) <= 0.5)) return "the exposure swing must lie within 0.5";
    if (!(o.shutterShare >= 0.0 && o.shutterShare <= 1.0)) return "the shutter share must lie between 0 and 1";
    if (!(o.skin.contrast > 0.0 && o.skin.contrast <= 4.0) || !(o.skin.level >= 0.0 && o.skin.level <= 255.0))
        return "the skin's contrast must lie in (0, 4] and its level within 0 to 255 grey levels";
    const std::string handProblem = o.hand.Problem();
    if (!handProblem.empty()) return handProblem;
    const CameraMismatch& m = o.right;
    if (!(m.gain > 0.0 && m.gain <= 4.0) || !(std::fabs(m.offset) <= 255.0) || !(std::fabs(m.rowShift) <= 8.0))
        return "the right camera's gain must lie in (0, 4], its offset within 255 grey levels and its row shift "
               "within 8 pixels";
    return "";
}

}  // namespace

std::string DefaultDataDir() { return VANTOREL_DATA_DIR; }

std::unique_ptr<CHeadScene> CHeadScene::Create(const SceneOptions& options, std::string* error) {
    const std::string problem = ValidationError(options);
    if (!problem.empty()) {
        if (error) *error = problem;
        return nullptr;
    }
    std::unique_ptr<CHeadScene> scene(new CHeadScene(options));
    std::unique_ptr<CFaceRelief> relief;
    if (options.head == HeadShape::kRelief) {
        relief = CFaceRelief::Create(options.headSemiAxesMm, options.face, error);
        if (!relief) return nullptr;
    }
    scene->surface_ = std::make_unique<CHeadSurface>(options.headSemiAxesMm, std::move(relief));
    const std::string dataDir = DefaultDataDir();
    const std::string facePath = options.faceImagePath.empty() ? dataDir + "/astronaut.png" : options.faceImagePath;
    const std::string backgroundPath =
        options.backgroundImagePath.empty() ? dataDir + "/brick.png" : options.backgroundImagePath;
    if (!LoadGrey(facePath, scene->face_, error) || !LoadGrey(backgroundPath, scene->background_, error))
        return nullptr;
    scene->PrecomputeBackground();
    return scene;
}

CHeadScene::~CHeadScene() = default;

CHeadScene::CHeadScene(const SceneOptions& options)
    : options_(options), light_(options.lighting.direction / cv::norm(options.lighting.direction)) {
    const StereoRig& c = options_.camera;
    columnSlope_.resize(c.width);
    rowSlope_.resize(c.height);
    for (int k = 0; k < 2; ++k) {
        columnSubSlope_[k].resize(c.width);
        rowSubSlope_[k].resize(c.height);
    }
    for (int i = 0; i < c.width; ++i) {
        columnSlope_[i] = (i - c.centreX) / c.focalPx;
        for (int k = 0; k < 2; ++k) columnSubSlope_[k][i] = (i + kSubOffset[k] - c.centreX) / c.focalPx;
    }
    for (int j = 0; j < c.height; ++j) {
        rowSlope_[j] = (j - c.centreY) / c.focalPx;
        for (int k = 0; k < 2; ++k) rowSubSlope_[k][j] = (j + kSubOffset[k] - c.centreY) / c.focalPx;
    }
    // The right camera's rows lie rowShift lower: its row j + shift sees what row j would.
    for (int k = 0; k < 2; ++k) {
        rightRowSubSlope_[k].resize(c.height);
        for (int j = 0; j < c.height; ++j)
            rightRowSubSlope_[k][j] = (j + kSubOffset[k] - c.centreY - options_.right.rowShift) / c.focalPx;
    }
}

void CHeadScene::PrecomputeBackground() {
    const StereoRig& c = options_.camera;
    const double planeZ = options_.backgroundDistanceMm;
    for (int camera = 0; camera < 2; ++camera) {
        const double originX = camera == 0 ? 0.0 : c.baselineMm;
        const std::vector<double>* rowSubSlope = camera == 0 ? rowSubSlope_ : rightRowSubSlope_;
        std::vector<float>& samples = backgroundSamples_[camera];
        samples.resize(static_cast<std::size_t>(c.width) * c.height * 4);
        for (int j = 0; j < c.height; ++j)
            for (int i = 0; i < c.width; ++i)
                for (int k = 0; k < 4; ++k)
                    samples[(static_cast<std::size_t>(j) * c.width + i) * 4 + k] = static_cast<float>(
                        BackgroundIntensity(originX + planeZ * columnSubSlope_[k & 1][i], planeZ * rowSubSlope[k >> 1][j]));
    }
    planeX_.create(c.height, c.width, CV_32F);
    planeY_.create(c.height, c.width, CV_32F);
    planeZ_.create(c.height, c.width, CV_32F);
    planeZ_.setTo(static_cast<float>(planeZ));
    for (int j = 0; j < c.height; ++j)
        for (int i = 0; i < c.width; ++i) {
            planeX_.at<float>(j, i) = static_cast<float>(planeZ * columnSlope_[i]);
            planeY_.at<float>(j, i) = static_cast<float>(planeZ * rowSlope_[j]);
        }
}

double CHeadScene::BackgroundIntensity(double xMm, double yMm) const {
    const double u = xMm / options_.backgroundMmPerTexel + background_.cols / 2.0;
    const double v = yMm / options_.backgroundMmPerTexel + background_.rows / 2.0;
    return SampleMirrored(background_, u, v);
}

double CHeadScene::HeadIntensity(const cv::Vec3d& p) const {
    const SkinTone& tone = options_.skin;
    return tone.level + tone.contrast * (Texture(p) - 128.0);
}

double CHeadScene::Texture(const cv::Vec3d& p) const {
    const double neutral = 70.0 + 110.0 * (0.65 * ValueNoise(p[0] / 16.0, p[1] / 16.0, p[2] / 16.0) +
                                           0.35 * ValueNoise(p[0] / 7.0 + 17.3, p[1] / 7.0 + 4.1, p[2] / 7.0 + 9.7));
    // The photograph covers the front; towards the sides it would be smeared, so it fades out.
    const double front = Smoothstep(-0.1, -0.35, p[2] / options_.headSemiAxesMm[2]);
    if (front <= 0.0) return neutral;
    const FaceMapping& m = options_.face;
    const double u = m.photoCentrePx.x + m.photoPxPerMm * p[0];
    const double v = m.photoCentrePx.y + m.photoPxPerMm * p[1];
    const double r = std::hypot((u - m.maskCentrePx.x) / m.maskSemiAxesPx.width,
                                (v - m.maskCentrePx.y) / m.maskSemiAxesPx.height);
    const double weight = front * std::clamp((1.0 - r) / 0.12, 0.0, 1.0);
    if (weight <= 0.0) return neutral;
    return weight * SampleClamped(face_, u, v) + (1.0 - weight) * neutral;
}

double CHeadScene::Shading(const cv::Vec3d& headPoint, const cv::Matx33d& headToCamera) const {
    const double lit = std::max((headToCamera * surface_->Normal(headPoint)).dot(light_), 0.0);
    // Scaled so that a surface facing the camera, normal (0, 0, -1), keeps its brightness.
    const double strength = options_.lighting.strength;
    return 1.0 - strength + strength * lit / -light_[2];
}

RenderedFrame CHeadScene::Render(const CRigidMotion& headPose, unsigned noiseStream,
                                 const std::vector<CRigidMotion>& shutterPoses) const {
    RenderedFrame frame;
    cv::Mat left, right;
    RenderCamera(headPose, true, left, &frame.x, &frame.y, &frame.z, &frame.headMask);
    if (shutterPoses.empty()) {
        RenderCamera(headPose, false, right, nullptr, nullptr, nullptr, nullptr);
    } else {
        left = cv::Mat::zeros(left.size(), CV_32F);
        right = cv::Mat::zeros(left.size(), CV_32F);
        cv::Mat sample;
        for (const CRigidMotion& pose : shutterPoses) {
            RenderCamera(pose, true, sample, nullptr, nullptr, nullptr, nullptr);
            left += sample;
            RenderCamera(pose, false, sample, nullptr, nullptr, nullptr, nullptr);
            right += sample;
        }
        left /= static_cast<double>(shutterPoses.size());
        right /= static_cast<double>(shutterPoses.size());
    }
    const StereoRig& rig = options_.camera;
    DrawHand(options_.hand, rig, headPose, noiseStream, 0.0, 0.0, left, &frame.x, &frame.y, &frame.z, &frame.headMask);
    DrawHand(options_.hand, rig, headPose, noiseStream, rig.baselineMm, options_.right.rowShift, right, nullptr,
             nullptr, nullptr, nullptr);
    ExposeRight(right);
    if (options_.exposureSwing != 0.0) {
        const double gain = 1.0 + options_.exposureSwing * std::sin(2.0 * kPi * noiseStream / kExposurePeriodFrames);
        left *= gain;
        right *= gain;
    }
    if (options_.intensityNoiseSigma > 0.0 || options_.depthNoiseSigmaMm > 0.0) {
        cv::RNG rng(0x9e3779b97f4a7c15ull ^ (static_cast<std::uint64_t>(options_.noiseSeed) << 32) ^ noiseStream);
        cv::Mat noise(frame.z.size(), CV_32F);
        if (options_.intensityNoiseSigma > 0.0) {
            for (cv::Mat* image : {&left, &right}) {
                rng.fill(noise, cv::RNG::NORMAL, 0.0, options_.intensityNoiseSigma);
                *image += noise;
            }
        }
        if (options_.depthNoiseSigmaMm > 0.0) {
            rng.fill(noise, cv::RNG::NORMAL, 0.0, options_.depthNoiseSigmaMm);
            // Along the pixel's ray, so the point stays on it; never onto or behind the camera.
            const cv::Mat scale = cv::max(frame.z + noise, 1.0f) / frame.z;
            frame.x = frame.x.mul(scale);
            frame.y = frame.y.mul(scale);
            frame.z = frame.z.mul(scale);
        }
    }
    if (options_.stereo.Any()) {
        cv::RNG rng(0x2545f4914f6cdd1dull ^ (static_cast<std::uint64_t>(options_.noiseSeed) << 32) ^ noiseStream);
        ApplyStereoDepthErrors(options_.stereo, options_.camera, left, rng, frame.x, frame.y, frame.z);
    }
    left.convertTo(frame.left, CV_8U);
    right.convertTo(frame.right, CV_8U);
    return frame;
}

void CHeadScene::ExposeRight(cv::Mat& right) const {
    const CameraMismatch& m = options_.right;
    if (m.gain != 1.0 || m.offset != 0.0) right.convertTo(right, CV_32F, m.gain, m.offset);
}

void CHeadScene::RenderCamera(const CRigidMotion& headPose, bool leftCamera, cv::Mat& intensity, cv::Mat* x,
                              cv::Mat* y, cv::Mat* z, cv::Mat* headMask) const {
    const StereoRig& c = options_.camera;
    const cv::Vec3d origin(leftCamera ? 0.0 : c.baselineMm, 0.0, 0.0);
    const std::vector<float>& samples = backgroundSamples_[leftCamera ? 0 : 1];

    intensity.create(c.height, c.width, CV_32F);
    for (int j = 0; j < c.height; ++j) {
        float* row = intensity.ptr<float>(j);
        const float* sample = &samples[static_cast<std::size_t>(j) * c.width * 4];
        for (int i = 0; i < c.width; ++i, sample += 4) row[i] = (sample[0] + sample[1] + sample[2] + sample[3]) / 4.0f;
    }
    if (x) {
        planeX_.copyTo(*x);
        planeY_.copyTo(*y);
        planeZ_.copyTo(*z);
        headMask->create(c.height, c.width, CV_8U);
        headMask->setTo(0);
    }

    const cv::Matx33d headToCamera = headPose.Rotation(), cameraToHead = headToCamera.t();
    const cv::Vec3d originHead = cameraToHead * (origin - headPose.Translation());
    // A camera inside the head sees nothing sensible; show the background alone.
    if (surface_->Inside(originHead)) return;
    cv::Rect box;
    if (!HeadBox(headPose.Translation() - origin, leftCamera ? 0.0 : options_.right.rowShift, box)) return;

    const std::vector<double>* rowSubSlope = leftCamera ? rowSubSlope_ : rightRowSubSlope_;
    const double farLimit = options_.backgroundDistanceMm;
    const bool shaded = options_.lighting.strength > 0.0;
    auto cast = [&](double slopeX, double slopeY, double& distance, cv::Vec3d& headPoint) {
        const cv::Vec3d direction = cameraToHead * cv::Vec3d(slopeX, slopeY, 1.0);
        if (!surface_->Cast(originHead, direction, farLimit, distance)) return false;
        headPoint = originHead + distance * direction;
        return true;
    };
    for (int j = box.y; j < box.y + box.height; ++j) {
        float* row = intensity.ptr<float>(j);
        for (int i = box.x; i < box.x + box.width; ++i) {
            const float* sample = &samples[(static_cast<std::size_t>(j) * c.width + i) * 4];
            double sum = 0.0, distance;
            cv::Vec3d headPoint;
            for (int k = 0; k < 4; ++k) {
                if (!cast(columnSubSlope_[k & 1][i], rowSubSlope[k >> 1][j], distance, headPoint)) {
                    sum += sample[k];
                    continue;
                }
                const double texture = HeadIntensity(headPoint);
                sum += shaded ? texture * Shading(headPoint, headToCamera) : texture;
            }
            row[i] = static_cast<float>(sum / 4.0);
            if (x && cast(columnSlope_[i], rowSlope_[j], distance, headPoint)) {
                x->at<float>(j, i) = static_cast<float>(distance * columnSlope_[i]);
                y->at<float>(j, i) = static_cast<float>(distance * rowSlope_[j]);
                z->at<float>(j, i) = static_cast<float>(distance);
                headMask->at<unsigned char>(j, i) = 1;
            }
        }
    }
}

bool CHeadScene::HeadBox(const cv::Vec3d& centre, double rowShift, cv::Rect& box) const {
    const StereoRig& c = options_.camera;
    const cv::Rect image(0, 0, c.width, c.height);
    const double radius = surface_->Reach();
    if (centre[2] - radius < 1.0) {
        box = image;  // too close for the bound below
        return true;
    }
    // Over the sphere's bounding box x / z and y / z are extreme at its corners.
    double slope[2][2];
    for (int axis = 0; axis < 2; ++axis) {
        slope[axis][0] = std::numeric_limits<double>::max();
        slope[axis][1] = std::numeric_limits<double>::lowest();
        for (double across : {centre[axis] - radius, centre[axis] + radius})
            for (double depth : {centre[2] - radius, centre[2] + radius}) {
                slope[axis][0] = std::min(slope[axis][0], across / depth);
                slope[axis][1] = std::max(slope[axis][1], across / depth);
            }
    }
    const double left = std::floor(c.centreX + c.focalPx * slope[0][0]) - 1.0;
    const double right = std::ceil(c.centreX + c.focalPx * slope[0][1]) + 1.0;
    const double top = std::floor(c.centreY + rowShift + c.focalPx * slope[1][0]) - 1.0;
    const double bottom = std::ceil(c.centreY + rowShift + c.focalPx * slope[1][1]) + 1.0;
    if (right < 0.0 || bottom < 0.0 || left >= c.width || top >= c.height) return false;
    const int x0 = static_cast<int>(std::max(left, 0.0)), y0 = static_cast<int>(std::max(top, 0.0));
    const int x1 = static_cast<int>(std::min(right, c.width - 1.0)), y1 = static_cast<int>(std::min(bottom, c.height - 1.0));
    box = cv::Rect(x0, y0, x1 - x0 + 1, y1 - y0 + 1) & image;
    return !box.empty();
}
