#include "init/InitParameters.h"

#include <string>

#include "common/ConfigReader.h"

void CInitParameters::Read(std::istream* in) {
    CConfigReader reader(in);
    std::string key;
    while (reader.NextToken(key)) {
        if (key == "MAX_DISTANCE_CORNER:") {
            reader.Read(maxDistanceCorner);
        } else if (key == "MIN_CORNER_MATCHES:") {
            reader.Read(minCornerMatches);
        } else if (key == "NB_DETECT_BEFORE_INIT:") {
            reader.Read(nbDetectBeforeInit);
        } else if (key == "THRESHOLD_NB_HIT:") {
            reader.Read(thresholdNbHit);
        } else if (key == "THRESHOLD_TIME:") {
            reader.Read(thresholdTime);
        } else if (key == "THRESHOLD_PIXEL_MASK:") {
            reader.Read(thresholdPixelMask);
        } else if (key == "SIZE_FACE_X:") {
            reader.Read(sizeFaceX);
        } else if (key == "SIZE_FACE_Y:") {
            if (reader.Read(sizeFaceYAbove)) reader.Read(sizeFaceYBelow);
        } else if (key == "SIZE_FACE_Z:") {
            if (reader.Read(sizeFaceZFront)) reader.Read(sizeFaceZBehind);
        } else if (key == "TOP_LEFT_MASK:") {
            if (reader.Read(topLeftMaskX)) reader.Read(topLeftMaskY);
        } else if (key == "BOTTOM_RIGHT_MASK:") {
            if (reader.Read(bottomRightMaskX)) reader.Read(bottomRightMaskY);
        } else if (key == "MIN_DEPTH_MASK:") {
            reader.Read(minDepthMask);
        } else if (key == "MAX_DEPTH_MASK:") {
            reader.Read(maxDepthMask);
        } else if (key == "MAX_ROTATION:") {
            reader.Read(maxRotation);
        } else if (key == "MAX_TRANSLATION:") {
            reader.Read(maxTranslation);
        }
    }
}
