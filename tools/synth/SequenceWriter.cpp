#include "synth/SequenceWriter.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "image/Image.h"
#include "platform/imagefile/imagefile.h"

namespace {

// The recorded camera's image path holds at most 199 characters.
constexpr std::size_t kMaxImagePath = 199;

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

int DecimalDigits(long value) {
    int digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

// Through the system's own image writer, so recorded files and their reader share one format.
bool SaveImageFile(const cv::Mat& pixels, int depth, const std::string& path) {
    CImage image(pixels.cols, pixels.rows, depth, 1, IPL_DATA_ORDER_PIXEL);
    if (!image.GetIplImage()) return false;
    image.Allocate();
    pixels.copyTo(iplFullView(image.GetIplImage()));
    return image.Save(path.c_str(), 0) == 1;
}

// Later lines win: the caller's settings replace the written ones.
std::string ExtraLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

}  // namespace

std::string PaddedIndex(int index, int nbPaddingZero) {
    std::string text;
    if (nbPaddingZero > 1) {
        long p = 1;
        for (int k = 1; k < nbPaddingZero; ++k) p *= 10;
        while (p > index && p != 1) {
            text += '0';
            p /= 10;
        }
    }
    return text + std::to_string(index);
}

std::unique_ptr<CSequenceWriter> CSequenceWriter::Create(const SequenceOptions& requested, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return nullptr;
    };
    SequenceOptions options = requested;
    if (options.folder.empty()) return fail("no output folder given");
    std::error_code code;
    std::filesystem::path folder = std::filesystem::absolute(options.folder, code).lexically_normal();
    if (code) return fail("cannot make an absolute path of " + options.folder);
    options.folder = folder.string();
    while (options.folder.size() > 1 && options.folder.back() == '/') options.folder.pop_back();
    // Configuration files are streams of blank-separated tokens: a blank would split the path.
    if (std::any_of(options.folder.begin(), options.folder.end(), [](unsigned char c) { return std::isspace(c); }))
        return fail("the output folder's path must not contain white space: " + options.folder);
    if (options.frameCount < 1 || options.firstIndex < 0 ||
        static_cast<long>(options.firstIndex) + options.frameCount - 1 > INT_MAX)
        return fail("frame indices out of range");
    if ((options.forms & kFormAll) == 0 || (options.forms & ~static_cast<unsigned>(kFormAll)) != 0)
        return fail("no valid file form chosen");
    const std::string& camera = options.trackerCamera;
    const bool cameraWritten = (camera == "xyz" && (options.forms & kFormPgm)) ||
                               (camera == "disparity" && (options.forms & kFormPgm) && (options.forms & kFormDisparity)) ||
                               (camera == "iff" && (options.forms & kFormIff)) ||
                               (camera == "live" && (options.forms & kFormPng));
    if (!cameraWritten) return fail("the tracker's camera '" + camera + "' is unknown or its files are not written");

    std::unique_ptr<CSequenceWriter> writer(new CSequenceWriter(options));
    const std::string imagePath = options.folder + "/frame";
    if (imagePath.size() > kMaxImagePath)
        return fail("the output folder's path is too long for the recorded camera (at most " +
                    std::to_string(kMaxImagePath - 6) + " characters)");
    std::filesystem::create_directories(folder, code);
    if (code || !std::filesystem::is_directory(folder)) return fail("cannot create the folder " + options.folder);
    return writer;
}

CSequenceWriter::CSequenceWriter(const SequenceOptions& options)
    : options_(options), paddingZeros_(std::max(4, DecimalDigits(static_cast<long>(options.firstIndex) +
                                                                 options.frameCount - 1))) {}

std::string CSequenceWriter::BaseName(int index) const { return Path("frame" + PaddedIndex(index, paddingZeros_)); }

std::string CSequenceWriter::PngPath(const std::string& side, int index) const {
    return Path(side + "-" + PaddedIndex(index, paddingZeros_) + ".png");
}

bool CSequenceWriter::WriteFrame(int index, const RenderedFrame& frame, std::string* error) const {
    auto fail = [&](const std::string& file) {
        if (error) *error = "cannot write " + file;
        return false;
    };
    const StereoRig& c = options_.camera;
    const cv::Size size(c.width, c.height);
    bool matches = true;
    for (const cv::Mat* image : {&frame.left, &frame.right})
        matches = matches && image->size() == size && image->type() == CV_8UC1;
    for (const cv::Mat* image : {&frame.x, &frame.y, &frame.z})
        matches = matches && image->size() == size && image->type() == CV_32FC1;
    if (!matches) {
        if (error) *error = "frame does not match the camera";
        return false;
    }
    const std::string base = BaseName(index);
    if (options_.forms & kFormPgm) {
        const cv::Mat y = options_.yUp ? cv::Mat(-frame.y) : frame.y;
        if (!SaveImageFile(frame.left, IPL_DEPTH_8U, base + "-i.pgm")) return fail(base + "-i.pgm");
        if (!SaveImageFile(frame.x, IPL_DEPTH_32F, base + "-x.pgm")) return fail(base + "-x.pgm");
        if (!SaveImageFile(y, IPL_DEPTH_32F, base + "-y.pgm")) return fail(base + "-y.pgm");
        if (!SaveImageFile(frame.z, IPL_DEPTH_32F, base + "-z.pgm")) return fail(base + "-z.pgm");
    }
    if (options_.forms & kFormDisparity) {
        // 1/16 pixel; the reader takes the samples as signed, so they stop at 32767. A pixel
        // without depth gets disparity 0, which the reader turns into a point far beyond any mask.
        cv::Mat disparity(size, CV_16U);
        const double scale = 16.0 * c.focalPx * c.baselineMm;
        for (int j = 0; j < c.height; ++j)
            for (int i = 0; i < c.width; ++i) {
                const float z = frame.z.at<float>(j, i);
                disparity.at<unsigned short>(j, i) =
                    z > 0.0f ? static_cast<unsigned short>(std::clamp(std::lround(scale / z), 0L, 32767L)) : 0;
            }
        if (!SaveImageFile(disparity, IPL_DEPTH_16U, base + "-d.pgm")) return fail(base + "-d.pgm");
    }
    if (options_.forms & kFormIff) {
        // Inverse depth 0 where there is no depth: the reader's far plane.
        cv::Mat inverseDepth;
        cv::divide(1.0, frame.z, inverseDepth);
        inverseDepth.setTo(0.0f, frame.z <= 0.0f);
        const cv::Mat left = frame.left.isContinuous() ? frame.left : frame.left.clone();
        if (ILsave((base + ".iff").c_str(), c.width, c.height, IL_TYPE_GRAY | IL_TYPE_RANGE, left.ptr<unsigned char>(),
                   inverseDepth.ptr<float>()) != 0)
            return fail(base + ".iff");
    }
    if (options_.forms & kFormPng) {
        if (!cv::imwrite(PngPath("left", index), frame.left)) return fail(PngPath("left", index));
        if (!cv::imwrite(PngPath("right", index), frame.right)) return fail(PngPath("right", index));
    }
    return true;
}

bool CSequenceWriter::WriteText(const std::string& fileName, const std::string& text, std::string* error) const {
    std::ofstream out(Path(fileName), std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        if (error) *error = "cannot write " + Path(fileName);
        return false;
    }
    return true;
}

std::string CSequenceWriter::RecordedCameraHeader(const char* fileFormat) const {
    const int last = options_.firstIndex + options_.frameCount - 1;
    return std::string("FILE_FORMAT: ") + fileFormat + "\n" +
           "INPUT_IMAGE_PATH: " + options_.folder + "/frame\n" +
           "FIRST_FILE_INDEX: " + std::to_string(options_.firstIndex) + "\n" +
           "LAST_FILE_INDEX: " + std::to_string(last) + "\n" +
           "TOTAL_FRAME: " + std::to_string(options_.frameCount) + "\n" +
           "STEP_FILE_INDEX: 1\n" +
           "NB_PADDING_ZERO: " + std::to_string(paddingZeros_) + "\n";
}

bool CSequenceWriter::WriteConfiguration(std::string* error) const {
    const StereoRig& c = options_.camera;
    const unsigned forms = options_.forms;
    // Reconstructions that count rows from the bottom need the principal point's row counted so too.
    const std::string centreFromBottom = Number(c.centreX) + " " + Number(c.height - 1 - c.centreY);
    if (forms & kFormPgm) {
        const std::string text =
            "# Synthetic head sequence: intensity and X, Y, depth files (mm, Y " +
            std::string(options_.yUp ? "up" : "down") + ").\n" + RecordedCameraHeader("FORMAT_PGM") +
            "INTENSITY_WRITTEN: YES\nINTENSITY_SUFFIX: -i.pgm\n"
            "DISPARITY_WRITTEN: NO\n"
            "X_COORD_WRITTEN: YES\nX_COORD_SUFFIX: -x.pgm\n"
            "Y_COORD_WRITTEN: YES\nY_COORD_SUFFIX: -y.pgm\n"
            "DEPTH_WRITTEN: YES\nDEPTH_SUFFIX: -z.pgm\n"
            "FOCAL: " + Number(c.focalPx) + "\nBASELINE: " + Number(c.baselineMm) + "\nIMAGE_CENTER: " +
            Number(c.centreX) + " " + Number(c.centreY) + "\n";
        if (!WriteText("camera-xyz.cfg", text, error)) return false;
    }
    if ((forms & kFormPgm) && (forms & kFormDisparity)) {
        const std::string text =
            "# Synthetic head sequence: intensity and disparity files; 3D comes from the disparity with Y up.\n" +
            RecordedCameraHeader("FORMAT_PGM") +
            "INTENSITY_WRITTEN: YES\nINTENSITY_SUFFIX: -i.pgm\n"
            "DISPARITY_WRITTEN: YES\nDISPARITY_SUFFIX: -d.pgm\n"
            "X_COORD_WRITTEN: NO\nY_COORD_WRITTEN: NO\nDEPTH_WRITTEN: NO\n"
            "# Disparities are in 1/16 pixel, so 16 times the baseline gives Z in mm; rows count from the bottom.\n"
            "FOCAL: " + Number(c.focalPx) + "\nBASELINE: " + Number(16.0 * c.baselineMm) + "\nIMAGE_CENTER: " +
            centreFromBottom + "\n";
        if (!WriteText("camera-disparity.cfg", text, error)) return false;
    }
    if (forms & kFormIff) {
        const std::string text =
            "# Synthetic head sequence: grey pixels and inverse depth in IFF files; 3D comes out Y down.\n" +
            RecordedCameraHeader("FORMAT_IFF") +
            "INTENSITY_WRITTEN: YES\n"
            "# The reconstruction counts rows from the bottom.\n"
            "FOCAL: " + Number(c.focalPx) + "\nBASELINE: " + Number(c.baselineMm) + "\nIMAGE_CENTER: " +
            centreFromBottom + "\n";
        if (!WriteText("camera-iff.cfg", text, error)) return false;
    }
    if (forms & kFormPng) {
        // The search spans the disparities from the farthest to the nearest point the sequence may
        // show, a pixel of margin either side: every disparity searched narrows the window that
        // gets depth by two columns.
        const double scale = c.focalPx * c.baselineMm;
        const int nearestDisparity = static_cast<int>(std::ceil(scale / std::max(options_.nearestDepthMm, 1.0))) + 1;
        const int farthestDisparity =
            options_.farthestDepthMm > 0.0 ? static_cast<int>(std::floor(scale / options_.farthestDepthMm)) - 1 : 0;
        const int skipped = std::clamp(farthestDisparity, 0, std::min(64, nearestDisparity - 1));
        const int disparities = std::clamp(nearestDisparity - skipped, 1, 256);
        const int last = options_.firstIndex + options_.frameCount - 1;
        const std::string pattern = "%0" + std::to_string(paddingZeros_) + "d.png";
        const std::string text =
            "# Synthetic head sequence as a live stereo head sees it: rectified left and right images,\n"
            "# matched by the stereo library; 3D comes out Y down.\n"
            "IMAGE_SIZE: " + std::to_string(c.width) + " " + std::to_string(c.height) + "\n" +
            "DISPARITIES: " + std::to_string(disparities) + "\n" +
            (skipped ? "OFFSET: " + std::to_string(-skipped) + " 0\n" : std::string()) +
            "FOCAL: " + Number(c.focalPx) + " " + Number(c.focalPx) + "\n" +
            "PRINCIPAL_POINT_LEFT: " + Number(c.centreX) + " " + Number(c.centreY) + "\n" +
            "PRINCIPAL_POINT_RIGHT: " + Number(c.centreX) + " " + Number(c.centreY) + "\n" +
            "BASELINE: " + Number(c.baselineMm) + "\n" +
            "# The matching that measures best against the rendered depth and in tracking\n"
            "# (tools/evaluate_depth, tools/evaluate_tracking): semi-global, checked against the right\n"
            "# view's own matching, each disparity refined over 5 x 5 pixels; the right camera's row offset\n"
            "# and exposure, as far as the pair shows them, undone first; depth across the whole width,\n"
            "# not only where every disparity can be searched (a head aside would leave that).\n"
            "MATCHER: SEMI_GLOBAL\nCORRELATION_WINDOW: 5\nSMOOTHNESS: 50 200\nLEFT_RIGHT_CHECK: 1\nSUBPIXEL_WINDOW: 5\n"
            "AUTO_ALIGN: BOTH\nFULL_WIDTH: YES\n" +
            ExtraLines(options_.stereoKeywords) +
            "SOURCE: FILES " + Path("left-" + pattern) + " " + Path("right-" + pattern) + " " +
            std::to_string(options_.firstIndex) + " " + std::to_string(last) + "\n";
        if (!WriteText("camera-live.cfg", text, error)) return false;
    }
    const bool live = options_.trackerCamera == "live";
    const std::string param = std::string(live ? "# Tracker camera: the stereo pairs of this folder, matched live.\n"
                                               : "# Tracker camera: the recorded synthetic sequence of this folder.\n") +
                              "CAMERA_TYPE: " + (live ? "SRI" : "FILES") + "\n"
                              "CONFIG_FILENAME: " + Path("camera-" + options_.trackerCamera + ".cfg") + "\n"
                              "MAX_FRAMES: 100\n"
                              "# While the face is searched, only depths a face may have count: pixels without\n"
                              "# depth or matched to the far end do not pull the face's depth away: from a face\n"
                              "# 35 cm from the camera to one across a room, 2.5 m.\n"
                              "MIN_DEPTH_MASK: 350\nMAX_DEPTH_MASK: 2500\n"
                              "# Each pixel's motion under full perspective rather than weak perspective.\n"
                              "PROJECTION: PERSPECTIVE\n";
    const std::string init = "# Face detection and tracking limits.\n"
                             "# A face seen again within 12 pixels is the same face: a head coming back into view\n"
                             "# still moves several pixels a frame.\n"
                             "MAX_DISTANCE_CORNER: 12\nMIN_CORNER_MATCHES: 3\nNB_DETECT_BEFORE_INIT: 3\n"
                             "THRESHOLD_NB_HIT: 3\nTHRESHOLD_TIME: 0\nTHRESHOLD_PIXEL_MASK: 400\n"
                             "# A far face in a noisy image is found by two of the detector's windows as often\n"
                             "# as by three: a face already seen is kept by two, a new one still needs three.\n"
                             "THRESHOLD_NB_HIT_KEEP: 2\n"
                             "SIZE_FACE_X: 60\nSIZE_FACE_Y: 80 30\nSIZE_FACE_Z: 400 300\n"
                             "TOP_LEFT_MASK: 25 10\nBOTTOM_RIGHT_MASK: 295 230\n"
                             "# Faces from 35 cm to 2.5 m: at 600 mm (the default's near end) a head 65 cm away\n"
                             "# is never found, its nose nearer than that.\n"
                             "MIN_DEPTH_MASK: 350\nMAX_DEPTH_MASK: 2500\n"
                             "# A face-like pattern on the wall is no head: beside a head the scene lies well\n"
                             "# behind it, on one side at least (a head against a wall still stands 200 mm out).\n"
                             "MIN_BACKGROUND_GAP: 150\n"
                             "# A box half on the head and half on the wall has a depth between the two, and a\n"
                             "# face region around it keeps neither: most of a face's box lies at its depth.\n"
                             "MIN_FACE_DEPTH_SHARE: 0.5\n"
                             "# The validated motion is the best keyframe pair's, its translation measured at the\n"
                             "# camera: a head 1.6 m away turning 40 degrees from its keyframe moves 1.1 m there.\n"
                             "# Wrong poses are caught by MAX_FRAME_ROTATION and the pairs' own loss checks.\n"
                             "MAX_ROTATION: 0.7\nMAX_TRANSLATION: 1200\n"
                             "# Window sizes up to 92 pixels: a head close to a long lens is found too.\n"
                             "WINDOW_SIZES: 7\n";
    const std::string tracker = "# Pose tracker: output files in this folder.\n"
                                "RESULTS_FILE: " + Path("results.txt") + "\n"
                                "POSES_FILE: " + Path("poses.txt") + "\n"
                                "# Depth rows weighted by the ratio of the frames' intensity and depth changes,\n"
                                "# so that neither constraint drowns the other.\n"
                                "LAMBDA: -10\nCOMPARE_THRESHOLD: 1\n"
                                "# Each frame matched against the five stored frames whose face looks most like\n"
                                "# it, not only the one before: errors do not pile up frame after frame, a head\n"
                                "# back where it was is measured against where it was, and five pairs average\n"
                                "# out much of a stereo camera's depth noise.\n"
                                "MATCH_FUNCTION: MATCH_INTENSITY\nNB_MAX_BEST_MATCH: 5\nKEYFRAME_COMPARISON: REGION\n"
                                "MERGE_POSE: POSE_WEIGHTED_AVERAGE\nGRADIENT: DOUBLE\n"
                                "# Each pair iterated coarse to fine (three pyramid levels, at most ten iterations\n"
                                "# each), rows weighted by the noise of their measurement and by Tukey's biweight;\n"
                                "# a pair its own loss rejects loses the face.\n"
                                "ITERATIONS: 10\nPYRAMID_LEVELS: 3\nROW_WEIGHTS: NOISE\nROBUST_WEIGHTS: TUKEY\n"
                                "# The finest level's rows from every other pixel, as on a checkerboard: a fifth\n"
                                "# less time a step, the poses as accurate.\n"
                                "FINE_STRIDE: 2\n"
                                "# The finest level's grey levels smoothed twice, not three times: smoothing in\n"
                                "# the image does not follow the face's foreshortening as it turns, and reads\n"
                                "# the turn short.\n"
                                "FINE_SMOOTHING: 2\n"
                                "# The face's outline tells a turn best: the mask is eroded no further than the\n"
                                "# derivatives reach; the robust weights let go of what the outline drags in.\n"
                                "MASK_EROSION: 2\n"
                                "# A stereo camera leaves the outline without depth; holes within the derivatives'\n"
                                "# reach take the face's depth beside them, so that the outline's rows stay.\n"
                                "OUTLINE_FILL: 3\n"
                                "# A camera's automatic exposure scales the grey levels between frames: each\n"
                                "# pair fits that gain rather than reading it as motion.\n"
                                "BRIGHTNESS: GAIN\n"
                                "# The rows' derivatives at the depth between both frames': a stereo camera's depth\n"
                                "# noise, and the grey-level noise it comes from, then pull the pose neither way.\n"
                                "JACOBIAN_DEPTH: DOUBLE\n"
                                "# The finest level's depth fitted by a local parabola rather than smoothed:\n"
                                "# smoothing moves a curved face's depth, and the head turns under that shift.\n"
                                "DEPTH_SMOOTHING: QUADRATIC\n"
                                "# The face region moves with the head, which may then go anywhere in view.\n"
                                "FOLLOW_REGION: YES\n"
                                "# A pose that jumps further in one frame than a head turns has gone wrong.\n"
                                "MAX_FRAME_ROTATION: 12\n"
                                "# What lies more than 5 cm in front of the face where it lands (a hand) hides it:\n"
                                "# hidden points make no rows, a frame with a hand in it serves as no reference,\n"
                                "# and a face more than half hidden is lost rather than followed.\n"
                                "OCCLUSION_GAP: 50\n";
    return WriteText("Param.cfg", param, error) && WriteText("ParamInit.cfg", init, error) &&
           WriteText("ParamTrackerZBCCE.cfg", tracker, error);
}
