// A contact sheet of rendered frames for a person to look at: one row per frame holding the left
// image, the right image and the left depth map (near warm, far cold), each row labelled with the
// frame's index. Returns a BGR image; the frames are not modified.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "synth/HeadScene.h"

struct ContactSheetRow {
    int index = 0;
    const RenderedFrame* frame = nullptr;
};

// Depths are coloured from nearMm (red) to farMm (blue), clamped; rows without a frame are skipped.
cv::Mat MakeContactSheet(const std::vector<ContactSheetRow>& rows, double nearMm, double farMm);
