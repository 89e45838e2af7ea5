// A small image-file library of our own for recorded frames that carry colour and range together
// (".iff" files). The reader calls are the ones recorded sequences are read through; ILsave is
// the writer that tools and tests use.
//
// File layout, all integers unsigned 32-bit little-endian:
//   "VIFF", version 1, width, height, bytes per sample (1 or 2), type flags,
//   then the pixel block:  IL_TYPE_COLOR: width*height RGB triples of samples;
//                          IL_TYPE_GRAY (without IL_TYPE_COLOR): width*height samples;
//   then, with IL_TYPE_RANGE, the range block: width*height little-endian floats holding the
//   inverse depth 1/Z of each pixel (0 where nothing was measured), row by row, top row first.
// A file whose size does not match its header is refused by ILopen.
#pragma once

// Type flags returned by ILgettype.
constexpr int IL_TYPE_COLOR = 0x1;  // RGB pixels
constexpr int IL_TYPE_ALPHA = 0x2;  // reserved: alpha is never stored, pixels are delivered with alpha 255
constexpr int IL_TYPE_RANGE = 0x4;  // a range block follows the pixels
constexpr int IL_TYPE_GRAY = 0x10;  // one sample a pixel

// Control codes for ILctrl; each takes 0 or 1.
constexpr int IL_CTRL_RGBA = 0x10000;      // 1: colour delivered as 4 samples a pixel (RGBA); 0: as stored (RGB)
constexpr int IL_CTRL_FLIP = 0x40000;      // 1: rows delivered bottom row first; 0: top row first
constexpr int IL_CTRL_KEEP16 = 0x100000;   // 1: 2-byte samples delivered as stored; 0: reduced to 8 bits
constexpr int IL_CTRL_DEPTH = 0x200000;    // 1: range delivered as depth Z; 0: as stored (1/Z)

struct ILfile;

// mode must be "r". Null when the file cannot be opened or is not a valid container.
ILfile* ILopen(const char* name, const char* mode);
// 0 on success, -1 for a null handle, an unknown code or a value other than 0 and 1.
int ILctrl(ILfile* file, int code, int value);
// Bytes per sample, or -1 for a null handle.
int ILgetbpp(ILfile* file);
// 0 on success (width and height stored), -1 for a null handle.
int ILgetsize(ILfile* file, int* width, int* height);
// Type flags, or -1 for a null handle.
int ILgettype(ILfile* file);
// Reads the pixel block into pixels (when the file has one) and the range block into range (when
// it has one). The caller sizes pixels for width*height*bpp*4 bytes and range for width*height
// floats; either may be null to skip that block. 0 on success, -1 on a short read.
int ILload(ILfile* file, void* pixels, float* range);
// Closes and frees the handle: 0 on success, -1 for a null handle.
int ILclose(ILfile* file);

// Writes a container with 1-byte samples. pixels holds RGB triples (IL_TYPE_COLOR) or gray samples
// (IL_TYPE_GRAY); inverseDepth is read when type has IL_TYPE_RANGE. 0 on success, -1 on failure.
int ILsave(const char* name, int width, int height, int type, const unsigned char* pixels,
           const float* inverseDepth);
