// Which of several estimates of one frame's pose agree with the others. Keyframe pairs each give
// the tracked frame a pose; one pair that converged to a wrong minimum (a large motion, a
// keyframe of another view) would drag a plain average by its whole error, so candidates whose
// rotation lies far from the medoid's (the candidate nearest all others) are left out.
#pragma once

#include <vector>

#include <opencv2/core.hpp>

// One flag per rotation: true when it lies within maxAngleRad of the medoid. With fewer than
// three there is no majority to go by: two further apart are told apart by their misfits (one
// per rotation, lower fits better), the worse one left out; averaged, they would give a pose
// wrong by half their distance. Without misfits, or when they do not tell, every one agrees.
std::vector<bool> AgreeingCandidates(const std::vector<cv::Matx33d>& rotations, double maxAngleRad,
                                     const std::vector<float>& misfits = {});

// One flag per residual scale: true for a counted candidate whose scale is above `ratio` times the
// smallest counted one and above `floor` (a scale that is not a number is above anything). The
// candidates of one step share their current frame, so those that found the face's motion have
// alike residuals; unlike the rotations' agreement this holds when a keyframe stored several
// times makes up a majority.
std::vector<bool> PoorFits(const std::vector<float>& scales, const std::vector<bool>& counted, float ratio,
                           float floor);

// True when a pair's residual scale is above `ratio` times the best one of the step before and
// above `floor` (a scale that is not a number is above anything); never without a step before
// (lastBest not above 0). With one pair a step there is nothing to compare it with but the
// frames before: a match lost between two frames fits many times worse at once.
bool ResidualJumped(float scale, float lastBest, float ratio, float floor);

// The angle of the rotation taking a to b, radians.
double RotationAngleBetween(const cv::Matx33d& a, const cv::Matx33d& b);
