// The pose tracker's settings, read from "ParamTrackerZBCCE.cfg".
//
// The file is a stream of whitespace-separated tokens: a key ("LAMBDA:", ...) is followed by its
// value token; a token starting with "#" comments out the rest of its line; other tokens are
// skipped. Keys and keywords match exactly (case and trailing colon included); the last
// occurrence of a key wins; a keyword outside the table leaves its field as it was. Reading stops
// at the end of the stream or at the first value that does not parse, keeping what was read.
// Values that cannot work (a LAMBDA beyond +-kMaxLambda, an NB_MAX_BEST_MATCH above
// kMaxBestMatchesCeiling) are refused with a message and the previous value kept. Relative output
// file names are taken relative to the configuration file's folder when the stream carries it.
#pragma once

#include <istream>
#include <string>

class CTrackerParameters {
public:
    enum MatchFunction {
        MATCH_PREVIOUS = 1,
        MATCH_FIRST = 2,
        MATCH_FIRST_AS_END = 3,
        MATCH_INTENSITY = 5,
        MATCH_INTENSITY_DYNAMIC = 6,
        MATCH_INTENSITY_WITH_PREVIOUS = 7,
        MATCH_COVARIANCE = 8,
        MATCH_COVARIANCE_DYNAMIC = 9,
    };
    enum MergePose {
        POSE_AVERAGE = 1,
        POSE_WEIGHTED_AVERAGE = 2,
        POSE_FIRST = 3,
        POSE_COVARIANCE = 4,
    };
    enum Gradient {
        DOUBLE = 1,    // both frames' 5-tap gradients averaged, prefiltered differences
        DIRECT = 2,    // the reference frame's 5-tap gradients, raw differences
        ANALYTIC = 3,  // masked Gaussian smoothing, 3-tap gradients
    };

    static constexpr float kMaxLambda = 1e6f;
    // Each pair is one estimation: this many keep a step well under a second.
    static constexpr int kMaxBestMatchesCeiling = 10;

    CTrackerParameters() = default;
    explicit CTrackerParameters(std::istream& in) { Read(in); }

    void Read(std::istream& in);

    std::string resultsFileName;
    std::string posesFileName;
    float lambda = 1.0f;            // weight of the depth rows; 0, -1 and -10 select special layouts
    float compareThreshold = 1.0f;  // read and kept; nothing uses it
    int matchFunction = MATCH_PREVIOUS;
    int maxBestMatches = 2;
    int mergePose = POSE_FIRST;
    int gradient = DOUBLE;
};
