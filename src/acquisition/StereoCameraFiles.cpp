#include "acquisition/StereoCameraFiles.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <sstream>
#include <limits>

#include "common/BoundedFile.h"
#include "common/ConfigReader.h"
#include "image/Image.h"
#include "platform/ipl/ipl.h"

namespace {

// The image-file format argument of CImage::Load for the PGM-style frames.
constexpr int kPgmFormat = 0;

// Threshold of the reciprocal that turns stored 1/Z back into Z: anything measured closer than
// 1e5 length units away is kept, and "nothing measured" (0) becomes that far plane.
constexpr float kRangeInverseThreshold = 1e-5f;

bool HasFormat(const CImage* image, int depth, int width, int height) {
    return image && image->GetIplImage() && image->GetImageData() && image->GetDepth() == depth &&
           image->GetNChannels() == 1 && image->GetWidth() == width && image->GetHeight() == height;
}

int Negated(int step) { return step == std::numeric_limits<int>::min() ? std::numeric_limits<int>::max() : -step; }

bool Is16Bit(int depth) { return depth == IPL_DEPTH_16U || depth == IPL_DEPTH_16S; }

// Copies rows of rowBytes bytes between images whose row strides may differ.
void CopyRows(const unsigned char* src, int srcStep, CImage* dst, int rowBytes, int rows) {
    auto* out = reinterpret_cast<unsigned char*>(dst->GetImageData());
    for (int r = 0; r < rows; ++r)
        std::memcpy(out + static_cast<long>(r) * dst->GetWidthStep(), src + static_cast<long>(r) * srcStep, rowBytes);
}

void CopyRows(const CImage* src, CImage* dst, int rowBytes, int rows) {
    CopyRows(reinterpret_cast<const unsigned char*>(src->GetImageData()), src->GetWidthStep(), dst, rowBytes, rows);
}

// Loads one frame file into a new image; null, with why set, unless it opens, parses and is a
// one-channel image of the given size whose pixel depth is accepted.
std::unique_ptr<CImage> LoadChecked(const std::string& name, int width, int height, bool (*acceptDepth)(int),
                                    const char* expected, std::string& why) {
    auto image = std::make_unique<CImage>();
    std::string reason;
    if (!image->Load(name.c_str(), kPgmFormat, &reason)) {
        why = "unreadable frame file: " + name + " " + reason;
        return nullptr;
    }
    if (!image->GetIplImage() || !image->GetImageData() || !acceptDepth(image->GetDepth()) ||
        image->GetNChannels() != 1 || image->GetWidth() != width || image->GetHeight() != height) {
        why = "unusable frame file: " + name + " is not a " + std::to_string(width) + " x " + std::to_string(height) +
              " " + expected + " image";
        return nullptr;
    }
    return image;
}

}  // namespace

CStereoCameraFiles::CStereoCameraFiles(const char* configFileName) {
    std::string text, why;
    if (configFileName && ReadBoundedFile(configFileName, kMaxConfigFileBytes, text, why) == BoundedRead::Ok) {
        std::istringstream in(text);
        CConfigReader::SetOrigin(in, configFileName);
        config.Read(&in);
    } else {
        // Nothing would ever be grabbed: worth a line even though every default stays in place.
        std::cerr << "Error! The recorded camera's configuration \"" << (configFileName ? configFileName : "")
                  << "\" " << (why.empty() ? "is not given" : why) << "; every setting keeps its default" << std::endl;
        config.Read(nullptr);  // still derives the frame count from the default indices
    }
    mode = 1;
    width = 320;
    height = 240;
    SetCalibration(config.focal, config.baseline, config.imageCenterX, config.imageCenterY);
    framesGrabbed = 0;
    fileIndex = config.firstFileIndex;
}

CStereoCameraFiles::~CStereoCameraFiles() {
    DetachColorBuffer();
    reader.Close();
}

void CStereoCameraFiles::DetachColorBuffer() {
    if (IsIFF() && intensityImage && intensityImage->GetIplImage()) intensityImage->SetImageData(nullptr);
}

std::string CStereoCameraFiles::BuildBaseName(const std::string& path, int paddingDigits, int index) {
    std::string name = path;
    if (paddingDigits > 1) {
        // Wide enough for any int index; more digits than that only add leading zeros.
        constexpr int kMaxPowerDigits = std::numeric_limits<long long>::digits10;
        int extraZeros = 0;
        if (paddingDigits - 1 > kMaxPowerDigits) {
            extraZeros = paddingDigits - 1 - kMaxPowerDigits;
            paddingDigits = kMaxPowerDigits + 1;
        }
        name.append(static_cast<std::size_t>(extraZeros), '0');
        long long power = 1;
        for (int i = 1; i < paddingDigits; ++i) power *= 10;
        while (power > index && power != 1) {
            name += '0';
            power /= 10;
        }
    }
    name += std::to_string(index);
    return name;
}

void CStereoCameraFiles::AdvanceIndex() {
    // 64-bit arithmetic keeps absurd steps in a configuration file from overflowing. A recording
    // whose first index lies above its last runs between the same two bounds, downwards first.
    const long long low = std::min(config.firstFileIndex, config.lastFileIndex);
    const long long high = std::max(config.firstFileIndex, config.lastFileIndex);
    const long long step = config.stepFileIndex;
    long long next = static_cast<long long>(fileIndex) + step;
    if (next > high) {
        config.stepFileIndex = Negated(config.stepFileIndex);
        next = high - step;
    } else if (next < low) {
        config.stepFileIndex = Negated(config.stepFileIndex);
        next = low - step;
    }
    if (next > std::numeric_limits<int>::max()) next = std::numeric_limits<int>::max();
    if (next < std::numeric_limits<int>::min()) next = std::numeric_limits<int>::min();
    fileIndex = static_cast<int>(next);
}

int CStereoCameraFiles::GrabFrame() {
    failure.clear();
    if (framesGrabbed >= config.totalFrame) {
        failure = "end of the recording: all " + std::to_string(std::max(config.totalFrame, 0)) +
                  " frames of TOTAL_FRAME delivered";
        return END_OF_SEQUENCE;
    }
    if (framesGrabbed != 0) AdvanceIndex();
    ++framesGrabbed;
    baseName = BuildBaseName(config.inputImagePath, config.nbPaddingZero, fileIndex);
    return IsIFF() ? LoadIFF() : LoadPGM();
}

int CStereoCameraFiles::LoadPGM() {
    if (Written(CRecordedCameraConfig::INTENSITY)) {
        fileName = baseName + config.channels[CRecordedCameraConfig::INTENSITY].suffix;
        // A frame that fails leaves nothing of an older frame behind to be delivered instead.
        intensityImage =
            LoadChecked(fileName, width, height, [](int depth) { return depth == IPL_DEPTH_8U; }, "8-bit grey", failure);
        if (!intensityImage) return END_OF_SEQUENCE;
    }
    if (Written(CRecordedCameraConfig::DISPARITY)) {
        fileName = baseName + config.channels[CRecordedCameraConfig::DISPARITY].suffix;
        disparityImage = LoadChecked(
            fileName, width, height, [](int depth) { return depth == IPL_DEPTH_8U || Is16Bit(depth); },
            "8-bit or 16-bit", failure);
        if (!disparityImage) return END_OF_SEQUENCE;
    }
    return OK;
}

int CStereoCameraFiles::LoadIFF() {
    DetachColorBuffer();  // the reader frees the old buffer when it opens the next file
    fileName = baseName + ".iff";
    int fileWidth = 0, fileHeight = 0;
    // Only 8-bit samples fit the camera's 8-bit intensity; every frame must have the camera's size
    // and carry the range block that the 3D data comes from. A refused file is closed at once so
    // that nothing of it can be delivered later.
    const bool usable = reader.Open(fileName.c_str()) && reader.Read() && reader.GetSize(fileWidth, fileHeight) &&
                        fileWidth == width && fileHeight == height && reader.GetBpp() == 1 &&
                        reader.GetRangeBuffer() &&
                        (reader.GetColorBuffer() || !Written(CRecordedCameraConfig::INTENSITY));
    if (!usable) {
        reader.Close();
        failure = "unusable frame file: " + fileName + " does not open as a " + std::to_string(width) + " x " +
                  std::to_string(height) + " 8-bit container with range data";
        return END_OF_SEQUENCE;
    }
    if (!reader.GetColorBuffer()) return OK;
    if (!intensityImage) intensityImage = std::make_unique<CImage>(fileWidth, fileHeight, IPL_DEPTH_8U, 4, 0);
    intensityImage->SetImageData(reinterpret_cast<char*>(reader.GetColorBuffer()));
    return OK;
}

int CStereoCameraFiles::GetIntensity(CImage* dst, int) {
    if (!Written(CRecordedCameraConfig::INTENSITY)) return NOT_RECORDED;
    if (!HasFormat(dst, IPL_DEPTH_8U, width, height)) return NOT_SUPPORTED;
    if (!IsIFF()) {
        if (!HasFormat(intensityImage.get(), IPL_DEPTH_8U, width, height)) return END_OF_SEQUENCE;
        CopyRows(intensityImage.get(), dst, width, height);
        return OK;
    }
    if (!reader.GetColorBuffer()) return END_OF_SEQUENCE;
    if (!reader.IsColor()) {
        CopyRows(reader.GetColorBuffer(), width, dst, width, height);
        return OK;
    }
    if (!intensityImage || !intensityImage->GetImageData()) return END_OF_SEQUENCE;
    intensityImage->ColorToGrayTo(dst);
    return OK;
}

int CStereoCameraFiles::GetDisparity(CImage* dst, int depth) {
    if (!Written(CRecordedCameraConfig::DISPARITY)) return NOT_RECORDED;
    if (!disparityImage) return END_OF_SEQUENCE;
    const int recorded = disparityImage->GetDepth();
    if (depth == 8 && recorded == IPL_DEPTH_8U) {
        if (!HasFormat(dst, IPL_DEPTH_8U, width, height)) return NOT_SUPPORTED;
        CopyRows(disparityImage.get(), dst, width, height);
        return OK;
    }
    if (depth == 16 && Is16Bit(recorded)) {
        if (!dst || !HasFormat(dst, dst->GetDepth(), width, height) || !Is16Bit(dst->GetDepth())) return NOT_SUPPORTED;
        CopyRows(disparityImage.get(), dst, width * 2, height);
        return OK;
    }
    return NOT_SUPPORTED;
}

int CStereoCameraFiles::GetXYZ(CImage* x, CImage* y, CImage* z, CImage* disparity) {
    if (IsIFF()) return GetRangeXYZ(x, y, z);
    if (Written(CRecordedCameraConfig::DEPTH) && Written(CRecordedCameraConfig::X_COORD) &&
        Written(CRecordedCameraConfig::Y_COORD))
        return ReadXYZFiles(x, y, z);
    if (Written(CRecordedCameraConfig::DISPARITY)) {
        if (!disparityImage) return END_OF_SEQUENCE;
        return CStereoCamera::GetXYZ(x, y, z, disparityImage.get());
    }
    if (!disparity) failure = "no 3D data: the recording holds neither X, Y and depth files nor disparity files";
    return CStereoCamera::GetXYZ(x, y, z, disparity);
}

int CStereoCameraFiles::ReadXYZFiles(CImage* x, CImage* y, CImage* z) {
    CImage* const targets[3] = {x, y, z};
    const int channels[3] = {CRecordedCameraConfig::X_COORD, CRecordedCameraConfig::Y_COORD,
                             CRecordedCameraConfig::DEPTH};
    // All three are read and checked before any is copied: a bad file leaves the targets as they were.
    std::unique_ptr<CImage> loaded[3];
    for (int i = 0; i < 3; ++i) {
        CImage* target = targets[i];
        if (!target || !target->GetImageData() || target->GetDepth() != IPL_DEPTH_32F || target->GetNChannels() != 1)
            return NOT_SUPPORTED;
        fileName = baseName + config.channels[channels[i]].suffix;
        loaded[i] = LoadChecked(fileName, target->GetWidth(), target->GetHeight(),
                                [](int depth) { return depth == IPL_DEPTH_32F; }, "float", failure);
        if (!loaded[i]) return END_OF_SEQUENCE;
    }
    for (int i = 0; i < 3; ++i)
        CopyRows(loaded[i].get(), targets[i], targets[i]->GetWidth() * 4, targets[i]->GetHeight());
    return OK;
}

int CStereoCameraFiles::GetRangeXYZ(CImage* x, CImage* y, CImage* z) {
    const float* range = reader.GetRangeBuffer();
    if (!range || reader.GetRangeBufferFloats() < static_cast<std::size_t>(width) * height) return END_OF_SEQUENCE;
    if (!HasFormat(x, IPL_DEPTH_32F, width, height) || !HasFormat(y, IPL_DEPTH_32F, width, height) ||
        !HasFormat(z, IPL_DEPTH_32F, width, height))
        return NOT_SUPPORTED;
    CopyRows(reinterpret_cast<const unsigned char*>(range), width * 4, z, width * 4, height);
    z->InvThresh(kRangeInverseThreshold);

    // Rows are counted from the bottom as in the base reconstruction, but the scale is negated:
    // this recording's Y axis points down.
    const float inverseFocal = 1.0f / focal;
    const float negInverseFocal = -1.0f / focal;
    for (int row = 0; row < height; ++row) {
        const float* zRow = reinterpret_cast<const float*>(z->GetImageData() + static_cast<long>(row) * z->GetWidthStep());
        float* xRow = reinterpret_cast<float*>(x->GetImageData() + static_cast<long>(row) * x->GetWidthStep());
        float* yRow = reinterpret_cast<float*>(y->GetImageData() + static_cast<long>(row) * y->GetWidthStep());
        const float rowValue = (static_cast<float>(height - 1 - row) - imageCenterY) * negInverseFocal;
        for (int col = 0; col < width; ++col) {
            xRow[col] = ((static_cast<float>(col) - imageCenterX) * inverseFocal) * zRow[col];
            yRow[col] = rowValue * zRow[col];
        }
    }
    return OK;
}
