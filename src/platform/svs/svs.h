// Stereo capture, rectification, matching and reconstruction in the shape of a small stereo
// library and frame grabber, built on OpenCV.
//
// Everything is driven by one plain parameter block (svsParameterBlock): the grabber, the
// rectifier and the matcher read their settings from the block they are given (svsWarpImage
// from the global svsParams). The block is plain data: copy it with "=".
//
// Image geometry. The capture source delivers frames; the grabber cuts the window of
// (width * s) x (height * s) pixels at (windowX, windowY) out of each frame and reduces it by
// s = decimation * binning (binning averages bin x bin blocks, decimation then keeps every
// dec-th pixel). Images handed out are width x height, 8-bit gray, rows packed; the colour image
// (only with the colour flag) is the left one, RGBA, also rectified. The calibration describes
// the rectified pair at full resolution, in pixels of the window: divide by s for the images.
//
// Disparity images are 16-bit, in 1/16 pixel, negative where nothing matched. They start at
// the first pixel of the valid window: the disparity of pixel (x, y) is stored at index
// (y - y0) * width + (x - x0), where (x0, y0) is the window's corner:
//   x0 = (a + b + 2n - 4) / 2 + max(-offsetX, 0),  y0 = (e + f - 2) / 2 + max(-offsetY, 0)
// with a x e the correlation window, b x f the prefilter window and n the number of disparities.
// The last y0 * width + x0 entries hold no pixel and are negative.
//
// Matching: pixel (x, y) of the left image is compared with (x - d + offsetX, y + offsetY) of the
// right one for d = 0 .. n-1, so the true disparity is d - offsetX (a negative offsetX lets nearer
// objects be seen). Reconstruction: X right, Y down, Z forward, in the unit of the baseline:
//   Z = f * B / (d / 16 - offsetX - dx),  X = (column - cx) * Z / f,  Y = (row - cy) * Z / f
// with f = leftFocal / (s * pixelWidth), dx = (leftCenterX - rightCenterX) / s (the disparity of
// a point at infinity), cx = (leftCenterX + rightCenterX) / (2s), cy = leftCenterY / s,
// B = baseline.
//
// Parameter file (svsReadParamFile): whitespace-separated tokens, "#" comments to the line end.
// Each keyword ends with ":" and is followed by its values; a keyword given twice keeps its
// last values; an unknown keyword, a stray token, a missing or malformed value or a value out of
// range refuses the whole file. Paths hold no blanks; a relative path is taken relative to the
// parameter file's folder.
//   IMAGE_SIZE: w h              delivered image size (8..4096 each; default 320 240); with
//                                DISPARITIES at most 640 x 480 x 256 pixel-disparity cells
//   SUBSAMPLING: dec bin         decimation and binning factors (1..16 read; the grabber takes
//                                dec 1, 2 or 4 and bin 1 or 2; default 1 1)
//   SUBWINDOW: x y               window origin in the captured frame (>= 0; default 0 0)
//   COLOR: YES|NO                also deliver the left colour image (default NO)
//   DISPARITIES: n               number of disparities searched (1..256; default 48)
//   CORRELATION_WINDOW: a        square matching window, odd, 5..51 (default 11)
//   PREFILTER_WINDOW: b          square prefilter window, odd, 5..51 (default 9)
//   TEXTURE_THRESHOLD: t         minimum texture in the matching window (0..100000; default 10)
//   UNIQUENESS: u                percent margin of the best match over the second (0..100; default 10)
//   SPECKLE: size range          remove blobs under size pixels whose disparity varies by at most
//                                range pixels (0..10000, 0..64; default 0 0 = off)
//   OFFSET: ox oy                horopter and vertical offsets (-64..64 each; default 0 0)
//   MATCHER: BLOCK|SEMI_GLOBAL   block matching, or semi-global matching (disparities kept smooth
//                                along three paths in one pass; the correlation window is its
//                                block, the prefilter window only bounds the valid window; no
//                                texture threshold) (default BLOCK)
//   LEFT_RIGHT_CHECK: t|OFF      drop a disparity that the right view's own matching (the mirrored
//                                pair matched alike) contradicts by more than t pixels (0..64;
//                                default OFF)
//   SEMI_GLOBAL_PATHS: n         directions the semi-global matcher gathers its costs along: 3 (left,
//                                right and from above, one pass), 5 (one pass), 4 or 8 (two passes,
//                                from above and below; about twice the time of 3) (default 3)
//   SMOOTHNESS: p1 p2            semi-global penalties of a disparity change of one pixel and of
//                                more, 0 < p1 < p2 (0 0 = 8 a^2 and 32 a^2 for window a; default 0 0)
//   SUBPIXEL_WINDOW: w           refine each disparity to the sub-pixel shift that best aligns a
//                                w x w window of the right image with the left one (odd, 3..15;
//                                0 = off: the matcher's own interpolation between whole pixels;
//                                default 0)
//   DEPTH_EDGE: margin jump      drop the disparities within margin pixels of a jump of more than
//                                jump pixels between neighbours, on both sides: there a window
//                                straddling the edge drags one surface's texture over the other.
//                                Along a row a hole counts as the farther of the disparities that
//                                bound it, as what one camera sees behind the other's edge (margin
//                                0..16, jump 1..64; default 0 1 = off)
//   EDGE_RECHECK: margin jump    match the disparities within margin pixels of such a jump again
//                                with the best of the correlation-window squares that hold the
//                                pixel (centred, or pushed to a side or corner) instead of the
//                                centred one, and drop those the farthest disparity within the
//                                margin matches better: the nearer surface dragged over the farther
//                                one. Both views are rechecked before the left-right check, so what
//                                the left camera alone sees beside a nearer surface goes too; the
//                                sub-pixel refinement then keeps to each pixel's own surface
//                                (margin 0..16, jump 1..64; default 0 1 = off)
//   AUTO_ALIGN: NONE|ROWS|EXPOSURE|BOTH  measure on each pair, from corners of the left image
//                                followed into the right one, how far the right image's rows lie
//                                off the left one's (an offset, and a tilt and stretch across the
//                                image when the corners spread over it) and how differently it
//                                is exposed (gain and offset), and undo it on the right image
//                                before matching: a calibration leaves a few tenths of a pixel,
//                                which a vertical gradient turns into a disparity error. What lies
//                                within the measurement's noise (rows within 0.05 pixel, grey
//                                levels within 3) is left alone (default NONE)
//   FULL_WIDTH: YES|NO           match the pixels the valid window leaves out as well: a pixel near
//                                the left edge is searched over the disparities that stay inside
//                                the right image, and the right edge is kept; depth then reaches
//                                across the whole image but for half the windows at its sides
//                                (default NO: the valid window alone, which loses the number of
//                                disparities on each side)
//   PIXEL_SIZE: p                width of one pixel in the unit of the focal lengths (default 1:
//                                focal lengths in pixels)
//   FOCAL: fl fr                 left and right focal lengths (> 0; default 1 1)
//   PRINCIPAL_POINT_LEFT: x y    principal points of the rectified images, full-resolution pixels
//   PRINCIPAL_POINT_RIGHT: x y   (default 160 120 each)
//   BASELINE: B                  distance between the optical centres (> 0; default 1), in the
//                                unit of the 3D output
//   PROJECTION: 12 values        3 x 4 matrix, row by row, taking X, Y, Z to full-resolution
//                                pixels (default: [f 0 cx 0; 0 f cy 0; 0 0 1 0], in full-resolution
//                                pixels, the inverse of the reconstruction)
//   LEFT_CAMERA_MATRIX: 9 values        rectification of one side (optional; without it the
//   LEFT_DISTORTION: k v1 .. vk         side's images pass unchanged): camera matrix, distortion
//   LEFT_ROTATION: 9 values             (k = 4, 5, 8, 12 or 14 coefficients; default none),
//   LEFT_RECTIFIED_PROJECTION: 12 values rectifying rotation (default identity) and the 3 x 4
//   RIGHT_... likewise                  projection of the rectified camera (default [K | 0])
//   SOURCE: NONE                 no capture source (default)
//   SOURCE: DEVICE d             one device whose frames hold left and right side by side
//   SOURCE: DEVICES dl dr        two devices, left then right. A device is a V4L2 camera index
//                                (0..99) or /dev path, or a video file (read through FFmpeg)
//   SOURCE: FILES left right first last   image files; each pattern holds one %d or %0Nd
//                                (N 1..9, "%%" for a percent sign), first <= last, both >= 0.
//                                Every pair must have the size of the first; a pair that is
//                                missing or of another size is a lost frame
//   CAPTURE_SIZE: w h            frame size asked of a device (0 0 = its default)
//   FRAME_RATE: r                files: frames a second (0 = as fast as asked; default 0)
// When FOCAL, PRINCIPAL_POINT_*, BASELINE or PROJECTION are absent and both sides carry a
// rectified projection, they are taken from those projections (baseline = -P2[0][3] / P2[0][0]).
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int SVS_MAX_PATH = 256;
constexpr int SVS_MAX_DISTORTION = 14;

// Capture source kinds.
constexpr int SVS_SOURCE_NONE = 0;
constexpr int SVS_SOURCE_DEVICE = 1;   // one device, left half and right half of each frame
constexpr int SVS_SOURCE_DEVICES = 2;  // two devices, left and right
constexpr int SVS_SOURCE_FILES = 3;    // numbered image files

// Error codes of svsVideoCheckParameters.
constexpr int VIDEO_ERROR_FRAME_SIZE = -6;  // the window does not fit the source's frames
constexpr int VIDEO_ERROR_SUBWINDOW = -5;   // the window origin lies outside the frames
constexpr int VIDEO_ERROR_BIN_MODE = -4;    // binning other than 1 or 2
constexpr int VIDEO_ERROR_DEC_MODE = -3;    // decimation other than 1, 2 or 4

// Undistortion and rectification of one side, in full-resolution pixels of the window.
struct svsRectification {
    std::int32_t present;           // 0: the side's images pass unchanged
    std::int32_t distortionCount;   // 0, 4, 5, 8, 12 or 14
    double cameraMatrix[9];         // row by row
    double distortion[SVS_MAX_DISTORTION];
    double rotation[9];             // rectifying rotation, row by row
    double projection[12];          // rectified camera, 3 x 4, row by row
};

struct svsCaptureSource {
    std::int32_t kind;              // SVS_SOURCE_*
    std::int32_t firstIndex;        // files: first and last index, inclusive
    std::int32_t lastIndex;
    std::int32_t captureWidth;      // devices: frame size asked for, 0 = device default
    std::int32_t captureHeight;
    std::int32_t reserved;
    double frameRate;               // files: frames a second, 0 = as fast as asked
    char left[SVS_MAX_PATH];        // device (index or path) or file pattern, null-terminated
    char right[SVS_MAX_PATH];       // second device or right file pattern
};

// Matchers.
constexpr int SVS_MATCHER_BLOCK = 0;        // block matching (cv::StereoBM)
constexpr int SVS_MATCHER_SEMI_GLOBAL = 1;  // semi-global matching (cv::StereoSGBM)

// What the matcher does beyond its windows; every option is off by default.
struct svsMatchingOptions {
    std::int32_t matcher;           // SVS_MATCHER_*
    std::int32_t leftRightCheck;    // largest disagreement of the two views' disparities, pixels; -1 off
    std::int32_t smoothnessSmall;   // semi-global: penalty of a disparity change of one pixel; 0 from the window
    std::int32_t smoothnessLarge;   // semi-global: penalty of a larger change; 0 from the window
    std::int32_t edgeMargin;        // pixels dropped on the near side of a disparity jump; 0 off
    std::int32_t edgeJump;          // smallest jump, pixels of disparity
    std::int32_t subpixelWindow;    // side of the window that refines each disparity; 0 off
    std::int32_t recheckMargin;     // pixels matched again beside a disparity jump; 0 off
    std::int32_t recheckJump;       // smallest jump, pixels of disparity
    std::int32_t paths;             // semi-global: directions the costs are gathered along, 3, 4, 5 or 8
    std::int32_t autoAlign;         // SVS_ALIGN_* flags: what is measured and undone on the right image
    std::int32_t fullWidth;         // 1: depth across the whole width, not only the valid window
};

// What the matcher measures on each pair and undoes on the right image before matching.
constexpr int SVS_ALIGN_ROWS = 1;      // its rows' offset from the left image's (with tilt and stretch)
constexpr int SVS_ALIGN_EXPOSURE = 2;  // its gain and offset on the grey levels

struct svsParameterBlock {
    std::int32_t layoutVersion;          // 0x00  1
    std::int32_t corrWindowWidth;        // 0x04  a, odd
    std::int32_t corrWindowHeight;       // 0x08  e, odd
    std::int32_t prefilterWindowWidth;   // 0x0C  b, odd
    std::int32_t prefilterWindowHeight;  // 0x10  f, odd
    std::int32_t textureThreshold;       // 0x14
    std::int32_t uniquenessRatio;        // 0x18  percent
    std::int32_t numDisparities;         // 0x1C  n
    std::int32_t speckleWindow;          // 0x20  pixels, 0 = off
    std::int32_t offsetX;                // 0x24  horopter offset, pixels
    std::int32_t offsetY;                // 0x28  right image row offset, pixels
    std::int32_t speckleRange;           // 0x2C  pixels of disparity
    unsigned char reserved0x30[0x48 - 0x30];
    std::int32_t colour;                 // 0x48  non-zero: deliver the colour image
    unsigned char reserved0x4C[0x80 - 0x4C];
    std::int32_t width;                  // 0x80  delivered image width
    std::int32_t height;                 // 0x84  delivered image height
    std::int32_t windowX;                // 0x88  window origin in the captured frame
    std::int32_t windowY;                // 0x8C
    unsigned char reserved0x90[0xB4 - 0x90];
    std::int32_t decimation;             // 0xB4
    std::int32_t binning;                // 0xB8
    unsigned char reserved0xBC[0xD8 - 0xBC];
    double pixelWidth;                   // 0xD8  pixel width in the unit of the focal lengths
    unsigned char reserved0xE0[0xF0 - 0xE0];
    double leftCenterX;                  // 0xF0  full-resolution pixels
    double leftCenterY;                  // 0xF8
    double leftFocal;                    // 0x100 unit of pixelWidth
    unsigned char reserved0x108[0x118 - 0x108];
    float projection[12];                // 0x118 3 x 4, row by row, to full-resolution pixels
    unsigned char reserved0x148[0x190 - 0x148];
    double rightCenterX;                 // 0x190
    double rightCenterY;                 // 0x198
    double rightFocal;                   // 0x1A0
    unsigned char reserved0x1A8[0x210 - 0x1A8];
    double baseline;                     // 0x210 unit of the 3D output
    svsRectification rectification[2];   // left, right
    svsCaptureSource source;
    svsMatchingOptions matching;
};

static_assert(offsetof(svsParameterBlock, corrWindowWidth) == 0x04);
static_assert(offsetof(svsParameterBlock, corrWindowHeight) == 0x08);
static_assert(offsetof(svsParameterBlock, prefilterWindowWidth) == 0x0C);
static_assert(offsetof(svsParameterBlock, prefilterWindowHeight) == 0x10);
static_assert(offsetof(svsParameterBlock, numDisparities) == 0x1C);
static_assert(offsetof(svsParameterBlock, offsetX) == 0x24);
static_assert(offsetof(svsParameterBlock, offsetY) == 0x28);
static_assert(offsetof(svsParameterBlock, colour) == 0x48);
static_assert(offsetof(svsParameterBlock, width) == 0x80);
static_assert(offsetof(svsParameterBlock, height) == 0x84);
static_assert(offsetof(svsParameterBlock, decimation) == 0xB4);
static_assert(offsetof(svsParameterBlock, binning) == 0xB8);
static_assert(offsetof(svsParameterBlock, pixelWidth) == 0xD8);
static_assert(offsetof(svsParameterBlock, leftCenterX) == 0xF0);
static_assert(offsetof(svsParameterBlock, leftCenterY) == 0xF8);
static_assert(offsetof(svsParameterBlock, leftFocal) == 0x100);
static_assert(offsetof(svsParameterBlock, projection) == 0x118);
static_assert(offsetof(svsParameterBlock, projection) + 11 * sizeof(float) == 0x144);
static_assert(offsetof(svsParameterBlock, rightCenterX) == 0x190);
static_assert(offsetof(svsParameterBlock, baseline) == 0x210);

// The columns and rows of the disparity image that hold depth: the valid window, where the
// correlation and prefilter windows and the disparity search fit, or with FULL_WIDTH wherever the
// windows fit. The disparity image holds that window's pixels from its first one on, row after row.
struct svsValidWindow {
    int x0, x1, y0, y1;  // [x0, x1) x [y0, y1)
};
svsValidWindow svsGetValidWindow(const svsParameterBlock& block);

// The defaults every camera starts from: 320 x 240, no subsampling, 48 disparities, an
// uncalibrated camera (focal 1, baseline 1, principal point (160, 120)), no capture source.
extern svsParameterBlock svsParams;
svsParameterBlock svsDefaultParameters();

// Fills block from the file, over the defaults (a keyword the file leaves out takes its default
// whatever block held): 0, or -1 when the file does not open and -2 when its content is refused
// (a message on standard error says why). On failure block is left as it was.
int svsReadParamFile(const char* fileName, svsParameterBlock* block);

// The grabber is one per process. Each call returns 0 or a negative code.
// Opens the block's capture source; -1 when there is none or it does not open (also when a
// grabber is already open).
int svsVideoOpen(const svsParameterBlock* block);
// Checks the block's geometry against the open source: 0 or VIDEO_ERROR_*; -1 when not open.
int svsVideoCheckParameters(const svsParameterBlock* block);
// Checks, then starts delivering images of the block's geometry; -1 when not open.
int svsVideoStartContinuous(const svsParameterBlock* block);
void svsVideoHaltContinuous();
void svsVideoClose();
// Waits at most timeoutMs milliseconds for a new image: 1 when one is ready, 0 when none came
// (at once when capture is not running or a file sequence has ended).
int svsVideoWaitImage(int timeoutMs);
// Makes the image the last wait announced current and hands out its buffers: left and right
// gray, colour (null without the colour flag). The buffers belong to the grabber and stay valid
// until the next svsVideoGetImage, svsVideoStartContinuous or svsVideoClose; callers may write
// into them. -1 (pointers set to null) when no new image is ready.
int svsVideoGetImage(unsigned char** left, unsigned char** right, unsigned char** colour);

// Rectifies one image of the global svsParams' geometry: side 1 left, 2 right; format 0 for one
// byte a pixel, 1 for RGBA. width * height pixels from src to dst (which must not overlap).
// A side without rectification data is copied unchanged. 0, or -1 on a bad argument.
int svsWarpImage(unsigned char* dst, const unsigned char* src, int side, int format);

// Disparity image of a rectified pair (layout above), width * height values. 0, or -1 on a bad
// argument or block, in which case dst (when not null) holds no match anywhere.
int svsCalcStereo(std::int16_t* dst, const unsigned char* left, const unsigned char* right,
                  const svsParameterBlock* block);

// The point of image pixel (column, row) with disparity (1/16 pixel). 0, or -1 when the
// disparity gives no point in front of the camera (then X = Y = Z = 0) or an argument is bad.
int svsReconstruct3DFast(float* x, float* y, float* z, float column, float row, float disparity,
                         const svsParameterBlock* block);
