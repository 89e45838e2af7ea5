// The tracking runs of one written case: every 3D path x configuration x gradient x matching mode
// the options ask for, replayed as synth/TrackingRun.h describes, summarised one row each.
#pragma once

#include <string>
#include <vector>

#include "evaluation/EvaluationOptions.h"
#include "evaluation/SequenceCase.h"
#include "synth/RunConfiguration.h"
#include "synth/TrackingErrors.h"
#include "synth/TrackingRun.h"

struct RunRow {
    std::string trajectory;
    std::string caseLabel;
    std::string path;
    std::string config;
    std::string mode;
    std::string gradient;             // as the tracker read it
    std::string estimator = "tracker";  // or the peer's name
    TrackingErrors errors;
    double msPerPair = 0.0;  // median time of one tracking step
    int failedPairs = 0;     // peers: pairs OpenCV found no motion for
};

// The case of the options for one trajectory at one distance and focal length.
SequenceCase CaseFromOptions(const EvaluationOptions& options, const std::string& trajectory, double distanceMm,
                             double focalPx);

// The configuration `name` for the case in `folder`, with the mode's and the gradient's keywords
// (empty: as configured) and then the options' own keyword lines.
bool BuildRunConfiguration(const EvaluationOptions& options, const std::string& name, const std::string& folder,
                           const MatchMode& mode, const std::string& gradient, RunConfiguration& configuration,
                           std::string* error);

// Appends one row per run; false, with the reason in *error, when a run cannot be made.
bool RunSequenceCase(const SequenceCase& sequence, const WrittenCase& written, const EvaluationOptions& options,
                     std::vector<RunRow>& rows, std::string* error);

// Median of the per-frame step times, in milliseconds.
double MedianMilliseconds(std::vector<double> seconds);
