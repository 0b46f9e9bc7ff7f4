// The simulated XC Trainer / Top Navigator on its own: when it starts sending, how it waits for
// and counts the host's answers, how it finds "@@WP" packets in anything the host sends and
// records them, and its data file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "devices/xctrainer/xctrainer_records.h"
#include "sim/xctrainer/xctrainer_device.h"

namespace tarnvik::sim::xctrainer {
namespace {

namespace fs = std::filesystem;

std::string Text(const std::vector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

XcTrainerDevice ListDevice() {
  XcDeviceConfig c;
  c.send = XcSend::Waypoints;
  c.delayMs = 300;
  XcTrainerDevice d(c);
  d.waypoints = {{"ABC", 47.5, 8.25, 852}, {"DEF", 46.5, 7.25, 10}};
  return d;
}

TEST(XcTrainerSim, SendsAfterItsDelayAndWaitsFiveSecondsForEachAnswer) {
  XcTrainerDevice d = ListDevice();
  std::vector<uint8_t> out;
  d.Tick(0, out);  // nothing before the host set its line
  EXPECT_TRUE(out.empty());
  d.LineChanged(9600, false);
  d.Tick(1000, out);
  d.Tick(1299, out);
  EXPECT_TRUE(out.empty());
  d.Tick(1300, out);
  EXPECT_EQ(Text(out), "; waypoints\r\n");
  out.clear();
  d.Tick(6299, out);  // still waiting for "@@OK"
  EXPECT_TRUE(out.empty());
  d.Receive(reinterpret_cast<const uint8_t*>("@@"), 2, out);  // an answer split over two reads
  d.Receive(reinterpret_cast<const uint8_t*>("OK"), 2, out);
  d.Tick(6300, out);
  EXPECT_EQ(Text(out), "ABC ABC TPT N 47 30 00 E 8 15 00 852 m\r\n");
  out.clear();
  d.Tick(11300, out);  // five seconds without an answer: counted, and the list goes on
  EXPECT_EQ(d.missingAnswers(), 1);
  EXPECT_EQ(Text(out), "DEF DEF TPT N 46 30 00 E 7 15 00 10 m\r\n");
  d.Receive(reinterpret_cast<const uint8_t*>("@@OK@@OK"), 8, out);  // one awaited, one doubled
  EXPECT_EQ(d.answered(), 2);
  EXPECT_EQ(d.doubledAnswers(), 1);
}

TEST(XcTrainerSim, FindsPacketsAnywhereAndRecordsThem) {
  const fs::path record = fs::temp_directory_path() / ("xcsim_" + std::to_string(::getpid()) + ".txt");
  fs::remove(record);
  XcTrainerDevice d = ListDevice();
  d.recordFile = record.string();
  core::Waypoint w;
  std::snprintf(w.id, sizeof w.id, "XC1");
  w.latitude = *core::LatitudeFromDegrees(-47.5);
  w.longitude = *core::LongitudeFromDegrees(8.25);
  w.altitude = 0x1113;
  const devices::xctrainer::WaypointPacket p = devices::xctrainer::BuildWaypointPacket(w);
  std::vector<uint8_t> host = {'x', '@'};
  host.insert(host.end(), p.begin(), p.end());
  std::vector<uint8_t> bad(p.begin(), p.end());
  bad[28] ^= 1;
  host.insert(host.end(), bad.begin(), bad.end());
  std::vector<uint8_t> out;
  for (size_t i = 0; i < host.size(); i += 7) d.Receive(host.data() + i, std::min<size_t>(7, host.size() - i), out);
  ASSERT_EQ(d.uploads().size(), 1u);
  EXPECT_EQ(d.badPackets(), 1);
  EXPECT_EQ(d.uploads()[0].id, "XC1");
  EXPECT_DOUBLE_EQ(d.uploads()[0].latitude, -47.5);
  EXPECT_EQ(d.uploads()[0].altitude, 0x1113);
  // Listed back with the others.
  EXPECT_EQ(d.waypoints.size(), 3u);
  std::ifstream in(record);
  std::stringstream s;
  s << in.rdbuf();
  EXPECT_EQ(s.str(), "waypoint -47.500000,8.250000,XC1,4371\n");
  fs::remove(record);
}

TEST(XcTrainerSim, GarblesBothWaysAtAnotherSpeed) {
  XcTrainerDevice d = ListDevice();
  d.config().delayMs = 0;
  d.LineChanged(57600, false);
  std::vector<uint8_t> out;
  d.Tick(0, out);
  d.Tick(0, out);
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(Text(out).find("waypoints"), std::string::npos);
  d.Receive(reinterpret_cast<const uint8_t*>("@@OK"), 4, out);
  EXPECT_EQ(d.answered(), 0);
}

TEST(XcTrainerSim, DataFileAndOptions) {
  const fs::path dir = fs::temp_directory_path() / ("xcsimd_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::ofstream(dir / "f.igc") << "HFDTE150724\r\nB1000004730000N00815000EA0100001050\r\nB1000024730060N00815000EA0100001060\r\n";
  std::ofstream(dir / "unit.txt") << "# unit\nigc f.igc\nmodel tn\nsend mxp\nserial 42\nwaypoint 46.5,8.25,LAUNCH,1500\n";
  XcTrainerDevice d;
  std::string error;
  ASSERT_TRUE(LoadXcTrainerData((dir / "unit.txt").string(), d, error)) << error;
  EXPECT_FALSE(d.config().xcTrainer);
  EXPECT_EQ(d.config().send, XcSend::Mxp);
  EXPECT_EQ(d.config().serial, 42);
  ASSERT_EQ(d.track.size(), 2u);
  EXPECT_EQ(d.track[1].time - d.track[0].time, 2u);
  EXPECT_NEAR(d.track[1].latitude, 47 + 30.060 / 60, 1e-9);
  EXPECT_EQ(d.track[1].altitude, 1060);
  ASSERT_EQ(d.waypoints.size(), 1u);
  // A Top Navigator's MXP header and the 1 Hz fill of the TNC log.
  EXPECT_EQ(d.Transmission().substr(0, 3), "@tn");
  d.config().send = XcSend::Tnc;
  EXPECT_EQ(d.ServedFixes().size(), 3u);
  std::ofstream(dir / "bad.txt") << "colour red\n";
  EXPECT_FALSE(LoadXcTrainerData((dir / "bad.txt").string(), d, error));
  EXPECT_NE(error.find("unknown key colour"), std::string::npos);
  EXPECT_FALSE(ApplyXcTrainerFault("send=fax", d.config(), error));
  EXPECT_FALSE(ApplyXcTrainerFault("block=x", d.config(), error));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tarnvik::sim::xctrainer
