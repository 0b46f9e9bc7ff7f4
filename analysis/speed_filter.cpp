#include "analysis/speed_filter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

#include "geo/geodesy.h"

namespace tarnvik::analysis {

using core::TrackPoint;

namespace {

constexpr int kHistogramBuckets = 100;      // 1 m/s each; faster legs go to the overflow count
constexpr double kSpeedCapMps = 1000000;    // a leg faster than this counts as this
constexpr size_t kAnchorRun = 10;           // plausible legs in a row that anchor the walk
constexpr uint32_t kSegmentStart = 1;       // flags bit 0

// Seconds from `earlier` to `later`; negative when the time falls back.
int64_t SecondsBetween(const TrackPoint& earlier, const TrackPoint& later) {
  return static_cast<int64_t>(later.time) - static_cast<int64_t>(earlier.time);
}

// Speed in m/s over `metres` covered in `dt` seconds. A leg whose time does not increase counts
// as speed 0: equal times are a duplicate fix, and a falling time must never give a negative
// speed (it would index the histogram below its first bucket).
double SpeedOver(double metres, int64_t dt) { return dt <= 0 ? 0 : metres / static_cast<double>(dt); }

// The leg speeds (capped) and lengths of consecutive fixes (a length only where the time
// increases: elsewhere the speed is 0 whatever the length).
struct Legs {
  std::vector<double> speeds;
  std::vector<double> metres;
};

// Fills the legs and returns the speed limit: the first 1 m/s bucket k at which the histogram
// of leg speeds holds 19/20 of the fix count gives 3 k + 1 m/s.
double LegSpeedsAndLimit(std::span<const TrackPoint> points, Legs& legs) {
  const size_t n = points.size();
  legs.speeds.assign(n > 0 ? n - 1 : 0, 0);
  legs.metres.assign(n > 0 ? n - 1 : 0, 0);
  std::array<int64_t, kHistogramBuckets> histogram{};
  for (size_t i = 0; i + 1 < n; ++i) {
    int64_t dt = SecondsBetween(points[i], points[i + 1]);
    if (dt > 0) legs.metres[i] = LegMetres(points[i], points[i + 1]);
    double speed = std::min(SpeedOver(legs.metres[i], dt), kSpeedCapMps);
    legs.speeds[i] = speed;
    if (speed < kHistogramBuckets) ++histogram[static_cast<size_t>(speed)];
    // else: the overflow count, which only ever stays out of the buckets
  }
  int64_t target = static_cast<int64_t>(19 * n / 20);
  int bucket = kHistogramBuckets;
  for (int b = 0; b < kHistogramBuckets; ++b) {
    target -= histogram[static_cast<size_t>(b)];
    if (target < 1) {
      bucket = b;
      break;
    }
  }
  return 3.0 * bucket + 1.0;
}

bool StartsSegment(std::span<const TrackPoint> points, size_t index) {
  return index == 0 || (points[index].flags & kSegmentStart) != 0;
}

// One step of a windowed walk: to fix `to` over `metres`.
struct Step {
  size_t to;
  double metres;
};

// Walks back from fix `index` over at most `windowS` seconds, taking each step from
// nextStep(r) (the step from fix r, or none where the walk ends). Returns the distance covered
// in the window (the oldest leg pro rata) and sets heightDm to the height at the window's start.
template <typename NextStep>
double WalkWindow(std::span<const TrackPoint> points, size_t index, int64_t windowS, NextStep nextStep,
                  double& heightDm) {
  size_t reference = index;
  int64_t accumulatedS = 0;
  double sum = 0;
  heightDm = points[index].height;
  while (std::optional<Step> step = nextStep(reference)) {
    const TrackPoint& point = points[step->to];
    int64_t dt = SecondsBetween(point, points[reference]);
    if (accumulatedS + dt >= windowS) {
      double fraction = static_cast<double>(windowS - accumulatedS) / static_cast<double>(dt);
      sum += fraction * step->metres;
      heightDm += (point.height - heightDm) * fraction;
      break;
    }
    sum += step->metres;
    heightDm = point.height;
    accumulatedS += dt;
    reference = step->to;
    if (StartsSegment(points, reference)) break;
  }
  return sum;
}

// The step from fix r found by looking at the earlier fixes one by one: fixes whose time is not
// below r's add nothing and are passed over; a segment start (or the first fix) among them ends
// the walk.
std::optional<Step> ScanStep(std::span<const TrackPoint> points, size_t r) {
  for (size_t p = r; p-- > 0;) {
    if (points[p].time < points[r].time) return Step{p, LegMetres(points[r], points[p])};
    if (StartsSegment(points, p)) break;
  }
  return std::nullopt;
}

// The stored step from fix r.
auto StoredStep(const WindowSteps& steps) {
  return [&steps](size_t r) -> std::optional<Step> {
    if (steps.back[r] < 0) return std::nullopt;
    return Step{static_cast<size_t>(steps.back[r]), steps.metres[r]};
  };
}

}  // namespace

double LegMetres(const TrackPoint& a, const TrackPoint& b) {
  geo::GeoPoint pa{core::SemicircleToRadians(a.latitude), core::SemicircleToRadians(a.longitude)};
  geo::GeoPoint pb{core::SemicircleToRadians(b.latitude), core::SemicircleToRadians(b.longitude)};
  double metres = 0;
  if (geo::GeoDistance(pa, pb, metres) != 0) return 0;
  return metres;
}

std::vector<double> LegLengths(std::span<const TrackPoint> points) {
  std::vector<double> legs(points.empty() ? 0 : points.size() - 1);
  for (size_t i = 0; i < legs.size(); ++i) legs[i] = LegMetres(points[i], points[i + 1]);
  return legs;
}

WindowSteps BuildWindowSteps(std::span<const TrackPoint> points, std::span<const double> legs) {
  const size_t n = points.size();
  WindowSteps steps;
  steps.back.assign(n, -1);
  steps.metres.assign(n, 0);
  for (size_t r = 0; r < n; ++r) {
    if (StartsSegment(points, r)) continue;
    // The nearest earlier fix with a lower time: try the neighbour, then follow the steps
    // already found (every fix skipped that way has a time not below the one tried, so not
    // below r's either). Each fix is passed over this way at most once: linear in all.
    int64_t candidate = static_cast<int64_t>(r) - 1;
    while (candidate >= 0 && points[static_cast<size_t>(candidate)].time >= points[r].time) {
      candidate = steps.back[static_cast<size_t>(candidate)];
    }
    if (candidate < 0) continue;
    const size_t to = static_cast<size_t>(candidate);
    steps.back[r] = candidate;
    steps.metres[r] = to + 1 == r && !legs.empty() ? legs[to] : LegMetres(points[r], points[to]);
  }
  return steps;
}

double TrackSpeedLimitMps(std::span<const TrackPoint> points) {
  Legs legs;
  return LegSpeedsAndLimit(points, legs);
}

namespace {

int FilterTrackSpeedOrThrow(std::span<TrackPoint> points) {
  const size_t n = points.size();
  if (n < 2) return static_cast<int>(n);  // no leg, nothing implausible

  // 1.-2. Leg speeds and the limit.
  Legs legs;
  const double limitMps = LegSpeedsAndLimit(points, legs);
  const std::vector<double>& speeds = legs.speeds;
  // Speed from fix `from` to fix `to` (either order in time); the lengths of neighbouring
  // fixes are known already.
  auto speedBetween = [&](size_t earlier, size_t later) {
    int64_t dt = SecondsBetween(points[earlier], points[later]);
    if (dt <= 0) return 0.0;
    double metres = later == earlier + 1 ? legs.metres[earlier] : LegMetres(points[earlier], points[later]);
    return SpeedOver(metres, dt);
  };

  // 3. The anchor: the end of the first run of plausible legs.
  const size_t required = n < 11 ? n - 1 : kAnchorRun;
  std::optional<size_t> anchor;
  size_t run = 0;
  for (size_t i = 0; i + 1 < n; ++i) {
    if (speeds[i] < limitMps) {
      if (++run == required) {
        anchor = i + 1;
        break;
      }
    } else {
      run = 0;
    }
  }
  if (!anchor) return 0;

  // 4. From the anchor backwards, then forwards, each fix against the last kept one.
  std::vector<char> keep(n, 0);
  keep[*anchor] = 1;
  size_t reference = *anchor;
  bool dropped = false;
  for (size_t i = *anchor; i-- > 0;) {
    if (speedBetween(i, reference) < limitMps) {
      keep[i] = 1;
      reference = i;
    } else {
      dropped = true;
    }
  }
  reference = *anchor;
  for (size_t i = *anchor + 1; i < n; ++i) {
    if (speedBetween(reference, i) < limitMps) {
      keep[i] = 1;
      reference = i;
    } else {
      dropped = true;
    }
  }

  // 5. Close the gaps.
  if (!dropped) return static_cast<int>(n);
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    if (keep[i]) points[kept++] = points[i];
  }
  return static_cast<int>(kept);
}

}  // namespace

int FilterTrackSpeed(std::span<TrackPoint> points) {
  // The leg tables and keep marks take memory in proportion to the fix count; every block is
  // taken before the first fix moves, so a failure leaves the points as they were.
  try {
    return FilterTrackSpeedOrThrow(points);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

namespace {

template <typename NextStep>
bool WalkMeanSpeed60(std::span<const TrackPoint> points, size_t index, double& kmh, double& climb, NextStep nextStep) {
  kmh = 0;
  climb = 0;
  if (index >= points.size() || StartsSegment(points, index)) return false;
  double startHeightDm = 0;
  double sum = WalkWindow(points, index, 60, nextStep, startHeightDm);
  kmh = sum * 0.06;  // metres per 60 s in km/h, also when the window was cut short
  climb = (points[index].height - startHeightDm) * 0.001666667;  // decimetres per 60 s in m/s
  return true;
}

template <typename NextStep>
void WalkMeanSpeed10(std::span<const TrackPoint> points, size_t index, double& kmh, NextStep nextStep) {
  kmh = 0;
  if (index >= points.size() || StartsSegment(points, index)) return;
  double startHeightDm = 0;
  kmh = WalkWindow(points, index, 10, nextStep, startHeightDm) * 0.36;
}

}  // namespace

bool MeanSpeed60(std::span<const TrackPoint> points, size_t index, double& kmh, double& climb) {
  return WalkMeanSpeed60(points, index, kmh, climb, [points](size_t r) { return ScanStep(points, r); });
}

bool MeanSpeed60(std::span<const TrackPoint> points, size_t index, double& kmh, double& climb,
                 const WindowSteps& steps) {
  // Steps of some other track are never indexed: the walk then measures its own.
  if (steps.back.size() != points.size() || steps.metres.size() != points.size()) {
    return MeanSpeed60(points, index, kmh, climb);
  }
  return WalkMeanSpeed60(points, index, kmh, climb, StoredStep(steps));
}

void MeanSpeed10(std::span<const TrackPoint> points, size_t index, double& kmh) {
  WalkMeanSpeed10(points, index, kmh, [points](size_t r) { return ScanStep(points, r); });
}

void MeanSpeed10(std::span<const TrackPoint> points, size_t index, double& kmh, const WindowSteps& steps) {
  if (steps.back.size() != points.size() || steps.metres.size() != points.size()) {
    MeanSpeed10(points, index, kmh);
    return;
  }
  WalkMeanSpeed10(points, index, kmh, StoredStep(steps));
}

}  // namespace tarnvik::analysis
