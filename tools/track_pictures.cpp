// Pictures of a tracking run, made from the log the Java runner wrote and the configuration folder
// it ran on: annotated frames (face box, face region, pose axes) as a contact sheet and a video,
// and a plot of the six pose components; with a ground-truth file, the errors of the tracked poses.
//
// The frames are replayed through the same stereo source, and the face search through the same
// initialiser, as in the run, so the face box and region are exactly the run's.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include "acquisition/StereoSource.h"
#include "host/ConvertToGray8.h"
#include "image/Image.h"
#include "init/TrackerInitializer.h"
#include "report/PoseErrors.h"
#include "report/TrackLog.h"
#include "report/TrackPictures.h"
#include "synth/GroundTruth.h"
#include "tracking/TrackedFrame.h"

namespace {

namespace fs = std::filesystem;

const char* kUsage =
    "usage: track_pictures CONFIG_DIR LOG_FILE OUTPUT_DIR [--truth GROUND_TRUTH] [--sheet-frames N]\n"
    "  writes OUTPUT_DIR/contact-sheet.png, tracking.avi and pose-plot.png; with --truth also prints\n"
    "  the rotation and translation errors of the tracked poses against the ground truth\n";

// The library's own progress lines (classifier loading, detector scales) are not this tool's
// output: stdout goes to /dev/null while one is alive.
class QuietStdout {
public:
    QuietStdout() {
        std::fflush(stdout);
        std::cout.flush();
        saved_ = ::dup(1);
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) ::dup2(null, 1), ::close(null);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        std::cout.flush();
        if (saved_ >= 0) ::dup2(saved_, 1), ::close(saved_);
    }
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    int saved_ = -1;
};

struct ReplayedStep {
    cv::Mat grey;  // the newest frame after the step, 0..255
    Projection projection;
    std::optional<cv::Rect2d> faceBox;
    std::optional<cv::Rect> region;
};

cv::Mat View(CImage* image) { return image ? iplFullView(image->GetIplImage()) : cv::Mat(); }

// The source scales intensities to 0..0.01; back to grey levels.
cv::Mat GreyOf(CTrackedFrame& frame) {
    cv::Mat grey;
    const cv::Mat intensity = View(frame.GetIntensity());
    if (!intensity.empty()) intensity.convertTo(grey, CV_8U, 25500.0);
    return grey;
}

// Replays the run's frames and its face search; false when the configuration cannot be read.
bool Replay(const std::string& folder, const CTrackLog& log, std::vector<ReplayedStep>& replayed) {
    std::ifstream param(folder + "/Param.cfg");
    std::ifstream init(folder + "/ParamInit.cfg");
    if (!param) {
        std::cerr << "track_pictures: cannot read " << folder << "/Param.cfg\n";
        return false;
    }
    std::unique_ptr<CStereoSource> source;
    std::unique_ptr<CTrackerInitializer> initializer;
    {
        QuietStdout quiet;
        source = std::make_unique<CStereoSource>(&param);
        initializer = std::make_unique<CTrackerInitializer>(init ? &init : nullptr);
    }
    bool tracking = false, warned = false;
    std::optional<cv::Rect2d> faceBox;
    std::optional<cv::Rect> region;
    for (const TrackLogStep& step : log.Steps()) {
        ReplayedStep out;
        source->GrabImage();
        CTrackedFrame* frame = source->GetCurrentFrame();
        bool found = false;
        if (frame && !tracking) {
            const std::unique_ptr<CImage> grey(ConvertToGray8(frame->GetIntensity(), nullptr));
            const std::unique_ptr<CImage> mask(ConvertToGray8(frame->GetMask(), nullptr));
            QuietStdout quiet;
            found = grey && mask && initializer->Detect(grey.get(), frame->GetDepth(), mask.get(), 0);
        }
        if (found) {
            const CFaceCandidate* face = initializer->GetSelected();
            if (face)
                faceBox = cv::Rect2d(face->GetLeft(), face->GetTop(), face->GetRight() - face->GetLeft(),
                                     face->GetBottom() - face->GetTop());
            const CTrackerInitializer& i = *initializer;
            region = cv::Rect(i.GetRegionLeft(), i.GetRegionTop(), i.GetRegionRight() - i.GetRegionLeft(),
                              i.GetRegionBottom() - i.GetRegionTop());
            source->SetRegion(i.GetRegionLeft(), i.GetRegionRight(), i.GetRegionTop(), i.GetRegionBottom(),
                              i.GetMinDepth(), i.GetMaxDepth());
        }
        if (found != step.Found() && !warned) {
            std::cerr << "track_pictures: the replay " << (found ? "found" : "did not find")
                      << " the face at step " << step.step
                      << ", unlike the run: boxes may be missing (a live camera does not replay; the classifier\n"
                         "  VANTOREL_CLASSIFIER names must be the run's)\n";
            warned = true;
        }
        tracking = step.tracking;
        if (step.Lost()) {
            initializer->Reset();
            source->Reset();
            source->ResetRegion();
            frame = source->GetCurrentFrame();
        }
        if (!tracking) faceBox.reset(), region.reset();
        if (frame) {
            out.grey = GreyOf(*frame);
            out.projection = FitProjection(View(frame->GetImageX()), View(frame->GetImageY()), View(frame->GetDepth()));
        }
        out.faceBox = faceBox;
        out.region = region;
        replayed.push_back(out);
    }
    return true;
}

std::string Fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    const std::string fixed = text;
    // A value that rounds to zero reads "0.0", whatever its sign.
    if (fixed[0] == '-' && fixed.find_first_not_of("0.", 1) == std::string::npos) return fixed.substr(1);
    return fixed;
}

FrameAnnotation Annotate(const TrackLogStep& step, const ReplayedStep& replayed, const StepTruth* truth) {
    FrameAnnotation a;
    a.tracking = step.tracking;
    a.faceBox = replayed.faceBox;
    a.faceFoundHere = step.Found();
    a.region = replayed.region;
    a.caption.push_back("frame " + std::to_string(step.frame) + (step.Found() ? "  face found" : step.tracking ? "  tracking" : "  detecting"));
    if (step.Tracked()) {
        const YawPitchRoll angles = ToYawPitchRoll(step.pose.Rotation());
        a.caption.push_back("yaw " + Fixed(angles.yaw, 1) + " pitch " + Fixed(angles.pitch, 1) + " roll " +
                            Fixed(angles.roll, 1));
        const cv::Vec3d t = step.pose.Translation();
        a.caption.push_back("t " + Fixed(t[0], 0) + " " + Fixed(t[1], 0) + " " + Fixed(t[2], 0) + " mm");
        if (truth && truth->valid) {
            const YawPitchRoll expected = ToYawPitchRoll(truth->motion.Rotation());
            a.caption.push_back("true yaw " + Fixed(expected.yaw, 1) + " pitch " + Fixed(expected.pitch, 1) +
                                " roll " + Fixed(expected.roll, 1));
        }
        a.drawAxes = true;
        a.centroid = step.centroid;
        a.rotation = step.pose.Rotation();
        a.projection = replayed.projection;
    }
    return a;
}

cv::Vec6d Components(const CRigidMotion& motion) {
    const YawPitchRoll angles = ToYawPitchRoll(motion.Rotation());
    const cv::Vec3d t = motion.Translation();
    return {angles.yaw, angles.pitch, angles.roll, t[0], t[1], t[2]};
}

// The run at a glance, small enough to show anywhere: the frame where the face was found and three
// tracked frames (a third, two thirds of the way and the largest turn), cropped around the face
// region and shown twice as large.
bool WriteOverview(const CTrackLog& log, const std::vector<ReplayedStep>& replayed, const std::vector<StepTruth>& truths,
                   const std::string& path) {
    const auto& steps = log.Steps();
    std::size_t found = steps.size();
    for (std::size_t k = 0; k < steps.size() && found == steps.size(); ++k)
        if (steps[k].Found() && replayed[k].region) found = k;
    if (found == steps.size()) return false;
    std::size_t runEnd = found + 1;
    while (runEnd < steps.size() && steps[runEnd].Tracked()) ++runEnd;
    if (runEnd - found < 4) return false;
    std::vector<std::size_t> chosen = {found, found + (runEnd - found) / 3, found + 2 * (runEnd - found) / 3};
    std::size_t turned = found + 1;
    for (std::size_t k = found + 1; k < runEnd; ++k)
        if (steps[k].pose.RotationAngle() > steps[turned].pose.RotationAngle()) turned = k;
    if (std::find(chosen.begin(), chosen.end(), turned) == chosen.end()) chosen.push_back(turned);
    else chosen.push_back(runEnd - 1);
    std::sort(chosen.begin(), chosen.end());

    const cv::Rect frameArea(0, 0, replayed[found].grey.cols, replayed[found].grey.rows);
    const cv::Rect region = *replayed[found].region;
    const cv::Rect crop = cv::Rect(region.x - 20, region.y - 20, region.width + 40, region.height + 40) & frameArea;
    if (crop.empty()) return false;
    const int scale = 2;
    const cv::Rect scaled(crop.x * scale, crop.y * scale, crop.width * scale, crop.height * scale);
    std::vector<cv::Mat> tiles;
    for (std::size_t k : chosen) {
        if (replayed[k].grey.empty()) continue;
        FrameAnnotation annotation = Annotate(steps[k], replayed[k], &truths[k]);
        // The caption goes above the crop, without the translation.
        std::vector<std::string> caption;
        for (const std::string& line : annotation.caption)
            if (line.rfind("t ", 0) != 0) caption.push_back(line);
        annotation.caption.clear();
        const cv::Mat picture = AnnotateFrame(replayed[k].grey, annotation, scale)(scaled);
        const int captionHeight = 66;
        cv::Mat captioned(picture.rows + captionHeight, picture.cols, CV_8UC3, cv::Scalar(30, 30, 30));
        picture.copyTo(captioned(cv::Rect(0, captionHeight, picture.cols, picture.rows)));
        for (std::size_t line = 0; line < caption.size(); ++line)
            cv::putText(captioned, caption[line], cv::Point(6, 18 + 20 * static_cast<int>(line)),
                        cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(255, 255, 255), 1, cv::LINE_AA);
        tiles.push_back(captioned);
    }
    return !tiles.empty() && cv::imwrite(path, ContactSheet(tiles, static_cast<int>(tiles.size())),
                                         {cv::IMWRITE_PNG_COMPRESSION, 9});
}

void PrintSummary(const char* what, const ErrorSummary& e, const char* unit) {
    std::printf("  %-12s RMS %6.2f %s   max %6.2f %s   last %6.2f %s\n", what, e.rms, unit, e.max, unit, e.last, unit);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    std::string truthPath;
    int sheetFrames = 12;
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        if (argument == "--truth" && k + 1 < argc) truthPath = argv[++k];
        else if (argument == "--sheet-frames" && k + 1 < argc) sheetFrames = std::max(1, std::atoi(argv[++k]));
        else if (!argument.empty() && argument[0] != '-') positional.push_back(argument);
        else {
            std::cerr << kUsage;
            return 2;
        }
    }
    if (positional.size() != 3) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string folder = positional[0], output = positional[2];
    CTrackLog log;
    std::string error;
    if (!log.Read(positional[1], &error)) {
        std::cerr << "track_pictures: " << error << "\n";
        return 1;
    }
    if (log.Steps().empty()) {
        std::cerr << "track_pictures: the log holds no step\n";
        return 1;
    }
    std::vector<ReplayedStep> replayed;
    if (!Replay(folder, log, replayed)) return 1;
    std::error_code made;
    fs::create_directories(output, made);

    // Ground truth, in the tracker's frame: the fitted projection tells whether Y points up.
    std::vector<StepTruth> truths(log.Steps().size());
    if (!truthPath.empty()) {
        CGroundTruth truth;
        if (!truth.Read(truthPath, &error)) {
            std::cerr << "track_pictures: " << error << "\n";
            return 1;
        }
        bool yUp = false;
        for (const ReplayedStep& r : replayed)
            if (r.projection.valid) {
                yUp = r.projection.YUp();
                break;
            }
        truths = TruthForSteps(log, truth, yUp);
        const TrackingErrors errors = CompareWithTruth(log, truths);
        if (errors.rotationDeg.count == 0) {
            std::printf("No tracked frame to compare with the ground truth.\n");
        } else {
            std::printf("Errors against the ground truth over %d tracked frames:\n", errors.rotationDeg.count);
            PrintSummary("rotation", errors.rotationDeg, "deg");
            PrintSummary("translation", errors.translationMm, "mm ");
        }
    }

    PoseSeries estimate, expected;
    std::vector<int> starts;
    for (std::size_t k = 0; k < log.Steps().size(); ++k) {
        const TrackLogStep& step = log.Steps()[k];
        if (step.Found()) starts.push_back(step.frame);
        estimate.frames.push_back(step.frame);
        estimate.values.push_back(step.tracking ? Components(step.pose) : cv::Vec6d::all(NAN));
        if (truths[k].valid) {
            expected.frames.push_back(step.frame);
            expected.values.push_back(Components(truths[k].motion));
        }
    }
    const std::string plotPath = output + "/pose-plot.png";
    const std::string title = "Head pose: motion from the frame where the face was found (camera frame, " +
                              std::string(replayed.front().projection.YUp() ? "Y up" : "Y down") + ")";
    const bool plotted = cv::imwrite(plotPath, PosePlot(estimate, expected, starts, title));

    // Video of every frame, twice the size; the contact sheet of a few, evenly spread, with the
    // finding frames always among them.
    const std::string videoPath = output + "/tracking.avi";
    cv::VideoWriter video(videoPath, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 15.0, cv::Size(640, 480));
    std::set<std::size_t> chosen;
    const std::size_t count = log.Steps().size();
    for (int k = 0; k < sheetFrames; ++k)
        chosen.insert(sheetFrames == 1 ? 0 : std::min(count - 1, static_cast<std::size_t>(std::lround(
                                                                 static_cast<double>(k) * (count - 1) / (sheetFrames - 1)))));
    for (std::size_t k = 0; k < count; ++k)
        if (log.Steps()[k].Found()) chosen.insert(k);
    while (static_cast<int>(chosen.size()) > sheetFrames) {
        // Drop the chosen non-finding step nearest to a finding step.
        auto victim = chosen.end();
        for (auto it = chosen.begin(); it != chosen.end(); ++it)
            if (!log.Steps()[*it].Found() && *it != 0 && *it != count - 1) {
                if (victim == chosen.end()) victim = it;
                if (it != chosen.begin() && log.Steps()[*std::prev(it)].Found()) {
                    victim = it;
                    break;
                }
            }
        if (victim == chosen.end()) break;
        chosen.erase(victim);
    }
    std::vector<cv::Mat> tiles;
    for (std::size_t k = 0; k < count; ++k) {
        if (replayed[k].grey.empty()) continue;
        const FrameAnnotation annotation = Annotate(log.Steps()[k], replayed[k], &truths[k]);
        if (video.isOpened()) video.write(AnnotateFrame(replayed[k].grey, annotation, 2));
        if (chosen.count(k)) tiles.push_back(AnnotateFrame(replayed[k].grey, annotation, 1));
    }
    video.release();
    const std::string sheetPath = output + "/contact-sheet.png";
    const bool sheeted = !tiles.empty() && cv::imwrite(sheetPath, ContactSheet(tiles, 4));
    const std::string overviewPath = output + "/overview.png";
    const bool overviewed = WriteOverview(log, replayed, truths, overviewPath);

    std::printf("Pictures:\n");
    if (sheeted) std::printf("  %s  (%zu annotated frames)\n", sheetPath.c_str(), tiles.size());
    if (fs::exists(videoPath)) std::printf("  %s  (%zu frames, MJPG)\n", videoPath.c_str(), count);
    if (plotted) std::printf("  %s\n", plotPath.c_str());
    if (overviewed) std::printf("  %s  (the finding frame and three tracked frames, around the face)\n", overviewPath.c_str());
    return sheeted && plotted ? 0 : 1;
}
