// The colour-and-range container reader, as recorded sequences use it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FuzzFiles.h"
#include "acquisition/ImageFileReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzfiles::Write("frame.iff", data, size);
    CImageFileReader reader;
    if (!reader.Open(path.c_str())) return 0;
    int width = 0, height = 0;
    if (!reader.GetSize(width, height) || width < 1 || height < 1) std::abort();
    if (!reader.Read()) return 0;
    // Every byte the reader claims to hold is readable.
    unsigned sum = 0;
    const unsigned char* colour = reader.GetColorBuffer();
    for (std::size_t i = 0; colour && i < reader.GetColorBufferBytes(); ++i) sum += colour[i];
    const float* range = reader.GetRangeBuffer();
    for (std::size_t i = 0; range && i < reader.GetRangeBufferFloats(); ++i) sum += range[i] > 0.0f;
    return static_cast<int>(sum & 0);
}
