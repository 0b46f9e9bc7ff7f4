// gpsbabel, an independent reader and writer of the same formats, reads what we write and writes
// what we read: positions, heights and times agree.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "formats/format_text.h"
#include "formats/gpx.h"
#include "formats/other_tracks.h"
#include "formats/waypoint_files.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::formats {
namespace {

using testing::RecordingUi;

constexpr core::SystemTime kNow{2024, 7, 0, 14, 12, 30, 5, 0};

// One row of gpsbabel's unicsv output, by column title.
using Row = std::map<std::string, std::string>;

std::vector<Row> ParseUnicsv(const std::string& text) {
  std::vector<Row> rows;
  std::vector<std::string_view> lines = SplitLines(text);
  if (lines.empty()) return rows;
  std::vector<std::string> titles;
  SplitQuotedFields(lines[0], ',', titles);
  std::vector<std::string> fields;
  for (size_t i = 1; i < lines.size(); ++i) {
    SplitQuotedFields(lines[i], ',', fields);
    Row row;
    for (size_t k = 0; k < titles.size() && k < fields.size(); ++k) row[titles[k]] = fields[k];
    rows.push_back(row);
  }
  return rows;
}

// The time of a unicsv row ("2024/07/14" and "12:00:00.250"), in seconds with its fraction.
double RowTime(const Row& row) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  double s = 0;
  if (std::sscanf(row.at("Date").c_str(), "%d/%d/%d", &y, &mo, &d) != 3) return -1;
  if (std::sscanf(row.at("Time").c_str(), "%d:%d:%lf", &h, &mi, &s) != 3) return -1;
  core::SystemTime t{static_cast<uint16_t>(y), static_cast<uint16_t>(mo), 0, static_cast<uint16_t>(d),
                     static_cast<uint16_t>(h), static_cast<uint16_t>(mi), 0, 0};
  return static_cast<double>(core::CalendarToTime(t).value()) + s;
}

double Degrees(int32_t v) { return core::SemicircleToRadians(v) * core::kDegreesPerRadian; }

class GpsbabelFileInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("gpsbabel -V > /dev/null 2>&1") != 0) GTEST_SKIP() << "gpsbabel not installed";
    dir_ = std::filesystem::temp_directory_path() / ("tarnvik_gpsbabel_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const {
    core::FileBytes f = core::ReadWholeFile(Path(name));
    return std::string(f.begin(), f.size);
  }
  // Runs gpsbabel with the arguments (file names relative to the test folder) and returns 0.
  int Run(const std::string& arguments) const {
    return std::system(("cd '" + dir_.string() + "' && gpsbabel " + arguments + " 2>/dev/null").c_str());
  }

  static std::vector<core::TrackPoint> Flight() {
    std::vector<core::TrackPoint> fixes;
    const uint32_t start = *core::CalendarToTime({2024, 7, 0, 14, 23, 59, 40, 0});
    for (int i = 0; i < 40; ++i) {
      core::TrackPoint p;
      p.flags = i == 0;
      p.time = start + static_cast<uint32_t>(i * 7);
      p.latitude = core::LatitudeFromDegrees((i % 2 ? -1 : 1) * (12.345678 + i * 0.7311)).value();
      p.longitude = core::LongitudeFromDegrees((i % 3 ? -1 : 1) * (98.765432 - i * 1.9377)).value();
      p.height = (i - 4) * 577 + 3;
      fixes.push_back(p);
    }
    return fixes;
  }

  std::filesystem::path dir_;
};

TEST_F(GpsbabelFileInterop, ReadsOurTracks) {
  const std::vector<core::TrackPoint> fixes = Flight();
  struct Case {
    const char* file;
    std::string bytes;
    const char* format;
    double timeTolerance;    // gpsbabel's .plt times err by up to 0.6 s
    double heightTolerance;  // metres
  };
  const Case cases[] = {
      {"ours.gpx", FormatGpxTrack(fixes, kNow), "gpx", 0, 0.001},
      {"ours.plt", FormatOziTrack(fixes, kNow), "ozi", 1.0, 0.16},  // whole feet
      {"ours.csv", FormatCsvTrack(fixes), "unicsv", 0, 0.001},
  };
  // No Debian package ships the GPX 1.1 schema: our GPX is checked well-formed here and read by
  // gpsbabel below.
  if (std::system("xmllint --version > /dev/null 2>&1") == 0) {
    Write("ours.gpx", cases[0].bytes);
    std::string command = "xmllint --noout '";
    command += Path("ours.gpx");
    command += '\'';
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Write(c.file, c.bytes);
    ASSERT_EQ(Run(std::string("-t -i ") + c.format + " -f " + c.file + " -o unicsv -F out.csv"), 0);
    std::vector<Row> rows = ParseUnicsv(Read("out.csv"));
    ASSERT_EQ(rows.size(), fixes.size());
    for (size_t i = 0; i < fixes.size(); ++i) {
      EXPECT_NEAR(std::stod(rows[i]["Latitude"]), Degrees(fixes[i].latitude), 5.1e-7) << i;
      EXPECT_NEAR(std::stod(rows[i]["Longitude"]), Degrees(fixes[i].longitude), 5.1e-7) << i;
      EXPECT_NEAR(std::stod(rows[i]["Altitude"]), fixes[i].height * 0.1, c.heightTolerance + 0.15) << i;
      EXPECT_NEAR(RowTime(rows[i]), fixes[i].time, c.timeTolerance + 1e-3) << i;
    }
  }
}

TEST_F(GpsbabelFileInterop, ReadsOurWaypoints) {
  std::vector<core::Waypoint> list;
  for (int i = 0; i < 12; ++i) {
    core::Waypoint w;
    std::snprintf(w.id, sizeof w.id, "WP%02d", i);
    std::snprintf(w.comment, sizeof w.comment, "TURNPOINT %d", i);
    w.latitude = core::LatitudeFromDegrees((i % 2 ? -1 : 1) * (45.123 + i * 1.01)).value();
    w.longitude = core::LongitudeFromDegrees((i % 3 ? -1 : 1) * (7.654 + i * 3.07)).value();
    w.altitude = i * 321 - 50;
    list.push_back(w);
  }
  struct Case {
    const char* file;
    std::string bytes;
    const char* format;
    double positionTolerance;  // degrees
    double altitudeTolerance;  // metres
  };
  const Case cases[] = {
      {"ours.wpt", FormatOziWaypoints(list), "ozi", 5.1e-7, 0.31},
      {"ours.cup", FormatCupWaypoints(list), "cup", 1e-5, 0},
      {"ours.gpx", FormatGpxWaypoints(list, kNow), "gpx", 5.1e-7, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Write(c.file, c.bytes);
    ASSERT_EQ(Run(std::string("-w -i ") + c.format + " -f " + c.file + " -o unicsv -F out.csv"), 0);
    std::vector<Row> rows = ParseUnicsv(Read("out.csv"));
    ASSERT_EQ(rows.size(), list.size());
    for (size_t i = 0; i < list.size(); ++i) {
      EXPECT_EQ(rows[i]["Name"], list[i].id) << i;
      EXPECT_NEAR(std::stod(rows[i]["Latitude"]), Degrees(list[i].latitude), c.positionTolerance) << i;
      EXPECT_NEAR(std::stod(rows[i]["Longitude"]), Degrees(list[i].longitude), c.positionTolerance) << i;
      EXPECT_NEAR(std::stod(rows[i]["Altitude"]), list[i].altitude, c.altitudeTolerance + 1e-6) << i;
    }
  }
}

TEST_F(GpsbabelFileInterop, WeReadItsTracks) {
  const std::vector<core::TrackPoint> fixes = Flight();
  Write("source.csv", FormatCsvTrack(fixes));
  struct Case {
    const char* format;
    const char* file;
    std::function<TrackParseResult(core::Ui&, std::string_view)> read;
    double timeTolerance;
    int heightTolerance;  // decimetres
  };
  const Case cases[] = {
      {"gpx", "its.gpx", ReadGpxTrack, 0, 0},
      {"ozi", "its.plt", ReadOziTrack, 1, 2},
      {"magellan", "its.log", ReadMagellanTrack, 0, 10},
      {"magellanx", "itsx.log", ReadMagellanTrack, 0, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    ASSERT_EQ(Run(std::string("-t -i unicsv -f source.csv -o ") + c.format + " -F " + c.file), 0);
    RecordingUi ui;
    TrackParseResult parsed = c.read(ui, Read(c.file));
    EXPECT_TRUE(ui.shown.empty()) << (ui.shown.empty() ? "" : ui.shown[0].text);
    ASSERT_EQ(parsed.fixes.size(), fixes.size());
    for (size_t i = 0; i < fixes.size(); ++i) {
      EXPECT_NEAR(Degrees(parsed.fixes[i].latitude), Degrees(fixes[i].latitude), 1e-5) << i;
      EXPECT_NEAR(Degrees(parsed.fixes[i].longitude), Degrees(fixes[i].longitude), 1e-5) << i;
      EXPECT_NEAR(parsed.fixes[i].height, fixes[i].height, c.heightTolerance) << i;
      EXPECT_NEAR(static_cast<double>(parsed.fixes[i].time), fixes[i].time, c.timeTolerance) << i;
    }
  }
}

TEST_F(GpsbabelFileInterop, WeReadItsWaypoints) {
  // Upper-case names gpsbabel keeps: our ID rules take them without the question.
  Write("source.csv",
        "name,lat,lon,alt,date,time\n"
        "TOP,46.5,8.25,1850,2024/07/14,12:00:00\n"
        "LZ-2,-33.8575,151.2153,5,2024/07/14,12:00:00\n"
        "W3,0.5,-0.25,0,2024/07/14,12:00:00\n");
  // gpsbabel names its OziExplorer waypoint file .wpt whatever it is told.
  for (const char* file : {"its.gpx", "its.wpt", "its.cup"}) {
    SCOPED_TRACE(file);
    const std::string format = std::string(file).ends_with(".wpt") ? "ozi" : std::string(file).substr(4);
    ASSERT_EQ(Run("-w -i unicsv -f source.csv -o " + format + " -F " + file), 0);
    RecordingUi ui;
    std::vector<core::Waypoint> read;
    ASSERT_EQ(DetectWaypointFormat(ui, Read(file), read, {.interactive = false}), 3)
        << (ui.shown.empty() ? "" : ui.shown[0].text);
    EXPECT_STREQ(read[1].id, "LZ-2");
    EXPECT_NEAR(Degrees(read[1].latitude), -33.8575, 1e-5);
    EXPECT_NEAR(Degrees(read[1].longitude), 151.2153, 1e-5);
    EXPECT_EQ(read[0].altitude, 1850);
    EXPECT_EQ(read[1].altitude, 5);
  }
}

}  // namespace
}  // namespace tarnvik::formats
