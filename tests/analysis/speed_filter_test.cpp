#include "analysis/speed_filter.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/analysis/track_builder.h"

namespace tarnvik::analysis {
namespace {

using core::TrackPoint;
using testing::FixAtMetres;
using testing::Kmh;
using testing::kMorning;
using testing::OracleMetres;
using testing::StraightTrack;

TEST(TrackSpeedLimit, ComesFromTheBucketHoldingNineteenTwentiethsOfTheFixes) {
  // 20 fixes at 5.5 m/s: all 19 legs in bucket 5, the target 19 is met there: 3 * 5 + 1.
  EXPECT_DOUBLE_EQ(TrackSpeedLimitMps(StraightTrack(20, 5.5)), 16);
  // 21 fixes: target 19 again, 20 legs: still bucket 5.
  EXPECT_DOUBLE_EQ(TrackSpeedLimitMps(StraightTrack(21, 5.5)), 16);
  // Every leg at 100 m/s or more goes to the overflow count: no bucket reaches the target.
  EXPECT_DOUBLE_EQ(TrackSpeedLimitMps(StraightTrack(10, 150)), 301);
}

TEST(TrackSpeedLimit, LegsWhoseTimeDoesNotIncreaseCountAsSpeedZero) {
  // A log written backwards in time: every leg has a falling time and counts in bucket 0
  // (never in a bucket below the first one), so the limit is 1 m/s.
  std::vector<TrackPoint> track = StraightTrack(20, 5.5);
  for (size_t i = 0; i < track.size(); ++i) track[i].time = kMorning + 100 - static_cast<uint32_t>(i);
  EXPECT_DOUBLE_EQ(TrackSpeedLimitMps(track), 1);
  // Equal times alike.
  for (TrackPoint& p : track) p.time = kMorning;
  EXPECT_DOUBLE_EQ(TrackSpeedLimitMps(track), 1);
  // The filter keeps all of them: each is speed 0 against the last kept fix.
  EXPECT_EQ(FilterTrackSpeed(track), 20);
}

TEST(FilterTrackSpeed, RemovesASingleFixFiftyKilometresOffTheTrack) {
  std::vector<TrackPoint> track = StraightTrack(30, 10);
  track[15].flags = 0;
  std::vector<TrackPoint> expected = track;
  expected.erase(expected.begin() + 15);
  track[15] = FixAtMetres(150, 50000, track[15].time, 1234);
  ASSERT_EQ(FilterTrackSpeed(track), 29);
  track.resize(29);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(track[i].time, expected[i].time) << i;
    EXPECT_EQ(track[i].latitude, expected[i].latitude) << i;
    EXPECT_EQ(track[i].longitude, expected[i].longitude) << i;
  }
}

TEST(FilterTrackSpeed, AnchorsAtTheFirstRunOfTenPlausibleLegs) {
  // Fixes 0..10 jump between the track (even) and 5 km north (odd), one second apart: the
  // first ten legs are all far too fast. The plausible run starts with leg 10 -> 11, so the
  // anchor is fix 20. Walking back, an odd fix is 5 km from the last kept fix in 1 s and is
  // dropped; an even fix is at the same place as the last kept one (2 s earlier) and is kept,
  // although the leg to its direct successor is too fast.
  std::vector<TrackPoint> track;
  for (uint32_t i = 0; i <= 10; ++i) track.push_back(FixAtMetres(0, i % 2 ? 5000 : 0, kMorning + i));
  for (uint32_t i = 11; i < 40; ++i) track.push_back(FixAtMetres(10.0 * (i - 10), 0, kMorning + i));
  std::vector<TrackPoint> original = track;

  ASSERT_EQ(FilterTrackSpeed(track), 35);
  std::vector<uint32_t> keptTimes;
  for (size_t i = 0; i < 35; ++i) keptTimes.push_back(track[i].time - kMorning);
  std::vector<uint32_t> expected = {0, 2, 4, 6, 8, 10};
  for (uint32_t i = 11; i < 40; ++i) expected.push_back(i);
  EXPECT_EQ(keptTimes, expected);
  for (size_t i = 0; i < 35; ++i) EXPECT_EQ(track[i].flags, 0u) << "keep marks are cleared";
}

TEST(FilterTrackSpeed, WithoutAnyRunOfPlausibleLegsNothingIsKept) {
  std::vector<TrackPoint> track;
  for (uint32_t i = 0; i < 12; ++i) track.push_back(FixAtMetres(0, i % 2 ? 5000 : 0, kMorning + i));
  EXPECT_EQ(FilterTrackSpeed(track), 0);
}

TEST(FilterTrackSpeed, KeepsAPlausibleTrackAndItsFlagsAsTheyWere) {
  std::vector<TrackPoint> track = StraightTrack(50, 12);
  track[0].flags = 1;
  track[25].flags = 1;
  std::vector<TrackPoint> before = track;
  ASSERT_EQ(FilterTrackSpeed(track), 50);
  for (size_t i = 0; i < track.size(); ++i) {
    EXPECT_EQ(track[i].flags, before[i].flags);
    EXPECT_EQ(track[i].longitude, before[i].longitude);
  }
}

// ---- windowed speeds ----------------------------------------------------------------------

TEST(MeanSpeed, OverFullWindowsOfASteadyTrack) {
  std::vector<TrackPoint> track = StraightTrack(100, 10);
  double kmh = 0;
  double climb = 1;
  ASSERT_TRUE(MeanSpeed60(track, 80, kmh, climb));
  EXPECT_NEAR(kmh, Kmh(OracleMetres(track, 20, 80), 60), 1e-6);
  EXPECT_NEAR(kmh, 36, 0.5);  // the builder places fixes on a sphere
  EXPECT_EQ(climb, 0);
  MeanSpeed10(track, 80, kmh);
  EXPECT_NEAR(kmh, Kmh(OracleMetres(track, 70, 80), 10), 1e-6);
}

TEST(MeanSpeed, AShortWindowIsStillDividedBySixtySeconds) {
  std::vector<TrackPoint> track = StraightTrack(21, 10);
  double kmh = 0;
  double climb = 0;
  ASSERT_TRUE(MeanSpeed60(track, 20, kmh, climb));
  EXPECT_NEAR(kmh, Kmh(OracleMetres(track, 0, 20), 60), 1e-6);  // 200 m in "60 s": 12 km/h
  EXPECT_NEAR(kmh, 12, 0.2);
}

TEST(MeanSpeed, TheOldestLegCountsProRataWithItsHeight) {
  // Fixes 50 s apart: the window takes all of the last leg and a fifth of the one before.
  std::vector<TrackPoint> track = {FixAtMetres(0, 0, kMorning, 0), FixAtMetres(500, 0, kMorning + 50, 1000),
                                   FixAtMetres(1000, 0, kMorning + 100, 2000)};
  double kmh = 0;
  double climb = 0;
  ASSERT_TRUE(MeanSpeed60(track, 2, kmh, climb));
  EXPECT_NEAR(kmh, Kmh(OracleMetres(track[2], track[1]) + 0.2 * OracleMetres(track[1], track[0]), 60), 1e-6);
  // Height 60 s earlier: 1000 + (0 - 1000) * 0.2 = 800 dm; (2000 - 800) dm per 60 s.
  EXPECT_NEAR(climb, 2.0, 1e-6);
}

TEST(MeanSpeed, EqualOrFallingTimestampsAddNeitherTimeNorDistance) {
  // The same steady track with a stray fix before every fix: 1 km off, 1000 m higher, and
  // either at the same time as that fix or 5 s after it (a time that falls back on the way to
  // its successor). The windowed values at each original fix stay exactly the same.
  std::vector<TrackPoint> plain = StraightTrack(90, 8);
  for (size_t i = 0; i < plain.size(); ++i) plain[i].height = static_cast<int32_t>(i * 7);
  for (uint32_t strayDelayS : {0u, 5u}) {
    std::vector<TrackPoint> doubled;
    for (const TrackPoint& p : plain) {
      doubled.push_back(FixAtMetres(0, 1000, p.time + strayDelayS, 10000));
      doubled.push_back(p);
    }
    for (size_t i : {1u, 5u, 30u, 61u, 89u}) {
      double kmh = 0, climb = 0, kmhDoubled = 0, climbDoubled = 0;
      ASSERT_TRUE(MeanSpeed60(plain, i, kmh, climb));
      ASSERT_TRUE(MeanSpeed60(doubled, 2 * i + 1, kmhDoubled, climbDoubled));
      EXPECT_DOUBLE_EQ(kmhDoubled, kmh) << i << " delay " << strayDelayS;
      EXPECT_DOUBLE_EQ(climbDoubled, climb) << i << " delay " << strayDelayS;
      MeanSpeed10(plain, i, kmh);
      MeanSpeed10(doubled, 2 * i + 1, kmhDoubled);
      EXPECT_DOUBLE_EQ(kmhDoubled, kmh) << i << " delay " << strayDelayS;
      // Steps measured once, reusing the neighbouring leg lengths, give the same values.
      double kmhReused = 0, climbReused = 0;
      const WindowSteps steps = BuildWindowSteps(doubled, LegLengths(doubled));
      ASSERT_TRUE(MeanSpeed60(doubled, 2 * i + 1, kmhReused, climbReused, steps));
      MeanSpeed60(doubled, 2 * i + 1, kmhDoubled, climbDoubled);
      EXPECT_NEAR(kmhReused, kmhDoubled, 1e-9);
      EXPECT_EQ(climbReused, climbDoubled);
    }
  }
}

// The steps measured once for a whole track give, at every fix, exactly what the walk that
// measures its own steps gives: six fixes to each second, a time that falls back, a repeated
// time at a segment start, and a real flight whose logger repeats timestamps.
TEST(MeanSpeed, StepsMeasuredOnceGiveTheSameValuesAtEveryFix) {
  std::vector<TrackPoint> sixPerSecond;
  for (uint32_t i = 0; i < 600; ++i) {
    sixPerSecond.push_back(FixAtMetres(2.0 * i, 0.1 * (i % 7), kMorning + i / 6, static_cast<int32_t>(10000 + i)));
  }
  const std::vector<TrackPoint> steady = sixPerSecond;
  sixPerSecond[200].time -= 5;      // falls back, then the times go on
  sixPerSecond[300].flags = 1;      // a segment starts ...
  sixPerSecond[301].time = sixPerSecond[300].time;  // ... and its time repeats
  sixPerSecond[450].time = sixPerSecond[440].time - 3;
  const std::vector<std::vector<TrackPoint>> tracks = {
      sixPerSecond, testing::ReadIgcFixes(std::string(TARNVIK_TEST_DATA) + "/igc/igl_no_time_increment.igc")};
  for (const std::vector<TrackPoint>& track : tracks) {
    ASSERT_GT(track.size(), 100u);
    const WindowSteps steps = BuildWindowSteps(track);
    for (size_t i = 0; i < track.size(); ++i) {
      double kmh = -1, climb = -1, kmhStored = -2, climbStored = -2;
      EXPECT_EQ(MeanSpeed60(track, i, kmh, climb), MeanSpeed60(track, i, kmhStored, climbStored, steps)) << i;
      EXPECT_EQ(kmhStored, kmh) << i;
      EXPECT_EQ(climbStored, climb) << i;
      MeanSpeed10(track, i, kmh);
      MeanSpeed10(track, i, kmhStored, steps);
      EXPECT_EQ(kmhStored, kmh) << i;
    }
  }
  // Six fixes a second still span the full minute: 720 m of track (the zigzag adds under 1 m).
  double kmh = 0, climb = 0;
  ASSERT_TRUE(MeanSpeed60(steady, 599, kmh, climb, BuildWindowSteps(steady)));
  EXPECT_NEAR(kmh, Kmh(OracleMetres(steady[599], steady[599 - 360]), 60), 0.1);
}

TEST(MeanSpeed, StopsAtTheStartOfASegmentAndGivesNothingThere) {
  std::vector<TrackPoint> track = StraightTrack(100, 10);
  track[70].flags = 1;
  double kmh = 0;
  double climb = 0;
  EXPECT_FALSE(MeanSpeed60(track, 0, kmh, climb));
  EXPECT_FALSE(MeanSpeed60(track, 70, kmh, climb));
  EXPECT_EQ(kmh, 0);
  MeanSpeed10(track, 70, kmh);
  EXPECT_EQ(kmh, 0);
  // Five fixes into the new segment the window holds the legs back to fix 70, no further.
  ASSERT_TRUE(MeanSpeed60(track, 75, kmh, climb));
  EXPECT_NEAR(kmh, Kmh(OracleMetres(track, 70, 75), 60), 1e-6);
}

}  // namespace
}  // namespace tarnvik::analysis
