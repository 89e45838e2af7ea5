// The host-loop runs of one written case (synth/HostLoopRun.h): every 3D path x configuration x
// matching mode the options ask for, summarised one row each, and their printed table.
#pragma once

#include <string>
#include <vector>

#include "evaluation/EvaluationOptions.h"
#include "evaluation/SequenceCase.h"
#include "synth/HostLoopRun.h"

struct HostRow {
    std::string trajectory;
    std::string caseLabel;
    std::string path;
    std::string config;
    std::string mode;
    int frames = 0;
    int returnFrame = -1;  // the face back in view after leaving it; -1: it never left
    HostLoopSummary summary;
};

// The face classifier the host loop uses: VANTOREL_CLASSIFIER when set, else the build's own.
std::string DefaultClassifier();

// Appends one row per run; false, with the reason in *error, when a run cannot be made.
bool RunHostCase(const SequenceCase& sequence, const WrittenCase& written, const EvaluationOptions& options,
                 std::vector<HostRow>& rows, std::string* error);

void PrintHostHeader(bool faceCentroid);
void PrintHostRow(const HostRow& row, const std::string& verdict = "");
