// The "Param.cfg" record of the stereo source: which camera, its configuration file, the default
// depth-mask region and how many frames to keep.
//
// Read from a token stream (see common/ConfigReader.h); a null or unopened stream leaves every
// default. A relative CONFIG_FILENAME is taken relative to the folder of "Param.cfg"; a MAX_FRAMES
// above kMaxFramesCeiling is refused with a message and the previous value kept. projection
// selects the pose tracker's image model (weak perspective by default); precomputedPosesFilename,
// nbLevel, nbFrameByLevel, scaleNumerator and scaleDenominator are kept for the recording tools
// and used by nothing here.
#pragma once

#include <istream>
#include <string>

class CConfigReader;

// A plain record: the stereo source reads its fields directly.
class CStereoSourceParameters {
public:
    enum CameraType { CAMERA_SRI = 0, CAMERA_TRICLOPS = 1, CAMERA_FILES = 2 };
    enum Projection { PROJECTION_ORTHOGONAL = 1, PROJECTION_PERSPECTIVE = 2 };

    // Keyframe matching compares every stored frame at each step: at this many a step stays
    // under a second.
    static constexpr int kMaxFramesCeiling = 500;

    void Read(std::istream* in);

    int cameraType = CAMERA_SRI;
    std::string configFilename;
    std::string precomputedPosesFilename;
    int nbLevel = 1;
    int nbFrameByLevel = 1;
    int scaleNumerator = 2;
    int scaleDenominator = 2;
    int topLeftMaskX = -1;
    int topLeftMaskY = -1;
    int bottomRightMaskX = -1;
    int bottomRightMaskY = -1;
    int maxFrames = 100;
    float minDepthMask = -1.0f;  // -1: no bound
    float maxDepthMask = -1.0f;  // -1: no bound
    int projection = PROJECTION_ORTHOGONAL;

private:
    // One keyword's value(s); false when a value did not parse, which ends the reading.
    bool ReadValue(CConfigReader& reader, const std::string& keyword);
};
