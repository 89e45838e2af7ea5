#include "report/TrackLog.h"

#include <fstream>
#include <sstream>

bool CTrackLog::Read(const std::string& path, std::string* error) {
    steps_.clear();
    std::ifstream in(path);
    if (!in) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        TrackLogStep step;
        int state = 0;
        double v[15];
        fields >> step.step >> step.frame >> state >> step.event;
        for (double& value : v) fields >> value;
        std::string extra;
        if (!fields || (state != 0 && state != 1) || (fields >> extra)) {
            if (error) *error = path + ":" + std::to_string(number) + ": not a log line";
            steps_.clear();
            return false;
        }
        step.tracking = state == 1;
        step.centroid = cv::Vec3d(v[0], v[1], v[2]);
        // The pose object holds R column by column.
        const cv::Matx33d rotation(v[6], v[9], v[12], v[7], v[10], v[13], v[8], v[11], v[14]);
        step.pose = CRigidMotion(rotation, cv::Vec3d(v[3], v[4], v[5]));
        steps_.push_back(step);
    }
    return true;
}

int CTrackLog::AnchorFrame(std::size_t k) const {
    if (k >= steps_.size() || !steps_[k].tracking) return -1;
    for (std::size_t j = k + 1; j-- > 0;) {
        if (steps_[j].Found()) return steps_[j].frame;
        if (!steps_[j].tracking) return -1;
    }
    return -1;
}
