// A stereo camera that replays a recorded sequence of numbered frame files.
//
// Built from the recorded-camera configuration file (see RecordedCameraConfig.h); a file that does
// not open leaves every default, silently. Each GrabFrame() steps the file index back and forth
// between the first and last index until the configured number of frames has been delivered, then
// loads that frame: one PGM-style file per recorded kind of image ("<path><index><suffix>") or one
// ".iff" file holding colour and range. The index is padded with zeros to NB_PADDING_ZERO digits.
//
// Result codes are CStereoCamera's. A frame file that is missing, unreadable, or not of the
// camera's size and the expected pixel type fails with 120 and nothing of it is delivered.
// The camera owns its loaded images and its IFF reader; callers own the images they pass in.
#pragma once

#include <memory>
#include <string>

#include "acquisition/ImageFileReader.h"
#include "acquisition/RecordedCameraConfig.h"
#include "acquisition/StereoCamera.h"

class CStereoCameraFiles : public CStereoCamera {
public:
    explicit CStereoCameraFiles(const char* configFileName);
    ~CStereoCameraFiles() override;

    int GrabFrame() override;
    int ComputeStereo() override { return OK; }
    int GetIntensity(CImage* dst, int kind) override;
    int GetImage(CImage* dst, int kind) override { return GetIntensity(dst, kind); }
    int GetXYZ(CImage* x, CImage* y, CImage* z, CImage* disparity) override;
    int GetDisparity(CImage* dst, int depth) override;
    int Close() override { return OK; }
    void* GetParameters() override { return &config; }
    int ReportError(int code, int) override { return code; }

    const CRecordedCameraConfig& GetConfig() const { return config; }
    int GetFileIndex() const { return fileIndex; }
    int GetFramesGrabbed() const { return framesGrabbed; }
    const std::string& GetBaseName() const { return baseName; }
    const std::string& GetFileName() const { return fileName; }

    // "<path>" + zeros + decimal index, the zeros bringing the index to paddingDigits digits.
    static std::string BuildBaseName(const std::string& path, int paddingDigits, int index);

private:
    void AdvanceIndex();
    int LoadPGM();
    int LoadIFF();
    int ReadXYZFiles(CImage* x, CImage* y, CImage* z);
    int GetRangeXYZ(CImage* x, CImage* y, CImage* z);
    void DetachColorBuffer();
    bool IsIFF() const { return config.fileFormat == CRecordedCameraConfig::FORMAT_IFF; }
    bool Written(int channel) const { return config.channels[channel].written; }

    int framesGrabbed = 0;
    int fileIndex = 0;
    CImageFileReader reader;
    // PGM: the last loaded intensity. IFF: a header over the reader's colour buffer, which it
    // must never free (DetachColorBuffer before the buffer goes).
    std::unique_ptr<CImage> intensityImage;
    std::unique_ptr<CImage> disparityImage;
    std::string baseName;
    std::string fileName;
    CRecordedCameraConfig config;
};
