#include "platform/imagefile/imagefile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

struct ILfile {
    std::FILE* stream = nullptr;
    int width = 0;
    int height = 0;
    int bpp = 1;
    int type = 0;
    bool rgba = false;
    bool flip = false;
    bool keep16 = false;
    bool depth = false;
};

namespace {

constexpr char kMagic[4] = {'V', 'I', 'F', 'F'};
constexpr std::uint32_t kVersion = 1;
constexpr int kMaxSide = 16384;
constexpr long kHeaderBytes = 24;

bool readU32(std::FILE* f, std::uint32_t& v) {
    unsigned char b[4];
    if (std::fread(b, 1, 4, f) != 4) return false;
    v = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return true;
}

bool writeU32(std::FILE* f, std::uint32_t v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    return std::fwrite(b, 1, 4, f) == 4;
}

int samplesPerPixel(int type) {
    if (type & IL_TYPE_COLOR) return 3;
    if (type & IL_TYPE_GRAY) return 1;
    return 0;
}

long expectedSize(int width, int height, int bpp, int type) {
    const long pixels = static_cast<long>(width) * height;
    long size = kHeaderBytes + pixels * samplesPerPixel(type) * bpp;
    if (type & IL_TYPE_RANGE) size += pixels * 4;
    return size;
}

float toFloat(const unsigned char* b) {
    const std::uint32_t bits = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

// Reads one stored row of samples into a delivered row: widens RGB to RGBA and reduces or keeps
// 2-byte samples as the controls say.
void deliverRow(const ILfile& file, const unsigned char* stored, unsigned char* out) {
    const int channels = samplesPerPixel(file.type);
    const int outChannels = (channels == 3 && file.rgba) ? 4 : channels;
    const int outBytes = (file.bpp == 2 && file.keep16) ? 2 : 1;
    for (int x = 0; x < file.width; ++x) {
        for (int c = 0; c < outChannels; ++c) {
            unsigned char* dst = out + (static_cast<long>(x) * outChannels + c) * outBytes;
            if (c == 3) {  // alpha is never stored
                std::memset(dst, 0xFF, outBytes);
                continue;
            }
            const unsigned char* src = stored + (static_cast<long>(x) * channels + c) * file.bpp;
            if (file.bpp == 1) {
                dst[0] = src[0];
            } else if (outBytes == 2) {
                dst[0] = src[0];
                dst[1] = src[1];
            } else {
                dst[0] = src[1];  // high byte of the little-endian sample
            }
        }
    }
}

}  // namespace

ILfile* ILopen(const char* name, const char* mode) {
    if (!name || !mode || std::strcmp(mode, "r") != 0) return nullptr;
    std::FILE* f = std::fopen(name, "rb");
    if (!f) return nullptr;
    char magic[4];
    std::uint32_t version = 0, width = 0, height = 0, bpp = 0, type = 0;
    const bool ok = std::fread(magic, 1, 4, f) == 4 && std::memcmp(magic, kMagic, 4) == 0 && readU32(f, version) &&
                    version == kVersion && readU32(f, width) && readU32(f, height) && readU32(f, bpp) &&
                    readU32(f, type) && width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide &&
                    (bpp == 1 || bpp == 2) && type <= 0xFF && (samplesPerPixel(type) || (type & IL_TYPE_RANGE));
    if (!ok || std::fseek(f, 0, SEEK_END) != 0 ||
        std::ftell(f) != expectedSize(static_cast<int>(width), static_cast<int>(height), static_cast<int>(bpp),
                                      static_cast<int>(type))) {
        std::fclose(f);
        return nullptr;
    }
    auto* file = new ILfile;
    file->stream = f;
    file->width = static_cast<int>(width);
    file->height = static_cast<int>(height);
    file->bpp = static_cast<int>(bpp);
    file->type = static_cast<int>(type);
    return file;
}

int ILctrl(ILfile* file, int code, int value) {
    if (!file || (value != 0 && value != 1)) return -1;
    switch (code) {
        case IL_CTRL_RGBA: file->rgba = value; return 0;
        case IL_CTRL_FLIP: file->flip = value; return 0;
        case IL_CTRL_KEEP16: file->keep16 = value; return 0;
        case IL_CTRL_DEPTH: file->depth = value; return 0;
        default: return -1;
    }
}

int ILgetbpp(ILfile* file) { return file ? file->bpp : -1; }

int ILgetsize(ILfile* file, int* width, int* height) {
    if (!file || !width || !height) return -1;
    *width = file->width;
    *height = file->height;
    return 0;
}

int ILgettype(ILfile* file) { return file ? file->type : -1; }

int ILload(ILfile* file, void* pixels, float* range) {
    if (!file || std::fseek(file->stream, kHeaderBytes, SEEK_SET) != 0) return -1;
    const int channels = samplesPerPixel(file->type);
    const long storedRow = static_cast<long>(file->width) * channels * file->bpp;
    const int outChannels = (channels == 3 && file->rgba) ? 4 : channels;
    const long outRow = static_cast<long>(file->width) * outChannels * ((file->bpp == 2 && file->keep16) ? 2 : 1);
    std::vector<unsigned char> row(static_cast<std::size_t>(std::max(storedRow, file->width * 4L)));
    for (int y = 0; y < file->height && channels; ++y) {
        if (std::fread(row.data(), 1, storedRow, file->stream) != static_cast<std::size_t>(storedRow)) return -1;
        const int outY = file->flip ? file->height - 1 - y : y;
        if (pixels) deliverRow(*file, row.data(), static_cast<unsigned char*>(pixels) + outY * outRow);
    }
    if (!(file->type & IL_TYPE_RANGE)) return 0;
    for (int y = 0; y < file->height; ++y) {
        if (std::fread(row.data(), 1, file->width * 4L, file->stream) != static_cast<std::size_t>(file->width * 4L))
            return -1;
        if (!range) continue;
        float* out = range + static_cast<long>(file->flip ? file->height - 1 - y : y) * file->width;
        for (int x = 0; x < file->width; ++x) {
            const float inverse = toFloat(&row[x * 4L]);
            out[x] = (file->depth && inverse != 0.0f) ? 1.0f / inverse : inverse;
        }
    }
    return 0;
}

int ILclose(ILfile* file) {
    if (!file) return -1;
    const int result = std::fclose(file->stream) == 0 ? 0 : -1;
    delete file;
    return result;
}

int ILsave(const char* name, int width, int height, int type, const unsigned char* pixels,
           const float* inverseDepth) {
    const int channels = samplesPerPixel(type);
    if (!name || width < 1 || height < 1 || width > kMaxSide || height > kMaxSide || type < 0 || type > 0xFF ||
        (channels && !pixels) || ((type & IL_TYPE_RANGE) && !inverseDepth) || (!channels && !(type & IL_TYPE_RANGE)))
        return -1;
    std::FILE* f = std::fopen(name, "wb");
    if (!f) return -1;
    bool ok = std::fwrite(kMagic, 1, 4, f) == 4 && writeU32(f, kVersion) && writeU32(f, width) &&
              writeU32(f, height) && writeU32(f, 1) && writeU32(f, type);
    const std::size_t pixelBytes = static_cast<std::size_t>(width) * height * channels;
    if (ok && channels) ok = std::fwrite(pixels, 1, pixelBytes, f) == pixelBytes;
    if (ok && (type & IL_TYPE_RANGE)) {
        for (long i = 0; ok && i < static_cast<long>(width) * height; ++i) {
            std::uint32_t bits;
            std::memcpy(&bits, &inverseDepth[i], 4);
            ok = writeU32(f, bits);
        }
    }
    return (std::fclose(f) == 0 && ok) ? 0 : -1;
}
