// Settings of a recorded stereo sequence: where its numbered frame files are, which kinds of image
// were written and under which suffix, how the index walks, and the calibration to reconstruct 3D.
//
// Read from a token stream (see common/ConfigReader.h) by Read(); a missing file leaves every
// default. Values that cannot work (see the limits below) are refused with a message naming the
// file, the keyword and the value, and the previous value is kept. Relative INPUT_IMAGE_PATH and
// CAMERA_CONFIG_FILENAME are taken relative to the file's folder when the stream carries it. zNear, zFar and isDisparity are kept for the recording tools and used by nothing here.
#pragma once

#include <istream>
#include <string>

class CConfigReader;

// A plain record: the recorded camera and the stereo source read its fields directly.
class CRecordedCameraConfig {
public:
    enum RecordedCamera { RECORDED_SRI = 0, RECORDED_TRICLOPS = 1, RECORDED_NONE = 2 };
    enum FileFormat { FORMAT_NONE = 0, FORMAT_PGM = 1, FORMAT_IFF = 2 };
    enum Channel { INTENSITY = 0, DISPARITY = 1, X_COORD = 2, Y_COORD = 3, DEPTH = 4, CHANNEL_COUNT = 5 };

    // Longest INPUT_IMAGE_PATH value accepted; a longer one is refused and the path kept.
    static constexpr std::size_t kMaxInputImagePath = 199;
    // Largest NB_PADDING_ZERO: an int index has at most 10 digits.
    static constexpr int kMaxPaddingDigits = 20;
    // FOCAL and BASELINE must lie in (0, kMaxCalibration], IMAGE_CENTER within +-kMaxCalibration.
    static constexpr float kMaxCalibration = 1e6f;

    struct ChannelFile {
        bool written;
        std::string suffix;
    };

    CRecordedCameraConfig();

    // Reads keywords from in (null reads as empty) over the current values, then fills in the
    // total frame count when the file did not give one.
    void Read(std::istream* in);

    int recordedCamera = RECORDED_NONE;
    std::string cameraConfigFilename;
    int fileFormat = FORMAT_NONE;
    std::string inputImagePath;
    int firstFileIndex = 100;
    int lastFileIndex = 101;
    int totalFrame = -1;
    int stepFileIndex = 1;
    int nbPaddingZero = 1;
    ChannelFile channels[CHANNEL_COUNT];
    float zNear = 0.0f;
    float zFar = 1.0f;
    float isDisparity = 1.0f;
    float focal = 1.0f;
    float baseline = 1.0f;
    float imageCenterX = 160.0f;
    float imageCenterY = 120.0f;

private:
    // One keyword's value(s); false when a value did not parse, which ends the reading.
    bool ReadValue(CConfigReader& reader, const std::string& keyword);
};
