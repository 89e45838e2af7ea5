// Renders a synthetic stereo head sequence with exact ground truth into one folder, ready to hand
// to the tracker as its configuration directory. See synth/SequenceWriter.h for the files.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "synth/ContactSheet.h"
#include "synth/GroundTruth.h"
#include "synth/HeadScene.h"
#include "synth/MotionBlur.h"
#include "synth/SceneArguments.h"
#include "synth/SequenceWriter.h"
#include "synth/Trajectory.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

const std::string kUsage = std::string(
    "usage: render_sequence OUTPUT_FOLDER [options]\n"
    "  --trajectory NAME       still, yaw, pitch, roll, translate, random, leave, tour, glance, nod,\n"
    "                          tilt, sway, fastrandom or quickleave (default yaw; see\n"
    "                          synth/Trajectory.h)\n"
    "  --frames N              frames in the sequence (default 120)\n"
    "  --still-frames N        frames at rest before the motion starts (default 8)\n"
    "  --offset X,Y            the head rests X mm right of the optical axis and Y mm below it\n"
    "                          (default 0,0)\n"
    "  --fps F                 the camera's frame rate: how far glance, nod, tilt, sway and quickleave\n"
    "                          move in a frame (default 30)\n"
    "  --amplitude-deg A       rotation amplitude in degrees (default 20; glance 40, nod, tilt 25)\n"
    "  --amplitude-mm X,Y,Z    translation amplitudes in mm (default by trajectory: translate\n"
    "                          100,50,150; random 60,40,80; leave 650,0,0; tour 60,20,80; sway 80,0,0;\n"
    "                          quickleave 900,0,0)\n"
    "  --cycles N              periods of the sinusoidal trajectories (default 1)\n"
    "  --seed N                seed of the random trajectory and of the noise (default 1)\n"
    "  --distance MM           head centre distance at rest (default 950)\n"
    "  --background MM|FILE    a number: the distance of the wall (default 1800); else as below\n"
    "  --focal PX              focal length in pixels (default 380)\n"
    "  --center X,Y            principal point in pixels (default 160,120)\n"
    "  --baseline MM           stereo baseline (default 90)\n"
    "  --noise SIGMA           Gaussian intensity noise in grey levels (default 0)\n"
    "  --depth-noise MM        Gaussian depth noise in mm (default 0)\n"
    "  --y-up                  write the X, Y files with Y pointing up (default down)\n"
    "  --camera NAME           camera file Param.cfg names: xyz, disparity, iff or live (default xyz;\n"
    "                          live matches the PNG pairs with the live stereo camera)\n"
    "  --forms LIST            comma-separated subset of pgm,disparity,iff,png (default all)\n"
    "  --first-index N         file index of the first frame (default 1)\n"
    "  --face FILE             face photograph (default astronaut.png of the data folder)\n"
    "  --background-image FILE background photograph (default brick.png of the data folder)\n"
    "  --preview               also write preview.png, a contact sheet of four frames\n") + kSceneUsage;

struct Arguments {
    SceneOptions scene;
    TrajectoryOptions trajectory;
    SequenceOptions sequence;
    bool preview = false;
};

bool ParseInt(const std::string& text, int& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || parsed < -2147483647L || parsed > 2147483647L) return false;
    value = static_cast<int>(parsed);
    return true;
}

bool ParseForms(const std::string& text, unsigned& forms) {
    forms = 0;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (item == "pgm") forms |= kFormPgm;
        else if (item == "disparity") forms |= kFormDisparity;
        else if (item == "iff") forms |= kFormIff;
        else if (item == "png") forms |= kFormPng;
        else return false;
    }
    return forms != 0;
}

// False with a message on stderr for anything unusable.
bool ParseArguments(int argc, char** argv, Arguments& a) {
    a.trajectory.name = "yaw";
    for (int k = 1; k < argc; ++k) {
        const std::string option = argv[k];
        if (option.empty() || option[0] != '-') {
            if (!a.sequence.folder.empty()) {
                std::cerr << "render_sequence: more than one output folder\n";
                return false;
            }
            a.sequence.folder = option;
            continue;
        }
        if (option == "--y-up") {
            a.sequence.yUp = true;
            continue;
        }
        if (option == "--preview") {
            a.preview = true;
            continue;
        }
        if (option == "--help" || option == "-h") return false;
        if (k + 1 >= argc) {
            std::cerr << "render_sequence: " << option << " needs a value\n";
            return false;
        }
        const std::string value = argv[++k];
        std::vector<double> numbers;
        bool ok = true;
        int integer = 0;
        if (option == "--trajectory") a.trajectory.name = value;
        else if (option == "--frames") ok = ParseInt(value, a.trajectory.frameCount);
        else if (option == "--still-frames") ok = ParseInt(value, a.trajectory.stillFrames);
        else if (option == "--fps") {
            ok = ParseNumbers(value, numbers, 1) && numbers[0] > 0.0;
            if (ok) a.trajectory.framesPerSecond = numbers[0];
        } else if (option == "--cycles") ok = ParseInt(value, a.trajectory.cycles);
        else if (option == "--first-index") ok = ParseInt(value, a.sequence.firstIndex);
        else if (option == "--seed") {
            ok = ParseInt(value, integer) && integer >= 0;
            a.trajectory.seed = a.scene.noiseSeed = static_cast<unsigned>(integer);
        } else if (option == "--amplitude-deg") {
            ok = ParseNumbers(value, numbers, 1);
            if (ok) a.trajectory.amplitudeRad = numbers[0] * kPi / 180.0;
        } else if (option == "--offset") {
            ok = ParseNumbers(value, numbers, 2);
            if (ok) a.trajectory.offsetMm = cv::Vec2d(numbers[0], numbers[1]);
        } else if (option == "--amplitude-mm") {
            ok = ParseNumbers(value, numbers, 3);
            if (ok) a.trajectory.amplitudeMm = cv::Vec3d(numbers[0], numbers[1], numbers[2]);
        } else if (option == "--distance") {
            ok = ParseNumbers(value, numbers, 1);
            if (ok) a.trajectory.distanceMm = numbers[0];
        } else if (option == "--background" && ParseNumbers(value, numbers, 1)) {
            // The wall's distance came first; a photograph shares the name with the other tools.
            a.scene.backgroundDistanceMm = numbers[0];
        } else if (option == "--focal") {
            ok = ParseNumbers(value, numbers, 1);
            if (ok) a.scene.camera.focalPx = numbers[0];
        } else if (option == "--center") {
            ok = ParseNumbers(value, numbers, 2);
            if (ok) a.scene.camera.centreX = numbers[0], a.scene.camera.centreY = numbers[1];
        } else if (option == "--baseline") {
            ok = ParseNumbers(value, numbers, 1);
            if (ok) a.scene.camera.baselineMm = numbers[0];
        } else if (option == "--noise") {
            ok = ParseNumbers(value, numbers, 1);
            if (ok) a.scene.intensityNoiseSigma = numbers[0];
        } else if (option == "--depth-noise") {
            ok = ParseNumbers(value, numbers, 1);
            if (ok) a.scene.depthNoiseSigmaMm = numbers[0];
        } else if (option == "--camera") a.sequence.trackerCamera = value;
        else if (option == "--forms") ok = ParseForms(value, a.sequence.forms);
        else if (option == "--face") a.scene.faceImagePath = value;
        else if (option == "--background-image") a.scene.backgroundImagePath = value;
        else if (const SceneOption scene = ParseSceneOption(option, value, a.scene); scene != SceneOption::kUnknown)
            ok = scene == SceneOption::kParsed;
        else {
            std::cerr << "render_sequence: unknown option " << option << "\n";
            return false;
        }
        if (!ok) {
            std::cerr << "render_sequence: bad value for " << option << ": " << value << "\n";
            return false;
        }
    }
    if (a.sequence.folder.empty()) {
        std::cerr << "render_sequence: no output folder\n";
        return false;
    }
    a.sequence.camera = a.scene.camera;
    a.sequence.frameCount = a.trajectory.frameCount;
    a.sequence.nearestDepthMm = 0.5 * a.trajectory.distanceMm;
    return true;
}

std::vector<std::string> Description(const Arguments& a, int argc, char** argv) {
    std::string command = "command:";
    for (int k = 0; k < argc; ++k) command += std::string(" ") + argv[k];
    const StereoRig& c = a.scene.camera;
    std::ostringstream camera, head, trajectory;
    camera << "camera: " << c.width << " x " << c.height << ", focal " << c.focalPx << " px, centre " << c.centreX
           << " " << c.centreY << ", baseline " << c.baselineMm << " mm";
    head << (a.scene.head == HeadShape::kRelief ? "face relief on an ellipsoid" : "ellipsoid") << ", semi-axes "
         << a.scene.headSemiAxesMm[0] << " " << a.scene.headSemiAxesMm[1] << " "
         << a.scene.headSemiAxesMm[2] << " mm, background plane at " << a.scene.backgroundDistanceMm << " mm";
    trajectory << "trajectory " << a.trajectory.name << ", " << a.trajectory.frameCount << " frames, "
               << a.trajectory.stillFrames << " still";
    std::ostringstream light;
    const SceneOptions& o = a.scene;
    light << "shading " << o.lighting.strength << ", light from " << o.lighting.direction[0] << " "
          << o.lighting.direction[1] << " " << o.lighting.direction[2] << "; noise " << o.intensityNoiseSigma
          << " grey levels, depth " << o.depthNoiseSigmaMm << " mm, disparity " << o.stereo.disparityNoisePx
          << " px, holes below texture " << o.stereo.textureThreshold << ", dropout " << o.stereo.dropout;
    return {command, camera.str(), head.str(), light.str(), trajectory.str(),
            std::string("X, Y files written Y ") + (a.sequence.yUp ? "up" : "down") +
                "; the disparity camera reconstructs Y up, the IFF camera Y down"};
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (!ParseArguments(argc, argv, args)) {
        std::cerr << kUsage;
        return 2;
    }
    std::string error;
    std::vector<CRigidMotion> poses;
    if (!MakeTrajectory(args.trajectory, poses, &error)) {
        std::cerr << "render_sequence: " << error << "\n" << kUsage;
        return 2;
    }
    const std::unique_ptr<CHeadScene> scene = CHeadScene::Create(args.scene, &error);
    if (!scene) {
        std::cerr << "render_sequence: " << error << "\n";
        return 1;
    }
    const std::unique_ptr<CSequenceWriter> writer = CSequenceWriter::Create(args.sequence, &error);
    if (!writer) {
        std::cerr << "render_sequence: " << error << "\n";
        return 1;
    }

    // The preview shows the end of the rest phase and three points of the motion.
    const int frames = static_cast<int>(poses.size());
    const int anchor = std::max(std::min(args.trajectory.stillFrames, frames) - 1, 0);
    std::vector<int> previewPositions;
    for (double s : {0.0, 0.25, 0.5, 0.75})
        previewPositions.push_back(anchor + static_cast<int>(std::lround(s * (frames - 1 - anchor))));
    std::vector<RenderedFrame> previewFrames(previewPositions.size());

    CGroundTruth truth;
    std::chrono::steady_clock::duration renderTime{}, writeTime{};
    for (int position = 0; position < frames; ++position) {
        const int index = args.sequence.firstIndex + position;
        const auto start = std::chrono::steady_clock::now();
        RenderedFrame frame = RenderSequenceFrame(*scene, poses, static_cast<std::size_t>(position), static_cast<unsigned>(position));
        const auto rendered = std::chrono::steady_clock::now();
        if (!writer->WriteFrame(index, frame, &error)) {
            std::cerr << "render_sequence: " << error << "\n";
            return 1;
        }
        writeTime += std::chrono::steady_clock::now() - rendered;
        renderTime += rendered - start;
        truth.Add(index, poses[position]);
        for (std::size_t p = 0; p < previewPositions.size(); ++p)
            if (previewPositions[p] == position) previewFrames[p] = frame;
    }
    if (!writer->WriteConfiguration(&error)) {
        std::cerr << "render_sequence: " << error << "\n";
        return 1;
    }
    if (!truth.Write(writer->Path("ground-truth.txt"), Description(args, argc, argv))) {
        std::cerr << "render_sequence: cannot write " << writer->Path("ground-truth.txt") << "\n";
        return 1;
    }
    if (args.preview) {
        std::vector<ContactSheetRow> rows;
        for (std::size_t p = 0; p < previewPositions.size(); ++p)
            rows.push_back({args.sequence.firstIndex + previewPositions[p], &previewFrames[p]});
        // The head's own relief, not the whole way to the background, gets the colours.
        const double reliefMm = 1.5 * args.scene.headSemiAxesMm[2];
        const cv::Mat sheet = MakeContactSheet(rows, args.trajectory.distanceMm - reliefMm,
                                               args.trajectory.distanceMm + reliefMm);
        if (sheet.empty() || !cv::imwrite(writer->Path("preview.png"), sheet)) {
            std::cerr << "render_sequence: cannot write " << writer->Path("preview.png") << "\n";
            return 1;
        }
    }
    std::printf("%d frames (%s) in %s: rendering %.2f s, writing %.2f s\n", frames, args.trajectory.name.c_str(),
                writer->Options().folder.c_str(), Seconds(renderTime), Seconds(writeTime));
    return 0;
}
