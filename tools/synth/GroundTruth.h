// The true head poses of a synthetic sequence, their text file, and the relative motions the
// tracker is expected to estimate.
//
// File "ground-truth.txt": lines beginning with '#' are comments (the header says how the sequence
// was made); blank lines are skipped; every other line is one frame, 16 numbers separated by blanks:
//   index r1 r2 r3 t1 t2 t3 R11 R12 R13 R21 R22 R23 R31 R32 R33
// index is the frame's file index (the tracker's frame number when the first index is 1); r is the
// rotation vector (axis times angle, radians), t the translation (mm), R the rotation matrix by rows,
// of the head pose p_camera = R p_head + t in the left camera frame, Y down, whatever convention
// the X, Y files were written in. Numbers carry 17 significant digits so a file reads back exactly.
// The reader takes R as the rotation and checks r against it; indices must increase.
#pragma once

#include <string>
#include <vector>

#include "synth/RigidMotion.h"

struct GroundTruthFrame {
    int index = 0;
    CRigidMotion pose;
};

class CGroundTruth {
public:
    // Indices must increase from call to call; false (nothing added) otherwise.
    bool Add(int index, const CRigidMotion& pose);
    const std::vector<GroundTruthFrame>& Frames() const { return frames_; }
    // Null when no frame has that index.
    const CRigidMotion* Find(int index) const;
    // The motion p_b = R p_a + t from frame indexA to frame indexB; false when either is missing.
    bool Motion(int indexA, int indexB, CRigidMotion& motion) const;

    // headerComment: lines written after the format description, each prefixed with "# ".
    bool Write(const std::string& path, const std::vector<std::string>& headerComment) const;
    // Replaces the frames by the file's; on failure leaves them empty and says why in *error.
    bool Read(const std::string& path, std::string* error);

private:
    std::vector<GroundTruthFrame> frames_;
};
