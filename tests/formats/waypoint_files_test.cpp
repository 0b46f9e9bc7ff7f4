// The six waypoint layouts: each writer round-trips through DetectWaypointFormat, the layouts'
// lines, the readers' edge cases and the "Modify waypoint ID" question.
#include "formats/waypoint_files.h"

#include <GeographicLib/UTMUPS.hpp>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "formats/gpx.h"
#include "formats/mapsource.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::formats {
namespace {

using testing::RecordingUi;

constexpr core::SystemTime kNow{2024, 7, 0, 14, 12, 30, 5, 0};

core::Waypoint Wpt(const char* id, double lat, double lon, int32_t altitude, const char* comment) {
  core::Waypoint w;
  std::strncpy(w.id, id, 6);
  std::strncpy(w.comment, comment, 40);
  w.latitude = core::LatitudeFromDegrees(lat).value();
  w.longitude = core::LongitudeFromDegrees(lon).value();
  w.altitude = altitude;
  return w;
}

std::vector<core::Waypoint> List() {
  return {Wpt("TAKEOF", 46.512345, 8.123456, 1850, "LAUNCH NORTH SIDE"), Wpt("A1", -33.8575, 151.2153, 5, ""),
          Wpt("LZ-2", 0.000001, -0.5, 0, "FIELD BY THE RIVER - FORTY CHARACTERS-40"),
          Wpt("999999", -79.5, -179.5, 4807, "X")};
}

struct Writer {
  const char* name;
  std::function<std::string(std::span<const core::Waypoint>)> write;
  double positionTolerance;  // degrees
  bool altitudeExact;
};

TEST(WaypointFiles, EveryWriterRoundTripsThroughDetection) {
  const Writer writers[] = {
      {"Ozi", FormatOziWaypoints, 5.1e-7, false},
      {"UTM", FormatUtmWaypoints, 6e-5, true},  // whole metres at 79.5 S
      {"Geographical", FormatGeoWaypoints, 3e-6, true},
      {"MapSource", FormatMapSourceWaypoints, 0, true},
      {"SeeYou", FormatCupWaypoints, 1e-5, true},
      {"GPX", [](auto w) { return FormatGpxWaypoints(w, kNow); }, 5.1e-7, true},
  };
  const std::vector<core::Waypoint> list = List();
  for (const Writer& w : writers) {
    SCOPED_TRACE(w.name);
    RecordingUi ui;
    std::vector<core::Waypoint> read;
    ASSERT_EQ(DetectWaypointFormat(ui, w.write(list), read, {.interactive = false}), static_cast<int>(list.size()))
        << (ui.shown.empty() ? "" : ui.shown[0].text);
    for (size_t i = 0; i < list.size(); ++i) {
      EXPECT_STREQ(read[i].id, list[i].id);
      EXPECT_STREQ(read[i].comment, list[i].comment);
      const double k = 180.0 / 2147483648.0;
      EXPECT_NEAR(read[i].latitude * k, list[i].latitude * k, w.positionTolerance) << i;
      EXPECT_NEAR(read[i].longitude * k, list[i].longitude * k, w.positionTolerance) << i;
      if (w.altitudeExact) {
        EXPECT_EQ(read[i].altitude, list[i].altitude) << i;
      } else {
        EXPECT_NEAR(read[i].altitude, list[i].altitude, 1) << i;  // through whole feet
      }
    }
  }
}

TEST(WaypointFiles, LayoutLines) {
  const std::vector<core::Waypoint> one = {Wpt("TAKEOF", 46.5, -8.25, 1850, "LAUNCH")};
  EXPECT_EQ(FormatOziWaypoints(one),
            "OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nReserved 2\r\nReserved 3\r\n"
            "   1,TAKEOF        ,  46.500000,  -8.250000,36674.82502, 0, 1, 3, 0, 65535,LAUNCH                       "
            "           , 0, 0, 0, 6070\r\n");
  EXPECT_EQ(FormatGeoWaypoints(one), "$FormatGEO\r\nTAKEOF    N 46 30 00.00    W 008 15 00.00  1850  LAUNCH\r\n");
  {
    int zone = 0;
    bool north = false;
    double x = 0, y = 0;
    GeographicLib::UTMUPS::Forward(46.5, -8.25, zone, north, x, y);
    char line[80];
    std::snprintf(line, sizeof line, "TAKEOF   %02dT   %07d   %07d   1850  LAUNCH\r\n", zone, static_cast<int>(x),
                  static_cast<int>(y));
    EXPECT_EQ(FormatUtmWaypoints(one), "$FormatUTM\r\n" + std::string(line));
  }
  EXPECT_EQ(FormatCupWaypoints(one),
            "Title,Code,Country,Latitude,Longitude,Elevation,Style,Direction,Length,Frequency,Description\r\n"
            "\"TAKEOF\",TAKEOF,,4630.000N,00815.000W,1850.0m,1,,,,\"LAUNCH\"\r\n");
  const std::string gpx = FormatGpxWaypoints(one, kNow);
  EXPECT_NE(gpx.find("  <wpt lat=\"46.500000\" lon=\"-8.250000\">\r\n    <ele>1850.0</ele>\r\n"
                     "    <time>2024-07-14T12:30:05Z</time>\r\n    <name>TAKEOF</name>\r\n    <cmt>LAUNCH</cmt>\r\n"
                     "  </wpt>\r\n</gpx>\r\n"),
            std::string::npos);
}

struct ReadCase {
  const char* what;
  std::string text;
  int count;            // expected waypoints (0: the message)
  const char* message;  // the message, or nullptr
  int32_t altitude;     // of the first waypoint
  const char* id;       // of the first waypoint
};

std::string Ozi(const std::string& rows) { return "OziExplorer Waypoint File Version 1.1\r\nWGS 84\r\nR\r\nR\r\n" + rows; }
std::string Cup(const std::string& rows) {
  return "name,code,country,lat,lon,elev,style,rwdir,rwlen,freq,desc\r\n" + rows;
}

TEST(WaypointFiles, ReaderEdgeCases) {
  const std::string gpx = FormatGpxWaypoints(std::vector<core::Waypoint>{Wpt("A", 1, 2, 3, "")}, kNow);
  const ReadCase cases[] = {
      {"byte-order mark before <?xml", "\xEF\xBB\xBF" + gpx, 1, nullptr, 3, "A"},
      {"blanks before <?xml", "  " + gpx, 0, "No waypoints found", 0, nullptr},
      {"Ozi -777 ft", Ozi("1,A,1,2,,0,1,3,0,65535,c,0,0,0,-777\r\n"), 1, nullptr, 0, "A"},
      {"Ozi 1000 ft", Ozi("1,A,1,2,,0,1,3,0,65535,c,0,0,0,1000\r\n"), 1, nullptr, 305, "A"},
      {"Ozi latitude 90", Ozi("1,A,90,2,,0,1,3,0,65535,c,0,0,0,1000\r\n"), 0, "Bad line 5", 0, nullptr},
      {"Ozi line of 133 bytes", Ozi("1,A,1,2,,0,1,3,0,65535," + std::string(100, 'c') + ",0,0,0,1000\r\n"), 1,
       nullptr, 305, "A"},
      {"Ozi empty ID", Ozi("1, ,1,2\r\n"), 0, "Bad line 5", 0, nullptr},
      {"Ozi without waypoints", Ozi(""), 0, "No waypoints found", 0, nullptr},
      {"SeeYou 1200ft", Cup("\"Top\",TOP,,4630.000N,00815.000E,1200ft,1,,,,\r\n"), 1, nullptr, 0, "TOP"},
      {"SeeYou 850.0m", Cup("\"Top\",TOP,,4630.000N,00815.000E,850.0m,1,,,,\r\n"), 1, nullptr, 850, "TOP"},
      {"SeeYou empty code", Cup("\"  TOP\",,,4630.000N,00815.000E,850.0m,1,,,,\r\n"), 1, nullptr, 850, "TOP"},
      {"SeeYou unquoted title", Cup("TOP,,,4630.000N,00815.000E,850.0m,1,,,,\r\n"), 0, "Bad line 2", 0, nullptr},
      {"SeeYou bad latitude", Cup("\"TOP\",,,9130.000N,00815.000E,850.0m,1,,,,\r\n"), 0, "Bad line 2", 0, nullptr},
      {"SeeYou tasks end the list", Cup("\"TOP\",,,4630.000N,00815.000E,850.0m\r\n-----Related Tasks-----\r\nx\r\n"),
       1, nullptr, 850, "TOP"},
      {"Geographical", "$FormatGEO\r\nTOP N 46 30 00.00 E 008 15 00.00 -12 COMMENT\r\n", 1, nullptr, 0, "TOP"},
      {"Geographical without altitude", "$FormatGEO\r\nTOP N 46 30 00.00 E 008 15 00.00\r\n", 0, "Bad line 2", 0,
       nullptr},
      {"UTM", "$FormatUTM\r\nTOP 32T 500000 5150000 850\r\n", 1, nullptr, 850, "TOP"},
      {"UTM bad zone", "$FormatUTM\r\nTOP 61T 500000 5150000 850\r\n", 0, "Bad line 2", 0, nullptr},
      {"unknown", "Waypoints\r\n", 0, "No waypoints found", 0, nullptr},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingUi ui;
    std::vector<core::Waypoint> read;
    int count = DetectWaypointFormat(ui, c.text, read, {.interactive = false});
    if (c.message) {
      EXPECT_LE(count, 0);
      EXPECT_TRUE(read.empty());
      ASSERT_EQ(ui.shown.size(), 1u);
      EXPECT_EQ(ui.shown[0].text, c.message);
      continue;
    }
    EXPECT_TRUE(ui.shown.empty()) << (ui.shown.empty() ? "" : ui.shown[0].text);
    ASSERT_EQ(count, c.count);
    EXPECT_EQ(read[0].altitude, c.altitude);
    EXPECT_STREQ(read[0].id, c.id);
  }
}

// Names that need the question, in each of the text layouts and in GPX and MapSource.
std::vector<std::pair<const char*, std::string>> FilesWithNames(const std::vector<const char*>& names) {
  std::string ozi = "OziExplorer Waypoint File Version 1.0\r\nWGS 84\r\nR\r\nR\r\n";
  std::string cup = "Title,Code,Country,Latitude,Longitude,Elevation,Style\r\n";
  std::string gpx = "<?xml version=\"1.0\"?>\n<gpx>\n";
  for (size_t i = 0; i < names.size(); ++i) {
    char line[200];
    std::snprintf(line, sizeof line, "%zu,%s,1,2,,0,1,3,0,65535,,0,0,0,0\r\n", i + 1, names[i]);
    ozi += line;
    std::snprintf(line, sizeof line, "\"%s\",,,0100.000N,00200.000E,3.0m,1\r\n", names[i]);
    cup += line;
    std::snprintf(line, sizeof line,
                  "<wpt lat=\"1\" lon=\"2\"><ele>3</ele><time>2024-07-14T12:00:00Z</time><name>%s</name></wpt>\n",
                  names[i]);
    gpx += line;
  }
  gpx += "</gpx>\n";
  return {{"Ozi", ozi}, {"SeeYou", cup}, {"GPX", gpx}};
}

TEST(WaypointFiles, ModifyIdQuestion) {
  const std::vector<const char*> names = {"first", "SECOND", "third-one", "x_y"};
  for (const auto& [layout, text] : FilesWithNames(names)) {
    SCOPED_TRACE(layout);
    std::vector<core::Waypoint> read;
    {
      // Asked once per name that needs it: Yes, then No (skip), then Yes.
      RecordingUi ui;
      ui.answers = {core::Answer::Yes, core::Answer::No, core::Answer::Yes};
      ASSERT_EQ(DetectWaypointFormat(ui, text, read, {.interactive = true}), 3);
      ASSERT_EQ(ui.shown.size(), 3u);
      EXPECT_EQ(ui.shown[0].caption, kModifyIdCaption);
      EXPECT_EQ(ui.shown[0].buttons, core::Buttons::YesYesToAllNoCancel);
      EXPECT_EQ(ui.shown[0].text, "first\n\nModify (-> uppercase or truncate) this ID ?");
      EXPECT_STREQ(read[0].id, "FIRST");
      EXPECT_STREQ(read[1].id, "SECOND");
      EXPECT_STREQ(read[2].id, "X-Y");
    }
    {
      RecordingUi ui;
      ui.answers = {core::Answer::YesToAll};
      ASSERT_EQ(DetectWaypointFormat(ui, text, read, {.interactive = true}), 4);
      EXPECT_EQ(ui.shown.size(), 1u);
      EXPECT_STREQ(read[2].id, "THIRD-");
    }
    {
      RecordingUi ui;
      ui.answers = {core::Answer::Yes, core::Answer::Cancel};
      EXPECT_LE(DetectWaypointFormat(ui, text, read, {.interactive = true}), 0);
      EXPECT_EQ(ui.shown.size(), 2u);  // the questions only: a cancel says nothing more
      EXPECT_TRUE(read.empty());
    }
    {
      RecordingUi ui;
      EXPECT_LE(DetectWaypointFormat(ui, text, read, {.interactive = false}), 0);
      ASSERT_EQ(ui.shown.size(), 1u);
      EXPECT_FALSE(ui.shown[0].question);
      EXPECT_EQ(ui.shown[0].text, std::string(layout) == "GPX"      ? "Bad ID for waypoint 1"
                                    : std::string(layout) == "Ozi" ? "Bad line 5"
                                                                   : "Bad line 2");
    }
  }
}

// Instrument texts keep every byte except the one each layout cannot carry.
TEST(WaypointFiles, InstrumentTextsThroughWriteReadAndXmllint) {
  struct Case {
    const char* id;
    const char* comment;
  };
  const Case cases[] = {
      {"A,B", "ONE, TWO"}, {"Q\"T", "SAID \"HI\""}, {"R&D", "<TAG> & CO"}, {"A B", "TAB\tAND SPACE"}, {"ÄÖ", "ÜBER"},
  };
  std::vector<core::Waypoint> list;
  for (const Case& c : cases) {
    core::Waypoint w = Wpt("", 10, 20, 30, "");
    core::CleanInstrumentText(c.id, w.id, sizeof w.id);
    core::CleanInstrumentText(c.comment, w.comment, sizeof w.comment);
    list.push_back(w);
  }
  EXPECT_NE(FormatOziWaypoints(list).find(",A B           ,"), std::string::npos);
  EXPECT_NE(FormatOziWaypoints(list).find(",ONE  TWO    "), std::string::npos);
  EXPECT_NE(FormatCupWaypoints(list).find("\"Q'T\",Q'T,,"), std::string::npos);
  EXPECT_NE(FormatCupWaypoints(list).find(",\"A,B\",,"), std::string::npos);
  EXPECT_NE(FormatCupWaypoints(list).find("\"SAID 'HI'\""), std::string::npos);
  EXPECT_NE(FormatGeoWaypoints(list).find("\r\nA-B       N"), std::string::npos);
  EXPECT_NE(FormatUtmWaypoints(list).find("\r\nA-B      "), std::string::npos);
  EXPECT_NE(FormatGeoWaypoints(list).find("<TAG> & CO"), std::string::npos);
  const std::string gpx = FormatGpxWaypoints(list, kNow);
  EXPECT_NE(gpx.find("<name>R&amp;D</name>"), std::string::npos);
  EXPECT_NE(gpx.find("<cmt>&lt;TAG&gt; &amp; CO</cmt>"), std::string::npos);
  EXPECT_NE(gpx.find("<cmt>ÜBER</cmt>"), std::string::npos);

  // Every layout reads back (the names through the question's lenient rule).
  const Writer writers[] = {
      {"Ozi", FormatOziWaypoints, 0, false},       {"UTM", FormatUtmWaypoints, 0, false},
      {"Geographical", FormatGeoWaypoints, 0, false}, {"MapSource", FormatMapSourceWaypoints, 0, false},
      {"SeeYou", FormatCupWaypoints, 0, false},    {"GPX", [](auto w) { return FormatGpxWaypoints(w, kNow); }, 0, false},
  };
  for (const Writer& w : writers) {
    SCOPED_TRACE(w.name);
    RecordingUi ui;
    ui.answers = {core::Answer::YesToAll};
    std::vector<core::Waypoint> read;
    EXPECT_EQ(DetectWaypointFormat(ui, w.write(list), read, {.interactive = true}), static_cast<int>(list.size()))
        << (ui.shown.empty() ? "" : ui.shown.back().text);
  }

  if (std::system("xmllint --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "xmllint not installed";
  const std::string path = (std::filesystem::temp_directory_path() / "tarnvik_texts.gpx").string();
  std::ofstream(path, std::ios::binary) << gpx;
  EXPECT_EQ(std::system(("xmllint --noout '" + path + "'").c_str()), 0);
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace tarnvik::formats
