#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "sim/garmin/garmin_device.h"

namespace tarnvik::sim::garmin {
namespace {

std::string ReadIgc(const std::string& name) {
  std::ifstream file(std::string(TARNVIK_TEST_DATA) + "/igc/" + name, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

TEST(GarminSimulatorData, IgcFixesBecomeTheTrackLogAndTaskTurnpointsTheWaypoints) {
  GarminDevice device;
  std::string error;
  ASSERT_EQ(LoadIgcIntoDevice(ReadIgc("hack_885B0912.IGC"), device, error), 2001) << error;
  ASSERT_EQ(device.track.size(), 2002u);
  EXPECT_TRUE(device.track[0].header);
  const SimTrackRecord& first = device.track[1];
  EXPECT_EQ(first.point.flags, 1u);
  EXPECT_EQ(device.track[2].point.flags, 0u);
  // B1212255233428N00328131WA0030700398: 2018-08-05 12:12:25 UTC, 52 deg 33.428' N,
  // 3 deg 28.131' W, GPS altitude 398 m.
  core::SystemTime t = core::TimeToCalendar(first.point.time);
  EXPECT_EQ(t, (core::SystemTime{2018, 8, 0, 5, 12, 12, 25, 0}));
  EXPECT_EQ(first.point.latitude, *core::LatitudeFromDegrees(52 + 33.428 / 60));
  EXPECT_EQ(first.point.longitude, *core::LongitudeFromDegrees(-(3 + 28.131 / 60)));
  EXPECT_EQ(first.altitudeM, 398.0f);
  ASSERT_EQ(device.waypoints.size(), 8u);
  EXPECT_STREQ(device.waypoints[0].id, "TAKEOF");
  EXPECT_STREQ(device.waypoints[0].comment, "TAKEOFF");
  EXPECT_STREQ(device.waypoints[7].id, "LANDIN");

  // A flight across midnight UTC keeps its times rising.
  ASSERT_GT(LoadIgcIntoDevice(ReadIgc("igp_2016-11-08-xcs-aaa-02.igc"), device, error), 6000) << error;
  for (size_t i = 2; i < device.track.size(); ++i) {
    ASSERT_GE(device.track[i].point.time, device.track[i - 1].point.time) << i;
  }
  EXPECT_EQ(core::TimeToCalendar(device.track.back().point.time).day, 9);

  EXPECT_EQ(LoadIgcIntoDevice("AXXX\r\nHFDTE010203\r\n", device, error), -1);
  EXPECT_EQ(error, "no B records");
}

TEST(GarminSimulatorTool, OptionsConfigureTheUnitAndItsFaults) {
  ASSERT_TRUE(RegisterGarminSimulator() || FindSimulator("garmin") != nullptr);
  const SimulatorFactory* factory = FindSimulator("garmin");
  ASSERT_NE(factory, nullptr);
  SimulatorOptions options;
  options.dataFile = std::string(TARNVIK_TEST_DATA) + "/igc/xcs_marcourt.igc";
  options.faults = {"product=29", "version=410", "noarray", "trk=300", "wpt=102", "checksum=7", "silent=40"};
  options.recordFile = "/nonexistent/uploads.txt";
  std::string error;
  auto device = (*factory)(options, error);
  ASSERT_TRUE(device) << error;
  auto* garmin = dynamic_cast<GarminDevice*>(device.get());
  ASSERT_NE(garmin, nullptr);
  const GarminDeviceConfig& config = garmin->config();
  EXPECT_EQ(config.productId, 29);
  EXPECT_EQ(config.softwareVersion, 410);
  EXPECT_FALSE(config.sendCapabilities);
  EXPECT_EQ(config.trackTransfer, 300);
  EXPECT_EQ(config.trackPointType, 300);
  EXPECT_EQ(config.waypointType, 102);
  EXPECT_EQ(config.badChecksumAtPacket, 7);
  EXPECT_EQ(config.silentAfterPackets, 40);
  EXPECT_EQ(garmin->track.size(), 222u);
  EXPECT_EQ(garmin->recordFile, "/nonexistent/uploads.txt");

  options.faults = {"sometimes"};
  EXPECT_FALSE((*factory)(options, error));
  EXPECT_EQ(error, "unknown --fault sometimes");
  options.faults = {"drop=x"};
  EXPECT_FALSE((*factory)(options, error));
  options.faults = {};
  options.dataFile = "/nonexistent.igc";
  EXPECT_FALSE((*factory)(options, error));
  EXPECT_EQ(error, "cannot read /nonexistent.igc");
}

}  // namespace
}  // namespace tarnvik::sim::garmin
