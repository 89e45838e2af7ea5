#include "evaluation/HostRuns.h"

#include <cstdio>
#include <cstdlib>

#include "evaluation/CaseRuns.h"

std::string DefaultClassifier() {
    const char* configured = std::getenv("VANTOREL_CLASSIFIER");
    if (configured && *configured) return configured;
    return std::string(VANTOREL_BUILD_DIR) + "/classifier/Classifier.txt";
}

bool RunHostCase(const SequenceCase& sequence, const WrittenCase& written, const EvaluationOptions& options,
                 std::vector<HostRow>& rows, std::string* error) {
    for (const std::string& path : sequence.paths)
        for (const std::string& config : options.configs)
            for (const std::string& modeName : options.modes) {
                const MatchMode* mode = FindMatchMode(modeName);
                if (!mode) {
                    if (error) *error = "unknown mode " + modeName;
                    return false;
                }
                HostLoopOptions run;
                run.folder = written.folder;
                run.path = path;
                run.yUpFiles = sequence.yUp;
                run.runDirectory = written.folder + "/host-run";
                run.classifier = DefaultClassifier();
                run.centre = options.faceCentroid ? CentrePoint::kFaceCentroid : CentrePoint::kHeadCentre;
                const std::string gradient = options.gradients.empty() ? "" : options.gradients.front();
                if (!BuildRunConfiguration(options, config, written.folder, *mode, gradient, run.configuration, error))
                    return false;
                std::vector<HostStep> steps;
                if (!RunHostLoop(run, written.truth, steps, error)) return false;
                if (options.verbose)
                    for (const HostStep& s : steps)
                        std::printf("  %4d %-9s%s%s anchor %4d | %6.3f deg %7.2f mm\n", s.fileIndex,
                                    s.tracking ? "tracking" : "detecting", s.found ? " found" : "",
                                    s.lost ? " lost" : "", s.anchor, s.error.rotationDeg, s.error.headCentreMm);
                HostRow row;
                row.trajectory = sequence.trajectory;
                row.caseLabel = sequence.Label();
                row.path = path;
                row.config = config;
                row.mode = modeName;
                row.frames = written.frameCount;
                row.returnFrame = written.ReturnFrame();
                row.summary = SummariseHostLoop(steps, written.headVisible, row.returnFrame);
                rows.push_back(row);
            }
    return true;
}

void PrintHostHeader(bool faceCentroid) {
    std::printf("through the host's loop (detection, tracking, Validate, loss, new search): tracked frames,\n"
                "their rotation (deg) and head-centre errors (mm, at the %s), wrong: tracked\n"
                "with a rotation error above %.0f deg; found: first detection; lost / again: losses and later\n"
                "detections; gone: frames tracked while no head pixel is in view; back: the frame the face is\n"
                "in view again; restart: the next detection after it left, and how many frames after its return\n",
                faceCentroid ? "first tracked frame's face centroid" : "rendered head's centre", kWrongPoseDeg);
    std::printf("%-10s %-17s %-9s %-11s %-10s %7s | %7s %7s | %7s %7s | %5s | %5s %4s %5s %4s | %4s %7s %5s\n",
                "trajectory", "case", "path", "config", "mode", "tracked", "rot rms", "rot max", "hc rms", "hc max",
                "wrong", "found", "lost", "again", "gone", "back", "restart", "after");
    std::fflush(stdout);
}

void PrintHostRow(const HostRow& row, const std::string& verdict) {
    const HostLoopSummary& s = row.summary;
    std::printf("%-10s %-17s %-9s %-11s %-10s %7d | %7.3f %7.3f | %7.2f %7.2f | %5d | %5d %4d %5d %4d | %4d %7d %5d",
                row.trajectory.c_str(), row.caseLabel.c_str(), row.path.c_str(), row.config.c_str(), row.mode.c_str(),
                s.tracked.rotationDeg.count, s.tracked.rotationDeg.rms, s.tracked.rotationDeg.max,
                s.tracked.headCentreMm.rms, s.tracked.headCentreMm.max, s.tracked.wrongPoses, s.firstFound, s.losses,
                s.restarts, s.trackedWhileGone, row.returnFrame, s.restartFrame, s.framesToRestart);
    if (!verdict.empty()) std::printf("  %s", verdict.c_str());
    std::printf("\n");
    std::fflush(stdout);
}
