#include <gtest/gtest.h>

#include <algorithm>
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

using Bytes = std::vector<uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

bool StartsWith(const Bytes& bytes, const Bytes& prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

// The unit's side of the link, byte by byte, with frames written out by hand: DLE, id, size,
// data, checksum (the byte sum made 0 mod 256), DLE, ETX, every DLE inside doubled.
TEST(GarminSimulatorLink, AcknowledgementsNaksAndStuffingFromTheUnitsSide) {
  GarminDevice unit;
  for (int i = 0; i < 16; ++i) unit.waypoints.push_back(core::Waypoint{});  // a count of 16: a DLE
  const Bytes productRequest = {16, 254, 0, 2, 16, 3};
  const Bytes ackOfRequest = {16, 6, 2, 254, 0, 250, 16, 3};
  const Bytes wholeAckOfProduct = {16, 6, 2, 255, 0, 249, 16, 3};
  const Bytes wrongSecondByte = {16, 6, 2, 255, 1, 248, 16, 3};
  const Bytes oneByteAck = {16, 6, 1, 255, 250, 16, 3};
  const Bytes nakOfProduct = {16, 21, 2, 255, 0, 234, 16, 3};
  const Bytes ackOfArray = {16, 6, 2, 253, 0, 251, 16, 3};
  const Bytes commandBadChecksum = {16, 10, 2, 6, 0, 239, 16, 3};
  const Bytes nakOfCommand = {16, 21, 2, 10, 0, 223, 16, 3};
  const Bytes brokenStuffing = {16, 10, 2, 16, 'X'};
  const Bytes transferWaypoints = {16, 10, 2, 7, 0, 237, 16, 3};
  const Bytes ackOfCommand = {16, 6, 2, 10, 0, 238, 16, 3};
  const Bytes recordsOf16 = {16, 27, 2, 16, 16, 0, 211, 16, 3};

  auto send = [&unit](const Bytes& bytes) {
    Bytes out;
    unit.Receive(bytes.data(), bytes.size(), out);
    return out;
  };
  // The request is acknowledged, then the product data goes out and waits for its own.
  Bytes out = send(productRequest);
  ASSERT_TRUE(StartsWith(out, ackOfRequest));
  const Bytes productData(out.begin() + static_cast<long>(ackOfRequest.size()), out.end());
  ASSERT_TRUE(StartsWith(productData, {16, 255}));
  EXPECT_EQ(productData.back(), 3);
  // Only a whole acknowledgement of 255 lets the unit go on.
  EXPECT_EQ(send(wrongSecondByte), Bytes{});
  EXPECT_EQ(send(oneByteAck), Bytes{});
  EXPECT_EQ(unit.protocolErrors().size(), 2u);
  // A NAK has the packet sent again.
  EXPECT_EQ(send(nakOfProduct), productData);
  out = send(wholeAckOfProduct);
  EXPECT_TRUE(StartsWith(out, {16, 253})) << out.size();
  EXPECT_EQ(send(ackOfArray), Bytes{});
  // A frame whose checksum does not add up is answered with a NAK of its id and not obeyed.
  EXPECT_EQ(send(commandBadChecksum), nakOfCommand);
  EXPECT_EQ(unit.naksSent(), 1);
  EXPECT_TRUE(unit.commands().empty());
  // A lone DLE inside a frame breaks it; the next frame is read; the count 16 goes out doubled.
  EXPECT_EQ(send(Concat({brokenStuffing, transferWaypoints})), Concat({ackOfCommand, recordsOf16}));
  EXPECT_EQ(unit.commands(), std::vector<uint16_t>{7});
  EXPECT_EQ(unit.protocolErrors().size(), 2u);
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
