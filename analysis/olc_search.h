// The OLC contest optimiser without a toolkit: on a working set of fixes it finds the greatest
// distance between two fixes, the greatest free distance through five fixes (start, three
// turnpoints, end), the best out-and-return, and the best free and FAI triangles with a start
// and end whose gap stays within 20 % of the perimeter. The searches run in a local plane on at
// most 2000 fixes with whole metres; every result is then refined on the whole working set with
// ellipsoidal distances (each index within +-2).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "analysis/flight_statistics.h"
#include "core/ports.h"
#include "core/records.h"
#include "geo/geodesy.h"

namespace tarnvik::analysis {

// At most this many fixes go into the search plane.
constexpr int kOlcPlaneLimit = 2000;
// A start and end closer than this (metres) close an out-and-return.
constexpr int32_t kOutAndReturnClosing = 400;
constexpr double kFreeDistancePointsPerMetre = 0.0015;
constexpr double kFreeTrianglePointsPerMetre = 0.00175;
constexpr double kFaiTrianglePointsPerMetre = 0.002;

// Progress as the dialog shows it: `done` of `total` (0 total: nothing to show). Written by the
// search, read from any thread.
struct OlcProgress {
  std::atomic<int64_t> done{0};
  std::atomic<int64_t> total{0};
};

// ---- the plane searches (indices into the plane positions) -----------------------------------

// The closing-gap table: for i < j, the smallest d(s, e) with s <= i and e >= j and that pair.
// Row 0 walks j from m - 1 down to 1 keeping the running minimum of d(0, j'), j' >= j; each
// following row walks the same way and compares its running minimum with the entry (i - 1, j)
// of the row before. A value replaces another only when strictly smaller, so among equal gaps
// the smallest s and, for it, the greatest e stay.
struct GapTable {
  std::unique_ptr<int32_t[]> minimum;  // laid out like the distance matrix
  std::unique_ptr<int32_t[]> start;
  std::unique_ptr<int32_t[]> end;
};
// 0, or -1 when memory runs out.
int BuildGapTable(const DistanceMatrix& matrix, GapTable& gaps);

struct PlaneOutAndReturn {
  bool found = false;
  int32_t start = 0, turn = 0, end = 0;
  int64_t score = 0;  // d(start, turn) + d(turn, end)
};
struct PlaneTriangle {
  bool found = false;
  int32_t start = 0, a = 0, b = 0, c = 0, end = 0;  // D, A, B, C, E
  int64_t score = 0;                                // perimeter - gap
};

// Out-and-return: for every start a, end c >= a + 2 with d(a, c) below 400 m and turn b between
// them, the greatest d(a, b) + d(b, c); ties to the later candidate in the order a, c, b. Not
// found when the best is below 1. Polls the halt flag before each start: 0 or -2.
int SearchOutAndReturn(const DistanceMatrix& matrix, core::Operation* operation, PlaneOutAndReturn& result);

// Triangles: for every first corner a, third corner c >= a + 2 (closing gap = gap table (a, c))
// and second corner b between them, with perimeter P: only when P > 5 * gap, score P - gap; the
// free triangle takes the greatest score, the FAI triangle the greatest score whose legs are
// each at least 7 * P / 25 (whole metres); ties to the later candidate in the order a, c, b.
// Polls the halt flag before each first corner (0 or -2); progress->done grows by one per
// million candidates.
int SearchTriangles(const DistanceMatrix& matrix, const GapTable& gaps, core::Operation* operation,
                    OlcProgress* progress, PlaneTriangle& freeTriangle, PlaneTriangle& faiTriangle);

// ---- the whole search on a working set (indices into the working set) ------------------------

struct OlcTriangle {
  bool found = false;
  int32_t points[5] = {0, 0, 0, 0, 0};  // start D, corners A, B, C, end E
  double legs[3] = {0, 0, 0};           // A-B, B-C, C-A in metres
  double perimeter = 0;
  double gap = 0;  // D-E
  double olcPoints = 0;
  double Distance() const { return perimeter - gap; }
};

struct OlcResult {
  int32_t two[2] = {0, 0};
  double twoMetres = 0;
  int32_t five[5] = {0, 0, 0, 0, 0};
  double fiveLegs[4] = {0, 0, 0, 0};
  double fiveSum = 0;
  double freeDistancePoints = 0;
  bool outAndReturnFound = false;
  int32_t outAndReturn[3] = {0, 0, 0};  // start, turn, end
  double outAndReturnLegs[2] = {0, 0};
  double outAndReturnMetres = 0;  // the two legs
  OlcTriangle freeTriangle;
  OlcTriangle faiTriangle;
};

enum class OlcBest { FreeDistance, FreeTriangle, FaiTriangle };
// Free distance when its points are above both triangles'; else the free triangle when its
// points are at least the free distance's and above the FAI triangle's; else the FAI triangle.
// A triangle that was not found never wins.
OlcBest ChooseBestResult(const OlcResult& result);
// The claim's five fixes of a result: the free distance's five, or a triangle's D, A, B, C, E.
void BestResultPoints(const OlcResult& result, OlcBest best, int32_t (&points)[5]);
double BestResultPoints(const OlcResult& result, OlcBest best);
// "Best result is free distance with %.2f points" and its triangle forms.
std::string BestResultLine(const OlcResult& result, OlcBest best);

// Refinements on the working set (fixes), each index within +-2 of its own.
// Out-and-return: strictly increasing; a combination is taken when start-end is at most 400.0 m
// (or cannot be computed) and its legs sum to at least the best so far.
void RefineOutAndReturn(std::span<const core::TrackPoint> fixes, int32_t (&points)[3], double (&legs)[2]);
// Triangle: 0 <= D <= n-5, D <= A <= n-4, A < B <= n-3, B < C <= n-2, C <= E <= n-1; accepted when
// 0.2 * P >= gap and, for FAI, each leg >= 0.28 * P; the greatest P - gap wins, ties to the later
// combination. Without an accepted one the given fixes stay. Fills legs, perimeter and gap.
void RefineTriangle(std::span<const core::TrackPoint> fixes, bool fai, OlcTriangle& triangle);

// The whole search: reduction to at most 2000 plane positions, matrix, gap table, two- and
// five-point distance, out-and-return, triangles, each refined. Status texts and halt through
// `operation` (null: neither); progress when given. Returns 0, -1 when memory runs out or there
// are fewer than 5 fixes, -2 when halted (the status then names the phase that stopped).
int RunOlcSearch(std::span<const core::TrackPoint> fixes, core::Operation* operation, OlcProgress* progress,
                 OlcResult& result);

}  // namespace tarnvik::analysis
