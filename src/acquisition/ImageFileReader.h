// Reader of one IFF frame (colour and range) through the image-file library.
//
// Open() prepares a file for reading with the controls recorded sequences rely on: colour
// delivered as RGBA, top row first, 2-byte samples kept, range delivered as stored (1/Z).
// Read() then fills two buffers that the reader owns until the next Open() or its destruction:
// the colour buffer (width * height * bpp * 4 bytes) and the range buffer (width * height
// floats). Images may point into the colour buffer but must never free it.
#pragma once

#include <cstddef>
#include <memory>

#include "platform/imagefile/imagefile.h"

class CImageFileReader {
public:
    CImageFileReader() = default;
    ~CImageFileReader();
    CImageFileReader(const CImageFileReader&) = delete;
    CImageFileReader& operator=(const CImageFileReader&) = delete;

    // Closes any open file first. False when the file does not open.
    bool Open(const char* name);
    void Close();
    // False when no file is open, buffers already exist or the library reports a short file.
    bool Read();

    // False (sizes untouched) without an open file.
    bool GetSize(int& width, int& height) const;
    int GetBpp() const;  // -1 without an open file
    bool IsColor() const { return HasType(IL_TYPE_COLOR); }
    bool IsGray() const { return HasType(IL_TYPE_GRAY); }
    bool HasAlpha() const { return HasType(IL_TYPE_ALPHA); }
    bool HasRange() const { return HasType(IL_TYPE_RANGE); }

    // Null until Read() allocated them; owned by the reader.
    unsigned char* GetColorBuffer() const { return colorBuffer.get(); }
    float* GetRangeBuffer() const { return rangeBuffer.get(); }
    // Sizes of the buffers above, for callers that copy out of them.
    std::size_t GetColorBufferBytes() const { return colorBytes; }
    std::size_t GetRangeBufferFloats() const { return rangeFloats; }

private:
    bool HasType(int flag) const;
    void FreeBuffers();

    ILfile* handle = nullptr;
    std::unique_ptr<unsigned char[]> colorBuffer;
    std::unique_ptr<float[]> rangeBuffer;
    std::size_t colorBytes = 0;
    std::size_t rangeFloats = 0;
};
