#include "acquisition/RecordedCameraConfig.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "common/ConfigReader.h"

namespace {

const char* const kWrittenKeywords[CRecordedCameraConfig::CHANNEL_COUNT] = {
    "INTENSITY_WRITTEN:", "DISPARITY_WRITTEN:", "X_COORD_WRITTEN:", "Y_COORD_WRITTEN:", "DEPTH_WRITTEN:"};
const char* const kSuffixKeywords[CRecordedCameraConfig::CHANNEL_COUNT] = {
    "INTENSITY_SUFFIX:", "DISPARITY_SUFFIX:", "X_COORD_SUFFIX:", "Y_COORD_SUFFIX:", "DEPTH_SUFFIX:"};
const char* const kDefaultSuffixes[CRecordedCameraConfig::CHANNEL_COUNT] = {"-i.pgm", "-d.pgm", "-x.pgm", "-y.pgm",
                                                                           "-z.pgm"};

}  // namespace

CRecordedCameraConfig::CRecordedCameraConfig() {
    for (int c = 0; c < CHANNEL_COUNT; ++c) channels[c] = {false, kDefaultSuffixes[c]};
}

void CRecordedCameraConfig::Read(std::istream* in) {
    CConfigReader reader(in, "the recorded camera's configuration");
    std::string token;
    while (reader.NextToken(token)) {
        if (!ReadValue(reader, token)) break;
    }
    // The step is deliberately not part of the default count: one pass over the indices.
    if (totalFrame == -1) {
        const long long span = std::llabs(static_cast<long long>(lastFileIndex) - firstFileIndex) + 1;
        totalFrame = span > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : static_cast<int>(span);
    }
}

bool CRecordedCameraConfig::ReadValue(CConfigReader& reader, const std::string& keyword) {
    std::string word;
    if (keyword == "RECORDED_CAMERA:") {
        if (!reader.Read(word)) return false;
        if (word == "SRI") recordedCamera = RECORDED_SRI;
        else if (word == "TRICLOPS") recordedCamera = RECORDED_TRICLOPS;
        return true;
    }
    if (keyword == "FILE_FORMAT:") {
        if (!reader.Read(word)) return false;
        if (word == "FORMAT_PGM") fileFormat = FORMAT_PGM;
        else if (word == "FORMAT_IFF") fileFormat = FORMAT_IFF;
        return true;
    }
    if (keyword == "CAMERA_CONFIG_FILENAME:") return reader.ReadPath(cameraConfigFilename);
    if (keyword == "INPUT_IMAGE_PATH:") {
        // The limit is on the path as written; a relative one is then taken from the file's folder.
        if (!reader.Read(word)) return false;
        if (word.size() <= kMaxInputImagePath) inputImagePath = reader.ResolvePath(word);
        else reader.Refuse(keyword, word, "longer than 199 characters", "\"" + inputImagePath + "\"");
        return true;
    }
    if (keyword == "FIRST_FILE_INDEX:") return reader.Read(firstFileIndex);
    if (keyword == "LAST_FILE_INDEX:") return reader.Read(lastFileIndex);
    if (keyword == "TOTAL_FRAME:") return reader.Read(totalFrame);
    if (keyword == "STEP_FILE_INDEX:") return reader.Read(stepFileIndex);
    if (keyword == "NB_PADDING_ZERO:")
        return reader.ReadChecked(keyword, nbPaddingZero, [](int n) { return n <= kMaxPaddingDigits; },
                                  "at most 20 digits");
    for (int c = 0; c < CHANNEL_COUNT; ++c) {
        if (keyword == kWrittenKeywords[c]) {
            if (!reader.Read(word)) return false;
            if (word == "YES") channels[c].written = true;
            else if (word == "NO") channels[c].written = false;
            return true;
        }
        if (keyword == kSuffixKeywords[c]) return reader.Read(channels[c].suffix);
    }
    if (keyword == "Z_NEAR:") return reader.Read(zNear);
    if (keyword == "Z_FAR:") return reader.Read(zFar);
    if (keyword == "IS_DISPARITY:") return reader.Read(isDisparity);
    const auto positive = [](float v) { return v > 0.0f && v <= kMaxCalibration; };
    const auto bounded = [](float v) { return std::fabs(v) <= kMaxCalibration; };
    if (keyword == "FOCAL:") return reader.ReadChecked(keyword, focal, positive, "a focal length above 0, at most 1e6 pixels");
    if (keyword == "BASELINE:") return reader.ReadChecked(keyword, baseline, positive, "a baseline above 0, at most 1e6");
    if (keyword == "IMAGE_CENTER:") {
        const char* rule = "at most 1e6 pixels either way";
        return reader.ReadChecked(keyword, imageCenterX, bounded, rule) &&
               reader.ReadChecked(keyword, imageCenterY, bounded, rule);
    }
    return true;  // not a keyword: skipped
}
