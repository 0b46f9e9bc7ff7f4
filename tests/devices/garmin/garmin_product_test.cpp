#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "devices/garmin/garmin_product.h"
#include "tests/devices/garmin/garmin_test_support.h"
#include "tests/fakes/scripted_transport.h"

namespace tarnvik::devices::garmin {
namespace {

using sim::garmin::GarminDeviceConfig;
using sim::garmin::StandardCapabilities;
using testing::garmin::Rig;

std::vector<uint8_t> Entries(const std::vector<std::pair<char, uint16_t>>& caps) {
  std::vector<uint8_t> out;
  for (auto [tag, n] : caps) {
    out.push_back(static_cast<uint8_t>(tag));
    out.push_back(static_cast<uint8_t>(n));
    out.push_back(static_cast<uint8_t>(n >> 8));
  }
  return out;
}

TEST(GarminProductTable, EqualsThePublishedTableRowForRow) {
  std::ifstream file(std::string(TARNVIK_TEST_DATA) + "/garmin/garmin-product-table.csv");
  ASSERT_TRUE(file);
  std::string line;
  std::getline(file, line);  // column names
  size_t row = 0;
  auto table = GarminProductTable();
  while (std::getline(file, line)) {
    if (line.empty()) continue;
    ASSERT_LT(row, table.size());
    std::vector<uint16_t> values;
    std::stringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, ',')) values.push_back(static_cast<uint16_t>(std::stoi(cell)));
    ASSERT_EQ(values.size(), 20u);
    const GarminCapabilities& r = table[row];
    const uint16_t compiled[20] = {r.productId, r.softwareVersion, r.softwareVersionHigh, r.physical, r.link,
                                   r.deviceCommand, r.transmission, r.waypointTransfer, r.waypointType,
                                   r.routeTransfer, r.routeHeaderType, r.routeWaypointType, r.routeLinkType,
                                   r.trackTransfer, r.trackHeaderType, r.trackPointType, r.proximityTransfer,
                                   r.proximityType, r.almanacTransfer, r.almanacType};
    for (size_t i = 0; i < 20; ++i) EXPECT_EQ(compiled[i], values[i]) << "row " << row << " column " << i;
    ++row;
  }
  EXPECT_EQ(row, 48u);
}

TEST(GarminProductTable, FirstRowWhoseVersionRangeHoldsTheVersion) {
  struct Case {
    uint16_t id, version, waypointType;
  } cases[] = {{29, 400, 102}, {29, 399, 101}, {77, 361, 103}, {77, 355, 103}, {77, 300, 100}, {112, 0, 152}};
  for (auto c : cases) {
    const GarminCapabilities* row = FindProductTableRow(c.id, c.version);
    ASSERT_NE(row, nullptr) << c.id << " " << c.version;
    EXPECT_EQ(row->waypointType, c.waypointType) << c.id << " " << c.version;
  }
  EXPECT_EQ(FindProductTableRow(77, 355)->proximityTransfer, 0);  // the 350-360 row
  EXPECT_EQ(FindProductTableRow(8, 100), nullptr);
  EXPECT_EQ(FindProductTableRow(0, 0), nullptr);
}

TEST(GarminCapabilities, ParsesTheArrayAndSkipsWhatItDoesNotUse) {
  GarminCapabilities caps;
  auto bytes = Entries({{'P', 0},   {'L', 1},   {'A', 10},  {'A', 100}, {'D', 109}, {'D', 999}, {'A', 201},
                        {'D', 202}, {'D', 109}, {'D', 210}, {'A', 301}, {'D', 310}, {'D', 301}, {'A', 400},
                        {'D', 403}, {'A', 500}, {'D', 501}, {'A', 600}, {'D', 600}, {'D', 108}, {'A', 700},
                        {'D', 700}, {'A', 906}, {'D', 1001}, {'D', 302}, {'T', 1},  {'D', 100}});
  ASSERT_EQ(ParseCapabilities(bytes.data(), bytes.size() / 3, caps), 0);
  EXPECT_EQ(caps.link, 1);
  EXPECT_EQ(caps.deviceCommand, 10);
  EXPECT_EQ(caps.waypointTransfer, 100);
  EXPECT_EQ(caps.waypointType, 109);  // D999 skipped; D108 after A600 does not count
  EXPECT_EQ(caps.routeTransfer, 201);
  EXPECT_EQ(caps.routeHeaderType, 202);
  EXPECT_EQ(caps.routeWaypointType, 109);
  EXPECT_EQ(caps.routeLinkType, 210);
  EXPECT_EQ(caps.trackTransfer, 301);
  EXPECT_EQ(caps.trackHeaderType, 310);
  EXPECT_EQ(caps.trackPointType, 301);  // D302 after A906 does not count
  EXPECT_EQ(caps.proximityType, 403);
  EXPECT_EQ(caps.almanacType, 501);
  EXPECT_EQ(caps.transmission, 1);

  auto bad = Entries({{'L', 1}, {'X', 1}});
  EXPECT_EQ(ParseCapabilities(bad.data(), 2, caps), -1);
}

// The capability check, in its order.
TEST(GarminCapabilities, CheckRefusesWhatTheProgramCannotHandle) {
  GarminCapabilities good{};
  good.link = 1;
  good.deviceCommand = 10;
  good.waypointTransfer = 100;
  good.waypointType = 110;
  good.trackTransfer = 302;
  good.trackPointType = 304;
  EXPECT_EQ(CapabilityProblem(good), nullptr);
  struct Case {
    uint16_t GarminCapabilities::*field;
    uint16_t value;
    const char* message;
  } cases[] = {
      {&GarminCapabilities::link, 2, "E180 Unsupported link protocol"},
      {&GarminCapabilities::deviceCommand, 11, "E181 Unsupported device command protocol"},
      {&GarminCapabilities::waypointTransfer, 0, "E182 Unsupported waypoint transfer protocol"},
      {&GarminCapabilities::waypointType, 105, "E183 Unsupported waypoint data type"},
      {&GarminCapabilities::waypointType, 153, "E183 Unsupported waypoint data type"},
      {&GarminCapabilities::trackTransfer, 303, "E184 Unsupported track log transfer protocol"},
      {&GarminCapabilities::trackPointType, 305, "E185 Unsupported track log data type"},
  };
  for (const auto& c : cases) {
    GarminCapabilities caps = good;
    caps.*c.field = c.value;
    ASSERT_NE(CapabilityProblem(caps), nullptr) << c.message;
    EXPECT_STREQ(CapabilityProblem(caps), c.message);
  }
  GarminCapabilities both = good;
  both.link = 0;
  both.trackPointType = 0;
  EXPECT_STREQ(CapabilityProblem(both), "E180 Unsupported link protocol");
}

TEST(GarminProductData, ReadsProductAndArrayFromTheUnit) {
  Rig rig;
  ASSERT_EQ(ReadProductData(rig.session), 0);
  EXPECT_TRUE(rig.operation.failures.empty());
  EXPECT_EQ(rig.session.productDescription, "Tarnvik Sim GPS Software Version 3.50");
  EXPECT_EQ(rig.operation.products, std::vector<std::string>{"Tarnvik Sim GPS Software Version 3.50"});
  EXPECT_EQ(rig.operation.statuses,
            (std::vector<std::string>{"Requesting product information", "Product data read"}));
  const GarminCapabilities& caps = rig.session.capabilities;
  EXPECT_EQ(caps.productId, 292);
  EXPECT_EQ(caps.softwareVersion, 350);
  EXPECT_EQ(caps.softwareVersionHigh, 350);
  EXPECT_EQ(caps.waypointType, 108);
  EXPECT_EQ(caps.trackTransfer, 301);
  EXPECT_EQ(caps.trackPointType, 301);
  // The product data and the array were acknowledged.
  std::vector<uint8_t> acked;
  for (const auto& p : rig.device.hostPackets()) acked.push_back(p.id);
  EXPECT_EQ(acked, std::vector<uint8_t>{254});
  EXPECT_EQ(rig.device.sentPackets(), 3);  // ack, product data, array
}

TEST(GarminProductData, AcceptsDirectAnswersAndSkipsExtraProductPackets) {
  GarminDeviceConfig config;
  config.answerProductRequestDirectly = true;
  config.extraProductPackets = 2;
  Rig rig(config);
  ASSERT_EQ(ReadProductData(rig.session), 0);
  EXPECT_TRUE(rig.operation.failures.empty());
  EXPECT_EQ(rig.session.capabilities.waypointType, 108);
}

TEST(GarminProductData, UsesTheTableAfterTheTimeOutWhenTheUnitSendsNoArray) {
  struct Case {
    uint16_t product, version;
    const char* failure;  // nullptr: accepted
    uint16_t waypointType;
  } cases[] = {
      {29, 410, nullptr, 102},
      {29, 250, nullptr, 101},
      {7, 100, "E184 Unsupported track log transfer protocol", 0},
      {9999, 100, "E105 GPS product ID not supported", 0},
  };
  for (const auto& c : cases) {
    GarminDeviceConfig config;
    config.sendCapabilities = false;
    config.productId = c.product;
    config.softwareVersion = c.version;
    Rig rig(config);
    const int64_t start = rig.clock.NowMs();
    const int result = ReadProductData(rig.session);
    EXPECT_GE(rig.clock.NowMs() - start, kPacketTimeoutMs);
    if (c.failure == nullptr) {
      EXPECT_EQ(result, 0) << c.product;
      EXPECT_TRUE(rig.operation.failures.empty());
      EXPECT_EQ(rig.session.capabilities.waypointType, c.waypointType);
      EXPECT_EQ(rig.session.capabilities.productId, c.product);
    } else {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{c.failure});
      EXPECT_EQ(rig.operation.failures[0].caption, "Read GPS product data");
    }
  }
}

TEST(GarminProductData, ArrayFaultsAreReported) {
  struct Case {
    std::vector<std::pair<char, uint16_t>> caps;
    const char* failure;
  } cases[] = {
      {{{'L', 1}, {'A', 11}, {'A', 100}, {'D', 108}, {'A', 301}, {'D', 301}}, "E181 Unsupported device command protocol"},
      {{{'L', 1}, {'A', 10}, {'Q', 100}}, "E107 Bad protocol tag character"},
      {{{'L', 2}, {'A', 10}}, "E180 Unsupported link protocol"},
      {{{'L', 1}, {'A', 10}, {'A', 100}, {'D', 108}, {'A', 301}, {'D', 301}}, nullptr},
  };
  for (const auto& c : cases) {
    GarminDeviceConfig config;
    config.capabilities = c.caps;
    Rig rig(config);
    const int result = ReadProductData(rig.session);
    if (c.failure) {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(rig.FailureTexts(), std::vector<std::string>{c.failure});
    } else {
      EXPECT_EQ(result, 0);
    }
  }
}

// Scripted exchanges for the answers the simulator does not give.
TEST(GarminProductData, BadAnswersGiveTheirMessages) {
  using testing::ScriptedTransport;
  auto frame = [](uint8_t id, std::vector<uint8_t> d) { return FrameGarminPacket(id, d.data(), d.size()); };
  std::vector<uint8_t> product = {0x24, 0x01, 0x5E, 0x01, 'X', 0};
  struct Case {
    std::vector<std::vector<uint8_t>> replies;
    const char* failure;
  } cases[] = {
      {{}, "E100 Timeout while waiting for ack. packet"},
      {{frame(6, {253, 0})}, "E101 Bad ack. packet type or format"},
      {{frame(6, {254})}, "E101 Bad ack. packet type or format"},
      {{frame(255, {1, 0, 1, 0})}, "E101 Bad ack. packet type or format"},  // too short for product data
      {{frame(6, {254, 0})}, "E102 Timeout while waiting for data packet"},
      {{frame(6, {254, 0}), frame(255, {1, 0, 1, 0})}, "E103 Bad data packet type or format"},
      {{frame(6, {254, 0}), frame(255, product), frame(253, std::vector<uint8_t>(10, 'L'))},
       "E106 Bad protocol data packet"},
  };
  for (const auto& c : cases) {
    testing::FakeClock clock;
    testing::RecordingOperation operation;
    access::DebugCapture capture;
    ScriptedTransport wire(&clock);
    wire.ExpectAnyWrite(6);
    for (const auto& r : c.replies) wire.Reply(r);
    access::Link link(wire, clock, operation, capture, 0);
    GarminSession session(link);
    EXPECT_EQ(ReadProductData(session), -1) << c.failure;
    ASSERT_EQ(operation.failures.size(), 1u) << c.failure;
    EXPECT_EQ(operation.failures[0].text, c.failure);
    EXPECT_EQ(operation.failures[0].caption, "Read GPS product data");
  }
  // A port error while waiting for the array.
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  ScriptedTransport wire(&clock);
  wire.ExpectAnyWrite(6).Reply(frame(6, {254, 0})).Reply(frame(255, product));
  wire.InjectReadFault(3, testing::ScriptedFault::Fail);
  wire.ExpectAnyWrite(8).Reply(frame(253, {'L', 1, 0}));
  access::Link link(wire, clock, operation, capture, 0);
  GarminSession session(link);
  EXPECT_EQ(ReadProductData(session), -1);
  ASSERT_EQ(operation.failures.size(), 1u);
  EXPECT_EQ(operation.failures[0].text, "E104 COM port error while waiting for protocol capability packet");
}

TEST(GarminProductData, DescriptionIsCutToEightyCharactersAndToThePacket) {
  using testing::ScriptedTransport;
  std::vector<uint8_t> product = {0x24, 0x01, 0x5E, 0x01};
  product.insert(product.end(), 200, 'A');  // no NUL inside the packet
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  ScriptedTransport wire(&clock);
  wire.ExpectAnyWrite(6).Reply(FrameGarminPacket(255, product.data(), product.size()));
  access::Link link(wire, clock, operation, capture, 0);
  GarminSession session(link);
  ReadProductData(session);  // the unit then sends no array; product 292 is not in the table
  EXPECT_EQ(session.productDescription, std::string(80, 'A'));
}

}  // namespace
}  // namespace tarnvik::devices::garmin
