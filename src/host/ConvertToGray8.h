// The 8-bit grey image the face detector works on, made from a frame's intensity or mask image.
//
// ConvertToGray8 fills destination (created when null: the source's size, 8-bit, one channel; the
// caller owns it either way) and returns it:
//   1-bit source: 0 stays 0, 1 becomes 255;   8-bit: plain copy;
//   16-bit (signed or not): the full 16-bit range rescaled onto 0..255;
//   float: [minimum, maximum] of the centre window (x 80, y 60, 160 x 100) stretched onto 0..255,
//          with maximum = minimum + 255 when the window is flat;
//   any other depth: nothing is converted (a destination made here stays black).
// A null source, or a destination that does not fit it, leaves the destination as it is.
#pragma once

class CImage;

CImage* ConvertToGray8(CImage* source, CImage* destination);
