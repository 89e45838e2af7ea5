#include "synth/WaypointProfile.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

CWaypointProfile::CWaypointProfile(double start, const std::vector<Waypoint>& waypoints, double peakSpeed)
    : start_(start), peakSpeed_(peakSpeed) {
    double from = start, begin = 0.0;
    for (const Waypoint& w : waypoints) {
        Segment s;
        s.from = from;
        s.to = w.value;
        s.begin = begin;
        s.moveSeconds = kPi * std::abs(w.value - from) / (2.0 * peakSpeed);
        s.holdSeconds = w.holdSeconds;
        segments_.push_back(s);
        begin += s.moveSeconds + s.holdSeconds;
        from = w.value;
    }
}

double CWaypointProfile::Value(double seconds) const {
    double value = start_;
    for (const Segment& s : segments_) {
        if (seconds < s.begin) break;
        const double into = seconds - s.begin;
        if (into >= s.moveSeconds) {
            value = s.to;
            continue;
        }
        return s.from + (s.to - s.from) * (1.0 - std::cos(kPi * into / s.moveSeconds)) / 2.0;
    }
    return value;
}

double CWaypointProfile::Duration() const {
    if (segments_.empty()) return 0.0;
    const Segment& last = segments_.back();
    return last.begin + last.moveSeconds + last.holdSeconds;
}
