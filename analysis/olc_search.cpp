#include "analysis/olc_search.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>

#include "analysis/speed_filter.h"

namespace tarnvik::analysis {

using core::TrackPoint;

namespace {

constexpr int kSpread = 2;
constexpr int kChoices = 2 * kSpread + 1;

geo::GeoPoint GeoOf(const TrackPoint& fix) {
  return geo::GeoPoint{core::SemicircleToRadians(fix.latitude), core::SemicircleToRadians(fix.longitude)};
}

void Say(core::Operation* operation, const char* text) {
  if (operation) operation->Status(text);
}

bool Halted(core::Operation* operation) { return operation && operation->IsCancelled(); }

// Legs between the +-2 neighbourhoods of two found fixes, each measured once.
class LegCache {
 public:
  LegCache(std::span<const TrackPoint> fixes, int32_t from, int32_t to) : fixes_(fixes), from_(from), to_(to) {
    for (auto& row : metres_)
      for (double& m : row) m = -1;
  }
  // The leg between offsets f and t (0..4 for -2..+2); callers keep both inside the set.
  double Metres(int f, int t) {
    double& cached = metres_[f][t];
    if (cached < 0) {
      cached = LegMetres(fixes_[static_cast<size_t>(from_ + f - kSpread)], fixes_[static_cast<size_t>(to_ + t - kSpread)]);
    }
    return cached;
  }

 private:
  std::span<const TrackPoint> fixes_;
  int32_t from_, to_;
  double metres_[kChoices][kChoices];
};

// The later of two candidates in the order a, c, b (a never decreases in our walks).
bool LaterInOrder(int32_t a, int32_t c, int32_t b, int32_t bestA, int32_t bestC, int32_t bestB) {
  if (a != bestA) return a > bestA;
  if (c != bestC) return c > bestC;
  return b > bestB;
}

}  // namespace

int BuildGapTable(const DistanceMatrix& matrix, GapTable& gaps) {
  gaps = GapTable{};
  const size_t m = matrix.m;
  const size_t size = m * (m + 1) / 2;
  gaps.minimum.reset(new (std::nothrow) int32_t[size]);
  gaps.start.reset(new (std::nothrow) int32_t[size]);
  gaps.end.reset(new (std::nothrow) int32_t[size]);
  if (!gaps.minimum || !gaps.start || !gaps.end) {
    gaps = GapTable{};
    return -1;
  }
  for (size_t i = 0; i + 1 < m; ++i) {
    const size_t row = matrix.rowStart[i];
    const size_t above = i > 0 ? matrix.rowStart[i - 1] : 0;
    gaps.minimum[row] = 0;  // the diagonal is never read
    gaps.start[row] = gaps.end[row] = static_cast<int32_t>(i);
    int32_t running = std::numeric_limits<int32_t>::max();
    int32_t runningEnd = static_cast<int32_t>(m - 1);
    for (size_t j = m - 1; j > i; --j) {
      int32_t d = matrix.entries[row + (j - i)];
      if (d < running) {
        running = d;
        runningEnd = static_cast<int32_t>(j);
      }
      size_t slot = row + (j - i);
      if (i > 0) {
        size_t previous = above + (j - (i - 1));
        if (gaps.minimum[previous] <= running) {  // equal: the row above was found first
          gaps.minimum[slot] = gaps.minimum[previous];
          gaps.start[slot] = gaps.start[previous];
          gaps.end[slot] = gaps.end[previous];
          continue;
        }
      }
      gaps.minimum[slot] = running;
      gaps.start[slot] = static_cast<int32_t>(i);
      gaps.end[slot] = runningEnd;
    }
  }
  return 0;
}

int SearchOutAndReturn(const DistanceMatrix& matrix, core::Operation* operation, PlaneOutAndReturn& result) {
  result = PlaneOutAndReturn{};
  const size_t m = matrix.m;
  int64_t best = 0;
  int32_t bestA = -1, bestB = -1, bestC = -1;
  // Walked a, b, c so that rows a and b are read in order; the tie rule of the order a, c, b
  // is kept by comparing candidate positions.
  for (size_t a = 0; a + 3 <= m; ++a) {
    if (Halted(operation)) return -2;
    const int32_t* rowA = matrix.entries.get() + matrix.rowStart[a];
    for (size_t b = a + 1; b + 1 < m; ++b) {
      const int64_t ab = rowA[b - a];
      const int32_t* rowB = matrix.entries.get() + matrix.rowStart[b];
      for (size_t c = b + 1; c < m; ++c) {
        if (rowA[c - a] >= kOutAndReturnClosing) continue;
        int64_t score = ab + rowB[c - b];
        if (score > best || (score == best && LaterInOrder(static_cast<int32_t>(a), static_cast<int32_t>(c),
                                                           static_cast<int32_t>(b), bestA, bestC, bestB))) {
          best = score;
          bestA = static_cast<int32_t>(a);
          bestB = static_cast<int32_t>(b);
          bestC = static_cast<int32_t>(c);
        }
      }
    }
  }
  if (bestA >= 0 && best >= 1) {
    result.found = true;
    result.start = bestA;
    result.turn = bestB;
    result.end = bestC;
    result.score = best;
  }
  return 0;
}

int SearchTriangles(const DistanceMatrix& matrix, const GapTable& gaps, core::Operation* operation,
                    OlcProgress* progress, PlaneTriangle& freeTriangle, PlaneTriangle& faiTriangle) {
  freeTriangle = PlaneTriangle{};
  faiTriangle = PlaneTriangle{};
  const size_t m = matrix.m;
  int64_t bestFree = 0, bestFai = 0;
  int32_t freeA = -1, freeB = -1, freeC = -1, faiA = -1, faiB = -1, faiC = -1;
  int64_t examined = 0;
  // Walked a, b, c so that rows a and b and the gap row of a are read in order; ties follow the
  // order a, c, b through LaterInOrder.
  for (size_t a = 0; a + 3 <= m; ++a) {
    if (Halted(operation)) return -2;
    const int32_t* rowA = matrix.entries.get() + matrix.rowStart[a];
    const int32_t* gapA = gaps.minimum.get() + matrix.rowStart[a];
    const int32_t ia = static_cast<int32_t>(a);
    for (size_t b = a + 1; b + 1 < m; ++b) {
      const int64_t ab = rowA[b - a];
      const int32_t* rowB = matrix.entries.get() + matrix.rowStart[b];
      const int32_t ib = static_cast<int32_t>(b);
      for (size_t c = b + 1; c < m; ++c) {
        const int64_t bc = rowB[c - b];
        const int64_t ca = rowA[c - a];
        const int64_t gap = gapA[c - a];
        const int64_t perimeter = ab + bc + ca;
        const int64_t score = perimeter - gap;
        if (score < bestFai) continue;  // bestFai <= bestFree: nothing to record
        if (perimeter <= 5 * gap) continue;
        const int32_t ic = static_cast<int32_t>(c);
        if (score > bestFree || (score == bestFree && LaterInOrder(ia, ic, ib, freeA, freeC, freeB))) {
          bestFree = score;
          freeA = ia, freeB = ib, freeC = ic;
        }
        const int64_t least = perimeter * 7 / 25;
        if (ab >= least && bc >= least && ca >= least &&
            (score > bestFai || LaterInOrder(ia, ic, ib, faiA, faiC, faiB))) {
          bestFai = score;
          faiA = ia, faiB = ib, faiC = ic;
        }
      }
      examined += static_cast<int64_t>(m - b - 1);
      if (progress && examined >= 1000000) {
        progress->done.fetch_add(examined / 1000000, std::memory_order_relaxed);
        examined %= 1000000;
      }
    }
  }
  auto fill = [&](PlaneTriangle& triangle, int64_t score, int32_t a, int32_t b, int32_t c) {
    if (a < 0 || score <= 0) return;
    size_t slot = matrix.rowStart[static_cast<size_t>(a)] + static_cast<size_t>(c - a);
    triangle.found = true;
    triangle.start = gaps.start[slot];
    triangle.a = a;
    triangle.b = b;
    triangle.c = c;
    triangle.end = gaps.end[slot];
    triangle.score = score;
  };
  fill(freeTriangle, bestFree, freeA, freeB, freeC);
  fill(faiTriangle, bestFai, faiA, faiB, faiC);
  return 0;
}

void RefineOutAndReturn(std::span<const TrackPoint> fixes, int32_t (&points)[3], double (&legs)[2]) {
  const int64_t n = static_cast<int64_t>(fixes.size());
  double best = -1;
  int choice[3] = {kSpread, kSpread, kSpread};
  int trial[3];
  for (trial[0] = 0; trial[0] < kChoices; ++trial[0]) {
    for (trial[1] = 0; trial[1] < kChoices; ++trial[1]) {
      for (trial[2] = 0; trial[2] < kChoices; ++trial[2]) {
        int64_t index[3];
        bool valid = true;
        for (int k = 0; k < 3 && valid; ++k) {
          index[k] = static_cast<int64_t>(points[k]) + trial[k] - kSpread;
          valid = index[k] >= 0 && index[k] <= n - 1 && (k == 0 || index[k] > index[k - 1]);
        }
        if (!valid) continue;
        const TrackPoint& s = fixes[static_cast<size_t>(index[0])];
        const TrackPoint& t = fixes[static_cast<size_t>(index[1])];
        const TrackPoint& e = fixes[static_cast<size_t>(index[2])];
        double closing = 0;
        if (geo::GeoDistance(GeoOf(s), GeoOf(e), closing) == 0 && closing > kOutAndReturnClosing) continue;
        double total = LegMetres(s, t) + LegMetres(t, e);
        if (total >= best) {
          best = total;
          std::copy(std::begin(trial), std::end(trial), choice);
        }
      }
    }
  }
  for (int k = 0; k < 3; ++k) points[k] += choice[k] - kSpread;
  legs[0] = LegMetres(fixes[static_cast<size_t>(points[0])], fixes[static_cast<size_t>(points[1])]);
  legs[1] = LegMetres(fixes[static_cast<size_t>(points[1])], fixes[static_cast<size_t>(points[2])]);
}

void RefineTriangle(std::span<const TrackPoint> fixes, bool fai, OlcTriangle& triangle) {
  const int64_t n = static_cast<int64_t>(fixes.size());
  const int32_t* p = triangle.points;  // D, A, B, C, E
  LegCache ab(fixes, p[1], p[2]), bc(fixes, p[2], p[3]), ca(fixes, p[3], p[1]), de(fixes, p[0], p[4]);
  // Upper limits of D, A, B, C, E.
  const int64_t upper[5] = {n - 5, n - 4, n - 3, n - 2, n - 1};
  bool any = false;
  double best = 0;
  int choice[5] = {kSpread, kSpread, kSpread, kSpread, kSpread};
  int t[5];
  for (t[0] = 0; t[0] < kChoices; ++t[0]) {
    for (t[1] = 0; t[1] < kChoices; ++t[1]) {
      for (t[2] = 0; t[2] < kChoices; ++t[2]) {
        for (t[3] = 0; t[3] < kChoices; ++t[3]) {
          for (t[4] = 0; t[4] < kChoices; ++t[4]) {
            int64_t index[5];
            bool valid = true;
            for (int k = 0; k < 5 && valid; ++k) {
              index[k] = static_cast<int64_t>(p[k]) + t[k] - kSpread;
              valid = index[k] >= 0 && index[k] <= upper[k];
            }
            // D <= A < B < C <= E
            valid = valid && index[0] <= index[1] && index[1] < index[2] && index[2] < index[3] && index[3] <= index[4];
            if (!valid) continue;
            double l0 = ab.Metres(t[1], t[2]), l1 = bc.Metres(t[2], t[3]), l2 = ca.Metres(t[3], t[1]);
            double perimeter = l0 + l1 + l2;
            double gap = de.Metres(t[0], t[4]);
            if (!(0.2 * perimeter >= gap)) continue;
            if (fai && !(l0 >= 0.28 * perimeter && l1 >= 0.28 * perimeter && l2 >= 0.28 * perimeter)) continue;
            double score = perimeter - gap;
            if (!any || score >= best) {
              any = true;
              best = score;
              std::copy(std::begin(t), std::end(t), choice);
            }
          }
        }
      }
    }
  }
  triangle.legs[0] = ab.Metres(choice[1], choice[2]);
  triangle.legs[1] = bc.Metres(choice[2], choice[3]);
  triangle.legs[2] = ca.Metres(choice[3], choice[1]);
  triangle.gap = de.Metres(choice[0], choice[4]);
  triangle.perimeter = triangle.legs[0] + triangle.legs[1] + triangle.legs[2];
  for (int k = 0; k < 5; ++k) triangle.points[k] += choice[k] - kSpread;
}

OlcBest ChooseBestResult(const OlcResult& result) {
  constexpr double kNone = -std::numeric_limits<double>::infinity();
  const double distance = result.freeDistancePoints;
  const double free = result.freeTriangle.found ? result.freeTriangle.olcPoints : kNone;
  const double fai = result.faiTriangle.found ? result.faiTriangle.olcPoints : kNone;
  if (distance > free && distance > fai) return OlcBest::FreeDistance;
  if (free >= distance && free > fai) return OlcBest::FreeTriangle;
  if (result.faiTriangle.found) return OlcBest::FaiTriangle;
  return OlcBest::FreeDistance;  // unreachable while the distance is finite; never an unset triangle
}

void BestResultPoints(const OlcResult& result, OlcBest best, int32_t (&points)[5]) {
  const int32_t* from = best == OlcBest::FreeDistance   ? result.five
                        : best == OlcBest::FreeTriangle ? result.freeTriangle.points
                                                        : result.faiTriangle.points;
  std::copy(from, from + 5, points);
}

double BestResultPoints(const OlcResult& result, OlcBest best) {
  switch (best) {
    case OlcBest::FreeDistance:
      return result.freeDistancePoints;
    case OlcBest::FreeTriangle:
      return result.freeTriangle.olcPoints;
    case OlcBest::FaiTriangle:
      return result.faiTriangle.olcPoints;
  }
  return 0;
}

std::string BestResultLine(const OlcResult& result, OlcBest best) {
  const char* name = best == OlcBest::FreeDistance   ? "free distance"
                     : best == OlcBest::FreeTriangle ? "free triangle"
                                                     : "FAI triangle";
  char line[96];
  std::snprintf(line, sizeof line, "Best result is %s with %.2f points", name, BestResultPoints(result, best));
  return line;
}

int RunOlcSearch(std::span<const TrackPoint> fixes, core::Operation* operation, OlcProgress* progress,
                 OlcResult& result) {
  result = OlcResult{};
  if (fixes.size() < 5) return -1;
  PlaneTrack plane;
  try {
    plane = ReduceToPlane(fixes, kOlcPlaneLimit);
  } catch (const std::bad_alloc&) {
    return -1;
  }
  const size_t m = plane.positions.size();
  auto fix = [&](int32_t planeIndex) { return plane.indices[static_cast<size_t>(planeIndex)]; };

  Say(operation, "Computing distance matrix");
  if (progress) {
    progress->done.store(0, std::memory_order_relaxed);
    progress->total.store(static_cast<int64_t>(static_cast<double>(m * (m + 1) / 2) * 1e-5), std::memory_order_relaxed);
  }
  DistanceMatrix matrix;
  int rc = BuildDistanceMatrix(plane.positions, operation, matrix, progress ? &progress->done : nullptr);
  if (rc == -2) Say(operation, "Computation halted");
  if (rc != 0) return rc;
  GapTable gaps;
  if (BuildGapTable(matrix, gaps) != 0) return -1;

  Say(operation, "Max. distance search");
  PlaneResult distance;
  if (SearchTwoAndFivePoints(matrix, distance, operation) != 0) {
    Say(operation, "Max. distance search aborted");
    return -2;
  }
  result.two[0] = fix(distance.two[0]);
  result.two[1] = fix(distance.two[1]);
  RefineTwoPoints(fixes, result.two, result.twoMetres);
  for (int k = 0; k < 5; ++k) result.five[k] = fix(distance.five[k]);
  RefineFivePoints(fixes, result.five, result.fiveLegs, result.fiveSum);
  result.freeDistancePoints = result.fiveSum * kFreeDistancePointsPerMetre;

  Say(operation, "Out-and-return search");
  PlaneOutAndReturn outAndReturn;
  if (SearchOutAndReturn(matrix, operation, outAndReturn) != 0) {
    Say(operation, "Out-and-return search aborted");
    return -2;
  }
  if (outAndReturn.found) {
    result.outAndReturnFound = true;
    result.outAndReturn[0] = fix(outAndReturn.start);
    result.outAndReturn[1] = fix(outAndReturn.turn);
    result.outAndReturn[2] = fix(outAndReturn.end);
    RefineOutAndReturn(fixes, result.outAndReturn, result.outAndReturnLegs);
    result.outAndReturnMetres = result.outAndReturnLegs[0] + result.outAndReturnLegs[1];
  }

  Say(operation, "Triangle search");
  if (progress) {
    progress->done.store(0, std::memory_order_relaxed);
    progress->total.store(
        static_cast<int64_t>(static_cast<double>(m - 1) * static_cast<double>(m - 2) * static_cast<double>(m) *
                             1.6666666666666668e-7),
        std::memory_order_relaxed);
  }
  PlaneTriangle freeTriangle, faiTriangle;
  if (SearchTriangles(matrix, gaps, operation, progress, freeTriangle, faiTriangle) != 0) {
    Say(operation, "Triangle search aborted");
    return -2;
  }
  auto take = [&](const PlaneTriangle& found, bool fai, double perMetre, OlcTriangle& triangle) {
    if (!found.found) return;
    triangle.found = true;
    const int32_t planePoints[5] = {found.start, found.a, found.b, found.c, found.end};
    for (int k = 0; k < 5; ++k) triangle.points[k] = fix(planePoints[k]);
    RefineTriangle(fixes, fai, triangle);
    triangle.olcPoints = triangle.Distance() * perMetre;
  };
  take(freeTriangle, false, kFreeTrianglePointsPerMetre, result.freeTriangle);
  take(faiTriangle, true, kFaiTrianglePointsPerMetre, result.faiTriangle);

  Say(operation, "Optimization completed");
  if (progress) progress->total.store(0, std::memory_order_relaxed);
  return 0;
}

}  // namespace tarnvik::analysis
