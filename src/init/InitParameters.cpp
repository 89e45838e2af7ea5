#include "init/InitParameters.h"

#include <cmath>
#include <string>

#include "common/ConfigReader.h"

namespace {

// Face region extents: beyond this many pixels a region only reaches past every frame.
constexpr int kMaxFaceExtentPixels = 100000;

bool ExtentPixels(int v) { return v >= 0 && v <= kMaxFaceExtentPixels; }
bool NotNegative(float v) { return v >= 0.0f; }
const char* const kExtentRule = "0 to 100000 pixels";

}  // namespace

void CInitParameters::Read(std::istream* in) {
    CConfigReader reader(in, "ParamInit.cfg");
    std::string key;
    while (reader.NextToken(key)) {
        if (key == "MAX_DISTANCE_CORNER:") {
            reader.ReadChecked(key, maxDistanceCorner, NotNegative, "a distance is not negative");
        } else if (key == "MIN_CORNER_MATCHES:") {
            reader.ReadChecked(key, minCornerMatches, [](int n) { return n <= 4; }, "a box has 4 coordinates");
        } else if (key == "NB_DETECT_BEFORE_INIT:") {
            reader.Read(nbDetectBeforeInit);
        } else if (key == "THRESHOLD_NB_HIT:") {
            reader.Read(thresholdNbHit);
        } else if (key == "THRESHOLD_NB_HIT_KEEP:") {
            reader.Read(thresholdNbHitKeep);
        } else if (key == "THRESHOLD_TIME:") {
            reader.Read(thresholdTime);
        } else if (key == "THRESHOLD_PIXEL_MASK:") {
            reader.Read(thresholdPixelMask);
        } else if (key == "SIZE_FACE_X:") {
            reader.ReadChecked(key, sizeFaceX, ExtentPixels, kExtentRule);
        } else if (key == "SIZE_FACE_Y:") {
            if (reader.ReadChecked(key, sizeFaceYAbove, ExtentPixels, kExtentRule))
                reader.ReadChecked(key, sizeFaceYBelow, ExtentPixels, kExtentRule);
        } else if (key == "SIZE_FACE_Z:") {
            const char* rule = "an extent is not negative";
            if (reader.ReadChecked(key, sizeFaceZFront, NotNegative, rule))
                reader.ReadChecked(key, sizeFaceZBehind, NotNegative, rule);
        } else if (key == "TOP_LEFT_MASK:") {
            if (reader.Read(topLeftMaskX)) reader.Read(topLeftMaskY);
        } else if (key == "BOTTOM_RIGHT_MASK:") {
            if (reader.Read(bottomRightMaskX)) reader.Read(bottomRightMaskY);
        } else if (key == "MIN_DEPTH_MASK:") {
            reader.Read(minDepthMask);
        } else if (key == "MAX_DEPTH_MASK:") {
            reader.Read(maxDepthMask);
        } else if (key == "MIN_BACKGROUND_GAP:") {
            reader.ReadChecked(key, minBackgroundGap, NotNegative, "a gap is not negative");
        } else if (key == "MIN_FACE_DEPTH_SHARE:") {
            reader.ReadChecked(
                key, minFaceDepthShare, [](float v) { return v >= 0.0f && v <= 1.0f; }, "a share is 0 to 1");
        } else if (key == "MAX_ROTATION:") {
            reader.ReadChecked(key, maxRotation, NotNegative, "an angle limit is not negative");
        } else if (key == "MAX_TRANSLATION:") {
            reader.ReadChecked(key, maxTranslation, NotNegative, "a length limit is not negative");
        } else if (key == "WINDOW_SIZES:") {
            reader.ReadChecked(
                key, windowSizes, [](int n) { return n >= 1 && n <= facedetect::kMaxScales; },
                "1 to " + std::to_string(facedetect::kMaxScales) + " window sizes");
        }
    }
    // Ranges no candidate can ever fall in: both bounds go back to their defaults.
    const CInitParameters defaults;
    if (minDepthMask > maxDepthMask) {
        reader.Refuse("MIN_DEPTH_MASK:", CConfigReader::Text(minDepthMask), "above MAX_DEPTH_MASK " +
                      CConfigReader::Text(maxDepthMask), "both defaults");
        minDepthMask = defaults.minDepthMask;
        maxDepthMask = defaults.maxDepthMask;
    }
    if (topLeftMaskX > bottomRightMaskX || topLeftMaskY > bottomRightMaskY) {
        reader.Refuse("TOP_LEFT_MASK:", CConfigReader::Text(topLeftMaskX) + " " + CConfigReader::Text(topLeftMaskY),
                      "right of or below BOTTOM_RIGHT_MASK " + CConfigReader::Text(bottomRightMaskX) + " " +
                          CConfigReader::Text(bottomRightMaskY),
                      "both defaults");
        topLeftMaskX = defaults.topLeftMaskX;
        topLeftMaskY = defaults.topLeftMaskY;
        bottomRightMaskX = defaults.bottomRightMaskX;
        bottomRightMaskY = defaults.bottomRightMaskY;
    }
}
