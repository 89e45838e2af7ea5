// CStereoCameraSVS: the live stereo head, driven through the stereo library in platform/svs.
//
// Built from a stereo parameter file (format in platform/svs/svs.h), it opens the process's frame
// grabber and starts continuous capture; a failure is reported on standard output (ReportError)
// and shows later as failed grabs (103), so the object is always usable. Each GrabFrame fetches the newest
// pair and rectifies it in place; the left image is the intensity the source asks for, 3D comes
// from the stereo computation inside the valid window (pixels outside it are never written).
//
// Ownership: the left, right and colour images belong to the grabber (valid until the next grab
// or Close); the camera owns its two rectification buffers and its parameter block. Images
// passed in stay the caller's and must have the camera's width and height (else 110).
// Also used without a capture source as the disparity processor of recorded SVS sequences: then
// only its calibration and GetXYZ matter.
#pragma once

#include <cstdint>
#include <memory>

#include "acquisition/StereoCamera.h"
#include "platform/svs/svs.h"

class CStereoCameraSVS : public CStereoCamera {
public:
    explicit CStereoCameraSVS(const char* paramFileName);
    ~CStereoCameraSVS() override;

    int GrabFrame() override;
    int ComputeStereo() override;
    // kind 0, 2, 5: left; 1: right; 32: colour (RGBA) in mode 3, else left; others: nothing.
    int GetIntensity(CImage* dst, int kind) override;
    int GetImage(CImage* dst, int kind) override;
    // X, Y (down), Z (float) of the pixels of the valid window, from the disparity image or, without
    // one, from the stereo of the last grab. Disparities below 0 or from 16 n - 1 on (n disparities)
    // give X = Y = Z = 0, as does one whose point is not in front of the camera.
    int GetXYZ(CImage* x, CImage* y, CImage* z, CImage* disparityImage) override;
    // depth 16 only (else 110): the disparity of the last grab, in the library's layout.
    int GetDisparity(CImage* dst, int depth) override;
    int Close() override;
    // The camera's own svsParameterBlock.
    void* GetParameters() override { return &parameters; }
    // Through the 3 x 4 projection matrix of the parameter block.
    void Project(float x, float y, float z, float& u, float& v) override;
    // 3 asks for colour; restarts capture (a failure is reported as 102).
    void SetMode(int newMode) override;
    int ReportError(int code, int detail) override;

private:
    void OpenCamera();
    void Rectify();
    // The block's image size still is the one the buffers were made for (callers can write
    // into the block through GetParameters).
    bool BlockFitsBuffers() const { return parameters.width == bufferWidth && parameters.height == bufferHeight; }
    int Pixels() const { return bufferWidth * bufferHeight; }

    unsigned char* leftImage = nullptr;
    unsigned char* rightImage = nullptr;
    unsigned char* colorImage = nullptr;
    std::unique_ptr<unsigned char[]> warpedLeft;
    std::unique_ptr<unsigned char[]> warpedRight;
    std::int16_t* disparity = nullptr;
    svsParameterBlock parameters;
    // Only a camera whose grabber opened halts and closes it: the grabber is one per process.
    bool grabberOpen = false;
    int bufferWidth = 0;
    int bufferHeight = 0;
};
