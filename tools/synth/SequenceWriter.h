// Writes one synthetic sequence into one folder, in every form the system reads, plus the
// configuration files that make the folder a tracker configuration directory.
//
// Per frame (index k, base name <folder>/frame + k zero-padded as the recorded camera pads it):
//   PGM form:        base-i.pgm (P5 intensity), base-x.pgm, base-y.pgm, base-z.pgm (P7 float, mm;
//                    Y down, or up with yUp)
//   disparity form:  base-d.pgm (P9, 1/16 pixel: round(16 focal baseline / Z))
//   IFF form:        base.iff (grey pixels and inverse depth 1/Z)
// A pixel without depth (Z = 0 in the frame) is X = Y = Z = 0 in the PGM form, disparity 0 and
// inverse depth 0: what each reader takes for "nothing measured".
//   PNG form:        left-<k>.png and right-<k>.png (rectified 8-bit pairs)
// Configuration, all paths absolute: camera-xyz.cfg (PGM form), camera-disparity.cfg (PGM and
// disparity forms), camera-iff.cfg (IFF form), camera-live.cfg (PNG form: the live camera's
// parameter file, with the pairs as its capture source), Param.cfg naming the chosen one,
// ParamInit.cfg and ParamTrackerZBCCE.cfg (results.txt and poses.txt in the folder).
// The folder must be usable as one configuration token: no white space, and short enough for the
// recorded camera's 199-character image path.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "synth/HeadScene.h"

enum SequenceForm : unsigned {
    kFormPgm = 1,
    kFormDisparity = 2,
    kFormIff = 4,
    kFormPng = 8,
    kFormAll = 15,
};

struct SequenceOptions {
    std::string folder;  // made absolute; created when missing
    StereoRig camera;
    int firstIndex = 1;
    int frameCount = 1;
    bool yUp = false;  // convention of the X, Y files only
    unsigned forms = kFormAll;
    std::string trackerCamera = "xyz";  // the camera file Param.cfg names: xyz, disparity, iff or live
    double nearestDepthMm = 475.0;      // the live camera's disparity range reaches this close
    double farthestDepthMm = 0.0;       // and this far (0: infinitely far)
    std::vector<std::string> stereoKeywords;  // lines appended to the live camera's file
};

// The recorded camera's zero padding: with nbPaddingZero digits, 7 -> "0007" for 4, 12345 stays.
std::string PaddedIndex(int index, int nbPaddingZero);

class CSequenceWriter {
public:
    // Null, with the reason in *error, for unusable options or a folder that cannot be made.
    static std::unique_ptr<CSequenceWriter> Create(const SequenceOptions& options, std::string* error);

    const SequenceOptions& Options() const { return options_; }  // folder absolute
    int PaddingZeros() const { return paddingZeros_; }
    std::string Path(const std::string& fileName) const { return options_.folder + "/" + fileName; }
    // <folder>/frame + padded index: the recorded camera's base name of frame `index`.
    std::string BaseName(int index) const;
    std::string PngPath(const std::string& side, int index) const;

    // Writes the chosen forms of one frame; false, with the failing file in *error.
    bool WriteFrame(int index, const RenderedFrame& frame, std::string* error) const;
    bool WriteConfiguration(std::string* error) const;

private:
    explicit CSequenceWriter(const SequenceOptions& options);
    bool WriteText(const std::string& fileName, const std::string& text, std::string* error) const;
    std::string RecordedCameraHeader(const char* fileFormat) const;

    SequenceOptions options_;
    int paddingZeros_ = 4;
};
