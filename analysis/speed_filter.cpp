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

// Speed over the leg from `earlier` to `later` in m/s. A leg whose time does not increase
// counts as speed 0: equal times are a duplicate fix, and a falling time must never give a
// negative speed (it would index the histogram below its first bucket).
double LegSpeed(const TrackPoint& earlier, const TrackPoint& later) {
  int64_t dt = static_cast<int64_t>(later.time) - static_cast<int64_t>(earlier.time);
  if (dt <= 0) return 0;
  return LegMetres(earlier, later) / static_cast<double>(dt);
}

// Fills the leg speeds (capped) and returns the speed limit: the first 1 m/s bucket k at which
// the histogram of leg speeds holds 19/20 of the fix count gives 3 k + 1 m/s.
double LegSpeedsAndLimit(std::span<const TrackPoint> points, std::vector<double>& speeds) {
  const size_t n = points.size();
  speeds.assign(n > 0 ? n - 1 : 0, 0);
  std::array<int64_t, kHistogramBuckets> histogram{};
  for (size_t i = 0; i + 1 < n; ++i) {
    double speed = std::min(LegSpeed(points[i], points[i + 1]), kSpeedCapMps);
    speeds[i] = speed;
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
double WalkWindow(std::span<const TrackPoint> points, size_t index, int64_t windowS, double& heightDm) {
  const TrackPoint* reference = &points[index];
  int64_t accumulatedS = 0;
  double sum = 0;
  heightDm = points[index].height;
  for (size_t p = index; p-- > 0;) {
    const TrackPoint& point = points[p];
    // Equal (or falling) times add neither time nor distance; the reference stays.
    int64_t dt = static_cast<int64_t>(reference->time) - static_cast<int64_t>(point.time);
    if (dt > 0) {
      double d = LegMetres(*reference, point);
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

double TrackSpeedLimitMps(std::span<const TrackPoint> points) {
  std::vector<double> speeds;
  return LegSpeedsAndLimit(points, speeds);
}

int FilterTrackSpeed(std::span<TrackPoint> points) {
  const size_t n = points.size();
  if (n < 2) return static_cast<int>(n);  // no leg, nothing implausible

  // 1.-2. Leg speeds and the limit.
  std::vector<double> speeds;
  const double limitMps = LegSpeedsAndLimit(points, speeds);

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
    if (LegSpeed(points[i], points[reference]) < limitMps) {
      keep[i] = 1;
      reference = i;
    } else {
      dropped = true;
    }
  }
  reference = *anchor;
  for (size_t i = *anchor + 1; i < n; ++i) {
    if (LegSpeed(points[reference], points[i]) < limitMps) {
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

bool MeanSpeed60(std::span<const TrackPoint> points, size_t index, double& kmh, double& climb) {
  kmh = 0;
  climb = 0;
  if (index == 0 || index >= points.size() || (points[index].flags & kSegmentStart) != 0) return false;
  double startHeightDm = 0;
  double sum = WalkWindow(points, index, 60, startHeightDm);
  kmh = sum * 0.06;  // metres per 60 s in km/h, also when the window was cut short
  climb = (points[index].height - startHeightDm) * 0.001666667;  // decimetres per 60 s in m/s
  return true;
}

void MeanSpeed10(std::span<const TrackPoint> points, size_t index, double& kmh) {
  kmh = 0;
  if (index == 0 || index >= points.size() || (points[index].flags & kSegmentStart) != 0) return;
  double startHeightDm = 0;
  kmh = WalkWindow(points, index, 10, startHeightDm) * 0.36;
}

}  // namespace tarnvik::analysis
