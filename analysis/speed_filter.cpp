#include "analysis/speed_filter.h"

#include <algorithm>
#include <array>
#include <cstdint>
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

// Walks back from fix `index` over at most `windowS` seconds. Returns the distance covered in
// the window (the oldest leg pro rata) and sets heightDm to the height at the window's start.
// legs, when not empty, holds LegMetres of each pair of consecutive fixes.
double WalkWindow(std::span<const TrackPoint> points, size_t index, int64_t windowS, std::span<const double> legs,
                  double& heightDm) {
  const TrackPoint* reference = &points[index];
  int64_t accumulatedS = 0;
  double sum = 0;
  heightDm = points[index].height;
  for (size_t p = index; p-- > 0;) {
    const TrackPoint& point = points[p];
    // Equal (or falling) times add neither time nor distance; the reference stays.
    int64_t dt = static_cast<int64_t>(reference->time) - static_cast<int64_t>(point.time);
    if (dt > 0) {
      double d = !legs.empty() && reference == &points[p + 1] ? legs[p] : LegMetres(*reference, point);
      if (accumulatedS + dt >= windowS) {
        double fraction = static_cast<double>(windowS - accumulatedS) / static_cast<double>(dt);
        sum += fraction * d;
        heightDm += (point.height - heightDm) * fraction;
        break;
      }
      sum += d;
      heightDm = point.height;
      accumulatedS += dt;
      reference = &point;
    }
    if ((point.flags & kSegmentStart) != 0 || p == 0) break;
  }
  return sum;
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

double TrackSpeedLimitMps(std::span<const TrackPoint> points) {
  Legs legs;
  return LegSpeedsAndLimit(points, legs);
}

int FilterTrackSpeed(std::span<TrackPoint> points) {
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

bool MeanSpeed60(std::span<const TrackPoint> points, size_t index, double& kmh, double& climb,
                 std::span<const double> legs) {
  kmh = 0;
  climb = 0;
  if (index == 0 || index >= points.size() || (points[index].flags & kSegmentStart) != 0) return false;
  double startHeightDm = 0;
  double sum = WalkWindow(points, index, 60, legs, startHeightDm);
  kmh = sum * 0.06;  // metres per 60 s in km/h, also when the window was cut short
  climb = (points[index].height - startHeightDm) * 0.001666667;  // decimetres per 60 s in m/s
  return true;
}

void MeanSpeed10(std::span<const TrackPoint> points, size_t index, double& kmh, std::span<const double> legs) {
  kmh = 0;
  if (index == 0 || index >= points.size() || (points[index].flags & kSegmentStart) != 0) return;
  double startHeightDm = 0;
  kmh = WalkWindow(points, index, 10, legs, startHeightDm) * 0.36;
}

}  // namespace tarnvik::analysis
