#include "synth/RunConfiguration.h"

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

bool ReadText(const std::string& path, std::string& text, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return true;
}

bool WriteText(const std::string& path, const std::string& text, std::string* error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace

const std::vector<std::string>& RunConfigurationNames() {
    static const std::vector<std::string> names = {"defaults", "recommended"};
    return names;
}

std::string RunConfiguration::ParamFor(const std::string& folder, const std::string& path) const {
    return param + "\nCAMERA_TYPE: " + (path == "live" ? "SRI" : "FILES") + "\nCONFIG_FILENAME: " + folder +
           "/camera-" + path + ".cfg\n";
}

std::string WithoutKeywords(const std::string& text, const std::vector<std::string>& keys) {
    std::istringstream in(text);
    std::string line, kept;
    while (std::getline(in, line)) {
        std::istringstream tokens(line);
        std::string first;
        tokens >> first;
        if (std::find(keys.begin(), keys.end(), first) == keys.end()) kept += line + "\n";
    }
    return kept;
}

bool LoadRunConfiguration(const std::string& name, const std::string& folder, RunConfiguration& configuration,
                          std::string* error) {
    configuration = RunConfiguration();
    configuration.name = name;
    if (name == "defaults") return true;
    if (name != "recommended") {
        if (error) *error = "unknown configuration " + name + " (defaults or recommended)";
        return false;
    }
    std::string param, tracker;
    if (!ReadText(folder + "/Param.cfg", param, error) || !ReadText(folder + "/ParamInit.cfg", configuration.init, error) ||
        !ReadText(folder + "/ParamTrackerZBCCE.cfg", tracker, error))
        return false;
    configuration.param = WithoutKeywords(param, {"CAMERA_TYPE:", "CONFIG_FILENAME:"});
    configuration.tracker = WithoutKeywords(tracker, {"RESULTS_FILE:", "POSES_FILE:"});
    return true;
}

bool WriteRunConfiguration(const RunConfiguration& configuration, const std::string& folder, const std::string& path,
                           const std::string& directory, std::string* error) {
    return WriteText(directory + "/Param.cfg", configuration.ParamFor(folder, path), error) &&
           WriteText(directory + "/ParamInit.cfg", configuration.init, error) &&
           WriteText(directory + "/ParamTrackerZBCCE.cfg", configuration.tracker, error);
}
