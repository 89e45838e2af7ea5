// Coarse-to-fine images of one stereo frame for the iterated estimator: per level, the images a
// residual compares (intensity and depth, smoothed as the gradient mode smooths them), their
// gradients per pixel of that level, the rays X/Z and Y/Z, and the pixels a row may use.
//
// Built over a window of the frame (clamped to it, its corner aligned so that pixel i of level
// L sits on pixel 2^L i of the frame): kernels near the window's edge read real neighbours.
// Level L+1 halves level L with a Gaussian (OpenCV pyrDown); depth and rays are halved over the
// masked pixels only and renormalised, so neither the background nor a stereo hole (depth 0)
// bleeds into the head. Before the depth is filtered, its holes are filled from their masked
// neighbours; a pixel whose filter support is mostly filled makes no row.
//
// A pixel is usable when it lies in the frame's mask (or, with both depth bounds given, within
// them: a frame's mask may come from another range) with a positive depth, inside the mask's
// silhouette eroded by `erosion` pixels at level 0 (at least the kernels' reach at every level;
// small holes are closed first, so they do not eat the face), and away from the window's edge.
//
// The levels are owned by the pyramid and kept for the next Build; the filters' scratch belongs to
// the building thread (shared by its pyramids). The frame is only read while Build runs.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "tracking/QuadraticDepth.h"

class CStereoFrame;
namespace image_kernels {
struct CorrelationKernel;
}

struct PyramidLevel {
    int level = 0;
    cv::Point origin;      // the window's corner in this level's pixels of the whole frame
    cv::Mat intensity;     // CV_32F, what brightness residuals compare
    cv::Mat intensityGradX, intensityGradY;  // per pixel of this level, growing with column / row
    cv::Mat depth;         // CV_32F, what depth residuals compare; holes filled
    cv::Mat brightnessDepth;  // CV_32F, the depth the compared grey levels follow; empty: depth
    cv::Mat depthGradX, depthGradY;
    cv::Mat rayX, rayY;    // X / Z and Y / Z of the pixel's point
    cv::Mat usable;        // CV_8U, 1 where a row may use the pixel
    cv::Mat depthWeight;   // CV_32F, 1 where a depth row counts whole, 0 beyond; empty: 1 everywhere
};

class CFramePyramid {
public:
    // Builds `levels` levels (at least 1; fewer when the window gets too small) over the window.
    // gradientMode is a CTrackerParameters::Gradient code; depths outside (minDepth, maxDepth)
    // count as outside the mask (-1: no bound). depthSmoothing is a CTrackerParameters::DepthSmoothing
    // code: with GRADIENT: DOUBLE, TEXTURE makes the levels' depth the one their smoothed grey
    // levels follow (TextureDepth.h), TEXTURE_BRIGHTNESS puts that in brightnessDepth, QUADRATIC
    // makes the finest level's depth a local quadratic fit (QuadraticDepth.h). With
    // depthErosion, depthWeight is the usable silhouette eroded that much further (at level 0; at
    // least once at every level). With outlineFill, the holes within that many pixels of the face
    // join it (OutlineFill.h) and the finest level's depthWeight keeps the depth rows to the
    // measured pixels. Under GRADIENT: DOUBLE the finest level's grey levels are prefiltered
    // fineSmoothing times (1 to kIntensityPasses), the coarser levels' kIntensityPasses times.
    // False when the frame lacks images or a mask, or the window holds no pixel.
    bool Build(const CStereoFrame& frame, const cv::Rect& window, int levels, int gradientMode, int erosion,
               float minDepth = -1.0f, float maxDepth = -1.0f, int depthSmoothing = 0, int depthErosion = 0,
               int outlineFill = 0, int fineSmoothing = kIntensityPasses);

    int Levels() const { return count_; }
    // How many times Build ran: with the pyramid's address, which build its levels come from.
    long Builds() const { return builds_; }

    // A level's images interleaved per pixel, so that one sample of a frame reads few cache
    // lines: I, Ix, Iy, Z, Zx, Zy, the depth weight (0 without one) and a zero (kSampleChannels
    // floats a pixel).
    static constexpr int kSampleChannels = 8;
    static void Interleave(const PyramidLevel& level, cv::Mat& samples);
    const PyramidLevel& Level(int level) const { return levels_[static_cast<std::size_t>(level)]; }

    // Pixels this close to a window edge read the filters' replicated border at a level.
    static int EdgeReach(int gradientMode);
    // How far the silhouette's kernels reach, the least erosion at any level.
    static int SilhouetteReach(int gradientMode);
    // The share of a pixel's white noise variance that the smoothing of the compared intensity
    // (or depth) keeps: neighbouring rows then share their noise, so a block whose image is
    // smoothed more is worth less than its measured residuals say.
    // passes: the intensity's prefilter passes under GRADIENT: DOUBLE.
    static double NoiseGain(int gradientMode, bool intensity, int passes = kIntensityPasses);
    // GRADIENT: DOUBLE smooths the compared intensity with the prefilter this many times (about 1.5
    // pixels of blur in all): sub-pixel samples of an image with detail up to the pixel pull the
    // estimate towards whole-pixel shifts and alias, which shows as a motion underestimated by a
    // few per cent that a chain of frames adds up. The finest level may take fewer: a blur in the
    // image does not foreshorten with the face, which reads a turn short too.
    static constexpr int kIntensityPasses = 3;

private:
    // A level's inputs (halved from the level below) and the scratch of its filters.
    struct Workspace {
        cv::Mat intensity, depth;  // the rays are halved from level to level in the levels themselves
        cv::Mat inside, weights, halvedWeights;  // 8-bit and float forms of the usable mask
        cv::Mat filled, supported, closing, closed, silhouette, textured, depthSilhouette;
        cv::Mat product, weighted, spread;
        cv::Mat unmasked;  // every pixel set: the mask where the depth bounds alone decide
        cv::Mat outlineFilled, measuredInside;  // the outline's fill (first level only)
        quadratic_depth::Scratch quadratic;
    };

    // The scratch of Build, one per thread, whichever pyramid builds.
    static std::vector<Workspace>& SharedWorkspace();
    void Prepare(PyramidLevel& level, Workspace& work, int gradientMode, int erosion, int depthSmoothing,
                 int depthErosion, int intensityPasses);
    // The pixels closed over small holes, then eroded `erosion` times with the window's edge as
    // the silhouette's.
    static void Silhouette(const cv::Mat& inside, int erosion, Workspace& work, cv::Mat& out);
    static void Normalised(const cv::Mat& image, const cv::Mat& weights,
                           const image_kernels::CorrelationKernel& kernel, cv::Mat& out, Workspace& work);
    static void HalveMasked(const cv::Mat& image, const cv::Mat& weights, const cv::Mat& halvedWeights, cv::Mat& out,
                            Workspace& work);

    std::vector<PyramidLevel> levels_;  // the first count_ are built
    int count_ = 0;
    long builds_ = 0;
};
