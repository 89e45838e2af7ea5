// Holes beside the face taken into it, so that the rows next to them keep their derivatives.
//
// A stereo camera leaves pixels without depth along the head's outline: the strip of background
// one camera sees and the other does not, and the head's own last pixels seen at a grazing angle.
// The derivatives of the pixels beside such a hole reach into it, so the mask is eroded away from
// it and the rows there are lost, and with them the outline, which tells a turn best. Their grey
// levels are measured all the same; only their depth is missing. Filled from the face beside
// them, the holes carry the derivatives again; the depth rows keep to where depth was measured
// (the level's depth weight), so that no made-up depth is compared.
#pragma once

#include <opencv2/core.hpp>

#include "tracking/PyramidPasses.h"

namespace outline_fill {

// The pixels of `rawDepth` without a depth (not positive, infinite or NaN) within `reach` pixels
// of the selected ones (`level.inside`) join them: their depth is the mean of the selected pixels
// within `reach`, their rays those pixels' rays carried on along the image's rows and columns (a
// ray changes linearly with the pixel). `filled` (CV_8U) is 255 where a pixel joined, else 0.
// Pixels with a depth outside the face's range stay out: they are measured, and not the face.
// False when no pixel joined.
bool Fill(const cv::Mat& rawDepth, int reach, const pyramid_passes::FirstLevel& level, cv::Mat& filled);

}  // namespace outline_fill
