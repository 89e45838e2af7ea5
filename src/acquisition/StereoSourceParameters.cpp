#include "acquisition/StereoSourceParameters.h"

#include "common/ConfigReader.h"

void CStereoSourceParameters::Read(std::istream* in) {
    CConfigReader reader(in, "Param.cfg");
    std::string token;
    while (reader.NextToken(token)) {
        if (!ReadValue(reader, token)) break;
    }
}

bool CStereoSourceParameters::ReadValue(CConfigReader& reader, const std::string& keyword) {
    std::string word;
    if (keyword == "CAMERA_TYPE:") {
        if (!reader.Read(word)) return false;
        if (word == "SRI") cameraType = CAMERA_SRI;
        else if (word == "TRICLOPS") cameraType = CAMERA_TRICLOPS;
        else if (word == "FILES") cameraType = CAMERA_FILES;
        return true;
    }
    if (keyword == "PROJECTION:") {
        if (!reader.Read(word)) return false;
        if (word == "ORTHOGONAL") projection = PROJECTION_ORTHOGONAL;
        else if (word == "PERSPECTIVE") projection = PROJECTION_PERSPECTIVE;
        return true;
    }
    if (keyword == "CONFIG_FILENAME:") return reader.ReadPath(configFilename);
    if (keyword == "PRECOMPUTED_POSES_FILENAME:") return reader.Read(precomputedPosesFilename);
    if (keyword == "NB_LEVEL:") return reader.Read(nbLevel);
    if (keyword == "NB_FRAME_BY_LEVEL:") return reader.Read(nbFrameByLevel);
    if (keyword == "SCALE_NUMERATOR:") return reader.Read(scaleNumerator);
    if (keyword == "SCALE_DENOMINATOR:") return reader.Read(scaleDenominator);
    if (keyword == "TOP_LEFT_MASK:") return reader.Read(topLeftMaskX) && reader.Read(topLeftMaskY);
    if (keyword == "BOTTOM_RIGHT_MASK:") return reader.Read(bottomRightMaskX) && reader.Read(bottomRightMaskY);
    if (keyword == "MAX_FRAMES:")
        return reader.ReadChecked(keyword, maxFrames, [](int n) { return n <= kMaxFramesCeiling; },
                                  "at most " + std::to_string(kMaxFramesCeiling) + " frames, about 1.3 MB each");
    if (keyword == "MIN_DEPTH_MASK:") return reader.Read(minDepthMask);
    if (keyword == "MAX_DEPTH_MASK:") return reader.Read(maxDepthMask);
    return true;  // not a keyword: skipped
}
