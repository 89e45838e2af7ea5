#include "synth/Trajectory.h"

#include <algorithm>
#include <cmath>
#include <random>

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

double Evaluate(const Harmonics& h, double s) {
    double value = 0.0;
    for (int k = 0; k < 3; ++k) value += h.weight[k] * std::sin(2.0 * kPi * (k + 1) * s + h.phase[k]);
    const double window = std::sin(kPi * s);
    return window * window * value;
}

}  // namespace

const std::vector<std::string>& TrajectoryNames() {
    static const std::vector<std::string> names = {"still", "yaw", "pitch", "roll", "translate", "random", "leave", "tour"};
    return names;
}

cv::Vec3d DefaultAmplitudeMm(const std::string& name) {
    if (name == "translate") return {100.0, 50.0, 150.0};
    if (name == "random") return {60.0, 40.0, 80.0};
    if (name == "leave") return {650.0, 0.0, 0.0};
    if (name == "tour") return {60.0, 20.0, 80.0};
    return {0.0, 0.0, 0.0};
}

bool MakeTrajectory(const TrajectoryOptions& options, std::vector<CRigidMotion>& poses, std::string* error) {
    const auto& names = TrajectoryNames();
    if (std::find(names.begin(), names.end(), options.name) == names.end()) {
        if (error) *error = "unknown trajectory " + options.name;
        return false;
    }
    if (options.frameCount < 1 || options.stillFrames < 0 || options.cycles < 1 || !(options.distanceMm > 0.0) ||
        !std::isfinite(options.amplitudeRad) || !std::isfinite(options.distanceMm)) {
        if (error) *error = "frame count and cycles must be at least 1, still frames not negative, distance positive";
        return false;
    }
    cv::Vec3d amplitude = options.amplitudeMm;
    const cv::Vec3d defaults = DefaultAmplitudeMm(options.name);
    for (int k = 0; k < 3; ++k) {
        if (!std::isfinite(amplitude[k])) {
            if (error) *error = "translation amplitudes must be finite";
            return false;
        }
        if (amplitude[k] < 0.0) amplitude[k] = defaults[k];
    }

    std::mt19937 generator(options.seed);
    Harmonics random[6];
    for (Harmonics& h : random) h = DrawHarmonics(generator);

    const cv::Vec3d rest(0.0, 0.0, options.distanceMm);
    poses.assign(options.frameCount, CRigidMotion::FromRotationVector({0, 0, 0}, rest));
    const int firstMoving = std::min(options.stillFrames, options.frameCount);
    const int anchor = std::max(firstMoving - 1, 0);  // s = 0 here
    const int span = options.frameCount - 1 - anchor;
    for (int frame = firstMoving; frame < options.frameCount && span > 0; ++frame) {
        const double s = static_cast<double>(frame - anchor) / span;
        const double wave = std::sin(2.0 * kPi * options.cycles * s);
        cv::Vec3d rotation(0, 0, 0), translation = rest;
        const std::string& name = options.name;
        if (name == "yaw") rotation[1] = options.amplitudeRad * wave;
        else if (name == "pitch") rotation[0] = options.amplitudeRad * wave;
        else if (name == "roll") rotation[2] = options.amplitudeRad * wave;
        else if (name == "translate") translation += amplitude * wave;
        else if (name == "leave") translation[0] += amplitude[0] * (1.0 - std::cos(2.0 * kPi * s)) / 2.0;
        else if (name == "tour") {
            rotation[1] = options.amplitudeRad * wave;
            rotation[0] = options.amplitudeRad / 2.0 * std::sin(4.0 * kPi * options.cycles * s);
            translation += amplitude * wave;
        }
        else if (name == "random")
            for (int k = 0; k < 3; ++k) {
                rotation[k] = options.amplitudeRad * Evaluate(random[k], s);
                translation[k] += amplitude[k] * Evaluate(random[k + 3], s);
            }
        poses[frame] = CRigidMotion::FromRotationVector(rotation, translation);
    }
    return true;
}
