// gpsbabel, an independent Garmin host, against the simulated receiver behind a
// pseudo-terminal: it identifies the unit, asks for time and position, downloads the track log
// and the waypoints, and uploads waypoints, all of which must come out as the unit holds them,
// without a single breach of the protocol that the unit noticed. Units: the default D108/A301
// unit, a D110 unit, and an A302 unit with D311 track headers and D304 points.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
// GCC 12 with -fsanitize=address reports a false -Wmaybe-uninitialized inside <regex>'s own
// automaton code (GCC bug 105616), wherever a std::regex is built; it is silenced for that header only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#include <sstream>

#include "sim/garmin/garmin_device.h"
#include "sim/pty_device.h"
#include "tests/fakes/semicircles.h"

namespace tarnvik::sim::garmin {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

struct GpxPoint {
  double lat = 0;
  double lon = 0;
  std::string name;
  std::string time;
  std::string ele;
};

// The points of one element kind ("trkpt" or "wpt") of gpsbabel's GPX output.
std::vector<GpxPoint> GpxPoints(const std::string& gpx, const std::string& element) {
  std::vector<GpxPoint> out;
  const std::regex point("<" + element + R"re( lat="([-0-9.]+)" lon="([-0-9.]+)">([\s\S]*?)</)re" + element + ">");
  const std::regex name("<name>([^<]*)</name>");
  const std::regex time("<time>([^<]*)</time>");
  const std::regex ele("<ele>([^<]*)</ele>");
  for (std::sregex_iterator it(gpx.begin(), gpx.end(), point), end; it != end; ++it) {
    GpxPoint p;
    p.lat = std::stod((*it)[1]);
    p.lon = std::stod((*it)[2]);
    const std::string body = (*it)[3];
    std::smatch m;
    if (std::regex_search(body, m, name)) p.name = m[1];
    if (std::regex_search(body, m, time)) p.time = m[1];
    if (std::regex_search(body, m, ele)) p.ele = m[1];
    out.push_back(p);
  }
  return out;
}

using tarnvik::testing::Degrees;

std::string IsoTime(uint32_t time) {
  core::SystemTime t = core::TimeToCalendar(time);
  char text[48];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return text;
}

class GpsbabelInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(std::system("gpsbabel -V > /dev/null 2>&1"), 0) << "gpsbabel is not installed (scripts/install-deps)";
    dir_ = fs::temp_directory_path() / ("tarnvik_gpsbabel_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                        "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    std::string error;
    ASSERT_GT(LoadIgcIntoDevice(ReadText(std::string(TARNVIK_TEST_DATA) + "/igc/hack_885B0912.IGC"), device_, error), 0)
        << error;
    pty_ = PtyDevice::Create(device_, "", error);
    ASSERT_TRUE(pty_) << error;
  }
  void TearDown() override {
    if (pty_) pty_->Stop();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // Serves the unit (set up by then) and runs gpsbabel against it.
  int Gpsbabel(const std::string& arguments) {
    pty_->Start();
    const std::string command = "timeout 120 gpsbabel " + arguments + " > " + (dir_ / "gpsbabel.log").string() + " 2>&1";
    return std::system(command.c_str());
  }
  std::string Log() { return ReadText(dir_ / "gpsbabel.log"); }
  // What the serving unit noticed the host doing against the protocol.
  std::string ProtocolErrors(const GarminDevice& unit) {
    std::string text;
    for (const auto& e : unit.protocolErrors()) text += e + "\n";
    return text;
  }
  // Puts another unit behind the pseudo-terminal, holding what the default one holds.
  GarminDevice& Replace(GarminDeviceConfig config) {
    pty_->Stop();
    pty_.reset();
    other_ = std::make_unique<GarminDevice>(std::move(config));
    other_->track = device_.track;
    other_->waypoints = device_.waypoints;
    std::string error;
    pty_ = PtyDevice::Create(*other_, "", error);
    EXPECT_TRUE(pty_) << error;
    return *other_;
  }

  GarminDevice device_;
  std::unique_ptr<GarminDevice> other_;
  std::unique_ptr<PtyDevice> pty_;
  fs::path dir_;
};

TEST_F(GpsbabelInterop, DownloadsTheTrackLog) {
  const fs::path out = dir_ / "track.gpx";
  ASSERT_EQ(Gpsbabel("-t -i garmin -f " + pty_->hostPath() + " -o gpx -F " + out.string()), 0) << Log();
  pty_->Stop();
  const auto points = GpxPoints(ReadText(out), "trkpt");
  std::vector<const SimTrackRecord*> held;
  for (const auto& r : device_.track) {
    if (!r.header) held.push_back(&r);
  }
  ASSERT_EQ(points.size(), held.size());
  ASSERT_EQ(points.size(), 2001u);
  EXPECT_EQ(ProtocolErrors(device_), "");
  for (size_t i = 0; i < points.size(); ++i) {
    EXPECT_NEAR(points[i].lat, Degrees(held[i]->point.latitude), 1e-6) << i;
    EXPECT_NEAR(points[i].lon, Degrees(held[i]->point.longitude), 1e-6) << i;
    EXPECT_EQ(points[i].time, IsoTime(held[i]->point.time)) << i;
    EXPECT_NEAR(std::stod(points[i].ele), held[i]->altitudeM, 1e-3) << i;
  }
  // gpsbabel asked for the unit's time (command 5) and position (2) before the transfer (6).
  const auto& commands = device_.commands();
  const auto at = [&](uint16_t command) { return std::find(commands.begin(), commands.end(), command) - commands.begin(); };
  ASSERT_EQ(commands.back(), 6);
  EXPECT_LT(at(5), at(6));
  EXPECT_LT(at(2), at(6));
}

TEST_F(GpsbabelInterop, DownloadsTheWaypoints) {
  const fs::path out = dir_ / "waypoints.gpx";
  ASSERT_EQ(Gpsbabel("-w -i garmin -f " + pty_->hostPath() + " -o gpx -F " + out.string()), 0) << Log();
  pty_->Stop();
  const auto points = GpxPoints(ReadText(out), "wpt");
  ASSERT_EQ(points.size(), device_.waypoints.size());
  ASSERT_EQ(points.size(), 8u);
  for (size_t i = 0; i < points.size(); ++i) {
    EXPECT_EQ(points[i].name, device_.waypoints[i].id) << i;
    EXPECT_NEAR(points[i].lat, Degrees(device_.waypoints[i].latitude), 1e-6) << i;
    EXPECT_NEAR(points[i].lon, Degrees(device_.waypoints[i].longitude), 1e-6) << i;
  }
  EXPECT_EQ(points[0].name, "TAKEOF");
  EXPECT_EQ(ProtocolErrors(device_), "");
}

TEST_F(GpsbabelInterop, UploadsWaypointsTheUnitRecords) {
  const fs::path in = dir_ / "in.gpx";
  const fs::path record = dir_ / "uploads.txt";
  device_.recordFile = record.string();
  std::ofstream(in) << R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="test" xmlns="http://www.topografix.com/GPX/1/1">
<wpt lat="46.5" lon="7.25"><ele>1234</ele><name>Alpha</name><cmt>first one</cmt></wpt>
<wpt lat="-33.75" lon="-70.125"><ele>500</ele><name>LZ2</name></wpt>
</gpx>
)";
  ASSERT_EQ(Gpsbabel("-w -i gpx -f " + in.string() + " -o garmin -F " + pty_->hostPath()), 0) << Log();
  pty_->Stop();
  const auto& got = device_.uploads().waypoints;
  ASSERT_EQ(got.size(), 2u);
  // A D108 unit takes its texts as sent.
  EXPECT_STREQ(got[0].id, "Alpha");
  EXPECT_STREQ(got[0].comment, "first one");
  EXPECT_EQ(got[0].altitude, 1234);
  EXPECT_NEAR(Degrees(got[0].latitude), 46.5, 1e-6);
  EXPECT_NEAR(Degrees(got[1].longitude), -70.125, 1e-6);
  EXPECT_EQ(device_.uploads().completedTransfers, 1);
  const std::string recorded = ReadText(record);
  EXPECT_NE(recorded.find("WPT Alpha,"), std::string::npos) << recorded;
  EXPECT_NE(recorded.find("COMPLETE 7"), std::string::npos) << recorded;
  EXPECT_EQ(ProtocolErrors(device_), "");
}

TEST_F(GpsbabelInterop, D110WaypointListDownAndUp) {
  GarminDevice& unit = Replace({.capabilities = StandardCapabilities(110, 301, 301)});
  // Altitudes and comments beside the task's turnpoints (altitude 0: the unit has none).
  for (size_t i = 0; i < unit.waypoints.size(); ++i) unit.waypoints[i].altitude = i % 2 ? 0 : 100 + 37 * static_cast<int32_t>(i);
  const fs::path out = dir_ / "waypoints.gpx";
  ASSERT_EQ(Gpsbabel("-w -i garmin -f " + pty_->hostPath() + " -o gpx -F " + out.string()), 0) << Log();
  pty_->Stop();
  const std::string gpx = ReadText(out);
  const auto points = GpxPoints(gpx, "wpt");
  ASSERT_EQ(points.size(), 8u);
  for (size_t i = 0; i < points.size(); ++i) {
    const core::Waypoint& held = unit.waypoints[i];
    EXPECT_EQ(points[i].name, held.id) << i;
    EXPECT_NEAR(points[i].lat, Degrees(held.latitude), 1e-6) << i;
    EXPECT_NEAR(points[i].lon, Degrees(held.longitude), 1e-6) << i;
    if (held.altitude != 0) {
      EXPECT_NEAR(std::stod(points[i].ele), held.altitude, 1e-3) << i;
    } else {
      EXPECT_EQ(points[i].ele, "") << i;  // 1.0e25: no altitude
    }
  }
  EXPECT_NE(gpx.find(std::string("<cmt>") + unit.waypoints[0].comment + "</cmt>"), std::string::npos) << gpx;
  EXPECT_EQ(ProtocolErrors(unit), "");

  // gpsbabel's own file goes back up to the D110 unit.
  ASSERT_EQ(Gpsbabel("-w -i gpx -f " + out.string() + " -o garmin -F " + pty_->hostPath()), 0) << Log();
  pty_->Stop();
  const auto& got = unit.uploads().waypoints;
  ASSERT_EQ(got.size(), 8u);
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_STREQ(got[i].id, unit.waypoints[i].id) << i;
    EXPECT_EQ(got[i].latitude, unit.waypoints[i].latitude) << i;
    EXPECT_EQ(got[i].longitude, unit.waypoints[i].longitude) << i;
    EXPECT_EQ(got[i].altitude, unit.waypoints[i].altitude) << i;
  }
  EXPECT_EQ(ProtocolErrors(unit), "");
}

TEST_F(GpsbabelInterop, TrackLogOfAnA302UnitWithTwoTracks) {
  auto caps = StandardCapabilities(110, 302, 304);
  for (auto& [tag, number] : caps) {
    if (tag == 'D' && number == 310) number = 311;
  }
  GarminDevice& unit = Replace({.capabilities = caps});
  // A second track begins at the 1001st point: its own header, its first point a new segment.
  SimTrackRecord second;
  second.header = true;
  second.name = "SECOND";
  unit.track.insert(unit.track.begin() + 1001, second);
  unit.track[1002].point.flags = 1;
  const fs::path out = dir_ / "track.gpx";
  ASSERT_EQ(Gpsbabel("-t -i garmin -f " + pty_->hostPath() + " -o gpx -F " + out.string()), 0) << Log();
  pty_->Stop();
  const std::string gpx = ReadText(out);
  std::vector<const SimTrackRecord*> held;
  for (const auto& r : unit.track) {
    if (!r.header) held.push_back(&r);
  }
  const auto points = GpxPoints(gpx, "trkpt");
  ASSERT_EQ(points.size(), 2001u);
  for (size_t i = 0; i < points.size(); ++i) {
    EXPECT_NEAR(points[i].lat, Degrees(held[i]->point.latitude), 1e-6) << i;
    EXPECT_NEAR(points[i].lon, Degrees(held[i]->point.longitude), 1e-6) << i;
    EXPECT_EQ(points[i].time, IsoTime(held[i]->point.time)) << i;
    EXPECT_NEAR(std::stod(points[i].ele), held[i]->altitudeM, 1e-3) << i;
  }
  // Two tracks: one per header.
  size_t tracks = 0;
  for (size_t at = gpx.find("<trk>"); at != std::string::npos; at = gpx.find("<trk>", at + 1)) ++tracks;
  EXPECT_EQ(tracks, 2u) << gpx.substr(0, 2000);
  EXPECT_EQ(ProtocolErrors(unit), "");
}

}  // namespace
}  // namespace tarnvik::sim::garmin
