// The raw image file format of CImage: a text header ("P<digit>", an optional comment line,
// "width height", the maximum sample value) followed by the rows of the pixel block, top row
// first, without padding, samples little-endian.
#include <climits>
#include <cstdio>
#include <memory>
#include <string>

#include "image/Image.h"
#include "image/ImagePixels.h"

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the image file format stores little-endian samples; add byte swapping for this platform"
#endif

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

struct PixelType {
    int channels;
    int depth;
    int bytesPerSample;
};

bool pixelTypeOfDigit(int digit, PixelType& type) {
    switch (digit) {
        case '5': type = {1, IPL_DEPTH_8U, 1}; return true;
        case '6': type = {3, IPL_DEPTH_8U, 1}; return true;
        case '7': type = {1, IPL_DEPTH_32F, 4}; return true;
        case '9': type = {1, IPL_DEPTH_16U, 2}; return true;
        default: return false;
    }
}

bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

int nextNonBlank(std::FILE* file) {
    int c;
    do c = std::fgetc(file);
    while (c != EOF && isBlank(c));
    return c;
}

// Reads through the next line end; false at the end of the file with nothing read. Lines longer
// than any header line keep only their beginning, the rest is skipped.
bool readLine(std::FILE* file, std::string& line) {
    constexpr std::size_t kKept = 256;
    line.clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(file)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (line.size() < kKept) line.push_back(static_cast<char>(c));
    }
    return any;
}

// A non-negative decimal that fits in an int, at the start of text.
bool parseCount(const char* text, int& value) {
    if (*text < '0' || *text > '9') return false;
    long long number = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        number = number * 10 + (*text - '0');
        if (number > INT_MAX) return false;
    }
    value = static_cast<int>(number);
    return true;
}

// The next non-negative decimal of the stream; it must end with a blank, which is consumed.
bool readCount(std::FILE* file, int& value) {
    std::string digits;
    int c = nextNonBlank(file);
    while (c >= '0' && c <= '9' && digits.size() < 11) {
        digits.push_back(static_cast<char>(c));
        c = std::fgetc(file);
    }
    return isBlank(c) && parseCount(digits.c_str(), value);
}

bool readSizes(std::FILE* file, int& width, int& height) {
    std::string line;
    if (!readLine(file, line)) return false;
    int maxValue = 0;  // read and ignored
    if (!line.empty() && line[0] == '#') {
        return readCount(file, width) && readCount(file, height) && readCount(file, maxValue);
    }
    const std::size_t space = line.find(' ');
    if (space == std::string::npos) return false;
    return parseCount(line.c_str(), width) && parseCount(line.c_str() + space + 1, height) &&
           readCount(file, maxValue);
}

// Bytes from the current position to the end, or -1 when the file cannot tell.
long long bytesLeft(std::FILE* file) {
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(file);
    if (end < 0 || std::fseek(file, here, SEEK_SET) != 0) return -1;
    return static_cast<long long>(end) - here;
}

bool writeRaw(std::FILE* file, const IplImage* header, int rowBytes) {
    for (int y = 0; y < header->height; ++y) {
        const char* row = header->imageData + static_cast<long>(y) * header->widthStep;
        if (std::fwrite(row, 1, rowBytes, file) != static_cast<std::size_t>(rowBytes)) return false;
    }
    return true;
}

// Each pixel as red, green and blue decimals, each followed by one space.
bool writeColourText(std::FILE* file, const IplImage* header) {
    const bool rgbOrder = std::string(header->channelSeq, 3) == "RGB";
    const int red = rgbOrder ? 0 : 2;
    const int blue = rgbOrder ? 2 : 0;
    std::string row;
    for (int y = 0; y < header->height; ++y) {
        const auto* pixel = reinterpret_cast<const unsigned char*>(header->imageData) +
                            static_cast<long>(y) * header->widthStep;
        row.clear();
        for (int x = 0; x < header->width; ++x, pixel += 3) {
            for (int channel : {red, 1, blue}) {
                row += std::to_string(pixel[channel]);
                row += ' ';
            }
        }
        if (std::fwrite(row.data(), 1, row.size(), file) != row.size()) return false;
    }
    return true;
}

}  // namespace

int CImage::Load(const char* fileName, int format) {
    if ((format != 0 && format != 2) || !fileName) return 0;
    FilePtr file(std::fopen(fileName, "rb"));
    if (!file) return 0;

    PixelType type;
    if (nextNonBlank(file.get()) == EOF || !pixelTypeOfDigit(nextNonBlank(file.get()), type)) return 0;
    std::string magicRest;
    readLine(file.get(), magicRest);
    int width = 0;
    int height = 0;
    if (!readSizes(file.get(), width, height)) return 0;

    // Everything is built aside and taken over only once the whole file has been read.
    CImage loaded(width, height, type.depth, type.channels, IPL_DATA_ORDER_PIXEL);
    if (!loaded.header_) return 0;
    const long long rowBytes = static_cast<long long>(width) * type.channels * type.bytesPerSample;
    const long long left = bytesLeft(file.get());
    if (left >= 0 && left < rowBytes * height) return 0;  // truncated: refuse before allocating
    loaded.Allocate();
    if (!loaded.GetImageData()) return 0;
    if (type.channels == 3) loaded.SetChannelSeq("RGB");

    const IplImage* header = loaded.header_.get();
    for (int y = 0; y < height; ++y) {
        char* row = header->imageData + static_cast<long>(y) * header->widthStep;
        if (std::fread(row, 1, rowBytes, file.get()) != static_cast<std::size_t>(rowBytes)) return 0;
    }
    ReplaceHeader(std::move(loaded.header_));
    return 1;
}

int CImage::Save(const char* fileName, int format) const {
    if ((format != 0 && format != 2) || !fileName) return 0;
    const IplImage* header = header_.get();
    if (!image_pixels::HasPixels(header)) return 0;

    const int depth = header->depth & ~IPL_DEPTH_SIGN;
    const char* magic = nullptr;
    if (header->nChannels == 1 && header->depth == IPL_DEPTH_8U) magic = "P5";
    if (header->nChannels == 3 && header->depth == IPL_DEPTH_8U) magic = "P3";
    if (header->nChannels == 1 && header->depth == IPL_DEPTH_32F) magic = "P7";
    if (header->nChannels == 1 && depth == 16) magic = "P9";
    if (!magic) return 0;

    FilePtr file(std::fopen(fileName, "wb"));
    if (!file) return 0;
    if (std::fprintf(file.get(), "%s\n%d %d\n255\n", magic, header->width, header->height) < 0) return 0;
    const bool written = header->nChannels == 3
                             ? writeColourText(file.get(), header)
                             : writeRaw(file.get(), header, header->width * iplBytesPerSample(header->depth));
    if (!written || std::ferror(file.get())) return 0;
    return std::fclose(file.release()) == 0 ? 1 : 0;
}
