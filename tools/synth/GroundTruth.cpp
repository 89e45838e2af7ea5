#include "synth/GroundTruth.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// Loose enough for 17-digit text, tight enough to catch a hand-edited or damaged matrix.
constexpr double kTolerance = 1e-9;

bool IsRotation(const cv::Matx33d& r) {
    const cv::Matx33d product = r.t() * r;
    return cv::norm(product - cv::Matx33d::eye(), cv::NORM_INF) < kTolerance && cv::determinant(r) > 0.0;
}

}  // namespace

bool CGroundTruth::Add(int index, const CRigidMotion& pose) {
    if (!frames_.empty() && index <= frames_.back().index) return false;
    frames_.push_back({index, pose});
    return true;
}

const CRigidMotion* CGroundTruth::Find(int index) const {
    const auto found = std::lower_bound(frames_.begin(), frames_.end(), index,
                                        [](const GroundTruthFrame& f, int i) { return f.index < i; });
    return found != frames_.end() && found->index == index ? &found->pose : nullptr;
}

bool CGroundTruth::Motion(int indexA, int indexB, CRigidMotion& motion) const {
    const CRigidMotion* a = Find(indexA);
    const CRigidMotion* b = Find(indexB);
    if (!a || !b) return false;
    motion = RelativeMotion(*a, *b);
    return true;
}

bool CGroundTruth::Write(const std::string& path, const std::vector<std::string>& headerComment) const {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    std::fprintf(file,
                 "# Head pose per frame, p_camera = R p_head + t, left camera frame (X right, Y down, Z forward),\n"
                 "# millimetres and radians.\n"
                 "# index r1 r2 r3 t1 t2 t3 R11 R12 R13 R21 R22 R23 R31 R32 R33\n");
    for (const std::string& line : headerComment) std::fprintf(file, "# %s\n", line.c_str());
    for (const GroundTruthFrame& frame : frames_) {
        const cv::Vec3d r = frame.pose.RotationVector();
        const cv::Vec3d& t = frame.pose.Translation();
        const cv::Matx33d& m = frame.pose.Rotation();
        std::fprintf(file, "%d", frame.index);
        for (double v : {r[0], r[1], r[2], t[0], t[1], t[2]}) std::fprintf(file, " %.17g", v);
        for (int k = 0; k < 9; ++k) std::fprintf(file, " %.17g", m.val[k]);
        std::fprintf(file, "\n");
    }
    const bool written = !std::ferror(file);
    return std::fclose(file) == 0 && written;
}

bool CGroundTruth::Read(const std::string& path, std::string* error) {
    frames_.clear();
    std::ifstream in(path);
    if (!in) {
        if (error) *error = "cannot open " + path;
        return false;
    }
    std::string line;
    int lineNumber = 0;
    auto fail = [&](const std::string& why) {
        frames_.clear();
        if (error) *error = path + ":" + std::to_string(lineNumber) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNumber;
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        std::istringstream fields(line);
        long index = 0;
        double numbers[15];
        if (!(fields >> index)) return fail("no frame index");
        for (double& value : numbers)
            if (!(fields >> value) || !std::isfinite(value)) return fail("expected 15 finite numbers after the index");
        std::string extra;
        if (fields >> extra) return fail("more than 16 fields");
        if (index < -2147483647L || index > 2147483647L) return fail("frame index out of range");
        const cv::Vec3d rotationVector(numbers[0], numbers[1], numbers[2]);
        const cv::Vec3d translation(numbers[3], numbers[4], numbers[5]);
        cv::Matx33d rotation;
        std::copy(numbers + 6, numbers + 15, rotation.val);
        if (!IsRotation(rotation)) return fail("R is not a rotation matrix");
        const cv::Matx33d fromVector = CRigidMotion::FromRotationVector(rotationVector, translation).Rotation();
        if (cv::norm(fromVector - rotation, cv::NORM_INF) > 1e-7) return fail("r and R describe different rotations");
        if (!Add(static_cast<int>(index), CRigidMotion(rotation, translation)))
            return fail("frame indices must increase");
    }
    if (in.bad()) return fail("read error");
    return true;
}
