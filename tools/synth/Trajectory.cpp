#include "synth/Trajectory.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "synth/WaypointProfile.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Three harmonics per degree of freedom, weights summing to one, so the bound holds.
struct Harmonics {
    double weight[3];
    double phase[3];
};

double UnitUniform(std::mt19937& generator) {
    // The engine's raw output is fixed by the standard; distributions are not, across libraries.
    return generator() / 4294967296.0;
}

Harmonics DrawHarmonics(std::mt19937& generator) {
    Harmonics h{};
    double total = 0.0;
    for (int k = 0; k < 3; ++k) {
        h.weight[k] = 0.2 + UnitUniform(generator);
        h.phase[k] = 2.0 * kPi * UnitUniform(generator);
        total += h.weight[k];
    }
    for (double& w : h.weight) w /= total;
    return h;
}

double Evaluate(const Harmonics& h, double s, double speed) {
    double value = 0.0;
    for (int k = 0; k < 3; ++k) value += h.weight[k] * std::sin(2.0 * kPi * (k + 1) * speed * s + h.phase[k]);
    const double window = std::sin(kPi * s);
    return window * window * value;
}

double Positive(double value, double fallback) { return value > 0.0 ? value : fallback; }

// Timed trajectories that turn the head rather than move it.
bool IsTimedTurn(const std::string& name) { return name == "glance" || name == "nod" || name == "tilt"; }

// The one degree of freedom a timed trajectory moves, in radians (glance) or millimetres.
CWaypointProfile TimedProfile(const TrajectoryOptions& options, double amplitude) {
    const std::string& name = options.name;
    if (IsTimedTurn(name)) {
        const double hold = 0.3;
        return CWaypointProfile(0.0, {{amplitude, hold}, {0.0, hold}, {-amplitude, hold}, {0.0, 0.5}},
                                Positive(options.peakDegPerSecond, 180.0) * kPi / 180.0);
    }
    if (name == "sway")
        return CWaypointProfile(0.0, {{amplitude, 0}, {-amplitude, 0}, {amplitude, 0}, {-amplitude, 0}, {0.0, 0.5}},
                                Positive(options.peakMmPerSecond, 650.0));
    return CWaypointProfile(0.0, {{amplitude, 0.5}, {0.0, 1.5}}, Positive(options.peakMmPerSecond, 1200.0));
}

double TimedAmplitude(const TrajectoryOptions& options) {
    if (IsTimedTurn(options.name))
        return options.amplitudeRad < 0.0 ? DefaultAmplitudeRad(options.name) : options.amplitudeRad;
    return options.amplitudeMm[0] < 0.0 ? DefaultAmplitudeMm(options.name)[0] : options.amplitudeMm[0];
}

}  // namespace

const std::vector<std::string>& TrajectoryNames() {
    static const std::vector<std::string> names = {"still", "yaw",   "pitch", "roll",      "translate", "random",
                                                   "leave", "tour",  "glance", "sway", "fastrandom", "quickleave",
                                                   "nod",   "tilt"};
    return names;
}

cv::Vec3d DefaultAmplitudeMm(const std::string& name) {
    if (name == "translate") return {100.0, 50.0, 150.0};
    if (name == "random" || name == "fastrandom") return {60.0, 40.0, 80.0};
    if (name == "leave") return {650.0, 0.0, 0.0};
    if (name == "tour") return {60.0, 20.0, 80.0};
    if (name == "sway") return {80.0, 0.0, 0.0};
    if (name == "quickleave") return {900.0, 0.0, 0.0};
    return {0.0, 0.0, 0.0};
}

double DefaultAmplitudeRad(const std::string& name) {
    const double degrees = name == "glance" ? 40.0 : name == "nod" || name == "tilt" ? 25.0 : 20.0;
    return degrees * kPi / 180.0;
}

bool IsTimedTrajectory(const std::string& name) { return IsTimedTurn(name) || name == "sway" || name == "quickleave"; }

int TimedFrameCount(const TrajectoryOptions& options) {
    if (!IsTimedTrajectory(options.name) || !(options.framesPerSecond > 0.0)) return 0;
    const double seconds = TimedProfile(options, TimedAmplitude(options)).Duration();
    // Frame stillFrames - 1 is time 0; the last frame shows the end of the final rest.
    return std::max(options.stillFrames, 1) + static_cast<int>(std::ceil(seconds * options.framesPerSecond));
}

bool MakeTrajectory(const TrajectoryOptions& options, std::vector<CRigidMotion>& poses, std::string* error) {
    const auto fail = [&](const std::string& reason) {
        if (error) *error = reason;
        return false;
    };
    const auto& names = TrajectoryNames();
    if (std::find(names.begin(), names.end(), options.name) == names.end())
        return fail("unknown trajectory " + options.name);
    if (options.frameCount < 1 || options.stillFrames < 0 || options.cycles < 1 || !(options.distanceMm > 0.0) ||
        !std::isfinite(options.amplitudeRad) || !std::isfinite(options.distanceMm) ||
        !std::isfinite(options.offsetMm[0]) || !std::isfinite(options.offsetMm[1]) ||
        !(options.framesPerSecond > 0.0) || !std::isfinite(options.framesPerSecond) ||
        !std::isfinite(options.peakDegPerSecond) || !std::isfinite(options.peakMmPerSecond))
        return fail("frame count and cycles must be at least 1, still frames not negative, distance and frame rate "
                    "positive");
    cv::Vec3d amplitude = options.amplitudeMm;
    const cv::Vec3d defaults = DefaultAmplitudeMm(options.name);
    for (int k = 0; k < 3; ++k) {
        if (!std::isfinite(amplitude[k])) return fail("translation amplitudes must be finite");
        if (amplitude[k] < 0.0) amplitude[k] = defaults[k];
    }
    const double angle = options.amplitudeRad < 0.0 ? DefaultAmplitudeRad(options.name) : options.amplitudeRad;
    const bool timed = IsTimedTrajectory(options.name);
    if (timed && options.frameCount < TimedFrameCount(options))
        return fail(options.name + " needs at least " + std::to_string(TimedFrameCount(options)) + " frames");

    std::mt19937 generator(options.seed);
    Harmonics random[6];
    for (Harmonics& h : random) h = DrawHarmonics(generator);
    const double speed = options.name == "fastrandom" ? 3.0 : 1.0;

    const cv::Vec3d rest(options.offsetMm[0], options.offsetMm[1], options.distanceMm);
    poses.assign(options.frameCount, CRigidMotion::FromRotationVector({0, 0, 0}, rest));
    const int firstMoving = std::min(options.stillFrames, options.frameCount);
    const int anchor = std::max(firstMoving - 1, 0);  // s = 0 here
    const int span = options.frameCount - 1 - anchor;
    const CWaypointProfile profile = TimedProfile(options, TimedAmplitude(options));
    for (int frame = firstMoving; frame < options.frameCount && span > 0; ++frame) {
        const double s = static_cast<double>(frame - anchor) / span;
        const double wave = std::sin(2.0 * kPi * options.cycles * s);
        const double seconds = (frame - anchor) / options.framesPerSecond;
        cv::Vec3d rotation(0, 0, 0), translation = rest;
        const std::string& name = options.name;
        if (name == "yaw") rotation[1] = angle * wave;
        else if (name == "pitch") rotation[0] = angle * wave;
        else if (name == "roll") rotation[2] = angle * wave;
        else if (name == "translate") translation += amplitude * wave;
        else if (name == "leave") translation[0] += amplitude[0] * (1.0 - std::cos(2.0 * kPi * s)) / 2.0;
        else if (name == "tour") {
            rotation[1] = angle * wave;
            rotation[0] = angle / 2.0 * std::sin(4.0 * kPi * options.cycles * s);
            translation += amplitude * wave;
        } else if (name == "random" || name == "fastrandom")
            for (int k = 0; k < 3; ++k) {
                rotation[k] = angle * Evaluate(random[k], s, speed);
                translation[k] += amplitude[k] * Evaluate(random[k + 3], s, speed);
            }
        else if (name == "glance") rotation[1] = profile.Value(seconds);
        else if (name == "nod") rotation[0] = profile.Value(seconds);
        else if (name == "tilt") rotation[2] = profile.Value(seconds);
        else if (timed) translation[0] += profile.Value(seconds);
        poses[frame] = CRigidMotion::FromRotationVector(rotation, translation);
    }
    return true;
}
