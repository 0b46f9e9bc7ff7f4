// The real files of tests/data/formats through our readers: count, first and last record, or the
// reader's message for the files whose layouts are kept strict.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/file_io.h"
#include "formats/gpx.h"
#include "formats/mapsource.h"
#include "formats/other_tracks.h"
#include "formats/waypoint_files.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::formats {
namespace {

using testing::RecordingUi;

std::string Sample(const std::string& name) {
  core::FileBytes file = core::ReadWholeFile(std::string(TARNVIK_TEST_DATA) + "/formats/" + name);
  EXPECT_EQ(file.error, core::ReadError::None) << name;
  return std::string(file.begin(), file.size);
}

std::string Iso(uint32_t time) { return FormatIsoTime(time); }
double Lat(int32_t v) { return core::SemicircleToRadians(v) * core::kDegreesPerRadian; }

struct TrackSample {
  const char* file;
  std::function<TrackParseResult(core::Ui&, std::string_view)> read;
  int count;
  const char* firstTime;
  const char* lastTime;
  double firstLatitude;
  double firstLongitude;
  int32_t firstHeight;  // decimetres
  int segments;
};

TEST(FileSamples, TrackFilesReadWithTheirCountsAndEnds) {
  const TrackSample samples[] = {
      // Line 6 declares 2390 fixes, the file holds 44; 1258.8 ft = 383.7 m. The last date field,
      // 39307.3312731 days, is 07:57:01.996 (the file's text says 07:57:01).
      {"20070813_short.plt", ReadOziTrack, 44, "2007-08-13T07:52:19Z", "2007-08-13T07:57:02Z", 47.466222, 3.747318,
       3837, 1},
      // Two-digit years 98, 99, 00: 1998 and 1999, then 2000 onward; 032908.38 rounds down.
      {"magellandate.log", ReadMagellanTrack, 6, "1998-08-07T03:29:08Z", "2003-01-01T00:00:00Z", 42.530483,
       -88.12171667, 2100, 1},
      // The same track as gpsbabel's GPX of it; heights in whole metres.
      {"mps-track.mps", ReadMapSourceTrack, 64, "2002-05-25T17:06:21Z", "2002-05-25T19:05:57Z", 30.062183,
       -91.610350, 10, 1},
      // The first point carries no time.
      {"pathaway.mps", ReadMapSourceTrack, 496, "1989-12-31T00:00:00Z", "2005-01-21T20:20:00Z", 50.493014,
       12.108221, 3440, 1},
  };
  for (const TrackSample& s : samples) {
    SCOPED_TRACE(s.file);
    RecordingUi ui;
    TrackParseResult parsed = s.read(ui, Sample(s.file));
    EXPECT_TRUE(ui.shown.empty()) << (ui.shown.empty() ? "" : ui.shown[0].text);
    ASSERT_EQ(parsed.result, s.count);
    ASSERT_EQ(parsed.fixes.size(), static_cast<size_t>(s.count));
    int segments = 0;
    for (const auto& f : parsed.fixes) segments += f.flags == 1;
    EXPECT_EQ(segments, s.segments);
    EXPECT_EQ(parsed.signatureFlag, 0);
    if (!s.firstTime) continue;
    EXPECT_EQ(Iso(parsed.fixes.front().time), s.firstTime);
    EXPECT_EQ(Iso(parsed.fixes.back().time), s.lastTime);
    EXPECT_NEAR(Lat(parsed.fixes.front().latitude), s.firstLatitude, 1e-6);
    EXPECT_NEAR(Lat(parsed.fixes.front().longitude), s.firstLongitude, 1e-6);
    EXPECT_EQ(parsed.fixes.front().height, s.firstHeight);
  }
}

TEST(FileSamples, MagellanYearsRollOverFrom98To99To00) {
  RecordingUi ui;
  TrackParseResult parsed = ReadMagellanTrack(ui, Sample("magellandate.log"));
  ASSERT_EQ(parsed.result, 6);
  EXPECT_EQ(Iso(parsed.fixes[1].time), "1999-08-07T03:29:09Z");
  EXPECT_EQ(Iso(parsed.fixes[2].time), "2000-08-07T03:29:10Z");
}

TEST(FileSamples, GpxTrackAcceptsFractionsOfSecondsAndNegativeHeights) {
  RecordingUi ui;
  TrackParseResult parsed = ReadGpxTrack(ui, Sample("gpxpassthrough11.gpx"));
  EXPECT_TRUE(ui.shown.empty()) << (ui.shown.empty() ? "" : ui.shown[0].text);
  ASSERT_EQ(parsed.result, 3);
}

struct RefusedSample {
  const char* file;
  std::function<TrackParseResult(core::Ui&, std::string_view)> read;
  const char* caption;
  const char* message;
};

TEST(FileSamples, StrictLayoutsAreRefusedWithTheReadersMessage) {
  const RefusedSample samples[] = {
      {"fitwrite-track.gpx", ReadGpxTrack, kGpxTrackReadCaption, "Missing tag(s) for position 53"},
      {"basecamp.gpx", ReadGpxTrack, kGpxTrackReadCaption, "Missing tag(s) for position 1"},
      {"nmeadatetime.csv", ReadCsvTrack, kCsvReadCaption, "Error decoding time on line 2"},
  };
  for (const RefusedSample& s : samples) {
    SCOPED_TRACE(s.file);
    RecordingUi ui;
    TrackParseResult parsed = s.read(ui, Sample(s.file));
    EXPECT_LE(parsed.result, 0);
    EXPECT_TRUE(parsed.fixes.empty());
    ui.ExpectOnly(s.caption, s.message);
  }
}

struct WaypointSample {
  const char* file;
  bool needsQuestion;  // some names need upper-casing or shortening
  int count;
  const char* firstId;
  const char* lastId;
};

TEST(FileSamples, WaypointFilesAreRecognisedAndRead) {
  const WaypointSample samples[] = {
      {"ozi.wpt", false, 9, "GCEBB", "GC317D"},
      {"route.mps", false, 14, "ATLAUN", nullptr},
      {"netstumbler.mps", true, 37, "LINKSY", nullptr},
      {"xcsoar-waypoints.cup", true, 5, "ACONCA", "OPERA"},
  };
  for (const WaypointSample& s : samples) {
    SCOPED_TRACE(s.file);
    const std::string bytes = Sample(s.file);
    std::vector<core::Waypoint> waypoints;
    if (s.needsQuestion) {
      // From the command line such names are refused.
      RecordingUi refusing;
      EXPECT_LE(DetectWaypointFormat(refusing, bytes, waypoints, {.interactive = false}), 0);
      ASSERT_EQ(refusing.shown.size(), 1u);
      EXPECT_FALSE(refusing.shown[0].question);
      EXPECT_TRUE(waypoints.empty());
    }
    RecordingUi ui;
    ui.answers = {core::Answer::YesToAll};
    int count = DetectWaypointFormat(ui, bytes, waypoints, {.interactive = true});
    ASSERT_EQ(count, s.count) << (ui.shown.empty() ? "" : ui.shown.back().text);
    ASSERT_EQ(waypoints.size(), static_cast<size_t>(s.count));
    EXPECT_EQ(ui.shown.size(), s.needsQuestion ? 1u : 0u);
    if (s.firstId) {
      EXPECT_STREQ(waypoints.front().id, s.firstId);
    }
    if (s.lastId) {
      EXPECT_STREQ(waypoints.back().id, s.lastId);
    }
  }
}

TEST(FileSamples, GpxWaypointsWithoutTimeAreRefused) {
  for (const char* file : {"gpxpassthrough11.gpx", "basecamp.gpx"}) {
    SCOPED_TRACE(file);
    RecordingUi ui;
    ui.answers = {core::Answer::YesToAll};
    std::vector<core::Waypoint> waypoints;
    EXPECT_LE(DetectWaypointFormat(ui, Sample(file), waypoints, {.interactive = true}), 0);
    ui.ExpectOnly(kGpxWaypointReadCaption, "Missing tag(s) for waypoint 1");
  }
}

}  // namespace
}  // namespace tarnvik::formats
