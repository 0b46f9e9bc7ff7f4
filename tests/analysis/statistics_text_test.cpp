#include "analysis/statistics_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tests/analysis/track_builder.h"
#include "tests/fakes/address_space_limit.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::analysis {
namespace {

using core::FlightSummary;
using testing::FixAt;
using testing::kDayStart;

constexpr uint32_t kStart = kDayStart + 10 * 3600 + 2 * 60 + 3;  // 10:02:03

FlightSummary HandMadeSummary() {
  FlightSummary s;
  // Five fixes on whole minutes of arc, a few seconds apart.
  s.fixes = {FixAt(60.5, 8.25, kStart), FixAt(60.25, -8.5, kStart + 1, 0), FixAt(-45.75, 170.125, kStart + 62),
             FixAt(-0.5, -0.25, kStart + 3600), FixAt(1, 179.5, kStart + 8886)};
  s.startTime = kStart;
  s.finishTime = kStart + 8886;
  s.duration = 8886;  // 2 h 28 min 6 s
  s.maximumHeight = 1234;
  s.minimumHeight = -5;
  s.maximumMeanSpeed = 45.5;
  s.topSpeed = 61.49;
  s.totalDistance = 123456.7;
  s.openDistanceFixes[0] = 0;
  s.openDistanceFixes[1] = 2;
  s.openDistance = 12345.6;
  for (int k = 0; k < 5; ++k) s.fivePointFixes[k] = k;
  s.fivePointLegs[0] = 1000;
  s.fivePointLegs[1] = 2004.9;
  s.fivePointLegs[2] = 3005.1;
  s.fivePointLegs[3] = 123456;
  s.fivePointSum = 129466;
  return s;
}

TEST(StatisticsText, BeforeTheSearchesFinish) {
  StatisticsLines lines = StatisticsTextLines(HandMadeSummary(), false);
  const StatisticsLines expected = {
      "Flight statistics\r\n\r\n",
      "Date                 2024-07-14\r\n",
      "Start/finish         10:02:03 - 12:30:09\r\n",
      "Duration             2 : 28 : 06\r\n",
      "Max./min. height     1234 / -5 m\r\n",
      "Max. mean/top speed  46 km/h / 61 km/h\r\n",
      "Total distance       123.5 km\r\n",
      "\r\nGreatest distance between any 2 points\r\n\r\n",
      "Pos.      Time      Latitude         Longitude         Distance\r\n",
      " A\r\n",
      " B\r\n",
      "\r\nGreatest distance using 5 points\r\n\r\n",
      "Pos.      Time      Latitude         Longitude         Distance\r\n",
      " A\r\n",
      " B\r\n",
      " C\r\n",
      " D\r\n",
      " E\r\n",
      "Sum\r\n",
  };
  EXPECT_EQ(lines, expected);
  for (const std::string& line : lines) EXPECT_LE(line.size(), 80u);
}

TEST(StatisticsText, AfterTheSearchesFinish) {
  StatisticsLines lines = StatisticsTextLines(HandMadeSummary(), true);
  EXPECT_EQ(lines[6], "Total distance       123.5 km\r\n");
  EXPECT_EQ(lines[9], "A     1  10:02:03  N 60  30  00.00  E 008  15  00.00\r\n");
  EXPECT_EQ(lines[10], "B     3  10:03:05  S 45  45  00.00  E 170  07  30.00  12.35\r\n");
  EXPECT_EQ(lines[13], "A     1  10:02:03  N 60  30  00.00  E 008  15  00.00\r\n");
  EXPECT_EQ(lines[14], "B     2  10:02:04  N 60  15  00.00  W 008  30  00.00  1.00\r\n");
  EXPECT_EQ(lines[15], "C     3  10:03:05  S 45  45  00.00  E 170  07  30.00  2.00\r\n");
  EXPECT_EQ(lines[16], "D     4  11:02:03  S 00  30  00.00  W 000  15  00.00  3.01\r\n");
  EXPECT_EQ(lines[17], "E     5  12:30:09  N 01  00  00.00  E 179  30  00.00  123.46\r\n");
  EXPECT_EQ(lines[18], "Sum  129.47\r\n");
  for (const std::string& line : lines) EXPECT_LE(line.size(), 80u);
  std::string joined = JoinStatisticsLines(lines);
  EXPECT_EQ(joined.rfind("Flight statistics\r\n\r\nDate ", 0), 0u);
  EXPECT_EQ(joined.size(), [&] {
    size_t total = 0;
    for (const std::string& line : lines) total += line.size();
    return total;
  }());
}

TEST(StatisticsText, NoValueThatIsNotFiniteIsConvertedOrPrinted) {
  FlightSummary s = HandMadeSummary();
  s.maximumMeanSpeed = std::numeric_limits<double>::infinity();
  s.topSpeed = std::nan("");
  s.totalDistance = std::nan("");
  s.fivePointSum = -std::numeric_limits<double>::infinity();
  StatisticsLines lines = StatisticsTextLines(s, true);
  EXPECT_EQ(lines[5], "Max. mean/top speed  0 km/h / 0 km/h\r\n");
  EXPECT_EQ(lines[6], "Total distance       0.0 km\r\n");
  EXPECT_EQ(lines[18], "Sum  0.00\r\n");

  EXPECT_EQ(RoundedKmh(45.49), 45);
  EXPECT_EQ(RoundedKmh(45.5), 46);
  EXPECT_EQ(RoundedKmh(-0.7), 0);  // -0.2 truncates toward zero
  EXPECT_EQ(RoundedKmh(1e20), std::numeric_limits<int>::max());
  EXPECT_EQ(RoundedKmh(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(TrackClipboardText, OneLinePerFixWithHeightAndMeanSpeed) {
  // 0.001 degree of latitude (about 111 m) in 10 s: 111 m in the 60-second window, 6.7 km/h.
  std::vector<core::TrackPoint> points = {FixAt(46, 8, kStart, 1234), FixAt(46.001, 8, kStart + 10, -5),
                                          FixAt(-12.5, -70.25, kStart + 20, 0, 1)};
  EXPECT_EQ(TrackClipboardText(points),
            "2024-07-14, 10:02:03, 46.000000, 8.000000,  123.4, 0.0\r\n"
            "2024-07-14, 10:02:13, 46.001000, 8.000000, -0.5, 6.7\r\n"
            "2024-07-14, 10:02:23, -12.500000, -70.250000,  0.0, 0.0\r\n");

  testing::RecordingUi ui;
  EXPECT_EQ(CopyTrackText(ui, points), TrackClipboardText(points));
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_FALSE(CopyTrackText(ui, {}));
  ui.ExpectOnly("Copy track to clip board", "No position(s) selected");
}

// A selection whose text does not fit the memory left is reported, never the end of the program.
TEST(TrackClipboardTextDeathTest, SelectionBeyondTheMemoryLeftIsReported) {
  if (!testing::kAddressSpaceCapWorks) GTEST_SKIP() << "a sanitizer's shadow memory leaves no room for an address-space cap";
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh child: no freed memory to reuse
  const std::vector<core::TrackPoint> points(1'500'000, FixAt(46, 8, kStart));  // its text: 120 MB
  EXPECT_EXIT(
      {
        testing::RecordingUi ui;
        if (!testing::CapAddressSpaceGrowth(8u << 20)) std::_Exit(2);
        const bool copied = CopyTrackText(ui, points).has_value();
        const bool reported = ui.shown.size() == 1 && ui.shown[0].caption == "Copy track to clip board" &&
                              ui.shown[0].text == "Failed to allocate memory for clipboard";
        std::_Exit(!copied && reported ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tarnvik::analysis
