// Writes the seed corpus of every fuzz target into FOLDER/<target>/: small well-formed inputs of
// each kind the parsers read, and a few near misses.
//   fuzz_seeds FOLDER
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/imagefile/imagefile.h"

namespace {

std::string g_root;

void Seed(const std::string& target, const std::string& name, const std::string& bytes) {
    const std::string folder = g_root + "/" + target;
    ::mkdir(folder.c_str(), 0755);
    std::ofstream(folder + "/" + name, std::ios::binary) << bytes;
}

std::string Bytes(int count, int seed) {
    std::string bytes;
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<char>((i * 37 + seed * 11) & 0xFF));
    return bytes;
}

void ImageSeeds() {
    Seed("fuzz_image", "grey", "P5\n4 3\n255\n" + Bytes(12, 1));
    Seed("fuzz_image", "colour", "P6\n2 2\n255\n" + Bytes(12, 2));
    Seed("fuzz_image", "float", "P7\n3 2\n255\n" + Bytes(24, 3));
    Seed("fuzz_image", "sixteen", "P9\n2 3\n255\n" + Bytes(12, 4));
    Seed("fuzz_image", "comment-crlf", "P5\r\n# made by hand\r\n3 2\r\n255 \r\n" + Bytes(6, 5));
    Seed("fuzz_image", "tabs", "P7\n1\t2\n255\n" + Bytes(8, 6));
}

void ContainerSeeds() {
    const std::string folder = g_root + "/fuzz_container";
    ::mkdir(folder.c_str(), 0755);
    const unsigned char rgb[4 * 3 * 3] = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120,
                                          1,  2,  3,  4,  5,  6,  7,  8,  9,  11,  12,  13};
    const float inverse[4 * 3] = {0.001f, 0.002f, 0.0f, 0.004f, 0.0011f, 0.0012f, 0.0f, 0.0014f, 1.0f, 0.5f, 0.25f, 0.0f};
    ILsave((folder + "/colour-range").c_str(), 4, 3, IL_TYPE_COLOR | IL_TYPE_RANGE, rgb, inverse);
    ILsave((folder + "/grey-range").c_str(), 4, 3, IL_TYPE_GRAY | IL_TYPE_RANGE, rgb, inverse);
    ILsave((folder + "/range-only").c_str(), 4, 3, IL_TYPE_RANGE, nullptr, inverse);
    ILsave((folder + "/colour-only").c_str(), 2, 2, IL_TYPE_COLOR, rgb, nullptr);
}

void ConfigurationSeeds() {
    Seed("fuzz_param_cfg", "files",
         "CAMERA_TYPE: FILES\nCONFIG_FILENAME: camera.cfg\nMAX_FRAMES: 100\nPROJECTION: PERSPECTIVE\n");
    Seed("fuzz_param_cfg", "all",
         "# every keyword\nCAMERA_TYPE: SRI CONFIG_FILENAME: /x/head.ini PRECOMPUTED_POSES_FILENAME: p.txt\n"
         "NB_LEVEL: 2 NB_FRAME_BY_LEVEL: 3 SCALE_NUMERATOR: 1 SCALE_DENOMINATOR: 2 TOP_LEFT_MASK: 10 20\n"
         "BOTTOM_RIGHT_MASK: 300 220 MAX_FRAMES: 5000 MIN_DEPTH_MASK: 400 MAX_DEPTH_MASK: 1800 PROJECTION: ORTHOGONAL\n");
    Seed("fuzz_init_cfg", "defaults",
         "NB_DETECT_BEFORE_INIT: 3\nSIZE_FACE_X: 60\nSIZE_FACE_Y: 80 30\nSIZE_FACE_Z: 400 300\n"
         "MIN_DEPTH_MASK: 600\nMAX_DEPTH_MASK: 1600\nMAX_ROTATION: 0.32\nMAX_TRANSLATION: 200\n");
    Seed("fuzz_init_cfg", "all",
         "MAX_DISTANCE_CORNER: 4.5 MIN_CORNER_MATCHES: 2 NB_DETECT_BEFORE_INIT: 1 THRESHOLD_NB_HIT: 1\n"
         "THRESHOLD_TIME: -2 THRESHOLD_PIXEL_MASK: 350.5 SIZE_FACE_X: 2147483000 SIZE_FACE_Y: 70 20\n"
         "SIZE_FACE_Z: 350 250 TOP_LEFT_MASK: 0 0 BOTTOM_RIGHT_MASK: 320 240 MIN_DEPTH_MASK: 500\n"
         "MAX_DEPTH_MASK: 1500 MAX_ROTATION: 0.25 MAX_TRANSLATION: 150 MIN_BACKGROUND_GAP: 150\n"
         "MIN_FACE_DEPTH_SHARE: 0.5 # SIZE_FACE_X: 99\n");
    Seed("fuzz_tracker_cfg", "readme",
         "MATCH_FUNCTION: MATCH_PREVIOUS\nMERGE_POSE: POSE_FIRST\nLAMBDA: -10\nGRADIENT: DOUBLE\n"
         "POSES_FILE: poses.txt\nRESULTS_FILE: /tmp/results.txt\n");
    Seed("fuzz_tracker_cfg", "all",
         "LAMBDA: 3e38 COMPARE_THRESHOLD: 0.5 MATCH_FUNCTION: MATCH_COVARIANCE_DYNAMIC NB_MAX_BEST_MATCH: 4\n"
         "MERGE_POSE: POSE_COVARIANCE GRADIENT: ANALYTIC # LAMBDA: 1\n");
    Seed("fuzz_camera_cfg", "pgm",
         "FILE_FORMAT: FORMAT_PGM\nINPUT_IMAGE_PATH: frames/frame\nFIRST_FILE_INDEX: 1\nLAST_FILE_INDEX: 3\n"
         "TOTAL_FRAME: 7\nNB_PADDING_ZERO: 4\nINTENSITY_WRITTEN: YES\nX_COORD_WRITTEN: YES\nY_COORD_WRITTEN: YES\n"
         "DEPTH_WRITTEN: YES\nFOCAL: 380\nBASELINE: 90\nIMAGE_CENTER: 160 120\n");
    Seed("fuzz_camera_cfg", "backwards-iff",
         "RECORDED_CAMERA: SRI CAMERA_CONFIG_FILENAME: head.ini FILE_FORMAT: FORMAT_IFF INPUT_IMAGE_PATH: /r/f\n"
         "FIRST_FILE_INDEX: 9 LAST_FILE_INDEX: 3 STEP_FILE_INDEX: -2 NB_PADDING_ZERO: 12 INTENSITY_WRITTEN: YES\n"
         "DISPARITY_WRITTEN: YES INTENSITY_SUFFIX: .i DISPARITY_SUFFIX: .d Z_NEAR: 0.25 Z_FAR: 3 IS_DISPARITY: 0\n"
         "FOCAL: 0 BASELINE: 0.09 IMAGE_CENTER: 158.5 121\n");
    Seed("fuzz_svs_params", "usb",
         "IMAGE_SIZE: 320 240\nDISPARITIES: 48\n"
         "LEFT_CAMERA_MATRIX: 402 0 158 0 402 121 0 0 1   LEFT_DISTORTION: 5 -0.21 0.05 0 0 0\n"
         "LEFT_ROTATION: 1 0 0 0 1 0 0 0 1                LEFT_RECTIFIED_PROJECTION: 380 0 160 0 0 380 120 0 0 0 1 0\n"
         "RIGHT_CAMERA_MATRIX: 398 0 161 0 398 119 0 0 1  RIGHT_DISTORTION: 5 -0.19 0.04 0 0 0\n"
         "RIGHT_ROTATION: 1 0 0 0 1 0 0 0 1               RIGHT_RECTIFIED_PROJECTION: 380 0 160 -34200 0 380 120 0 0 0 1 0\n"
         "SOURCE: DEVICE 0\n");
    Seed("fuzz_svs_params", "files",
         "IMAGE_SIZE: 320 240 SUBSAMPLING: 1 1 SUBWINDOW: 0 0 COLOR: NO CORRELATION_WINDOW: 11\n"
         "PREFILTER_WINDOW: 9 TEXTURE_THRESHOLD: 10 UNIQUENESS: 10 SPECKLE: 100 2 OFFSET: 0 0 PIXEL_SIZE: 1\n"
         "FOCAL: 380 380 PRINCIPAL_POINT_LEFT: 160 120 PRINCIPAL_POINT_RIGHT: 160 120 BASELINE: 90\n"
         "PROJECTION: 380 0 160 0 0 380 120 0 0 0 1 0 CAPTURE_SIZE: 640 240 FRAME_RATE: 30\n"
         "SOURCE: FILES left-%04d.png right-%04d.png 1 300\n");
}

// Two-rectangle, three-rectangle and checkerboard features of the 24 x 24 window.
const char* const kHalves = "6 0\n-1 -1 -1\n11 -1 2\n23 -1 -1\n-1 23 1\n11 23 -2\n23 23 1\n0 1 -1\n";
const char* const kThirds = "8 -1\n-1 -1 1\n23 -1 -1\n-1 7 -3\n23 7 3\n-1 15 3\n23 15 -3\n-1 23 -1\n23 23 1\n"
                            "-40 0.5 -0.5\n";
const char* const kChecker = "9 0\n-1 -1 1\n11 -1 -2\n23 -1 1\n-1 11 -2\n11 11 4\n23 11 -2\n-1 23 1\n11 23 -2\n"
                             "23 23 1\n+12 0.75 -0.25\n";

void ClassifierSeeds() {
    Seed("fuzz_classifier", "one-stage", std::string("1 s1\n%%\n1 0\n") + kHalves);
    Seed("fuzz_classifier", "three-stages",
         std::string("3 s1 s2 s3\n%%\n2 -0.5\n") + kHalves + kThirds + "%%\n1 0\n" + kChecker + "%%\n3 -1\n" + kHalves +
             kChecker + kThirds);
    Seed("fuzz_classifier", "odd-point-count",
         std::string("1 s1\n%%\n2 0\n7 0\n1 1 1\n2 2 2\n3 3 3\n4 4 4\n5 5 5\n6 6 6\n7 7 7\n5 1 -1\n") + kHalves);
    Seed("fuzz_classifier", "no-stages", "0\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
        return 2;
    }
    g_root = argv[1];
    ::mkdir(g_root.c_str(), 0755);
    ImageSeeds();
    ContainerSeeds();
    ConfigurationSeeds();
    ClassifierSeeds();
    return 0;
}
