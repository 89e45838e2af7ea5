#include "support/RecordingFolder.h"

#include <unistd.h>

#include <atomic>
#include <fstream>

namespace {
std::atomic<int> folderCount{0};
}

RecordingFolder::RecordingFolder() {
    root = std::filesystem::temp_directory_path() /
           ("vantorel_recording_" + std::to_string(::getpid()) + "_" + std::to_string(folderCount++));
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root);
}

RecordingFolder::~RecordingFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
}

std::string RecordingFolder::Path(const std::string& name) const { return (root / name).string(); }

std::string RecordingFolder::WriteText(const std::string& name, const std::string& text) const {
    const std::string path = Path(name);
    std::ofstream(path) << text;
    return path;
}
