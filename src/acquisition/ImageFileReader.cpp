#include "acquisition/ImageFileReader.h"

#include <new>

CImageFileReader::~CImageFileReader() { Close(); }

bool CImageFileReader::Open(const char* name) {
    Close();
    handle = ILopen(name, "r");
    if (!handle) return false;
    ILctrl(handle, IL_CTRL_RGBA, 1);
    ILctrl(handle, IL_CTRL_FLIP, 0);
    ILctrl(handle, IL_CTRL_KEEP16, ILgetbpp(handle) == 2 ? 1 : 0);
    ILctrl(handle, IL_CTRL_DEPTH, 0);
    return true;
}

void CImageFileReader::Close() {
    if (!handle) return;
    // A close that fails keeps the buffers: a later Read() then refuses rather than reading twice.
    if (ILclose(handle) == 0) FreeBuffers();
    handle = nullptr;
}

void CImageFileReader::FreeBuffers() {
    colorBuffer.reset();
    rangeBuffer.reset();
    colorBytes = 0;
    rangeFloats = 0;
}

bool CImageFileReader::Read() {
    if (!handle || colorBuffer || rangeBuffer) return false;
    int width = 0, height = 0;
    if (ILgetsize(handle, &width, &height) != 0) return false;
    const int bpp = ILgetbpp(handle);
    const int type = ILgettype(handle);
    if (width < 1 || height < 1 || bpp < 1 || type == -1) return false;
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (type & (IL_TYPE_COLOR | IL_TYPE_GRAY)) {
        colorBytes = pixels * static_cast<std::size_t>(bpp) * 4;
        colorBuffer.reset(new (std::nothrow) unsigned char[colorBytes]);
    }
    if (type & IL_TYPE_RANGE) {
        rangeFloats = pixels;
        rangeBuffer.reset(new (std::nothrow) float[rangeFloats]);
    }
    if (((type & (IL_TYPE_COLOR | IL_TYPE_GRAY)) && !colorBuffer) || ((type & IL_TYPE_RANGE) && !rangeBuffer)) {
        FreeBuffers();
        return false;
    }
    return ILload(handle, colorBuffer.get(), rangeBuffer.get()) == 0;
}

bool CImageFileReader::GetSize(int& width, int& height) const {
    if (!handle) return false;
    int w = 0, h = 0;
    if (ILgetsize(handle, &w, &h) != 0) return false;
    width = w;
    height = h;
    return true;
}

int CImageFileReader::GetBpp() const { return handle ? ILgetbpp(handle) : -1; }

bool CImageFileReader::HasType(int flag) const {
    if (!handle) return false;
    const int type = ILgettype(handle);
    return type != -1 && (type & flag) != 0;
}
