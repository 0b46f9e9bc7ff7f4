// The track speed filter and the windowed speeds over a track's fixes.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "core/records.h"

namespace tarnvik::analysis {

// Removes the fixes that imply an implausible speed, in place: the kept fixes move to the
// front in their order and the new count is returned (0 when no run of ten plausible legs
// exists to anchor the walk). The speed limit follows from the track itself: the 95th
// percentile of the leg speeds in 1 m/s steps, times 3, plus 1 m/s. A leg whose time does not
// increase counts as speed 0. The flags words are left as they were.
int FilterTrackSpeed(std::span<core::TrackPoint> points);
// The filter's speed limit for these fixes in m/s: 3 k + 1, k the first 1 m/s bucket at which
// the leg speed histogram holds 19/20 of the fix count (k = 100 when it never does).
double TrackSpeedLimitMps(std::span<const core::TrackPoint> points);

// Mean speed over the 60 seconds ending at fix `index` (km/h) and the climb rate over the same
// window (m/s). Fixes with equal (or falling) times add neither time nor distance; the window
// is cut short at the start of the segment. Returns false, with 0 km/h and 0 m/s, for the first
// fix and for a fix that starts a segment: those give no climb value.
// `legs`, when given, holds LegLengths(points): the walk then takes each step between
// neighbouring fixes from it instead of measuring it again (the same values, much faster when
// every fix is visited).
bool MeanSpeed60(std::span<const core::TrackPoint> points, size_t index, double& kmh, double& climb,
                 std::span<const double> legs = {});
// The same over 10 seconds, without the climb.
void MeanSpeed10(std::span<const core::TrackPoint> points, size_t index, double& kmh,
                 std::span<const double> legs = {});

// Leg length in metres between two fixes; a leg whose distance iteration fails counts 0 m.
double LegMetres(const core::TrackPoint& a, const core::TrackPoint& b);
// LegMetres of each fix and the next: size - 1 values.
std::vector<double> LegLengths(std::span<const core::TrackPoint> points);

}  // namespace tarnvik::analysis
