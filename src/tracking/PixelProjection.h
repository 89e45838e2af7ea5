// Where a point of the frames' 3D axes lands in the image, relative to where the pixel it came
// from sits: the image model of the iterated estimator.
//
// Perspective: a point P seen at pixel (c, r) with ray (X/Z, Y/Z) moves to
//   c' = c + columnSign f (X'/Z' - X/Z),   r' = r + rowSign f (Y'/Z' - Y/Z),
// which is the pinhole projection with the principal point where the pixel's own ray puts it: it
// holds whichever row the camera counts from (disparity reconstructions count from the bottom,
// with Y up) and needs no image centre beyond the one the 3D data were made with.
// Weak perspective: c' = c + (X' - X) columnsPerUnit, r' = r + (Y' - Y) rowsPerUnit, the pixel
// size at the head's depth, as the single linearised solve models it.
// The signs say how the data's axes run along the image (+1: X grows with the column, Y with the
// row), read from the frame's pixel scales, which the stereo source signs from the data.
#pragma once

struct PixelProjection {
    bool perspective = false;
    float focalPx = 0.0f;          // perspective, pixels at the frames' resolution
    float columnSign = 1.0f;
    float rowSign = 1.0f;
    float columnsPerUnit = 0.0f;   // weak perspective, signed
    float rowsPerUnit = 0.0f;

    // From a frame's pixel scales (scaleX = z / f when X grows with the column; scaleY = -z / f
    // when Y grows with the row) and the camera's focal length; perspective needs a focal length.
    static PixelProjection FromScales(float scaleX, float scaleY, float focalPx, bool perspective);
    bool Usable() const;
};
