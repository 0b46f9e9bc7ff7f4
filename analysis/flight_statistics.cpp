#include "analysis/flight_statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <new>
#include <numbers>

#include "analysis/speed_filter.h"

namespace tarnvik::analysis {

using core::FlightSummary;
using core::TrackPoint;

namespace {

constexpr double kPi = std::numbers::pi;

// Height in whole metres from decimetres: (h + 5) / 10, the quotient truncated toward zero.
int32_t MetresFromDecimetres(int64_t heightDm) { return static_cast<int32_t>((heightDm + 5) / 10); }

// Seconds from the first fix to this one; negative when the time falls back.
int64_t SecondsAfter(const TrackPoint& first, const TrackPoint& point) {
  return static_cast<int64_t>(point.time) - static_cast<int64_t>(first.time);
}

}  // namespace

int ComputeFlightValues(FlightSummary& summary) {
  const std::span<const TrackPoint> fixes = summary.fixes;
  summary.startTime = summary.finishTime = summary.duration = 0;
  summary.minimumHeight = summary.maximumHeight = 0;
  summary.topSpeed = summary.maximumMeanSpeed = summary.totalDistance = summary.meanSpeed = 0;
  summary.minimumClimbRate = summary.maximumClimbRate = 0;
  if (fixes.empty()) return 0;

  summary.startTime = fixes.front().time;
  summary.finishTime = fixes.back().time;
  summary.duration = summary.finishTime - summary.startTime;

  int64_t maximumDm = -999999;
  int64_t minimumDm = 1000000;
  for (const TrackPoint& p : fixes) {
    maximumDm = std::max<int64_t>(maximumDm, p.height);
    minimumDm = std::min<int64_t>(minimumDm, p.height);
  }
  summary.maximumHeight = MetresFromDecimetres(maximumDm);
  summary.minimumHeight = MetresFromDecimetres(minimumDm);

  // The legs and window steps take memory in proportion to the fix count.
  std::vector<double> legs;
  WindowSteps steps;
  try {
    legs = LegLengths(fixes);
    steps = BuildWindowSteps(fixes, legs);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  double total = 0;
  double top = 0;
  double greatestMean = 0;
  // Both climb extremes start at 0 and move only for a strictly greater (smaller) value: a
  // flight that only sinks shows a maximum climb of 0.
  double minimumClimb = 0;
  double maximumClimb = 0;
  for (size_t i = 1; i < fixes.size(); ++i) {
    total += legs[i - 1];
    int64_t elapsed = SecondsAfter(fixes.front(), fixes[i]);
    if (elapsed > 10) {
      double kmh = 0;
      MeanSpeed10(fixes, i, kmh, steps);
      top = std::max(top, kmh);
    }
    if (elapsed > 60) {
      double kmh = 0;
      double climb = 0;
      if (MeanSpeed60(fixes, i, kmh, climb, steps)) {
        if (climb < minimumClimb) minimumClimb = climb;
        if (climb > maximumClimb) maximumClimb = climb;
      }
      greatestMean = std::max(greatestMean, kmh);
    }
  }
  summary.totalDistance = total;
  summary.topSpeed = top;
  summary.maximumMeanSpeed = greatestMean;
  summary.minimumClimbRate = minimumClimb;
  summary.maximumClimbRate = maximumClimb;
  // A flight of one instant has no mean speed (never a division by zero).
  summary.meanSpeed = summary.duration > 0 ? total / summary.duration * 3.6 : 0;
  return 0;
}

void SetSourceFields(FlightSummary& summary, int sourceKind, int sourceFlag, uint32_t nowTime) {
  bool fromInstrument = (sourceKind >= 1 && sourceKind <= 6) || sourceKind == 8;
  summary.downloadedTime = fromInstrument ? static_cast<int32_t>(nowTime) : -1;
  summary.signFlag = sourceKind >= 1 && sourceKind <= 8 ? 1 : 0;
  summary.pilotIdFlag = 0;
  summary.utcFlag = sourceFlag;
}

double PlaneCentralMeridian(std::span<const TrackPoint> fixes) {
  if (fixes.empty()) return 0;
  auto [lowest, highest] = std::minmax_element(
      fixes.begin(), fixes.end(), [](const TrackPoint& a, const TrackPoint& b) { return a.longitude < b.longitude; });
  double west = core::SemicircleToRadians(lowest->longitude);
  double east = core::SemicircleToRadians(highest->longitude);
  if (east - west <= kPi) return (west + east) / 2;
  // Across the antimeridian the middle of the range lies on the far side of the globe: take
  // the direction of the mean of all longitudes as unit vectors instead.
  double sumSin = 0;
  double sumCos = 0;
  for (const TrackPoint& p : fixes) {
    double lon = core::SemicircleToRadians(p.longitude);
    sumSin += std::sin(lon);
    sumCos += std::cos(lon);
  }
  return std::atan2(sumSin, sumCos);
}

PlaneTrack ReduceToPlane(std::span<const TrackPoint> fixes, int limit) {
  PlaneTrack plane;
  const size_t n = fixes.size();
  const size_t keepLimit = static_cast<size_t>(std::max(limit, 0));
  const double meridian = PlaneCentralMeridian(fixes);
  // Longitudes more than 180 degrees from the meridian are taken the other way round the
  // globe; that only happens for a flight across the antimeridian.
  bool wraps = false;
  if (!fixes.empty()) {
    auto [lowest, highest] = std::minmax_element(
        fixes.begin(), fixes.end(), [](const TrackPoint& a, const TrackPoint& b) { return a.longitude < b.longitude; });
    wraps = core::SemicircleToRadians(highest->longitude) - core::SemicircleToRadians(lowest->longitude) > kPi;
  }
  const double skipFraction = n > keepLimit ? static_cast<double>(n - keepLimit) / static_cast<double>(n) : 0;
  plane.positions.reserve(std::min(n, keepLimit));
  plane.indices.reserve(std::min(n, keepLimit));
  double accumulator = 0;
  for (size_t i = 0; i < n; ++i) {
    if (accumulator >= 1) {
      accumulator -= 1;
    } else if (plane.positions.size() < keepLimit) {
      geo::GeoPoint point{core::SemicircleToRadians(fixes[i].latitude), core::SemicircleToRadians(fixes[i].longitude)};
      if (wraps) point.longitude = meridian + std::remainder(point.longitude - meridian, 2 * kPi);
      geo::TmPoint tm;
      geo::TmFromGeo(point, meridian, tm);
      plane.positions.push_back(tm);
      plane.indices.push_back(static_cast<int32_t>(i));
    }
    accumulator += skipFraction;
  }
  return plane;
}

int32_t PlaneMetres(const geo::TmPoint& a, const geo::TmPoint& b) {
  double dx = a.x - b.x;
  double dy = a.y - b.y;
  double metres = std::sqrt(dx * dx + dy * dy) + 0.5;
  if (!std::isfinite(metres)) return 0;
  if (metres >= static_cast<double>(std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(metres);
}

int BuildDistanceMatrix(std::span<const geo::TmPoint> positions, core::Operation* operation, DistanceMatrix& matrix,
                        std::atomic<int64_t>* entriesDone) {
  matrix = DistanceMatrix{};
  const size_t m = positions.size();
  // Every entry is written before it is read, so the block is not cleared first (at 6000 fixes
  // it is 72 MB).
  matrix.entries.reset(new (std::nothrow) int32_t[m * (m + 1) / 2]);
  if (!matrix.entries) return -1;
  try {
    matrix.rowStart.resize(m);
    matrix.rowMax.assign(m, 0);
    matrix.rowPartner.resize(m);
    matrix.columnMax.assign(m, 0);
    matrix.columnPartner.resize(m);
    matrix.leftBest.assign(m, -1);
    matrix.leftB.assign(m, 0);
  } catch (const std::bad_alloc&) {
    matrix = DistanceMatrix{};
    return -1;
  }
  matrix.m = m;
  size_t offset = 0;
  for (size_t i = 0; i < m; ++i) {
    matrix.rowStart[i] = offset;
    offset += m - i;
    matrix.rowPartner[i] = static_cast<int32_t>(i + 1);
    matrix.columnPartner[i] = static_cast<int32_t>(i) - 1;
  }

  std::vector<int32_t>& columnMax = matrix.columnMax;
  std::vector<int32_t>& columnPartner = matrix.columnPartner;
  std::vector<int64_t>& leftBest = matrix.leftBest;
  std::vector<int32_t>& leftB = matrix.leftB;
  size_t filled = 0;
  for (size_t i = 0; i < m; ++i) {
    if (operation && operation->IsCancelled()) {
      matrix = DistanceMatrix{};
      return -2;
    }
    int32_t* row = matrix.entries.get() + matrix.rowStart[i];
    row[0] = 0;
    const geo::TmPoint pi = positions[i];
    const int64_t columnMaxOfI = columnMax[i];
    const bool leftUsable = i >= 1;
    int32_t bestInRow = 0;
    int32_t bestPartner = static_cast<int32_t>(i + 1);
    for (size_t j = i + 1; j < m; ++j) {
      int32_t d = PlaneMetres(pi, positions[j]);
      row[j - i] = d;
      if (d > bestInRow) {
        bestInRow = d;
        bestPartner = static_cast<int32_t>(j);
      }
      if (d > columnMax[j]) {
        columnMax[j] = d;
        columnPartner[j] = static_cast<int32_t>(i);
      }
      if (leftUsable && d + columnMaxOfI >= leftBest[j]) {  // ties: the later b
        leftBest[j] = d + columnMaxOfI;
        leftB[j] = static_cast<int32_t>(i);
      }
    }
    matrix.rowMax[i] = bestInRow;
    matrix.rowPartner[i] = bestPartner;
    if (entriesDone) {
      size_t before = filled / 100000;
      filled += m - i;
      size_t after = filled / 100000;
      if (after > before) entriesDone->fetch_add(static_cast<int64_t>(after - before), std::memory_order_relaxed);
    }
  }
  return 0;
}

int SearchTwoAndFivePoints(const DistanceMatrix& matrix, PlaneResult& result, core::Operation* operation) {
  result = PlaneResult{};
  const size_t m = matrix.m;
  const std::vector<int32_t>& rowMax = matrix.rowMax;
  if (m >= 2) {
    size_t bestRow = 0;
    for (size_t i = 1; i + 1 < m; ++i) {
      if (rowMax[i] >= rowMax[bestRow]) bestRow = i;
    }
    result.two[0] = static_cast<int32_t>(bestRow);
    result.two[1] = matrix.rowPartner[bestRow];
  }

  // Five points: the best middle c, with the best b before it and the best e after it.
  if (m >= 5) {
    int64_t bestSum = -1;
    size_t bestC = 2;
    size_t bestE = 3;
    for (size_t c = 2; c + 3 <= m; ++c) {
      if (operation && operation->IsCancelled()) return -2;
      const int32_t* row = matrix.entries.get() + matrix.rowStart[c];
      int64_t right = -1;
      size_t e = c + 1;
      for (size_t k = c + 1; k + 2 <= m; ++k) {
        int64_t v = static_cast<int64_t>(row[k - c]) + rowMax[k];
        if (v >= right) {
          right = v;
          e = k;
        }
      }
      int64_t sum = matrix.leftBest[c] + right;
      if (sum >= bestSum) {
        bestSum = sum;
        bestC = c;
        bestE = e;
      }
    }
    const int32_t b = matrix.leftB[bestC];
    result.five[0] = matrix.columnPartner[static_cast<size_t>(b)];
    result.five[1] = b;
    result.five[2] = static_cast<int32_t>(bestC);
    result.five[3] = static_cast<int32_t>(bestE);
    result.five[4] = matrix.rowPartner[bestE];
    result.hasFive = true;
  }
  return 0;
}

int SearchPlane(std::span<const geo::TmPoint> positions, core::Operation* operation, PlaneResult& result) {
  result = PlaneResult{};
  DistanceMatrix matrix;
  if (operation) operation->Status("Computing distance matrix");
  int rc = BuildDistanceMatrix(positions, operation, matrix);
  if (rc != 0) return rc;
  if (operation) operation->Status("Computing distance matrix. Done");
  SearchTwoAndFivePoints(matrix, result);
  return 0;
}

void RefineTwoPoints(std::span<const TrackPoint> fixes, int32_t (&two)[2], double& metres) {
  const int64_t n = static_cast<int64_t>(fixes.size());
  double best = -1;
  int32_t found[2] = {two[0], two[1]};
  for (int64_t a = two[0] - 2; a <= two[0] + 2; ++a) {
    for (int64_t b = two[1] - 2; b <= two[1] + 2; ++b) {
      if (a < 0 || a >= b || b > n - 1) continue;
      double d = LegMetres(fixes[static_cast<size_t>(a)], fixes[static_cast<size_t>(b)]);
      if (d >= best) {  // ties: the later pair
        best = d;
        found[0] = static_cast<int32_t>(a);
        found[1] = static_cast<int32_t>(b);
      }
    }
  }
  two[0] = found[0];
  two[1] = found[1];
  metres = std::max(best, 0.0);
}

void RefineFivePoints(std::span<const TrackPoint> fixes, int32_t (&five)[5], double (&legs)[4], double& sum) {
  constexpr int kSpread = 2;
  constexpr int kChoices = 2 * kSpread + 1;
  const int64_t n = static_cast<int64_t>(fixes.size());
  // Leg lengths between the neighbourhoods of consecutive points, each computed once.
  // legCache[leg][from][to], -1 = not computed yet.
  double legCache[4][kChoices][kChoices];
  for (auto& leg : legCache)
    for (auto& from : leg)
      for (double& to : from) to = -1;
  auto legMetres = [&](int leg, int from, int to) {
    double& cached = legCache[leg][from][to];
    if (cached < 0) {
      cached = LegMetres(fixes[static_cast<size_t>(five[leg] + from - kSpread)],
                         fixes[static_cast<size_t>(five[leg + 1] + to - kSpread)]);
    }
    return cached;
  };

  double best = -1;
  int choice[5] = {kSpread, kSpread, kSpread, kSpread, kSpread};
  int trial[5];
  // Every combination of offsets -2..+2, strictly increasing and inside the array; ties go to
  // the later combination.
  for (trial[0] = 0; trial[0] < kChoices; ++trial[0]) {
    for (trial[1] = 0; trial[1] < kChoices; ++trial[1]) {
      for (trial[2] = 0; trial[2] < kChoices; ++trial[2]) {
        for (trial[3] = 0; trial[3] < kChoices; ++trial[3]) {
          for (trial[4] = 0; trial[4] < kChoices; ++trial[4]) {
            int64_t index[5];
            bool valid = true;
            for (int k = 0; k < 5 && valid; ++k) {
              index[k] = static_cast<int64_t>(five[k]) + trial[k] - kSpread;
              valid = index[k] >= 0 && index[k] <= n - 1 && (k == 0 || index[k] > index[k - 1]);
            }
            if (!valid) continue;
            double total = 0;
            for (int k = 0; k < 4; ++k) total += legMetres(k, trial[k], trial[k + 1]);
            if (total >= best) {
              best = total;
              std::copy(std::begin(trial), std::end(trial), choice);
            }
          }
        }
      }
    }
  }
  sum = 0;
  for (int k = 0; k < 4; ++k) {
    legs[k] = legMetres(k, choice[k], choice[k + 1]);
    sum += legs[k];
  }
  for (int k = 0; k < 5; ++k) five[k] += choice[k] - kSpread;
}

int RunFlightStatistics(FlightSummary& summary, core::Operation* operation) {
  const std::span<const TrackPoint> fixes = summary.fixes;
  PlaneTrack plane;
  try {
    plane = ReduceToPlane(fixes);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  PlaneResult found;
  int rc = SearchPlane(plane.positions, operation, found);
  if (rc != 0) return rc;

  int32_t two[2] = {0, 0};
  double open = 0;
  if (plane.positions.size() >= 2) {
    two[0] = plane.indices[static_cast<size_t>(found.two[0])];
    two[1] = plane.indices[static_cast<size_t>(found.two[1])];
    RefineTwoPoints(fixes, two, open);
  }
  int32_t five[5] = {0, 0, 0, 0, 0};
  double legs[4] = {0, 0, 0, 0};
  double sum = 0;
  if (found.hasFive) {
    for (int k = 0; k < 5; ++k) five[k] = plane.indices[static_cast<size_t>(found.five[k])];
    RefineFivePoints(fixes, five, legs, sum);
  }

  std::copy(std::begin(two), std::end(two), summary.openDistanceFixes);
  summary.openDistance = open;
  std::copy(std::begin(five), std::end(five), summary.fivePointFixes);
  std::copy(std::begin(legs), std::end(legs), summary.fivePointLegs);
  summary.fivePointSum = sum;
  return 0;
}

}  // namespace tarnvik::analysis
