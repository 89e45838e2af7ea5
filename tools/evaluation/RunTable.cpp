#include "evaluation/RunTable.h"

#include <cstdio>

void PrintRunHeader(bool faceCentroid) {
    std::printf("rot: rotation error (deg); hc: head-centre error, how far apart the estimated and the true motion\n"
                "put the %s (mm); wrong: frames tracked with a rotation error above %.0f deg;\n"
                "ms: median time of one tracking step (peers: one pair); peers chain OpenCV's odometry over the\n"
                "same frames from the same start (failed: pairs it found no motion for)\n",
                faceCentroid ? "first tracked frame's face centroid" : "rendered head's centre", kWrongPoseDeg);
    std::printf("%-10s %-17s %-9s %-11s %-10s %-8s %-8s %5s | %7s %7s %7s | %7s %7s %7s | %5s %6s\n", "trajectory",
                "case", "path", "config", "mode", "gradient", "method", "pairs", "rot rms", "rot max", "rot end",
                "hc rms", "hc max", "hc end", "wrong", "ms");
    std::fflush(stdout);
}

void PrintRunRow(const RunRow& row, const std::string& verdict) {
    const TrackingErrors& e = row.errors;
    std::printf("%-10s %-17s %-9s %-11s %-10s %-8s %-8s %5d | %7.3f %7.3f %7.3f | %7.2f %7.2f %7.2f | %5d %6.2f",
                row.trajectory.c_str(), row.caseLabel.c_str(), row.path.c_str(), row.config.c_str(), row.mode.c_str(),
                row.gradient.c_str(), row.estimator.c_str(), e.rotationDeg.count, e.rotationDeg.rms, e.rotationDeg.max,
                e.rotationDeg.last, e.headCentreMm.rms, e.headCentreMm.max, e.headCentreMm.last, e.wrongPoses,
                row.msPerPair);
    if (row.failedPairs > 0) std::printf("  failed %d", row.failedPairs);
    if (!verdict.empty()) std::printf("  %s", verdict.c_str());
    std::printf("\n");
    std::fflush(stdout);
}
