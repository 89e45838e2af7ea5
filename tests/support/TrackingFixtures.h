// Frames for the tracker's tests: synthetic images turned into tracked frames the way the stereo
// source makes them (pixel scales from the calibration, intensity scaled by 1/25500), and small
// recordings the source replays.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "image/DepthMaskRegion.h"
#include "synth/HeadScene.h"
#include "tracking/TrackedFrame.h"

// A fronto-parallel plane at depthMm seen by a pinhole of this focal length centred on the
// image, Y down; intensity from texture(column, row), clamped to 0..255.
template <typename Texture>
RenderedFrame PlaneFrame(int width, int height, float depthMm, float focalPx, Texture texture) {
    RenderedFrame frame;
    frame.left.create(height, width, CV_8UC1);
    frame.x.create(height, width, CV_32FC1);
    frame.y.create(height, width, CV_32FC1);
    frame.z.create(height, width, CV_32FC1);
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col) {
            frame.left.at<unsigned char>(row, col) = cv::saturate_cast<unsigned char>(texture(col, row));
            frame.x.at<float>(row, col) = (col - width / 2.0f) * depthMm / focalPx;
            frame.y.at<float>(row, col) = (row - height / 2.0f) * depthMm / focalPx;
            frame.z.at<float>(row, col) = depthMm;
        }
    frame.right = frame.left.clone();
    frame.headMask = cv::Mat::ones(height, width, CV_8UC1);
    return frame;
}

// A tracked frame as the source builds it: pixel scales z / f and -z / f at the region's
// centroid depth, intensity scaled by 1/25500.
std::unique_ptr<CTrackedFrame> MakeTrackedFrame(const RenderedFrame& frame, const CDepthMaskRegion& region,
                                                int index, float focalPx);

// Writes the frames (PGM form, indices from 1) and the configuration into folder; returns the
// "Param.cfg" text that replays them through the recorded camera.
std::string WriteRecording(const std::string& folder, const std::vector<RenderedFrame>& frames,
                           const StereoRig& camera);
