#include "analysis/olc_search.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "tests/analysis/track_builder.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::analysis {
namespace {

using core::TrackPoint;
using testing::FixAt;
using testing::FixAtMetres;
using testing::kMorning;
using testing::OracleMetres;

// ---- plane searches against exhaustive search ----------------------------------------------

struct Plane {
  std::vector<geo::TmPoint> positions;
  DistanceMatrix matrix;
  GapTable gaps;
  int32_t D(size_t i, size_t j) const { return PlaneMetres(positions[i], positions[j]); }
};

void Build(Plane& plane) {
  ASSERT_EQ(BuildDistanceMatrix(plane.positions, nullptr, plane.matrix), 0);
  ASSERT_EQ(BuildGapTable(plane.matrix, plane.gaps), 0);
}

// A dozen positions on a coarse grid, so that repeated and collinear positions and equal
// distances are common.
std::vector<geo::TmPoint> RandomGridTrack(std::mt19937& random, size_t count) {
  std::uniform_int_distribution<int> cell(0, 4);
  std::vector<geo::TmPoint> positions;
  for (size_t i = 0; i < count; ++i) positions.push_back({cell(random) * 1000.0, cell(random) * 1000.0});
  return positions;
}

struct Gap {
  int32_t metres, start, end;
};
// Least d(s, e) with s <= a and e >= c; first found in the order s ascending, e descending.
Gap ExhaustiveGap(const Plane& plane, size_t a, size_t c) {
  Gap best{std::numeric_limits<int32_t>::max(), -1, -1};
  for (size_t s = 0; s <= a; ++s) {
    for (size_t e = plane.positions.size() - 1; e >= c; --e) {
      if (plane.D(s, e) < best.metres) best = {plane.D(s, e), static_cast<int32_t>(s), static_cast<int32_t>(e)};
    }
  }
  return best;
}

TEST(OlcPlaneSearch, EqualsExhaustiveSearchOnRandomTracks) {
  std::mt19937 random(20240714);
  for (int round = 0; round < 300; ++round) {
    Plane plane;
    plane.positions = RandomGridTrack(random, 12);
    Build(plane);
    const size_t m = plane.positions.size();
    SCOPED_TRACE("round " + std::to_string(round));

    for (size_t i = 0; i + 1 < m; ++i) {
      for (size_t j = i + 1; j < m; ++j) {
        Gap expected = ExhaustiveGap(plane, i, j);
        size_t slot = plane.matrix.rowStart[i] + (j - i);
        ASSERT_EQ(plane.gaps.minimum[slot], expected.metres) << i << "," << j;
        ASSERT_EQ(plane.gaps.start[slot], expected.start) << i << "," << j;
        ASSERT_EQ(plane.gaps.end[slot], expected.end) << i << "," << j;
      }
    }

    // Out-and-return in the order a, c, b; equal scores go to the later candidate.
    PlaneOutAndReturn expectedReturn;
    int64_t bestReturn = 0;
    for (size_t a = 0; a + 3 <= m; ++a)
      for (size_t c = a + 2; c < m; ++c)
        for (size_t b = a + 1; b < c; ++b) {
          if (plane.D(a, c) >= 400) continue;
          int64_t score = int64_t{plane.D(a, b)} + plane.D(b, c);
          if (score >= bestReturn) {
            bestReturn = score;
            expectedReturn = {true, int32_t(a), int32_t(b), int32_t(c), score};
          }
        }
    if (bestReturn < 1) expectedReturn = {};
    PlaneOutAndReturn outAndReturn;
    ASSERT_EQ(SearchOutAndReturn(plane.matrix, nullptr, outAndReturn), 0);
    EXPECT_EQ(outAndReturn.found, expectedReturn.found);
    EXPECT_EQ(outAndReturn.score, expectedReturn.score);
    EXPECT_EQ(outAndReturn.start, expectedReturn.start);
    EXPECT_EQ(outAndReturn.turn, expectedReturn.turn);
    EXPECT_EQ(outAndReturn.end, expectedReturn.end);

    // Triangles in the order a, c, b.
    PlaneTriangle expectedFree, expectedFai;
    for (size_t a = 0; a + 3 <= m; ++a)
      for (size_t c = a + 2; c < m; ++c) {
        Gap gap = ExhaustiveGap(plane, a, c);
        for (size_t b = a + 1; b < c; ++b) {
          int64_t legs[3] = {plane.D(a, b), plane.D(b, c), plane.D(a, c)};
          int64_t p = legs[0] + legs[1] + legs[2];
          if (!(p > 5 * int64_t{gap.metres})) continue;
          int64_t score = p - gap.metres;
          PlaneTriangle candidate{true, gap.start, int32_t(a), int32_t(b), int32_t(c), gap.end, score};
          if (score >= expectedFree.score) expectedFree = candidate;
          if (score >= expectedFai.score && legs[0] >= 7 * p / 25 && legs[1] >= 7 * p / 25 && legs[2] >= 7 * p / 25)
            expectedFai = candidate;
        }
      }
    PlaneTriangle freeTriangle, faiTriangle;
    ASSERT_EQ(SearchTriangles(plane.matrix, plane.gaps, nullptr, nullptr, freeTriangle, faiTriangle), 0);
    for (auto [got, want] : {std::pair{freeTriangle, expectedFree}, std::pair{faiTriangle, expectedFai}}) {
      EXPECT_EQ(got.found, want.found);
      EXPECT_EQ(got.score, want.score);
      EXPECT_EQ((std::vector<int32_t>{got.start, got.a, got.b, got.c, got.end}),
                (std::vector<int32_t>{want.start, want.a, want.b, want.c, want.end}));
    }

    // Five points: the greatest sum through five positions in order.
    int64_t bestFive = 0;
    for (size_t a = 0; a < m; ++a)
      for (size_t b = a + 1; b < m; ++b)
        for (size_t c = b + 1; c < m; ++c)
          for (size_t d = c + 1; d < m; ++d)
            for (size_t e = d + 1; e < m; ++e)
              bestFive = std::max<int64_t>(bestFive, int64_t{plane.D(a, b)} + plane.D(b, c) + plane.D(c, d) + plane.D(d, e));
    PlaneResult five;
    ASSERT_EQ(SearchTwoAndFivePoints(plane.matrix, five), 0);
    const int32_t* f = five.five;
    EXPECT_EQ(int64_t{plane.D(f[0], f[1])} + plane.D(f[1], f[2]) + plane.D(f[2], f[3]) + plane.D(f[3], f[4]), bestFive);
  }
}

// A closing gap of exactly a fifth of the perimeter is refused (P > 5 gap); one metre less passes.
TEST(OlcPlaneSearch, GapOfExactlyTwentyPercentIsRefused) {
  struct Case {
    double endNorth;
    bool found;
  };
  for (Case test : {Case{2400, false}, Case{2399, true}}) {
    Plane plane;
    // A 3-4-5 triangle (perimeter 12000 m) whose end lies `endNorth` from its start.
    plane.positions = {{0, 0}, {3000, 0}, {3000, 4000}, {0, test.endNorth}};
    Build(plane);
    PlaneTriangle freeTriangle, faiTriangle;
    ASSERT_EQ(SearchTriangles(plane.matrix, plane.gaps, nullptr, nullptr, freeTriangle, faiTriangle), 0);
    EXPECT_EQ(freeTriangle.found, test.found) << test.endNorth;
    if (test.found) {
      EXPECT_EQ(freeTriangle.score, 12000 - 2399);
      EXPECT_EQ((std::vector<int32_t>{freeTriangle.start, freeTriangle.a, freeTriangle.b, freeTriangle.c, freeTriangle.end}),
                (std::vector<int32_t>{0, 0, 1, 2, 3}));
    }
    EXPECT_FALSE(faiTriangle.found);  // legs of 25 % of the perimeter
  }
}

// ---- the whole search on flights ---------------------------------------------------------------

// Fixes every `step` metres along straight legs through the given corners (metres east, north).
std::vector<TrackPoint> FlyThrough(const std::vector<std::pair<double, double>>& corners, double step = 100) {
  std::vector<TrackPoint> fixes;
  uint32_t time = kMorning;
  for (size_t k = 0; k + 1 < corners.size(); ++k) {
    auto [x0, y0] = corners[k];
    auto [x1, y1] = corners[k + 1];
    double length = std::hypot(x1 - x0, y1 - y0);
    int steps = std::max(1, static_cast<int>(std::ceil(length / step)));
    for (int s = 0; s < steps; ++s) {
      double f = static_cast<double>(s) / steps;
      fixes.push_back(FixAtMetres(x0 + (x1 - x0) * f, y0 + (y1 - y0) * f, time));
      time += 10;
    }
  }
  fixes.push_back(FixAtMetres(corners.back().first, corners.back().second, time));
  return fixes;
}

TEST(OlcSearch, FaiTriangleWithSharpCornersClosingWithin300Metres) {
  // An equilateral triangle of 10 km legs, the end 250 m from the start.
  const double h = 10000 * std::sqrt(3.0) / 2;
  std::vector<TrackPoint> fixes = FlyThrough({{0, 0}, {10000, 0}, {5000, h}, {0, 250}});
  OlcResult result;
  ASSERT_EQ(RunOlcSearch(fixes, nullptr, nullptr, result), 0);
  ASSERT_TRUE(result.faiTriangle.found);
  ASSERT_TRUE(result.freeTriangle.found);
  const OlcTriangle& fai = result.faiTriangle;
  const int32_t* p = fai.points;
  // Corners at the turn fixes: the sharp corners leave nothing better within +-2.
  const size_t turn1 = 100, turn2 = 200;
  EXPECT_EQ(p[2], static_cast<int32_t>(turn1));
  EXPECT_EQ(p[3], static_cast<int32_t>(turn2));
  EXPECT_NEAR(fai.legs[0], OracleMetres(fixes[p[1]], fixes[p[2]]), 1e-3);
  EXPECT_NEAR(fai.legs[1], OracleMetres(fixes[p[2]], fixes[p[3]]), 1e-3);
  EXPECT_NEAR(fai.legs[2], OracleMetres(fixes[p[3]], fixes[p[1]]), 1e-3);
  EXPECT_NEAR(fai.gap, OracleMetres(fixes[p[0]], fixes[p[4]]), 1e-3);
  EXPECT_LE(fai.gap, 300);
  EXPECT_NEAR(fai.perimeter, 30000, 200);
  EXPECT_NEAR(fai.olcPoints, fai.Distance() * 0.002, 1e-9);
  EXPECT_NEAR(result.freeTriangle.olcPoints, result.freeTriangle.Distance() * 0.00175, 1e-9);
  EXPECT_EQ(ChooseBestResult(result), OlcBest::FaiTriangle);
  // Out-and-return closes too (start and end 250 m apart); free distance is scored on its legs.
  EXPECT_TRUE(result.outAndReturnFound);
  EXPECT_NEAR(result.freeDistancePoints, result.fiveSum * 0.0015, 1e-9);
}

TEST(OlcSearch, StraightFlightHasNoOutAndReturnNorTriangle) {
  // Fixes 500 m apart: no two fixes with one between them lie within 400 m of each other.
  std::vector<TrackPoint> fixes = FlyThrough({{0, 0}, {20000, 0}}, 500);
  OlcResult result;
  ASSERT_EQ(RunOlcSearch(fixes, nullptr, nullptr, result), 0);
  EXPECT_FALSE(result.outAndReturnFound);
  EXPECT_FALSE(result.freeTriangle.found);
  EXPECT_FALSE(result.faiTriangle.found);
  EXPECT_NEAR(result.twoMetres, OracleMetres(fixes.front(), fixes.back()), 1e-3);
  EXPECT_NEAR(result.fiveSum, OracleMetres(fixes.front(), fixes.back()), 1.0);
  EXPECT_EQ(ChooseBestResult(result), OlcBest::FreeDistance);
}

TEST(OlcSearch, OutAndReturnClosesBelow400Metres) {
  struct Case {
    double closing;
    bool whole;  // the whole flight is the out-and-return
  };
  for (Case test : {Case{390, true}, Case{410, false}}) {
    // Out 10 km east and back to `closing` metres north of the start, a fix every 100 m. Fixes
    // two apart lie within 400 m of each other, so a short out-and-return always exists; the
    // whole flight counts only when its ends close.
    std::vector<TrackPoint> fixes = FlyThrough({{0, 0}, {10000, 0}, {0, test.closing}});
    OlcResult result;
    ASSERT_EQ(RunOlcSearch(fixes, nullptr, nullptr, result), 0);
    ASSERT_TRUE(result.outAndReturnFound);
    const int32_t* p = result.outAndReturn;
    if (test.whole) {
      EXPECT_EQ(p[0], 0);
      EXPECT_EQ(p[1], 100);
      EXPECT_EQ(p[2], static_cast<int32_t>(fixes.size() - 1));
      EXPECT_NEAR(result.outAndReturnMetres,
                  OracleMetres(fixes[0], fixes[100]) + OracleMetres(fixes[100], fixes.back()), 1e-3);
    } else {
      // The ends do not close; a start a few fixes later closes with an end a few fixes earlier.
      EXPECT_GT(p[0], 0);
      EXPECT_LT(p[2], static_cast<int32_t>(fixes.size() - 1));
      EXPECT_LE(OracleMetres(fixes[p[0]], fixes[p[2]]), 400);
    }
  }
}

TEST(OlcSearch, AcrossTheAntimeridianScoresAsAtZero) {
  // The same FAI triangle flown at longitude 0 and astride 180 degrees.
  auto triangle = [](double centreLongitude) {
    std::vector<TrackPoint> fixes;
    const double corners[4][2] = {{45.0, -0.1}, {45.0, 0.1}, {45.15, 0.0}, {45.0, -0.099}};
    uint32_t time = kMorning;
    for (int k = 0; k < 3; ++k) {
      for (int s = 0; s < 40; ++s) {
        double f = s / 40.0;
        double lat = corners[k][0] + (corners[k + 1][0] - corners[k][0]) * f;
        double lon = centreLongitude + corners[k][1] + (corners[k + 1][1] - corners[k][1]) * f;
        if (lon > 180) lon -= 360;
        fixes.push_back(FixAt(lat, lon, time += 10));
      }
    }
    fixes.push_back(FixAt(corners[3][0], centreLongitude + corners[3][1], time += 10));
    return fixes;
  };
  OlcResult atZero, astride;
  ASSERT_EQ(RunOlcSearch(triangle(0), nullptr, nullptr, atZero), 0);
  ASSERT_EQ(RunOlcSearch(triangle(180), nullptr, nullptr, astride), 0);
  ASSERT_TRUE(atZero.faiTriangle.found);
  ASSERT_TRUE(astride.faiTriangle.found);
  EXPECT_NEAR(astride.faiTriangle.Distance(), atZero.faiTriangle.Distance(), 0.01);
  EXPECT_NEAR(astride.fiveSum, atZero.fiveSum, 0.01);
}

TEST(OlcSearch, FiveThousandFixesSearchTwoThousandEvenlySpread) {
  std::vector<TrackPoint> fixes = testing::StraightTrack(5000, 10);
  PlaneTrack plane = ReduceToPlane(fixes, kOlcPlaneLimit);
  ASSERT_EQ(plane.positions.size(), 2000u);
  EXPECT_EQ(plane.indices.front(), 0);
  for (size_t k = 1; k < plane.indices.size(); ++k) {
    int32_t step = plane.indices[k] - plane.indices[k - 1];
    ASSERT_TRUE(step >= 1 && step <= 3) << k << ": " << step;
  }
  EXPECT_GE(plane.indices.back(), 4990);
  OlcResult result;
  ASSERT_EQ(RunOlcSearch(fixes, nullptr, nullptr, result), 0);
  // Refined on the whole set: two fixes beyond the last one the plane kept.
  EXPECT_EQ(result.two[0], 0);
  EXPECT_EQ(result.two[1], std::min(plane.indices.back() + 2, 4999));
}

TEST(OlcSearch, BestResultChoiceAndTies) {
  struct Case {
    double distance, free, fai;
    bool freeFound, faiFound;
    OlcBest best;
  };
  const Case cases[] = {
      {10, 9, 8, true, true, OlcBest::FreeDistance},
      {10, 10, 8, true, true, OlcBest::FreeTriangle},  // equal distance and free triangle
      {10, 11, 11, true, true, OlcBest::FaiTriangle},  // equal free and FAI triangle
      {10, 11, 12, true, true, OlcBest::FaiTriangle},
      {0, 0, 0, false, false, OlcBest::FreeDistance},  // nothing found: never an unset triangle
      {5, 0, 0, true, false, OlcBest::FreeDistance},
      {5, 6, 0, true, false, OlcBest::FreeTriangle},
  };
  for (const Case& test : cases) {
    OlcResult result;
    result.freeDistancePoints = test.distance;
    result.freeTriangle.found = test.freeFound;
    result.freeTriangle.olcPoints = test.free;
    result.faiTriangle.found = test.faiFound;
    result.faiTriangle.olcPoints = test.fai;
    EXPECT_EQ(ChooseBestResult(result), test.best) << test.distance << " " << test.free << " " << test.fai;
  }
  OlcResult result;
  result.freeDistancePoints = 12.345;
  EXPECT_EQ(BestResultLine(result, OlcBest::FreeDistance), "Best result is free distance with 12.35 points");
}

// Halt at the k-th poll: the search stops in the phase that poll belongs to and says so.
class PollCounter : public testing::RecordingOperation {
 public:
  explicit PollCounter(int haltAt) : haltAt_(haltAt) {}
  bool IsCancelled() const override { return ++polls_ >= haltAt_; }

 private:
  int haltAt_;
  mutable int polls_ = 0;
};

TEST(OlcSearch, HaltAtEachPhaseNamesIt) {
  std::vector<TrackPoint> fixes = testing::StraightTrack(20, 10);
  // Polls: 20 matrix rows, 16 middle points, 18 out-and-return starts, 18 first corners.
  struct Case {
    int haltAt;
    const char* last;
  };
  for (Case test : {Case{1, "Computation halted"}, Case{20, "Computation halted"},
                    Case{21, "Max. distance search aborted"}, Case{37, "Out-and-return search aborted"},
                    Case{55, "Triangle search aborted"}, Case{72, "Triangle search aborted"}}) {
    PollCounter operation(test.haltAt);
    OlcResult result;
    EXPECT_EQ(RunOlcSearch(fixes, &operation, nullptr, result), -2) << test.haltAt;
    ASSERT_FALSE(operation.statuses.empty());
    EXPECT_EQ(operation.statuses.back(), test.last) << test.haltAt;
  }
  PollCounter never(73);
  OlcResult result;
  EXPECT_EQ(RunOlcSearch(fixes, &never, nullptr, result), 0);
  EXPECT_EQ(never.statuses.back(), "Optimization completed");
}

TEST(OlcSearch, RealFlightsGiveConsistentResults) {
  for (const char* name : {"xcs_tri.igc", "igp_20211015.igc", "hack_885B0912.IGC"}) {
    SCOPED_TRACE(name);
    std::vector<TrackPoint> fixes = testing::ReadIgcFixes(std::string(TARNVIK_TEST_DATA) + "/igc/" + name);
    ASSERT_GE(fixes.size(), 5u);
    OlcResult result;
    ASSERT_EQ(RunOlcSearch(fixes, nullptr, nullptr, result), 0);
    const int32_t* f = result.five;
    for (int k = 0; k < 4; ++k) EXPECT_LT(f[k], f[k + 1]);
    EXPECT_NEAR(result.fiveSum, OracleMetres(fixes[f[0]], fixes[f[1]]) + OracleMetres(fixes[f[1]], fixes[f[2]]) +
                                    OracleMetres(fixes[f[2]], fixes[f[3]]) + OracleMetres(fixes[f[3]], fixes[f[4]]),
                0.01);
    EXPECT_GE(result.fiveSum + 1e-6, result.twoMetres);
    for (const OlcTriangle* t : {&result.freeTriangle, &result.faiTriangle}) {
      if (!t->found) continue;
      const int32_t* p = t->points;
      EXPECT_TRUE(p[0] <= p[1] && p[1] < p[2] && p[2] < p[3] && p[3] <= p[4]);
      EXPECT_LE(t->gap, 0.2 * t->perimeter + 1e-6);
    }
    if (result.faiTriangle.found) {
      for (double leg : result.faiTriangle.legs) EXPECT_GE(leg, 0.28 * result.faiTriangle.perimeter - 1e-6);
    }
  }
}

}  // namespace
}  // namespace tarnvik::analysis
