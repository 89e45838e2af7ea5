#include "synth/SceneArguments.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

const char* const kSceneUsage =
    "  --head SHAPE            relief (a face's relief on the ellipsoid, default) or ellipsoid\n"
    "  --head-axes X,Y,Z       the head's semi-axes in mm, across, up and in depth (default 75,100,90)\n"
    "  --background FILE       the wall's photograph, a file of the data folder or a path\n"
    "                          (default brick.png)\n"
    "  --shading S             the lamp's share of the light, 0 to 1 (default 0: none; 0.4 is mild)\n"
    "  --light X,Y,Z           direction towards the lamp, camera frame, Z < 0 (default -0.5,-0.4,-1)\n"
    "  --disparity-noise PX    stereo-like depth noise: Z^2 / (focal baseline) PX in mm (default 0)\n"
    "  --holes T               no depth where the grey levels' deviation over 11 x 11 pixels is below\n"
    "                          T, as a stereo matcher loses weak texture (default 0: none)\n"
    "  --dropout P             no depth at a random fraction P of the pixels (default 0)\n"
    "  --right-camera G,O,S    the right camera's gain G and offset O (grey levels) against the left\n"
    "                          one, and its rows S pixels below the left one's, a rectification error\n"
    "                          (default 1,0,0: alike)\n"
    "  --exposure-swing A      both cameras' exposure swinging by A (0.1: 10 per cent) over 90 frames,\n"
    "                          as an automatic exposure does (default 0: steady)\n"
    "  --hand F,N[,R,X]        a hand crossing the image in front of the face, from just out of view\n"
    "                          at frame F to just out of view on the other side N frames later,\n"
    "                          resting R frames on its way with its centre X mm right of the\n"
    "                          optical axis (default: none)\n"
    "  --skin C,L              the head's texture scaled about mid grey by C and centred on L grey\n"
    "                          levels, as a darker or smoother face (default 1,128: the photograph's)\n"
    "  --shutter S             the shutter open for a share S of the frame interval, blurring the\n"
    "                          moving head (0.5: 1/60 s at 30 frames a second; default 0: sharp)\n";

bool ParseNumbers(const std::string& text, std::vector<double>& values, std::size_t count) {
    values.clear();
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        char* end = nullptr;
        const double value = std::strtod(item.c_str(), &end);
        if (item.empty() || *end != '\0' || !std::isfinite(value)) return false;
        values.push_back(value);
    }
    return values.size() == count;
}

SceneOption ParseSceneOption(const std::string& option, const std::string& value, SceneOptions& scene) {
    std::vector<double> numbers;
    auto number = [&](double& target) {
        if (!ParseNumbers(value, numbers, 1)) return SceneOption::kBadValue;
        target = numbers[0];
        return SceneOption::kParsed;
    };
    if (option == "--head") {
        if (value != "relief" && value != "ellipsoid") return SceneOption::kBadValue;
        scene.head = value == "relief" ? HeadShape::kRelief : HeadShape::kEllipsoid;
        return SceneOption::kParsed;
    }
    if (option == "--light") {
        if (!ParseNumbers(value, numbers, 3)) return SceneOption::kBadValue;
        scene.lighting.direction = cv::Vec3d(numbers[0], numbers[1], numbers[2]);
        return SceneOption::kParsed;
    }
    if (option == "--head-axes") {
        if (!ParseNumbers(value, numbers, 3) || !(numbers[0] > 0 && numbers[1] > 0 && numbers[2] > 0))
            return SceneOption::kBadValue;
        scene.headSemiAxesMm = cv::Vec3d(numbers[0], numbers[1], numbers[2]);
        return SceneOption::kParsed;
    }
    if (option == "--background") {
        if (value.empty()) return SceneOption::kBadValue;
        scene.backgroundImagePath = value.find('/') == std::string::npos ? DefaultDataDir() + "/" + value : value;
        return SceneOption::kParsed;
    }
    if (option == "--shading") return number(scene.lighting.strength);
    if (option == "--disparity-noise") return number(scene.stereo.disparityNoisePx);
    if (option == "--holes") return number(scene.stereo.textureThreshold);
    if (option == "--dropout") return number(scene.stereo.dropout);
    if (option == "--exposure-swing") return number(scene.exposureSwing);
    if (option == "--shutter") return number(scene.shutterShare);
    if (option == "--hand") {
        if ((!ParseNumbers(value, numbers, 2) && !ParseNumbers(value, numbers, 4)) || numbers[0] < 0 ||
            numbers[0] > 1e6 || numbers[1] < 1 || numbers[1] > 1e6)
            return SceneOption::kBadValue;
        scene.hand.firstFrame = static_cast<int>(numbers[0]);
        scene.hand.frames = static_cast<int>(numbers[1]);
        if (numbers.size() == 4) {
            if (numbers[2] < 0 || numbers[2] > 1e6 || std::fabs(numbers[3]) > 1e4) return SceneOption::kBadValue;
            scene.hand.restFrames = static_cast<int>(numbers[2]);
            scene.hand.restXMm = numbers[3];
        }
        return SceneOption::kParsed;
    }
    if (option == "--skin") {
        if (!ParseNumbers(value, numbers, 2)) return SceneOption::kBadValue;
        scene.skin = SkinTone{numbers[0], numbers[1]};
        return SceneOption::kParsed;
    }
    if (option == "--right-camera") {
        if (!ParseNumbers(value, numbers, 3)) return SceneOption::kBadValue;
        scene.right = CameraMismatch{numbers[0], numbers[1], numbers[2]};
        return SceneOption::kParsed;
    }
    return SceneOption::kUnknown;
}
