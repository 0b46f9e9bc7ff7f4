// The simulated instrument's airspace memory, fed raw lines as a host would send them: zones of
// the data file served as "$PBRCTR" sentences, each uploaded zone checked against the vendor's
// layout and answered, memory limits and the faults.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/flytec/flytec_device.h"

namespace tarnvik::sim::flytec {
namespace {

std::string Framed(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

std::string Feed(FlytecDevice& device, const std::string& bytes) {
  std::vector<uint8_t> out;
  device.Receive(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
  return std::string(out.begin(), out.end());
}

// Sends a zone's bodies; returns the unit's reply to the last one.
std::string Zone(FlytecDevice& device, const std::vector<std::string>& bodies) {
  std::string reply;
  for (const std::string& b : bodies) reply = Feed(device, Framed(b));
  return reply;
}

std::vector<std::string> Good(const std::string& name = "Zone A           ") {
  return {"PBRCTRW,004,000," + name + ",0200", "PBRCTRW,004,001,SFC              ",
          "PBRCTRW,004,002,P,4630.000,N,00715.000,E", "PBRCTRW,004,003,P,4631.500,S,17959.999,W"};
}

TEST(FlytecCtrStore, ZonesAreCheckedAnsweredAndServed) {
  FlytecDevice device;
  // Every sentence but the zone's last gets the bare framing pair.
  EXPECT_EQ(Feed(device, Framed(Good()[0])), "\x13\x11");
  EXPECT_EQ(Zone(device, {Good()[1], Good()[2], Good()[3]}), "\x13" + Framed("PBRANS,1") + "\x11");

  struct Case {
    const char* what;
    std::vector<std::string> bodies;
  } implausible[] = {
      {"16-character name", {"PBRCTRW,003,000,Short name      ,0200", "PBRCTRW,003,001,SFC              ",
                             "PBRCTRW,003,002,C,4630.000,N,00715.000,E,09260"}},
      {"four-digit radius", {"PBRCTRW,003,000,Zone B           ,0200", "PBRCTRW,003,001,SFC              ",
                             "PBRCTRW,003,002,C,4630.000,N,00715.000,E,9260"}},
      {"lower-case hemisphere", {"PBRCTRW,003,000,Zone B           ,0200", "PBRCTRW,003,001,SFC              ",
                                 "PBRCTRW,003,002,P,4630.000,n,00715.000,E"}},
      {"circle after a point", {"PBRCTRW,004,000,Zone B           ,0200", "PBRCTRW,004,001,SFC              ",
                                "PBRCTRW,004,002,P,4630.000,N,00715.000,E",
                                "PBRCTRW,004,003,C,4630.000,N,00715.000,E,09260"}},
      {"arc start without centre", {"PBRCTRW,004,000,Zone B           ,0200", "PBRCTRW,004,001,SFC              ",
                                    "PBRCTRW,004,002,P,4630.000,N,00715.000,E",
                                    "PBRCTRW,004,003,T,4630.000,N,00715.000,E,+"}},
      {"minutes of 60", {"PBRCTRW,003,000,Zone B           ,0200", "PBRCTRW,003,001,SFC              ",
                         "PBRCTRW,003,002,P,4660.000,N,00715.000,E"}},
      {"three-digit warning", {"PBRCTRW,003,000,Zone B           ,200", "PBRCTRW,003,001,SFC              ",
                               "PBRCTRW,003,002,P,4630.000,N,00715.000,E"}},
  };
  for (const Case& c : implausible) {
    EXPECT_EQ(Zone(device, c.bodies), "\x13" + Framed("PBRANS,2") + "\x11") << c.what;
  }
  // A spoiled checksum anywhere in the zone: status 5.
  std::vector<std::string> zone = Good("Zone C           ");
  Feed(device, Framed(zone[0]));
  std::string spoiled = Framed(zone[1]);
  spoiled[spoiled.size() - 3] ^= 1;
  Feed(device, spoiled);
  EXPECT_EQ(Zone(device, {zone[2], zone[3]}), "\x13" + Framed("PBRANS,5") + "\x11");
  EXPECT_EQ(device.ctr.statuses, (std::vector<int>{1, 2, 2, 2, 2, 2, 2, 2, 5}));

  // Same name: replaced and listed last.
  Zone(device, Good("Zone D           "));
  std::vector<std::string> again = Good();
  again[2] = "PBRCTRW,004,002,P,1000.000,N,00100.000,E";
  Zone(device, again);
  ASSERT_EQ(device.ctr.zones.size(), 2u);
  EXPECT_EQ(device.ctr.zones[0].name, "Zone D           ");
  const std::string list = Feed(device, "\x11$PBRCTR,*29\r\n");
  EXPECT_EQ(list, "\x13" + Framed("PBRCTR,004,000,Zone D           ,0200") + Framed("PBRCTR,004,001,SFC              ") +
                      Framed("PBRCTR,004,002,P,4630.000,N,00715.000,E") +
                      Framed("PBRCTR,004,003,P,4631.500,S,17959.999,W") + Framed("PBRCTR,004,000,Zone A           ,0200") +
                      Framed("PBRCTR,004,001,SFC              ") + Framed("PBRCTR,004,002,P,1000.000,N,00100.000,E") +
                      Framed("PBRCTR,004,003,P,4631.500,S,17959.999,W") + Framed("PBRANS,1") + "\x11");
}

TEST(FlytecCtrStore, MemoryFillsAtFiveHundredZonesOrItsElements) {
  FlytecDevice device;
  for (int i = 0; i < 500; ++i) {
    char name[24];
    std::snprintf(name, sizeof name, "Zone %-12d", i);
    ASSERT_NE(Zone(device, Good(name)).find("PBRANS,1"), std::string::npos) << i;
  }
  EXPECT_NE(Zone(device, Good("One more         ")).find("PBRANS,3"), std::string::npos);
  EXPECT_NE(Zone(device, Good("Zone 7           ")).find("PBRANS,1"), std::string::npos);  // a replacement fits

  FlytecDeviceConfig small;
  std::string error;
  ASSERT_TRUE(ApplyFlytecFault("ctrmemory=8", small, error));
  FlytecDevice tight(small);
  EXPECT_NE(Zone(tight, Good()).find("PBRANS,1"), std::string::npos);  // 3 + 2 elements
  EXPECT_NE(Zone(tight, Good("Zone B           ")).find("PBRANS,3"), std::string::npos);
}

TEST(FlytecCtrStore, DataFileZonesAndFaults) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("tarnvik-ctr-sim-" + std::to_string(::getpid()) + ".txt");
  std::ofstream(file) << "name COMPEO\nctr Lake|350|FL 95|P 46.5 7.25|A 46.0 8.0 46.1 8.0 46.0 8.1 -\n"
                         "ctr Round|200|SFC|C -1.5 -0.25 9260\n";
  FlytecDevice device;
  std::string error;
  ASSERT_TRUE(LoadFlytecData(file.string(), device, error)) << error;
  std::filesystem::remove(file);
  EXPECT_EQ(device.ctr.zones.size(), 2u);
  const std::string list = Feed(device, "\x11$PBRCTR,*29\r\n");
  for (const char* body :
       {"PBRCTR,006,000,Lake             ,0350", "PBRCTR,006,001,FL 95            ", "PBRCTR,006,002,P,4630.000,N,00715.000,E",
        "PBRCTR,006,003,X,4600.000,N,00800.000,E", "PBRCTR,006,004,T,4606.000,N,00800.000,E,-",
        "PBRCTR,006,005,Z,4600.000,N,00806.000,E,-", "PBRCTR,003,002,C,0130.000,S,00015.000,W,09260"}) {
    EXPECT_NE(list.find(Framed(body)), std::string::npos) << body;
  }

  struct FaultCase {
    const char* fault;
    const char* reply;  // what the zone's last sentence gets
    bool listEnds;
  } faults[] = {
      {"ctrstatus=4", "\x13$PBRANS,4*04\r\n\x11", true},
      {"ctrnoack", "", true},
      {"ctrlateack=25000", "", true},
      {"ctrnoend", "\x13$PBRANS,1*01\r\n\x11", false},
  };
  for (const FaultCase& c : faults) {
    FlytecDeviceConfig config;
    ASSERT_TRUE(ApplyFlytecFault(c.fault, config, error)) << c.fault;
    FlytecDevice faulty(config);
    EXPECT_EQ(Zone(faulty, Good()), c.reply) << c.fault;
    EXPECT_EQ(Feed(faulty, "\x11$PBRCTR,*29\r\n").find("PBRANS,1") != std::string::npos, c.listEnds) << c.fault;
  }
  // A late acknowledgement comes once its time has passed.
  FlytecDeviceConfig late;
  late.ctr.lateAckMs = 25000;
  FlytecDevice device2(late);
  EXPECT_EQ(Zone(device2, Good()), "");
  std::vector<uint8_t> out;
  device2.Tick(1000, out);
  device2.Tick(25999, out);
  EXPECT_TRUE(out.empty());
  device2.Tick(26000, out);
  EXPECT_EQ(std::string(out.begin(), out.end()), "\x13" + Framed("PBRANS,1") + "\x11");
}

}  // namespace
}  // namespace tarnvik::sim::flytec
