// The raw image file format of CImage: a text header ("P<digit>", an optional comment line,
// "width height", the maximum sample value) followed by the rows of the pixel block, top row
// first, without padding, samples little-endian. Header lines may end with CR LF and carry blanks
// (spaces, tabs) around their numbers; anything else on a header line refuses the file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
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
// Blanks inside one header line.
bool isLineBlank(int c) { return c == ' ' || c == '\t' || c == '\r'; }

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

// A non-negative decimal that fits in an int, at text[at]; at moves past its digits.
bool parseCount(const std::string& text, std::size_t& at, int& value) {
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
    long long number = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        number = number * 10 + (text[at] - '0');
        if (number > INT_MAX) return false;
    }
    value = static_cast<int>(number);
    return true;
}

std::size_t skipLineBlanks(const std::string& text, std::size_t at) {
    while (at < text.size() && isLineBlank(static_cast<unsigned char>(text[at]))) ++at;
    return at;
}

// "width height": blanks (spaces, tabs) around and between the two numbers, a CR before the line
// end, and nothing else.
bool parseSizeLine(const std::string& line, int& width, int& height) {
    std::size_t at = skipLineBlanks(line, 0);
    if (!parseCount(line, at, width)) return false;
    const std::size_t gap = skipLineBlanks(line, at);
    if (gap == at) return false;
    at = gap;
    if (!parseCount(line, at, height)) return false;
    return skipLineBlanks(line, at) == line.size();
}

// The maximum value (read and ignored) on its own line, ended by LF or CR LF, blanks allowed
// before the line end; the pixels start right after that line end. Blank lines before it are
// skipped.
bool readMaxValueLine(std::FILE* file) {
    int c = nextNonBlank(file);
    std::string line;
    while (c != EOF && c != '\n' && line.size() < 64) {
        line.push_back(static_cast<char>(c));
        c = std::fgetc(file);
    }
    std::size_t at = 0;
    int maxValue = 0;
    return c == '\n' && parseCount(line, at, maxValue) && skipLineBlanks(line, at) == line.size();
}

bool readSizes(std::FILE* file, int& width, int& height) {
    std::string line;
    if (!readLine(file, line)) return false;
    // One comment line directly after the magic line.
    if (!line.empty() && line[0] == '#' && !readLine(file, line)) return false;
    return parseSizeLine(line, width, height);
}

// Bytes from the current position to the end, or -1 when the file cannot tell.
long long bytesLeft(std::FILE* file) {
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(file);
    if (end < 0 || std::fseek(file, here, SEEK_SET) != 0) return -1;
    return static_cast<long long>(end) - here;
}

// Opens a regular file for reading; a device, pipe or folder is refused without waiting on it.
FilePtr openRegular(const char* fileName, std::string& why) {
    const int fd = ::open(fileName, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = std::string("does not open: ") + std::strerror(errno);
        return nullptr;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        why = "not a regular file";
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FilePtr file(::fdopen(fd, "rb"));
    if (!file) {
        ::close(fd);
        why = std::string("does not open: ") + std::strerror(errno);
    }
    return file;
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

int CImage::Load(const char* fileName, int format) { return Load(fileName, format, nullptr); }

int CImage::Load(const char* fileName, int format, std::string* why) {
    std::string reason;
    const int loaded = LoadFile(fileName, format, reason);
    if (why) *why = reason;
    return loaded;
}

int CImage::LoadFile(const char* fileName, int format, std::string& why) {
    if ((format != 0 && format != 2) || !fileName) {
        why = "not a format this image type reads";
        return 0;
    }
    FilePtr file = openRegular(fileName, why);
    if (!file) return 0;

    PixelType type;
    if (nextNonBlank(file.get()) == EOF || !pixelTypeOfDigit(nextNonBlank(file.get()), type)) {
        why = "not an image file (its first line is not P5, P6, P7 or P9)";
        return 0;
    }
    std::string magicRest;
    readLine(file.get(), magicRest);
    int width = 0;
    int height = 0;
    if (!readSizes(file.get(), width, height)) {
        why = "no \"width height\" line after the first line (and its one comment line)";
        return 0;
    }
    if (width < 1 || height < 1 || width > kMaxFileSide || height > kMaxFileSide ||
        static_cast<long long>(width) * height > kMaxFilePixels) {
        why = "size " + std::to_string(width) + " x " + std::to_string(height) + " outside 1 to " +
              std::to_string(kMaxFileSide) + " pixels a side and " + std::to_string(kMaxFilePixels) + " pixels";
        return 0;
    }
    if (!readMaxValueLine(file.get())) {
        why = "no maximum value alone on the line after the size";
        return 0;
    }

    // Everything is built aside and taken over only once the whole file has been read.
    CImage loaded(width, height, type.depth, type.channels, IPL_DATA_ORDER_PIXEL);
    if (!loaded.header_) {
        why = "no image of this size can be made";
        return 0;
    }
    const long long rowBytes = static_cast<long long>(width) * type.channels * type.bytesPerSample;
    const long long left = bytesLeft(file.get());
    const auto truncated = [&] {
        why = "truncated: " + std::to_string(rowBytes * height) + " bytes of pixels expected";
        return 0;
    };
    if (left >= 0 && left < rowBytes * height) return truncated();  // refused before allocating
    loaded.Allocate();
    if (!loaded.GetImageData()) {
        why = "out of memory";
        return 0;
    }
    if (type.channels == 3) loaded.SetChannelSeq("RGB");

    const IplImage* header = loaded.header_.get();
    for (int y = 0; y < height; ++y) {
        char* row = header->imageData + static_cast<long>(y) * header->widthStep;
        if (std::fread(row, 1, rowBytes, file.get()) != static_cast<std::size_t>(rowBytes)) return truncated();
    }
    ReplaceHeader(std::move(loaded.header_));
    why.clear();
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
