// The configuration a measured tracking run uses: the texts of "Param.cfg", "ParamInit.cfg" and
// "ParamTrackerZBCCE.cfg", by name.
//
//   defaults     every file empty: every setting at its built-in default (LAMBDA 1, PROJECTION
//                ORTHOGONAL, MATCH_PREVIOUS, ...)
//   recommended  the files the sequence writer put into the sequence's folder, read back, so the
//                runs follow whatever tools/render_sequence recommends without edits here
//
// Keyword lines ("KEY: value") added afterwards override what the texts say: the readers keep
// the last value of a keyword. The camera lines (CAMERA_TYPE, CONFIG_FILENAME) are added per 3D
// path; the tracker's output files (RESULTS_FILE, POSES_FILE) are left out of measured runs.
#pragma once

#include <string>
#include <vector>

struct RunConfiguration {
    std::string name;
    std::string param;    // without the camera lines
    std::string init;
    std::string tracker;  // without output files

    void AddParamKeyword(const std::string& line) { param += line + "\n"; }
    void AddInitKeyword(const std::string& line) { init += line + "\n"; }
    void AddTrackerKeyword(const std::string& line) { tracker += line + "\n"; }

    // Param.cfg for a folder written by the sequence writer, replayed through one 3D path: xyz,
    // disparity, iff (the recorded camera) or live (the live camera matching the stereo pairs).
    std::string ParamFor(const std::string& folder, const std::string& path) const;
};

const std::vector<std::string>& RunConfigurationNames();

// False, with the reason in *error, for an unknown name or a recommended file that cannot be read.
bool LoadRunConfiguration(const std::string& name, const std::string& folder, RunConfiguration& configuration,
                          std::string* error);

// The text without the lines whose first token is one of `keys` (a line holds one keyword).
std::string WithoutKeywords(const std::string& text, const std::vector<std::string>& keys);

// Writes the three files into `directory` (with the camera of `path` for the sequence in
// `folder`), so the host's own tracker context can be built from it.
bool WriteRunConfiguration(const RunConfiguration& configuration, const std::string& folder, const std::string& path,
                           const std::string& directory, std::string* error);
