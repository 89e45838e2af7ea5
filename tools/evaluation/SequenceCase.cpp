#include "evaluation/SequenceCase.h"

#include <cmath>
#include <cstdio>
#include <sstream>

#include "synth/MotionBlur.h"
#include "synth/SequenceWriter.h"
#include "synth/Trajectory.h"

namespace {

unsigned FormsFor(const std::string& path) {
    if (path == "disparity") return kFormPgm | kFormDisparity;
    if (path == "iff") return kFormIff;
    if (path == "live") return kFormPng;
    return kFormPgm;
}

}  // namespace

std::string SequenceCase::Label() const {
    char text[96];
    int n = std::snprintf(text, sizeof text, "%.0f mm f%.0f", distanceMm, focalPx);
    if (noise > 0.0 || DepthNoiseSigmaMm() > 0.0)
        n += std::snprintf(text + n, sizeof text - n, " n%.3g d%.2g", noise, DepthNoiseSigmaMm());
    if (offsetMm != cv::Vec2d(0.0, 0.0))
        n += std::snprintf(text + n, sizeof text - n, " at %.0f,%.0f", offsetMm[0], offsetMm[1]);
    if (framesPerSecond != TrajectoryOptions().framesPerSecond)
        n += std::snprintf(text + n, sizeof text - n, " %.3gfps", framesPerSecond);
    return exactDepth.empty() ? std::string(text) : std::string(text) + " exact " + exactDepth;
}

double SequenceCase::DepthNoiseSigmaMm() const {
    const double stereo = distanceMm * distanceMm * scene.stereo.disparityNoisePx / (focalPx * scene.camera.baselineMm);
    return std::sqrt(depthNoiseMm * depthNoiseMm + stereo * stereo);
}

SceneOptions SequenceCase::Scene() const {
    SceneOptions options = scene;
    options.camera.focalPx = focalPx;
    options.intensityNoiseSigma = noise;
    options.noiseSeed = seed;
    options.depthNoiseSigmaMm = depthNoiseMm;
    return options;
}

TrajectoryOptions SequenceCase::Trajectory() const {
    TrajectoryOptions options;
    options.name = trajectory;
    options.frameCount = trajectory == "random" || trajectory == "fastrandom" ? 300 : frames;
    options.stillFrames = stillFrames;
    options.framesPerSecond = framesPerSecond;
    options.distanceMm = distanceMm;
    options.offsetMm = offsetMm;
    options.seed = seed;
    if (IsTimedTrajectory(trajectory)) options.frameCount = TimedFrameCount(options);
    return options;
}

bool WritePoses(const SequenceCase& sequence, const std::vector<CRigidMotion>& poses, const std::string& folder,
                WrittenCase& written, std::string* error) {
    const auto scene = CHeadScene::Create(sequence.Scene(), error);
    if (!scene) return false;
    SequenceOptions options;
    options.folder = folder;
    options.camera = scene->Options().camera;
    options.frameCount = static_cast<int>(poses.size());
    options.yUp = sequence.yUp;
    options.forms = 0;
    for (const std::string& path : sequence.paths) options.forms |= FormsFor(path);
    // The rendered depth the live path takes comes from the X, Y, Z files.
    if (!sequence.exactDepth.empty()) options.forms |= kFormPgm;
    options.trackerCamera = sequence.paths.empty() ? "xyz" : sequence.paths.front();
    options.nearestDepthMm = 0.5 * sequence.distanceMm;
    options.stereoKeywords = sequence.stereoKeywords;
    const auto writer = CSequenceWriter::Create(options, error);
    if (!writer || !writer->WriteConfiguration(error)) return false;
    written = WrittenCase();
    written.folder = writer->Options().folder;
    written.camera = options.camera;
    written.frameCount = options.frameCount;
    for (std::size_t k = 0; k < poses.size(); ++k) {
        const int index = static_cast<int>(k) + 1;
        const RenderedFrame frame = RenderSequenceFrame(*scene, poses, k, static_cast<unsigned>(index));
        if (!writer->WriteFrame(index, frame, error)) return false;
        written.truth.Add(index, poses[k]);
        written.headVisible.push_back(cv::countNonZero(frame.headMask) > 0);
        const cv::Rect box = FaceBox(options.camera, poses[k]);
        written.faceInView.push_back((box & cv::Rect(0, 0, frame.left.cols, frame.left.rows)) == box);
        if (index == sequence.stillFrames) {
            written.region = InitialiserRegion(frame, options.camera, poses[k]);
            written.stillFrame = frame;
            written.stillPose = poses[k];
        }
    }
    return written.truth.Write(writer->Path("ground-truth.txt"), {"evaluate_tracking: " + sequence.trajectory + ", " +
                                                                  sequence.Label()});
}

FaceRegion WrittenCase::RegionFor(const std::string& initText) const {
    std::istringstream in(initText);
    CInitParameters size;
    size.Read(&in);
    return InitialiserRegion(stillFrame, camera, stillPose, size);
}

int WrittenCase::ReturnFrame() const {
    bool gone = false;
    for (std::size_t k = 0; k < headVisible.size() && k < faceInView.size(); ++k) {
        gone = gone || !headVisible[k];
        if (gone && faceInView[k]) return static_cast<int>(k) + 1;
    }
    return -1;
}

bool WriteSequenceCase(const SequenceCase& sequence, const std::string& folder, WrittenCase& written,
                       std::string* error) {
    std::vector<CRigidMotion> poses;
    return MakeTrajectory(sequence.Trajectory(), poses, error) && WritePoses(sequence, poses, folder, written, error);
}
