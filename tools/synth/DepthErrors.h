// Matched depth against the synthetic head's exact depth, on two regions of the left image.
//
// The silhouette band holds the pixels on either side of the head's outline up to bandPx away
// (where a matching window straddles head and background); the face holds the head pixels farther
// in. A region's figures count every one of its pixels: those without depth (Z = 0) lower the
// share with depth; the error statistics are taken over the pixels with depth, in millimetres.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

struct DepthRegions {
    cv::Mat face;  // CV_8UC1, 1 on the region
    cv::Mat band;  // CV_8UC1, 1 on the region
    cv::Mat outline;  // CV_8UC1, 1 on the band's head side: what a tracker's mask keeps of the outline
};

// headMask: CV_8UC1, non-zero where the head is seen.
DepthRegions MakeDepthRegions(const cv::Mat& headMask, int bandPx);

class CDepthErrors {
public:
    // measuredZ and trueZ CV_32FC1, region CV_8UC1, all of one size.
    void Add(const cv::Mat& measuredZ, const cv::Mat& trueZ, const cv::Mat& region);

    long Pixels() const { return pixels_; }
    double ShareWithDepth() const;
    // Quantile q (0..1) of the absolute errors of the pixels with depth; 0 when none has depth.
    double QuantileMm(double q) const;
    // Share of all the region's pixels whose depth is off by more than limitMm.
    double ShareOffBy(double limitMm) const;
    // Share of all the region's pixels whose depth is nearer than the truth by more than limitMm:
    // a nearer surface dragged over a farther one.
    double ShareNearerBy(double limitMm) const;
    // How much of the true relief the measured depth keeps: the slope of measured against true
    // depth over the pixels with depth, each frame about its own means (1: as deep as it is;
    // below 1: flattened, which makes a tracker read a turn as longer). 0 when nothing varies.
    double ReliefScale() const;

private:
    long pixels_ = 0;
    std::vector<float> errorsMm_;  // measured - true depth, one per pixel with depth
    double reliefCross_ = 0.0;     // sum of (true - its mean)(measured - its mean)
    double reliefSpread_ = 0.0;    // sum of (true - its mean)^2
};
