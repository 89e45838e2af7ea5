// A one-dimensional motion through waypoints in real time, for trajectories defined by how fast a
// person moves (degrees or millimetres per second) rather than by a frame count.
//
// From `start`, the value travels to each waypoint in turn along a raised cosine,
// v(t) = a + (b - a) (1 - cos(pi t / T)) / 2, so it starts and stops at rest; T is chosen so that
// the highest speed of the move, pi |b - a| / (2 T), equals `peakSpeed` (units per second). After a
// waypoint is reached the value holds it for the waypoint's holdSeconds. Before time 0 and after
// the last hold the value rests at its start and its last waypoint.
#pragma once

#include <vector>

struct Waypoint {
    double value = 0.0;
    double holdSeconds = 0.0;
};

class CWaypointProfile {
public:
    // peakSpeed must be positive.
    CWaypointProfile(double start, const std::vector<Waypoint>& waypoints, double peakSpeed);

    double Value(double seconds) const;
    // From time 0 to the end of the last hold.
    double Duration() const;
    double PeakSpeed() const { return peakSpeed_; }

private:
    struct Segment {
        double from = 0.0;
        double to = 0.0;
        double begin = 0.0;  // seconds
        double moveSeconds = 0.0;
        double holdSeconds = 0.0;
    };

    double start_;
    double peakSpeed_;
    std::vector<Segment> segments_;
};
