#include "tracking/TrackerParameters.h"

#include <cmath>
#include <cstddef>
#include <string>

#include "common/ConfigReader.h"

namespace {

struct Keyword {
    const char* word;
    int code;
};

const Keyword kMatchFunctions[] = {
    {"MATCH_PREVIOUS", CTrackerParameters::MATCH_PREVIOUS},
    {"MATCH_FIRST", CTrackerParameters::MATCH_FIRST},
    {"MATCH_FIRST_AS_END", CTrackerParameters::MATCH_FIRST_AS_END},
    {"MATCH_INTENSITY", CTrackerParameters::MATCH_INTENSITY},
    {"MATCH_INTENSITY_DYNAMIC", CTrackerParameters::MATCH_INTENSITY_DYNAMIC},
    {"MATCH_INTENSITY_WITH_PREVIOUS", CTrackerParameters::MATCH_INTENSITY_WITH_PREVIOUS},
    {"MATCH_COVARIANCE", CTrackerParameters::MATCH_COVARIANCE},
    {"MATCH_COVARIANCE_DYNAMIC", CTrackerParameters::MATCH_COVARIANCE_DYNAMIC},
};

const Keyword kMergePoses[] = {
    {"POSE_AVERAGE", CTrackerParameters::POSE_AVERAGE},
    {"POSE_WEIGHTED_AVERAGE", CTrackerParameters::POSE_WEIGHTED_AVERAGE},
    {"POSE_FIRST", CTrackerParameters::POSE_FIRST},
    {"POSE_COVARIANCE", CTrackerParameters::POSE_COVARIANCE},
};

const Keyword kGradients[] = {
    {"DOUBLE", CTrackerParameters::DOUBLE},
    {"DIRECT", CTrackerParameters::DIRECT},
    {"ANALYTIC", CTrackerParameters::ANALYTIC},
};

const Keyword kRobustWeights[] = {
    {"NONE", CTrackerParameters::ROBUST_NONE},
    {"HUBER", CTrackerParameters::ROBUST_HUBER},
    {"TUKEY", CTrackerParameters::ROBUST_TUKEY},
};

const Keyword kRowWeights[] = {
    {"LAMBDA", CTrackerParameters::ROWS_LAMBDA},
    {"NOISE", CTrackerParameters::ROWS_NOISE},
};

const Keyword kBrightness[] = {
    {"CONSTANT", CTrackerParameters::BRIGHTNESS_CONSTANT},
    {"GAIN", CTrackerParameters::BRIGHTNESS_GAIN},
    {"SHADING", CTrackerParameters::BRIGHTNESS_SHADING},
};
const Keyword kDepthSmoothings[] = {
    {"PLAIN", CTrackerParameters::DEPTH_PLAIN},
    {"TEXTURE", CTrackerParameters::DEPTH_TEXTURE},
    {"TEXTURE_BRIGHTNESS", CTrackerParameters::DEPTH_TEXTURE_BRIGHTNESS},
    {"QUADRATIC", CTrackerParameters::DEPTH_QUADRATIC},
};
const Keyword kJacobianDepths[] = {
    {"REFERENCE", CTrackerParameters::JACOBIAN_REFERENCE},
    {"DOUBLE", CTrackerParameters::JACOBIAN_DOUBLE},
};
const Keyword kComparisons[] = {
    {"IMAGE", 0},
    {"REGION", 1},
};

const Keyword kYesNo[] = {
    {"NO", 0},
    {"YES", 1},
};

// Reads one keyword; an unknown one leaves the code as it was.
template <std::size_t n>
bool ReadKeyword(CConfigReader& reader, const Keyword (&table)[n], int& code) {
    std::string word;
    if (!reader.Read(word)) return false;
    for (const Keyword& keyword : table)
        if (word == keyword.word) code = keyword.code;
    return true;
}

// A whole number from `low` to `high`; `unit` names what it counts in the refusal.
bool ReadCount(CConfigReader& reader, const std::string& key, int& value, int low, int high, const char* unit) {
    return reader.ReadChecked(key, value, [=](int n) { return n >= low && n <= high; },
                              std::to_string(low) + " to " + std::to_string(high) + " " + unit);
}

bool ReadSwitch(CConfigReader& reader, bool& value) {
    int code = value ? 1 : 0;
    if (!ReadKeyword(reader, kYesNo, code)) return false;
    value = code != 0;
    return true;
}

}  // namespace

void CTrackerParameters::Read(std::istream& in) {
    CConfigReader reader(&in, "ParamTrackerZBCCE.cfg");
    std::string key;
    bool ok = true;
    while (ok && reader.NextToken(key)) {
        if (key == "RESULTS_FILE:") ok = reader.ReadPath(resultsFileName);
        else if (key == "POSES_FILE:") ok = reader.ReadPath(posesFileName);
        else if (key == "LAMBDA:")
            ok = reader.ReadChecked(key, lambda, [](float v) { return std::fabs(v) <= kMaxLambda; },
                                    "the depth rows' weight is at most 1e6 either way");
        else if (key == "COMPARE_THRESHOLD:") ok = reader.Read(compareThreshold);
        else if (key == "MATCH_FUNCTION:") ok = ReadKeyword(reader, kMatchFunctions, matchFunction);
        else if (key == "NB_MAX_BEST_MATCH:")
            ok = reader.ReadChecked(key, maxBestMatches, [](int n) { return n <= kMaxBestMatchesCeiling; },
                                    "at most " + std::to_string(kMaxBestMatchesCeiling) + " frame pairs a step");
        else if (key == "MERGE_POSE:") ok = ReadKeyword(reader, kMergePoses, mergePose);
        else if (key == "GRADIENT:") ok = ReadKeyword(reader, kGradients, gradient);
        else if (key == "ITERATIONS:") ok = ReadCount(reader, key, iterations, 0, kMaxIterations, "iterations a level");
        else if (key == "PYRAMID_LEVELS:") ok = ReadCount(reader, key, pyramidLevels, 1, kMaxPyramidLevels, "levels");
        else if (key == "FINE_STRIDE:") ok = ReadCount(reader, key, fineStride, 1, kMaxFineStride, "pixels");
        else if (key == "FINE_SMOOTHING:")
            ok = ReadCount(reader, key, fineSmoothing, 1, kMaxFineSmoothing, "passes");
        else if (key == "MASK_EROSION:") ok = ReadCount(reader, key, maskErosion, 0, kMaxMaskErosion, "erosions");
        else if (key == "DEPTH_EROSION:") ok = ReadCount(reader, key, depthErosion, 0, kMaxMaskErosion, "erosions");
        else if (key == "OUTLINE_FILL:") ok = ReadCount(reader, key, outlineFill, 0, kMaxOutlineFill, "pixels");
        else if (key == "ROBUST_WEIGHTS:") ok = ReadKeyword(reader, kRobustWeights, robustWeights);
        else if (key == "ROW_WEIGHTS:") ok = ReadKeyword(reader, kRowWeights, rowWeights);
        else if (key == "BRIGHTNESS:") ok = ReadKeyword(reader, kBrightness, brightness);
        else if (key == "DEPTH_SMOOTHING:") ok = ReadKeyword(reader, kDepthSmoothings, depthSmoothing);
        else if (key == "JACOBIAN_DEPTH:") ok = ReadKeyword(reader, kJacobianDepths, jacobianDepth);
        else if (key == "MIN_INLIER_SHARE:") ok = reader.Read(minInlierShare);
        else if (key == "MIN_FACE_SHARE:") ok = reader.Read(minFaceShare);
        else if (key == "MAX_RESIDUAL:") ok = reader.Read(maxResidual);
        else if (key == "REQUIRE_CONVERGENCE:") ok = ReadSwitch(reader, requireConvergence);
        else if (key == "FOLLOW_REGION:") ok = ReadSwitch(reader, followRegion);
        else if (key == "DEPTH_NOISE_CORRECTION:") ok = ReadSwitch(reader, depthNoiseCorrection);
        else if (key == "MAX_FRAME_ROTATION:")
            ok = reader.ReadChecked(key, maxFrameRotationDeg, [](float d) { return d >= 0.0f && d <= 180.0f; },
                                    "0 (any) to 180 degrees");
        else if (key == "OCCLUSION_GAP:")
            ok = reader.ReadChecked(key, occlusionGap, [](float g) { return g >= 0.0f && std::isfinite(g); },
                                    "not negative (0: never hidden)");
        else if (key == "KEYFRAME_COMPARISON:") {
            int code = compareRegion ? 1 : 0;
            ok = ReadKeyword(reader, kComparisons, code);
            compareRegion = code != 0;
        }
    }
}
