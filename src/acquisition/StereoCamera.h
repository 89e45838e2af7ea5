// The stereo camera the stereo source drives once per frame: GrabFrame, then GetImage, then GetXYZ
// (or GetDisparity handed to another camera's GetXYZ).
//
// Images are created and owned by the caller at the camera's size: intensity 8-bit one channel;
// X, Y, Z float one channel; disparity 16-bit (8-bit where a camera says so). Operations answer
// with the result codes below and never print, except a live camera's ReportError.
//
// The base class holds the pinhole calibration and supplies the disparity-to-3D reconstruction:
// Z = focal * baseline / disparity, X = (column - centreX) * Z / focal and
// Y = (height - 1 - row - centreY) * Z / focal, so Y points up in the base reconstruction.
//
// The virtual operations are declared in their fixed slot order; keep it when adding cameras.
#pragma once

#include <ostream>
#include <string>

class CImage;

class CStereoCamera {
public:
    enum Result {
        OK = 0,
        GRABBER_OPEN_FAILED = 100,
        PARAMETERS_REFUSED = 101,
        CAPTURE_START_FAILED = 102,
        NO_IMAGE = 103,
        NOT_SUPPORTED = 110,
        END_OF_SEQUENCE = 120,  // also: a recorded file cannot be read
        NOT_RECORDED = 200,
    };

    CStereoCamera() = default;
    CStereoCamera(const CStereoCamera&) = delete;
    CStereoCamera& operator=(const CStereoCamera&) = delete;

    virtual ~CStereoCamera() = default;                                  // 0
    virtual int GrabFrame() = 0;                                        // 1
    virtual int ComputeStereo() { return NOT_SUPPORTED; }               // 2
    virtual int GetIntensity(CImage* dst, int kind) = 0;                // 3
    virtual int GetImage(CImage* dst, int kind) = 0;                    // 4
    virtual int GetXYZ(CImage* x, CImage* y, CImage* z, CImage* disparity);  // 5
    virtual int GetDisparity(CImage*, int) { return NOT_SUPPORTED; }    // 6
    virtual int Close() = 0;                                            // 7
    virtual void PrintCalibration(std::ostream& out);                   // 8
    virtual float GetBaseline() { return baseline; }                    // 9
    virtual float GetFocal() { return focal; }                          // 10
    virtual void GetImageCenter(float& x, float& y) {                   // 11
        x = imageCenterX;
        y = imageCenterY;
    }
    virtual float GetImageCenterX() { return imageCenterX; }            // 12
    virtual float GetImageCenterY() { return imageCenterY; }            // 13
    virtual void* GetParameters() = 0;                                  // 14
    virtual void Reserved15(int, int, int, int) {}                      // 15: placeholder, no behaviour
    virtual void Reserved16() {}                                        // 16: placeholder, no behaviour
    virtual void Project(float x, float y, float z, float& u, float& v);  // 17
    virtual void SetMode(int newMode) { mode = newMode; }               // 18
    virtual void SetImageSize(int newWidth, int newHeight) {            // 19
        width = newWidth;
        height = newHeight;
    }
    virtual int ReportError(int code, int detail) = 0;                  // 20

    // Why the last failed grab or reconstruction failed, as "<kind>: <detail>" (for example
    // "unreadable frame file: /rec/f0007-i.pgm does not open: No such file or directory"); empty
    // when this camera cannot tell (a live camera reports through ReportError instead).
    const std::string& GetFailure() const { return failure; }
    int GetMode() const { return mode; }
    int GetWidth() const { return width; }
    int GetHeight() const { return height; }

protected:
    void SetCalibration(float newFocal, float newBaseline, float centreX, float centreY) {
        focal = newFocal;
        baseline = newBaseline;
        imageCenterX = centreX;
        imageCenterY = centreY;
    }

    std::string failure;
    int mode = 1;  // 3: colour available
    int width = 320;
    int height = 240;
    float focal = 1.0f;          // pixels
    float baseline = 1.0f;       // length unit of the 3D output
    float imageCenterX = 160.0f;  // pixels
    float imageCenterY = 120.0f;  // pixels
};
