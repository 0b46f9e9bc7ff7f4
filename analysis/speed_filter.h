// The track speed filter and the windowed speeds over a track's fixes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/records.h"

namespace tarnvik::analysis {

// Removes the fixes that imply an implausible speed, in place: the kept fixes move to the
// front in their order and the new count is returned (0 when no run of ten plausible legs
// exists to anchor the walk). The speed limit follows from the track itself: the 95th
// percentile of the leg speeds in 1 m/s steps, times 3, plus 1 m/s. A leg whose time does not
// increase counts as speed 0. The flags words are left as they were. Returns -1, with the
// points untouched, when memory for the leg tables runs out.
int FilterTrackSpeed(std::span<core::TrackPoint> points);
// The filter's speed limit for these fixes in m/s: 3 k + 1, k the first 1 m/s bucket at which
// the leg speed histogram holds 19/20 of the fix count (k = 100 when it never does).
double TrackSpeedLimitMps(std::span<const core::TrackPoint> points);

// The steps of the windowed walks, measured once for a whole track. The walk back from a fix r
// steps to back[r], the nearest earlier fix of r's segment whose time is below r's (the fixes
// in between repeat or fall back in time and add nothing), over metres[r]; back[r] is -1 when
// no such fix exists and the walk ends at r. A step to the direct neighbour takes its length
// from `legs` (LegLengths of the track) when given, every other step is LegMetres(fix r, fix
// back[r]): the same values, in the same order, as a walk that measures each step itself.
// Building it costs one leg per fix; each window then adds at most one stored step per second
// of the window, whatever the fix rate.
struct WindowSteps {
  std::vector<int64_t> back;
  std::vector<double> metres;
};
// Throws std::bad_alloc when memory runs out.
WindowSteps BuildWindowSteps(std::span<const core::TrackPoint> points, std::span<const double> legs = {});

// Mean speed over the 60 seconds ending at fix `index` (km/h) and the climb rate over the same
// window (m/s). Fixes with equal (or falling) times add neither time nor distance; the window
// is cut short at the start of the segment. Returns false, with 0 km/h and 0 m/s, for the first
// fix and for a fix that starts a segment: those give no climb value.
// Without `steps` the walk measures its own steps (one fix); with them (BuildWindowSteps of the
// same points) it takes the stored ones (every fix of a track). Steps of another size than the
// points are not used.
bool MeanSpeed60(std::span<const core::TrackPoint> points, size_t index, double& kmh, double& climb);
bool MeanSpeed60(std::span<const core::TrackPoint> points, size_t index, double& kmh, double& climb,
                 const WindowSteps& steps);
// The same over 10 seconds, without the climb.
void MeanSpeed10(std::span<const core::TrackPoint> points, size_t index, double& kmh);
void MeanSpeed10(std::span<const core::TrackPoint> points, size_t index, double& kmh, const WindowSteps& steps);

// Leg length in metres between two fixes; a leg whose distance iteration fails counts 0 m.
double LegMetres(const core::TrackPoint& a, const core::TrackPoint& b);
// LegMetres of each fix and the next: size - 1 values.
std::vector<double> LegLengths(std::span<const core::TrackPoint> points);

}  // namespace tarnvik::analysis
