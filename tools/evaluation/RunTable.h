// The printed table of tracking runs: one line per run, errors in degrees and millimetres.
#pragma once

#include <string>

#include "evaluation/CaseRuns.h"

// The explanation of the columns and the two header lines; faceCentroid says where the head-centre
// error is taken.
void PrintRunHeader(bool faceCentroid);
// verdict: printed at the end of the line (empty for none).
void PrintRunRow(const RunRow& row, const std::string& verdict = "");
