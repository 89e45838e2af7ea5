// The image file loader, every pixel type: whatever it accepts must be a whole image that saves
// and loads again to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzFiles.h"
#include "image/Image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzfiles::Write("image", data, size);
    CImage image;
    std::string why;
    if (!image.Load(path.c_str(), 0, &why)) {
        if (why.empty()) std::abort();  // a refusal always says why
        return 0;
    }
    const IplImage* header = image.GetIplImage();
    if (!header || !image.GetImageData() || header->width < 1 || header->height < 1) std::abort();
    if (header->nChannels == 3) return 0;  // colour saves as text, another format
    const std::string copy = fuzzfiles::Folder() + "copy";
    CImage again;
    if (image.Save(copy.c_str(), 0) != 1 || again.Load(copy.c_str(), 0) != 1) std::abort();
    const int rowBytes = header->width * (header->depth & 0xFF) / 8;
    for (int y = 0; y < header->height; ++y) {
        if (std::memcmp(image.GetImageData() + y * image.GetWidthStep(), again.GetImageData() + y * again.GetWidthStep(),
                        rowBytes) != 0)
            std::abort();
    }
    return 0;
}
