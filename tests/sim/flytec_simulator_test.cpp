// The simulated Flytec/Brauniger instrument from the host's side of the wire: its framing, the
// fields it derives from its IGC files, its data file and its faults.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "sim/flytec/flytec_device.h"
#include "sim/simulator.h"

namespace tarnvik::sim::flytec {
namespace {

namespace fs = std::filesystem;

std::string Ask(FlytecDevice& device, const std::string& bytes) {
  std::vector<uint8_t> out;
  device.Receive(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
  return std::string(out.begin(), out.end());
}

TEST(FlytecSimulator, RepliesAreFramedAndPilotIsPadded) {
  FlytecDevice device;
  // The host's own XON (and one inside the request) is not part of the sentence.
  EXPECT_EQ(Ask(device, "\x11$PBRS\x13NP,*21\r\n"), "\x13$PBRSNP,COMPEO,Tarnvik Pilot    ,12345,2.2*3A\r\n\x11");
  // A request with a wrong checksum is not answered; a command without answer gets the pair.
  EXPECT_EQ(Ask(device, "$PBRSNP,*22\r\n"), "");
  EXPECT_EQ(Ask(device, "$PBRTL,*74\r\n"), "\x13\x11");
  device.config().noFraming = true;
  device.config().blankPilot = true;
  EXPECT_EQ(Ask(device, "$PBRSNP,*21\r\n"), "$PBRSNP,COMPEO,                 ,12345,2.2*29\r\n");
}

TEST(FlytecSimulator, TrackListFieldsComeFromTheIgcText) {
  std::string date, start, duration;
  ASSERT_TRUE(FlytecDevice::TrackListFields("AXXX\nHFDTEDATE:311224,01\nB2359000000000N00000000EA0000000000\n"
                                            "B0001300000000N00000000EA0000000000\n",
                                            date, start, duration));
  EXPECT_EQ(date, "31.12.24");
  EXPECT_EQ(start, "23:59:00");
  EXPECT_EQ(duration, "00:02:30");
  EXPECT_FALSE(FlytecDevice::TrackListFields("AXXX\nHFDTE010203\n", date, start, duration));
}

TEST(FlytecSimulator, UploadsAreKeyedByNameAndABusyUnitStopsTheLine) {
  FlytecDeviceConfig config;
  config.busyAfterUpload = 2;
  FlytecDevice device(config);
  auto upload = [&](const std::string& body) {
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return Ask(device, "$" + body + tail);
  };
  EXPECT_EQ(upload("PBRWPR,4630.500,N,00815.250,W,,SAME NAME        ,1200"), "\x13\x11");
  EXPECT_EQ(upload("PBRWPR,0030.000,S,17959.994,E,,SAME NAME        ,0000"), "\x13");
  ASSERT_EQ(device.uploads().size(), 1u);
  const FlytecSimWaypoint& w = device.uploads().at("SAME NAME        ");
  EXPECT_NEAR(w.latitude, -0.5, 1e-9);
  EXPECT_NEAR(w.longitude, 179.9999, 1e-9);
  // Busy: nothing more is taken until the host goes away.
  EXPECT_EQ(Ask(device, "$PBRSNP,*21\r\n"), "");
  device.HostClosed();
  EXPECT_NE(Ask(device, "$PBRSNP,*21\r\n"), "");
}

TEST(FlytecSimulator, DataFileAndFaultsThroughTheToolsFactory) {
  const fs::path dir = fs::temp_directory_path() / ("tarnvik_flytec_sim_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  {
    std::ofstream(dir / "a.igc") << "AFLY04711\r\nHFDTE150724\r\nB1000004700000N00800000EA0100001000\r\nG1\r\n";
    std::ofstream(dir / "unit.txt") << "# unit\nname GALILEO\nsoftware 2.19\ncompid 5000\n"
                                       "track a.igc\nwaypoint -33.5,-70.25,LZ,LANDING,-12\n";
    std::ofstream(dir / "bad.txt") << "colour blue\n";
  }
  ASSERT_TRUE(RegisterFlytecSimulator() || FindSimulator("flytec"));
  const SimulatorFactory* factory = FindSimulator("flytec");
  ASSERT_TRUE(factory);
  std::string error;
  SimulatorOptions options;
  options.dataFile = (dir / "unit.txt").string();
  options.faults = {"nog", "repeatb"};
  std::unique_ptr<Device> device = (*factory)(options, error);
  ASSERT_TRUE(device) << error;
  auto& unit = static_cast<FlytecDevice&>(*device);
  EXPECT_EQ(unit.ServedIgc(0), "AFLY04711\r\nHFDTE150724\r\nB1000004700000N00800000EA0100001000\r\n"
                               "B1000004700000N00800000EA0100001000\r\n");
  const std::string waypoints = Ask(unit, "$PBRWPS,*38\r\n");
  EXPECT_NE(waypoints.find("$PBRWPS,3330.000,S,07015.000,W,LZ,LANDING,-012*"), std::string::npos) << waypoints;
  // The competition ID 5000 as 0 degrees 0 minutes 5 seconds east.
  EXPECT_NE(waypoints.find("$PBRWPS,0000.000,N,00000.083,E,COMPID,COMPID,0000*"), std::string::npos) << waypoints;

  options.dataFile = (dir / "bad.txt").string();
  EXPECT_FALSE((*factory)(options, error));
  EXPECT_NE(error.find("unknown key colour"), std::string::npos);
  options.dataFile.clear();
  options.faults = {"wobble"};
  EXPECT_FALSE((*factory)(options, error));
  EXPECT_EQ(error, "unknown --fault wobble");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tarnvik::sim::flytec
