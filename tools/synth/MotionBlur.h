// Motion blur: a camera's shutter stays open for part of the frame interval, and a head turning at
// 180 degrees a second moves by several pixels meanwhile. A blurred frame is the mean of the images
// of the poses the head passes through while the shutter is open, centred on the frame's instant,
// so the ground truth stays the frame's own pose; depth (X, Y, Z) is the frame instant's.
#pragma once

#include <cstddef>
#include <vector>

#include "synth/HeadScene.h"
#include "synth/RigidMotion.h"

// Sub-exposures a blurred frame averages.
constexpr int kShutterSamples = 8;

// The poses of frame k while a shutter open for `shutterShare` of the frame interval (0 to 1)
// is open, interpolated towards the neighbouring frames (rotation about the head centre along
// the shortest arc, the centre along a line); none when the shutter share is 0. Before the first
// and after the last frame the head is taken to be still.
std::vector<CRigidMotion> ShutterPoses(const std::vector<CRigidMotion>& poses, std::size_t k, double shutterShare);

// Frame k of a sequence, blurred by the scene's shutter.
RenderedFrame RenderSequenceFrame(const CHeadScene& scene, const std::vector<CRigidMotion>& poses, std::size_t k,
                                  unsigned noiseStream);
