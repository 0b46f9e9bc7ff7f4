// Flight statistics over a working set of fixes: the summary values (times, heights, speeds,
// distance, climb) and the two distance searches (greatest distance between any two fixes,
// greatest distance through five fixes in track order).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "core/flight_summary.h"
#include "core/ports.h"
#include "core/records.h"
#include "geo/geodesy.h"

namespace tarnvik::analysis {

// At most this many fixes go into the distance matrix.
constexpr int kPlaneLimit = 6000;

// Fills the summary values from summary.fixes: start, finish and duration, maximum and minimum
// height (metres), top speed (greatest 10-second mean), greatest 60-second mean speed, mean
// speed (0 when the duration is 0), total distance and the 60-second climb extremes (both start
// at 0: the maximum is never below 0 nor the minimum above it). Returns 0, or -1 when memory
// for the per-fix legs runs out (the values are then incomplete).
int ComputeFlightValues(core::FlightSummary& summary);

// Sets the fields the KML writer needs from the log's source: the download time (nowTime) for
// source kinds 1 to 6 and 8, else -1; the sign flag for kinds 1 to 8; no pilot ID; the log's
// UTC flag.
void SetSourceFields(core::FlightSummary& summary, int sourceKind, int sourceFlag, uint32_t nowTime);

// Runs both distance searches on summary.fixes and fills the open-distance and 5-point fields.
// Reports "Computing distance matrix" and "Computing distance matrix. Done" and polls
// IsCancelled() before each matrix row when an operation is given (null: no progress, no halt).
// Returns 0 when done, -1 when memory runs out, -2 when halted; the result fields are only
// written on 0.
int RunFlightStatistics(core::FlightSummary& summary, core::Operation* operation);

// ---- the pieces of the search, exposed for checks against exhaustive search ----------------

// Central meridian (radians) of the local plane: the mean of the smallest and greatest
// longitude; when those span more than 180 degrees (a flight across the antimeridian), the
// mean of all longitudes on the circle.
double PlaneCentralMeridian(std::span<const core::TrackPoint> fixes);

// The fixes reduced to at most `limit`, evenly spread, and projected into the local plane.
struct PlaneTrack {
  std::vector<geo::TmPoint> positions;
  std::vector<int32_t> indices;  // index of each position in the working set
};
PlaneTrack ReduceToPlane(std::span<const core::TrackPoint> fixes, int limit = kPlaneLimit);

// Whole-metre plane distance, as the matrix holds it.
int32_t PlaneMetres(const geo::TmPoint& a, const geo::TmPoint& b);

// The triangular distance matrix over plane positions with each row's and column's greatest
// entry. Row i holds d(i, j) for j = i .. m - 1. The row maximum of i is the greatest d(i, j),
// j > i, with its j (partner i + 1 while none is above 0); the column maximum of j the greatest
// d(i, j), i < j, with its i (partner j - 1 at first); both move only for a strictly greater
// value, so the first maximum in walk order stays. leftBest[c] / leftB[c] is the best left half
// of a five-point path through c: the greatest d(b, c) + columnMax[b] over b in 1 .. c - 1, ties
// to the later b (-1 / 0 when c < 2); it is gathered while the rows fill because the column
// maximum of b is final once row b starts.
struct DistanceMatrix {
  size_t m = 0;
  std::unique_ptr<int32_t[]> entries;
  std::vector<size_t> rowStart;
  std::vector<int32_t> rowMax, rowPartner, columnMax, columnPartner;
  std::vector<int64_t> leftBest;
  std::vector<int32_t> leftB;
  // d(i, j) for i <= j.
  int32_t At(size_t i, size_t j) const { return entries[rowStart[i] + (j - i)]; }
};
// Fills the matrix. Polls operation->IsCancelled() before each row (null: never halted) and,
// when `entriesDone` is given, adds one to it for every 100000 entries filled. Returns 0, -1 when
// memory runs out, -2 when halted (the matrix is then released).
int BuildDistanceMatrix(std::span<const geo::TmPoint> positions, core::Operation* operation, DistanceMatrix& matrix,
                        std::atomic<int64_t>* entriesDone = nullptr);

// Result of the searches in the plane, as indices into the plane positions.
struct PlaneResult {
  int32_t two[2] = {0, 0};
  int32_t five[5] = {0, 0, 0, 0, 0};
  bool hasFive = false;  // at least 5 positions
};
// Two points: the greatest row maximum over rows 0 .. m - 2, ties to the later row. Five points
// (m >= 5): for each middle c from 2 to m - 3 the best left half and the best right half (the
// greatest d(c, e) + rowMax[e] over e in c + 1 .. m - 2), the greatest sum winning; every tie
// goes to the later candidate. Polls operation->IsCancelled() before each middle point when an
// operation is given: 0, or -2 when halted.
int SearchTwoAndFivePoints(const DistanceMatrix& matrix, PlaneResult& result, core::Operation* operation = nullptr);
// BuildDistanceMatrix then SearchTwoAndFivePoints, with the statistics' status texts.
// 0, -1 (out of memory) or -2 (halted).
int SearchPlane(std::span<const geo::TmPoint> positions, core::Operation* operation, PlaneResult& result);

// The +-2 refinements on the full working set with ellipsoidal distances. `two` and `five`
// hold working-set indices and are replaced by the best combination; the distances are set.
void RefineTwoPoints(std::span<const core::TrackPoint> fixes, int32_t (&two)[2], double& metres);
void RefineFivePoints(std::span<const core::TrackPoint> fixes, int32_t (&five)[5], double (&legs)[4],
                      double& sum);

}  // namespace tarnvik::analysis
