#include "analysis/flight_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "analysis/speed_filter.h"
#include "tests/analysis/track_builder.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::analysis {
namespace {

using core::FlightSummary;
using core::TrackPoint;
using testing::FixAt;
using testing::FixAtMetres;
using testing::Kmh;
using testing::kMorning;
using testing::OracleMetres;
using testing::RecordingOperation;

constexpr double kDegree = std::numbers::pi / 180;

FlightSummary SummaryOf(std::vector<TrackPoint> fixes) {
  FlightSummary summary;
  summary.fixes = std::move(fixes);
  EXPECT_EQ(ComputeFlightValues(summary), 0);
  return summary;
}

// ---- summary values ------------------------------------------------------------------------

TEST(FlightValues, ClimbThenGlideFaster) {
  // 100 s climbing 2 m/s at 10 m/s ground speed, then 100 s sinking 1 m/s at 20 m/s.
  std::vector<TrackPoint> fixes;
  double east = 0;
  int32_t heightDm = 15000;
  for (uint32_t i = 0; i <= 200; ++i) {
    fixes.push_back(FixAtMetres(east, 0, kMorning + i, heightDm));
    east += i < 100 ? 10 : 20;
    heightDm += i < 100 ? 20 : -10;
  }
  FlightSummary s = SummaryOf(fixes);
  EXPECT_EQ(s.startTime, kMorning);
  EXPECT_EQ(s.finishTime, kMorning + 200);
  EXPECT_EQ(s.duration, 200u);
  EXPECT_EQ(s.maximumHeight, 1700);  // 17000 dm at fix 100
  EXPECT_EQ(s.minimumHeight, 1500);
  // 100 legs of 10 m and 100 of 20 m, as the geodesic oracle measures them, in 200 s.
  const double total = OracleMetres(fixes, 0, fixes.size() - 1);
  EXPECT_NEAR(total, 3000, 15);  // the builder places fixes on a sphere
  EXPECT_NEAR(s.totalDistance, total, 1e-3);
  EXPECT_NEAR(s.meanSpeed, Kmh(total, 200), 1e-6);
  EXPECT_NEAR(s.maximumMeanSpeed, 72, 0.5);  // 20 m/s over a full minute
  EXPECT_NEAR(s.topSpeed, 72, 0.5);
  EXPECT_NEAR(s.maximumClimbRate, 2.0, 1e-5);
  EXPECT_NEAR(s.minimumClimbRate, -1.0, 1e-5);
}

// Both climb extremes start at 0 and move only for a strictly greater (smaller) value: a flight
// that only sinks keeps a maximum climb of 0, one that only climbs a minimum of 0.
TEST(FlightValues, ClimbExtremesStartAtZero) {
  struct Case {
    const char* what;
    int32_t climbDmPerSecond;
    double minimum, maximum;
  };
  const Case cases[] = {
      {"glide", -10, -1.0, 0},
      {"climb", 20, 0, 2.0},
      {"level", 0, 0, 0},
  };
  for (const Case& c : cases) {
    std::vector<TrackPoint> fixes;
    for (uint32_t i = 0; i <= 150; ++i) {
      fixes.push_back(FixAtMetres(10.0 * i, 0, kMorning + i, 15000 + c.climbDmPerSecond * static_cast<int32_t>(i)));
    }
    FlightSummary s = SummaryOf(fixes);
    EXPECT_NEAR(s.minimumClimbRate, c.minimum, 1e-5) << c.what;
    EXPECT_NEAR(s.maximumClimbRate, c.maximum, 1e-5) << c.what;
  }
}

TEST(FlightValues, HeightsInMetresRoundTowardZeroAfterAddingHalf) {
  struct Case {
    std::vector<int32_t> heightsDm;
    int32_t maximumM, minimumM;
  };
  const Case cases[] = {
      {{14, -16}, 1, -1},  // (14 + 5) / 10 = 1; (-16 + 5) / 10 = -1
      {{15, -15}, 2, -1},  // -10 / 10 = -1
      {{-6, -6}, 0, 0},    // -1 / 10 truncates to 0
      {{-25, 123456}, 12346, -2},
  };
  for (const Case& c : cases) {
    std::vector<TrackPoint> fixes;
    for (size_t i = 0; i < c.heightsDm.size(); ++i)
      fixes.push_back(FixAtMetres(0, 0, kMorning + static_cast<uint32_t>(i), c.heightsDm[i]));
    FlightSummary s = SummaryOf(fixes);
    EXPECT_EQ(s.maximumHeight, c.maximumM) << c.heightsDm[0];
    EXPECT_EQ(s.minimumHeight, c.minimumM) << c.heightsDm[0];
  }
}

TEST(FlightValues, AFlightOfOneInstantHasMeanSpeedZero) {
  std::vector<TrackPoint> fixes;
  for (int i = 0; i < 12; ++i) fixes.push_back(FixAtMetres(100.0 * i, 0, kMorning));
  FlightSummary s = SummaryOf(fixes);
  EXPECT_EQ(s.duration, 0u);
  EXPECT_GT(s.totalDistance, 1000);
  EXPECT_EQ(s.meanSpeed, 0);
  // Nothing lies 10 or 60 s after the first fix: no speeds, no climb values.
  EXPECT_EQ(s.topSpeed, 0);
  EXPECT_EQ(s.maximumMeanSpeed, 0);
  EXPECT_EQ(s.minimumClimbRate, 0);
  EXPECT_EQ(s.maximumClimbRate, 0);
}

TEST(SourceFields, FollowTheLogsSourceKind) {
  struct Case {
    int kind;
    bool downloaded;
    int sign;
  };
  const Case cases[] = {{0, false, 0}, {1, true, 1}, {3, true, 1}, {6, true, 1},
                        {7, false, 1}, {8, true, 1}, {9, false, 0}};
  for (const Case& c : cases) {
    for (int flag : {0, 1}) {
      FlightSummary s;
      s.pilotIdFlag = 1;
      SetSourceFields(s, c.kind, flag, 1089849600);
      EXPECT_EQ(s.downloadedTime, c.downloaded ? 1089849600 : -1) << c.kind;
      EXPECT_EQ(s.signFlag, c.sign) << c.kind;
      EXPECT_EQ(s.pilotIdFlag, 0);
      EXPECT_EQ(s.utcFlag, flag);
    }
  }
}

// ---- the searches --------------------------------------------------------------------------

std::vector<geo::TmPoint> OnAxis(std::initializer_list<double> xs) {
  std::vector<geo::TmPoint> points;
  for (double x : xs) points.push_back({x, 0});
  return points;
}

TEST(PlaneSearch, TiesGoToTheLaterRowAndCandidateButTheFirstPartner) {
  // Positions 0, 100, 0, 100, ...: many pairs and paths of equal length.
  PlaneResult r;
  ASSERT_EQ(SearchPlane(OnAxis({0, 100, 0, 100, 0, 100, 0}), nullptr, r), 0);
  // Every row 0..5 has the maximum 100: the later row 5 and its partner 6.
  EXPECT_EQ(r.two[0], 5);
  EXPECT_EQ(r.two[1], 6);
  // Every middle point c = 2, 3, 4 reaches 400: c = 4 with the later b = 3 (not 1) and e = 5;
  // b's column partner is the first fix 100 m from it (0, not 2), e's row partner is 6.
  ASSERT_TRUE(r.hasFive);
  EXPECT_EQ(std::vector<int32_t>(r.five, r.five + 5), (std::vector<int32_t>{0, 3, 4, 5, 6}));
}

TEST(PlaneSearch, ReportsProgressAndStopsWhenHalted) {
  std::vector<geo::TmPoint> points = OnAxis({0, 10, 20, 30, 40, 50});
  PlaneResult r;
  RecordingOperation running;
  ASSERT_EQ(SearchPlane(points, &running, r), 0);
  EXPECT_EQ(running.statuses, (std::vector<std::string>{"Computing distance matrix", "Computing distance matrix. Done"}));

  RecordingOperation halted;
  halted.cancelAfterStatuses = 1;  // halt as soon as the matrix starts
  EXPECT_EQ(SearchPlane(points, &halted, r), -2);
  EXPECT_EQ(halted.statuses, (std::vector<std::string>{"Computing distance matrix"}));

  FlightSummary summary = SummaryOf(testing::StraightTrack(20, 10));
  summary.openDistance = -5;
  RecordingOperation haltedRun;
  haltedRun.cancelled = true;
  EXPECT_EQ(RunFlightStatistics(summary, &haltedRun), -2);
  EXPECT_EQ(summary.openDistance, -5) << "a halted run leaves the results alone";
}

// Exhaustive searches in the plane metric of the matrix.
int64_t BestPairExhaustive(const std::vector<geo::TmPoint>& p) {
  int64_t best = -1;
  for (size_t a = 0; a < p.size(); ++a)
    for (size_t b = a + 1; b < p.size(); ++b) best = std::max<int64_t>(best, PlaneMetres(p[a], p[b]));
  return best;
}

int64_t BestFiveExhaustive(const std::vector<geo::TmPoint>& p) {
  const size_t n = p.size();
  int64_t best = -1;
  for (size_t a = 0; a < n; ++a)
    for (size_t b = a + 1; b < n; ++b) {
      int64_t ab = PlaneMetres(p[a], p[b]);
      for (size_t c = b + 1; c < n; ++c) {
        int64_t abc = ab + PlaneMetres(p[b], p[c]);
        for (size_t d = c + 1; d < n; ++d) {
          int64_t abcd = abc + PlaneMetres(p[c], p[d]);
          for (size_t e = d + 1; e < n; ++e) best = std::max(best, abcd + PlaneMetres(p[d], p[e]));
        }
      }
    }
  return best;
}

TEST(PlaneSearch, EqualsExhaustiveSearchAndRefinementNeverLoses) {
  std::mt19937 random(20240714);
  std::uniform_real_distribution<double> step(-3000, 3000);
  std::uniform_int_distribution<int> size(5, 26);
  for (int round = 0; round < 40; ++round) {
    std::vector<TrackPoint> fixes;
    double east = 0, north = 0;
    int n = size(random);
    for (int i = 0; i < n; ++i) {
      fixes.push_back(FixAtMetres(east, north, kMorning + 10 * static_cast<uint32_t>(i)));
      east += step(random);
      north += step(random);
    }
    PlaneTrack plane = ReduceToPlane(fixes);
    ASSERT_EQ(plane.positions.size(), fixes.size());
    PlaneResult r;
    ASSERT_EQ(SearchPlane(plane.positions, nullptr, r), 0);
    const auto& p = plane.positions;

    EXPECT_LT(r.two[0], r.two[1]);
    EXPECT_EQ(PlaneMetres(p[r.two[0]], p[r.two[1]]), BestPairExhaustive(p)) << "round " << round;
    int64_t five = 0;
    for (int k = 0; k < 4; ++k) {
      EXPECT_LT(r.five[k], r.five[k + 1]);
      five += PlaneMetres(p[r.five[k]], p[r.five[k + 1]]);
    }
    EXPECT_EQ(five, BestFiveExhaustive(p)) << "round " << round;

    // Refined on the ellipsoid: never shorter than the plane's choice measured the same way.
    int32_t two[2] = {r.two[0], r.two[1]};
    double open = 0;
    RefineTwoPoints(fixes, two, open);
    EXPECT_GE(open, LegMetres(fixes[r.two[0]], fixes[r.two[1]]));
    EXPECT_DOUBLE_EQ(open, LegMetres(fixes[two[0]], fixes[two[1]]));
    int32_t refined[5];
    std::copy(r.five, r.five + 5, refined);
    double legs[4], sum = 0, planeChoice = 0;
    RefineFivePoints(fixes, refined, legs, sum);
    for (int k = 0; k < 4; ++k) {
      planeChoice += LegMetres(fixes[r.five[k]], fixes[r.five[k + 1]]);
      EXPECT_LT(refined[k], refined[k + 1]);
      EXPECT_DOUBLE_EQ(legs[k], LegMetres(fixes[refined[k]], fixes[refined[k + 1]]));
    }
    EXPECT_GE(sum, planeChoice);
    EXPECT_DOUBLE_EQ(sum, legs[0] + legs[1] + legs[2] + legs[3]);
  }
}

TEST(Reduction, SevenThousandFixesKeepSixThousandEvenlySpread) {
  std::vector<TrackPoint> fixes = testing::StraightTrack(7000, 1);
  PlaneTrack plane = ReduceToPlane(fixes);
  ASSERT_EQ(plane.positions.size(), 6000u);
  EXPECT_EQ(plane.indices.front(), 0);
  EXPECT_GE(plane.indices.back(), 6990);
  for (size_t k = 1; k < plane.indices.size(); ++k) {
    int gap = plane.indices[k] - plane.indices[k - 1];
    ASSERT_TRUE(gap == 1 || gap == 2) << "gap " << gap << " at " << k;
  }
}

TEST(Reduction, RefinedIndicesReferToTheFullSelection) {
  // Out 1 m per fix to a turning point that the reduction skips, then back slowly: the plane
  // sees the turn's neighbour, the refinement finds the turn itself in the full working set.
  std::vector<TrackPoint> probe = testing::StraightTrack(7000, 1);
  PlaneTrack plane = ReduceToPlane(probe);
  int32_t turn = 3500;
  while (std::binary_search(plane.indices.begin(), plane.indices.end(), turn)) ++turn;
  std::vector<TrackPoint> fixes;
  for (int32_t i = 0; i < 7000; ++i) {
    double east = i <= turn ? i : turn - 0.1 * (i - turn);
    fixes.push_back(FixAtMetres(east, 0, kMorning + static_cast<uint32_t>(i)));
  }
  FlightSummary summary = SummaryOf(fixes);
  ASSERT_EQ(RunFlightStatistics(summary, nullptr), 0);
  EXPECT_EQ(summary.openDistanceFixes[0], 0);
  EXPECT_EQ(summary.openDistanceFixes[1], turn);
  EXPECT_DOUBLE_EQ(summary.openDistance, LegMetres(fixes[0], fixes[static_cast<size_t>(turn)]));
  double sum = 0;
  for (int k = 0; k < 4; ++k) {
    EXPECT_LT(summary.fivePointFixes[k], summary.fivePointFixes[k + 1]);
    sum += summary.fivePointLegs[k];
  }
  EXPECT_GE(summary.fivePointFixes[0], 0);
  EXPECT_LT(summary.fivePointFixes[4], 7000);
  EXPECT_DOUBLE_EQ(summary.fivePointSum, sum);
}

// ---- the local plane's central meridian ----------------------------------------------------

TEST(CentralMeridian, MiddleOfTheLongitudeRangeUnlessItCrossesTheAntimeridian) {
  auto meridianDegrees = [](std::initializer_list<double> longitudes) {
    std::vector<TrackPoint> fixes;
    for (double lon : longitudes) fixes.push_back(FixAt(10, lon, kMorning));
    return PlaneCentralMeridian(fixes) / kDegree;
  };
  EXPECT_NEAR(meridianDegrees({7, 9.5, 8}), 8.25, 1e-7);
  // A 160-degree span is no crossing: still the middle of the range, not the circular mean.
  EXPECT_NEAR(meridianDegrees({-100, -90, 60}), -20, 1e-7);
  // 179.5 E to 179.5 W: the middle of the range would be 0; the flight is at 180.
  EXPECT_NEAR(std::abs(meridianDegrees({179.5, 179.9, -179.9, -179.5})), 180, 1e-7);
}

TEST(CentralMeridian, AFlightAcrossTheAntimeridianIsMeasuredInAGoodPlane) {
  std::vector<TrackPoint> fixes;
  for (int i = 0; i < 100; ++i) {
    double lon = 179.5 + 0.01 * i;
    if (lon > 180) lon -= 360;
    fixes.push_back(FixAt(-16 + 0.001 * i, lon, kMorning + 10 * static_cast<uint32_t>(i)));
  }
  PlaneTrack plane = ReduceToPlane(fixes);
  double geodesic = LegMetres(fixes.front(), fixes.back());
  EXPECT_NEAR(PlaneMetres(plane.positions.front(), plane.positions.back()), geodesic, geodesic * 1e-3);
  FlightSummary summary = SummaryOf(fixes);
  ASSERT_EQ(RunFlightStatistics(summary, nullptr), 0);
  EXPECT_EQ(summary.openDistanceFixes[0], 0);
  EXPECT_EQ(summary.openDistanceFixes[1], 99);
  EXPECT_NEAR(summary.fivePointSum, geodesic, 1.0);  // a straight line: five points add nothing
}

// ---- real flights --------------------------------------------------------------------------

struct RealFlight {
  const char* file;
  size_t fixes;
};

class RealFlights : public ::testing::TestWithParam<RealFlight> {};

TEST_P(RealFlights, StatisticsRunToCompletion) {
  std::vector<TrackPoint> fixes = testing::ReadIgcFixes(std::string(TARNVIK_TEST_DATA) + "/igc/" + GetParam().file);
  ASSERT_EQ(fixes.size(), GetParam().fixes);

  std::vector<TrackPoint> filtered = fixes;
  size_t kept = static_cast<size_t>(FilterTrackSpeed(filtered));
  EXPECT_GE(kept, fixes.size() * 9 / 10) << "the filter keeps an ordinary flight";

  FlightSummary summary = SummaryOf(fixes);
  EXPECT_EQ(summary.duration, fixes.back().time - fixes.front().time);
  const double total = OracleMetres(fixes, 0, fixes.size() - 1);
  EXPECT_NEAR(summary.totalDistance, total, 1e-6 * static_cast<double>(fixes.size()));
  EXPECT_NEAR(summary.meanSpeed, Kmh(total, summary.duration), 1e-6);
  RecordingOperation operation;
  ASSERT_EQ(RunFlightStatistics(summary, &operation), 0);
  EXPECT_EQ(operation.statuses.size(), 2u);

  const int32_t n = static_cast<int32_t>(fixes.size());
  const int32_t* two = summary.openDistanceFixes;
  ASSERT_TRUE(0 <= two[0] && two[0] < two[1] && two[1] < n);
  EXPECT_NEAR(summary.openDistance, OracleMetres(fixes[two[0]], fixes[two[1]]), 1e-3);
  const int32_t* five = summary.fivePointFixes;
  ASSERT_TRUE(0 <= five[0] && five[4] < n);
  for (int k = 0; k < 4; ++k) {
    ASSERT_LT(five[k], five[k + 1]);
    EXPECT_NEAR(summary.fivePointLegs[k], OracleMetres(fixes[five[k]], fixes[five[k + 1]]), 1e-3);
  }
  EXPECT_GE(summary.fivePointSum, summary.openDistance * 0.999);

  // On the smaller flights the open distance is checked against every pair of fixes.
  if (fixes.size() <= 2100) {
    double best = 0;
    for (size_t a = 0; a < fixes.size(); a += 1)
      for (size_t b = a + 1; b < fixes.size(); ++b) best = std::max(best, LegMetres(fixes[a], fixes[b]));
    EXPECT_GE(summary.openDistance, best * 0.9995);
  }
}

INSTANTIATE_TEST_SUITE_P(Igc, RealFlights,
                         ::testing::Values(RealFlight{"gpsb_92HV66G1.igc", 2470}, RealFlight{"hack_885B0912.IGC", 2001},
                                           RealFlight{"igl_no_time_increment.igc", 200},
                                           RealFlight{"igp_2016-11-08-xcs-aaa-02.igc", 6752},
                                           RealFlight{"igp_20211015.igc", 4886},
                                           RealFlight{"igp_lad_lod_extensions.igc", 424},
                                           RealFlight{"xcs_discontinuity.igc", 4708},
                                           RealFlight{"xcs_marcourt.igc", 221}, RealFlight{"xcs_tri.igc", 4514}),
                         [](const auto& info) {
                           std::string name = info.param.file;
                           name = name.substr(0, name.find('.'));
                           std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                           return name;
                         });

}  // namespace
}  // namespace tarnvik::analysis
