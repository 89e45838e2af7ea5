// Depth errors as a stereo camera makes them, applied to a rendered frame's X, Y, Z: noise that
// grows with the square of the distance, and holes (no depth: X = Y = Z = 0, what a live stereo
// camera gives where its matcher finds nothing).
#pragma once

#include <opencv2/core.hpp>

struct StereoRig;

// sigma_Z = Z^2 / (focal baseline) disparityNoisePx, the point moved along its pixel's ray;
// holes where the left image's texture is too weak for a matcher (standard deviation of the grey
// levels over a square window below textureThreshold) and at random (dropout, a fraction of the
// pixels).
struct StereoDepthErrors {
    double disparityNoisePx = 0.0;
    double textureThreshold = 0.0;  // grey levels; 0: no texture holes
    int textureWindow = 11;         // pixels, odd
    double dropout = 0.0;

    bool Any() const { return disparityNoisePx > 0.0 || textureThreshold > 0.0 || dropout > 0.0; }
};

// left is the left intensity image (CV_32FC1) the matcher would see; x, y, z are CV_32FC1.
void ApplyStereoDepthErrors(const StereoDepthErrors& errors, const StereoRig& camera, const cv::Mat& left,
                            cv::RNG& rng, cv::Mat& x, cv::Mat& y, cv::Mat& z);
