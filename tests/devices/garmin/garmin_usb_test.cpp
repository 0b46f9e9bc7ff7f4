// The Garmin unit on USB in memory: the packet reader over the pipes, the session start, the
// product data exchange and every USB transfer against the simulated unit on the fake clock,
// and each fault the unit can make with the one message it must give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>

#include "devices/garmin/garmin_product.h"
#include "devices/garmin/garmin_usb.h"
#include "sim/garmin/garmin_usb_unit.h"
#include "tests/devices/garmin/garmin_test_support.h"

namespace tarnvik::devices::garmin {
namespace {

using sim::garmin::GarminDeviceConfig;
using sim::garmin::GarminUsbUnit;
using sim::garmin::GarminUsbUnitConfig;
using sim::garmin::StandardCapabilities;
using sim::garmin::UsbPacketFault;
using testing::garmin::MakeWaypoint;
using testing::garmin::SampleTrack;

GarminDeviceConfig Unit(uint16_t waypointType = 108, uint16_t trackTransfer = 301, uint16_t trackPointType = 301) {
  GarminDeviceConfig config;
  config.capabilities = StandardCapabilities(waypointType, trackTransfer, trackPointType);
  return config;
}

struct UsbRig {
  explicit UsbRig(GarminDeviceConfig deviceConfig = Unit(), GarminUsbUnitConfig unitConfig = {})
      : device(std::move(deviceConfig)), unit(device, clock, unitConfig), session(unit, clock, operation, capture) {
    device.track = SampleTrack(6);
    for (int i = 0; i < 7; ++i) {
      device.waypoints.push_back(MakeWaypoint(("W" + std::to_string(i)).c_str(), i % 2 ? "HILL TOP" : "", 400000000 + i * 9999,
                                              -100000 - i, 10 * i));
    }
  }
  std::vector<std::string> FailureTexts() const {
    std::vector<std::string> out;
    for (const auto& f : operation.failures) out.push_back(f.text);
    return out;
  }
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  sim::garmin::GarminDevice device;
  GarminUsbUnit unit;
  GarminUsbSession session;
};

bool Contains(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// ---- the packet reader over a scripted pipe --------------------------------------------------

// Hands out the pieces it was given, one per read; nothing left: a time-out.
class ScriptedPipe : public access::UsbPipe {
 public:
  std::deque<std::vector<uint8_t>> interrupt;
  std::deque<std::vector<uint8_t>> bulk;
  std::vector<std::vector<uint8_t>> written;
  int ReadApiVersion(uint32_t& version) override {
    version = 0x00010017;
    return 0;
  }
  int ReadInterrupt(uint8_t* buffer, size_t size, int) override { return Take(interrupt, buffer, size); }
  int ReadBulk(uint8_t* buffer, size_t size, int) override { return Take(bulk, buffer, size); }
  int WriteBulk(const uint8_t* bytes, size_t count, int) override {
    written.emplace_back(bytes, bytes + count);
    return static_cast<int>(count);
  }
  void Close() override {}

 private:
  static int Take(std::deque<std::vector<uint8_t>>& q, uint8_t* buffer, size_t size) {
    if (q.empty()) return -access::kUsbStageTimeout;
    const size_t n = std::min(size, q.front().size());
    if (n > 0) std::memcpy(buffer, q.front().data(), n);
    q.pop_front();
    return static_cast<int>(n);
  }
};

std::vector<uint8_t> Packet(uint8_t type, uint16_t id, size_t dataSize, uint32_t sizeField) {
  std::vector<uint8_t> p(12 + dataSize, 0xAB);
  std::fill(p.begin(), p.begin() + 12, 0);
  p[0] = type;
  p[4] = static_cast<uint8_t>(id);
  p[5] = static_cast<uint8_t>(id >> 8);
  for (int i = 0; i < 4; ++i) p[8 + i] = static_cast<uint8_t>(sizeField >> (8 * i));
  return p;
}

struct PipeRig {
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  ScriptedPipe pipe;
  GarminUsbSession session{pipe, clock, operation, capture};
};

TEST(GarminUsbPacketReader, InterruptPiecesOf64BytesContinueAndAShorterOneEnds) {
  struct Case {
    std::vector<size_t> pieces;  // sizes of the interrupt pieces of one packet
    size_t length;
  } cases[] = {{{63}, 63}, {{64, 0}, 64}, {{64, 64, 10}, 138}, {{64, 63}, 127}};
  for (const auto& c : cases) {
    PipeRig rig;
    size_t total = 0;
    for (size_t n : c.pieces) total += n;
    std::vector<uint8_t> whole = Packet(20, 34, total - 12, static_cast<uint32_t>(total - 12));
    size_t at = 0;
    for (size_t n : c.pieces) {
      rig.pipe.interrupt.emplace_back(whole.begin() + static_cast<long>(at), whole.begin() + static_cast<long>(at + n));
      at += n;
    }
    rig.pipe.interrupt.push_back(Packet(20, 99, 0, 0));  // the next packet, never read here
    ASSERT_EQ(ReadUsbPacket(rig.session), 0) << c.length;
    EXPECT_EQ(rig.session.packetLength, c.length);
    EXPECT_EQ(rig.session.PacketId(), 34);
    EXPECT_EQ(rig.pipe.interrupt.size(), 1u) << "read past the end of the packet of " << c.length;
  }
}

TEST(GarminUsbPacketReader, ResultCodesOfTheReader) {
  const auto available = Packet(0, 2, 0, 0);
  struct Case {
    const char* name;
    std::vector<std::vector<uint8_t>> interrupt, bulk;
    bool bulkFlag;
    int result;
  } cases[] = {
      {"interrupt silent", {}, {}, false, -1},
      {"interrupt packet under 12 bytes", {{0, 0, 0, 0, 2, 0, 0, 0}}, {}, false, -1},
      {"protocol packet not data available", {Packet(0, 6, 4, 4)}, {}, false, -2},
      {"data available with a size", {Packet(0, 2, 0, 4)}, {}, false, -2},
      {"bulk silent after data available", {available}, {}, false, -3},
      {"bulk packet of type 21", {available}, {Packet(21, 255, 5, 5)}, false, -4},
      {"bulk packet under 12 bytes", {available}, {{20, 0, 0, 0, 0xFF}}, false, -5},
      {"interrupt packet of type 21", {Packet(21, 255, 5, 5)}, {}, false, -6},
      {"bulk silent", {}, {}, true, -7},
      {"bulk type 0", {}, {Packet(0, 2, 0, 0)}, true, -8},
      {"bulk under 12 bytes", {}, {{20, 0, 0}}, true, -9},
      {"interrupt application packet", {Packet(20, 255, 5, 5)}, {}, false, 0},
      {"bulk after data available", {available}, {Packet(20, 255, 5, 5)}, false, 0},
  };
  for (const auto& c : cases) {
    PipeRig rig;
    rig.pipe.interrupt.assign(c.interrupt.begin(), c.interrupt.end());
    rig.pipe.bulk.assign(c.bulk.begin(), c.bulk.end());
    rig.session.bulkFlag = c.bulkFlag;
    EXPECT_EQ(ReadUsbPacket(rig.session), c.result) << c.name;
  }
}

TEST(GarminUsbPacketReader, DataSizeIsWhatCameAndTheAreaCutsAt267Bytes) {
  struct Case {
    size_t dataBytes;
    uint32_t sizeField;
    size_t length, dataSize;
  } cases[] = {
      {20, 20, 32, 20},     // as announced
      {20, 220, 32, 20},    // the header claims more than came
      {20, 4, 32, 4},       // the header claims less: the header's size
      {300, 300, 267, 255}, // more than 255 data bytes: cut
  };
  for (const auto& c : cases) {
    PipeRig rig;
    rig.session.bulkFlag = true;
    rig.pipe.bulk.push_back(Packet(20, 34, c.dataBytes, c.sizeField));
    ASSERT_EQ(ReadUsbPacket(rig.session), 0);
    EXPECT_EQ(rig.session.packetLength, c.length);
    EXPECT_EQ(rig.session.DataSize(), c.dataSize);
  }
}

TEST(GarminUsbPacketReader, EmptyBulkReadsAreRetriedFiftyTimesThenFail) {
  for (int empty : {50, 51}) {
    PipeRig rig;
    const int64_t start = rig.clock.NowMs();
    rig.session.bulkFlag = true;
    for (int i = 0; i < empty; ++i) rig.pipe.bulk.emplace_back();
    rig.pipe.bulk.push_back(Packet(20, 34, 4, 4));
    const int r = ReadUsbPacket(rig.session);
    if (empty == 50) {
      EXPECT_EQ(r, 0);
    } else {
      EXPECT_EQ(r, -7);
      EXPECT_NE(rig.capture.Contents().find("Bulk IN error 5\r\n"), std::string::npos);
    }
    EXPECT_EQ(rig.clock.NowMs() - start, 50 * kUsbEmptyBulkWaitMs);
  }
}

// The answers the simulated unit never gives wrongly, scripted packet by packet after the
// session start: each wrong one and its message.
TEST(GarminUsbPacketReader, WrongPacketsOfEachStep) {
  const auto word = [](uint16_t id, uint16_t value) {
    std::vector<uint8_t> p = Packet(20, id, 2, 2);
    p[12] = static_cast<uint8_t>(value);
    p[13] = static_cast<uint8_t>(value >> 8);
    return p;
  };
  struct Case {
    const char* name;
    bool track;
    std::vector<std::vector<uint8_t>> bulk;
    const char* text;
  } cases[] = {
      {"track records packet of 1 byte", true, {Packet(20, 27, 1, 1)}, "E213 Bad record count packet"},
      {"track records packet with another id", true, {word(12, 1)}, "E213 Bad record count packet"},
      {"track complete of 1 byte", true, {word(27, 0), Packet(20, 12, 1, 1)},
       "E236 Bad transfer complete packet type or format"},
      {"track complete with another id", true, {word(27, 0), word(27, 0)},
       "E236 Bad transfer complete packet type or format"},
      {"track point of 20 bytes", true, {word(27, 1), Packet(20, 34, 20, 20)}, "E224 Packet type/length mismatch"},
      {"track point cut by its header size", true, {word(27, 1), Packet(20, 34, 21, 13)},
       "E224 Packet type/length mismatch"},
      {"track record of another id", true, {word(27, 1), Packet(20, 35, 21, 21)}, "E226 Bad data packet"},
      {"waypoint records packet with another id", false, {word(12, 1)}, "E313 Bad record count packet"},
      {"waypoint of 47 bytes", false, {word(27, 1), Packet(20, 35, 47, 47)}, "E324 Bad waypoint data packet"},
      {"waypoint complete with another id", false, {word(27, 0), word(35, 7)},
       "E335 Bad transfer complete packet type or format"},
  };
  for (const auto& c : cases) {
    PipeRig rig;
    rig.session.capabilities.trackTransfer = 301;
    rig.session.capabilities.trackPointType = 301;
    rig.session.capabilities.waypointType = 108;
    std::vector<uint8_t> started = Packet(0, 6, 4, 4);
    rig.pipe.interrupt = {started, Packet(0, 2, 0, 0)};
    rig.pipe.bulk.assign(c.bulk.begin(), c.bulk.end());
    std::vector<core::TrackPoint> points;
    std::vector<core::Waypoint> waypoints;
    const int r = c.track ? DownloadGarminUsbTrack(rig.session, points) : DownloadGarminUsbWaypoints(rig.session, waypoints);
    EXPECT_EQ(r, -1) << c.name;
    ASSERT_EQ(rig.operation.failures.size(), 1u) << c.name;
    EXPECT_EQ(rig.operation.failures[0].caption, c.track ? "Read track log" : "Read waypoints") << c.name;
    EXPECT_EQ(rig.operation.failures[0].text, c.text) << c.name;
  }
}

TEST(GarminUsbProductData, WrongProductAndArrayPackets) {
  std::vector<uint8_t> product = Packet(20, 255, 6, 6);
  std::memcpy(product.data() + 12, "\x24\x01\x5e\x01" "A", 6);
  struct Case {
    std::vector<std::vector<uint8_t>> bulk;
    const char* text;
  } cases[] = {
      {{Packet(20, 255, 4, 4)}, "E114 Bad product data packet"},
      {{Packet(20, 248, 6, 6)}, "E114 Bad product data packet"},
      {{Packet(20, 255, 6, 4)}, "E114 Bad product data packet"},  // the header's size counts
      {{product, Packet(20, 12, 2, 2)}, "E124 Bad protocol array data packet"},
      {{product, Packet(20, 253, 4, 4)}, "E125 Bad protocol data packet"},
  };
  for (const auto& c : cases) {
    PipeRig rig;
    rig.pipe.interrupt = {Packet(0, 6, 4, 4), Packet(0, 2, 0, 0)};
    rig.pipe.bulk.assign(c.bulk.begin(), c.bulk.end());
    EXPECT_EQ(ReadUsbProductData(rig.session), -1);
    ASSERT_EQ(rig.operation.failures.size(), 1u) << c.text;
    EXPECT_EQ(rig.operation.failures[0].text, c.text);
  }
}

// ---- the product data exchange ------------------------------------------------------------

TEST(GarminUsbProductData, OverBulkAndOverInterrupt) {
  for (bool interrupt : {false, true}) {
    GarminUsbUnitConfig config;
    config.interruptDelivery = interrupt;
    UsbRig rig(Unit(109, 302, 301), config);
    ASSERT_EQ(ReadUsbProductData(rig.session), 0) << ::testing::PrintToString(rig.FailureTexts());
    EXPECT_EQ(rig.session.productDescription, "Tarnvik Sim GPS Software Version 3.50");
    EXPECT_EQ(rig.session.unitId, config.unitId);
    EXPECT_EQ(rig.session.apiVersion, config.apiVersion);
    EXPECT_EQ(rig.session.capabilities.waypointType, 109);
    EXPECT_EQ(rig.session.capabilities.trackTransfer, 302);
    EXPECT_EQ(rig.session.capabilities.productId, 0x0124);
    EXPECT_EQ(rig.session.bulkFlag, !interrupt);
    EXPECT_EQ(rig.operation.products, std::vector<std::string>{"Tarnvik Sim GPS Software Version 3.50"});
    EXPECT_TRUE(Contains(rig.operation.statuses, "Product data read"));
  }
}

TEST(GarminUsbProductData, ExtendedProductDataIsSkipped) {
  PipeRig rig;
  std::vector<uint8_t> started = Packet(0, 6, 4, 4);
  rig.pipe.interrupt = {started, Packet(0, 2, 0, 0)};
  std::vector<uint8_t> product = Packet(20, 255, 6, 6);
  std::memcpy(product.data() + 12, "\x24\x01\x5e\x01" "A", 6);
  std::vector<uint8_t> array = Packet(20, 253, 0, 0);
  for (const auto& [tag, number] : StandardCapabilities()) {
    array.push_back(static_cast<uint8_t>(tag));
    array.push_back(static_cast<uint8_t>(number));
    array.push_back(static_cast<uint8_t>(number >> 8));
  }
  const uint32_t n = static_cast<uint32_t>(array.size() - 12);
  for (int i = 0; i < 4; ++i) array[8 + i] = static_cast<uint8_t>(n >> (8 * i));
  rig.pipe.bulk = {product, Packet(20, 248, 3, 3), array};
  ASSERT_EQ(ReadUsbProductData(rig.session), 0) << rig.operation.failures.at(0).text;
  EXPECT_EQ(rig.session.productDescription, "A");
  EXPECT_EQ(rig.session.capabilities.productId, 0x0124);
  EXPECT_EQ(rig.session.capabilities.softwareVersion, 350);
  EXPECT_EQ(rig.session.capabilities.trackPointType, 301);
}

// The product exchange as the capture shows it: API version, each pipe's label and dump, the
// unit ID, and the stage of a pipe operation that failed.
TEST(GarminUsbProductData, CaptureOfTheExchange) {
  PipeRig rig;
  std::vector<uint8_t> started = Packet(0, 6, 4, 4);
  started[12] = 0x78;
  started[13] = 0x56;
  started[14] = 0x34;
  started[15] = 0x12;
  rig.pipe.interrupt = {started, Packet(0, 2, 0, 0)};
  std::vector<uint8_t> product = Packet(20, 255, 6, 6);
  std::memcpy(product.data() + 12, "\x24\x01\x5e\x01" "A", 6);
  rig.pipe.bulk = {{}, product};  // an empty read first; the array never comes
  EXPECT_EQ(ReadUsbProductData(rig.session), -1);
  EXPECT_EQ(rig.capture.Contents(),
            "API version = 00010017\r\n"
            "Bulk OUT pipe:\r\n 00 00 00 00 05 00 00 00 00 00 00 00\r\n"
            "Interrupt IN pipe:\r\n 00 00 00 00 06 00 00 00 04 00 00 00 78 56 34 12\r\n"
            "Unit ID = 12345678\r\n"
            "Requesting product information\r\n"
            "Bulk OUT pipe:\r\n 14 00 00 00 FE 00 00 00 00 00 00 00\r\n"
            "Interrupt IN pipe:\r\n 00 00 00 00 02 00 00 00 00 00 00 00\r\n"
            "Bulk IN pipe:\r\n 14 00 00 00 FF 00 00 00 06 00 00 00 24 01 5E 01\r\n 41 00\r\n"
            "Bulk IN error 3\r\n");
  EXPECT_EQ(rig.operation.failures.at(0).text, "E121 Packet read error");
}

// ---- transfers: the same records as over the serial link ------------------------------------

TEST(GarminUsbTransfers, DownloadsEqualTheSerialDownloadsOfTheSameUnit) {
  for (bool interrupt : {false, true}) {
    for (const auto& caps : {Unit(108, 301, 301), Unit(109, 300, 300), Unit(110, 302, 304)}) {
      GarminUsbUnitConfig config;
      config.interruptDelivery = interrupt;
      UsbRig usb(caps, config);
      testing::garmin::Rig serial(caps);
      serial.device.track = usb.device.track;
      serial.device.waypoints = usb.device.waypoints;
      ASSERT_EQ(ReadProductData(serial.session), 0);
      ASSERT_EQ(ReadUsbProductData(usb.session), 0);
      std::vector<core::TrackPoint> serialPoints, usbPoints;
      ASSERT_EQ(DownloadGarminTrack(serial.session, serialPoints), 0);
      ASSERT_EQ(DownloadGarminUsbTrack(usb.session, usbPoints), 0) << ::testing::PrintToString(usb.FailureTexts());
      ASSERT_EQ(usbPoints.size(), 6u);
      EXPECT_EQ(0, std::memcmp(usbPoints.data(), serialPoints.data(), 6 * sizeof(core::TrackPoint)));
      EXPECT_TRUE(Contains(usb.operation.statuses, "Receiving track positions"));
      EXPECT_EQ(usb.operation.statuses.back(), "6 track positions read");
      std::vector<core::Waypoint> serialWaypoints, usbWaypoints;
      ASSERT_EQ(DownloadGarminWaypoints(serial.session, serialWaypoints), 0);
      ASSERT_EQ(DownloadGarminUsbWaypoints(usb.session, usbWaypoints), 0) << ::testing::PrintToString(usb.FailureTexts());
      ASSERT_EQ(usbWaypoints.size(), 7u);
      EXPECT_EQ(0, std::memcmp(usbWaypoints.data(), serialWaypoints.data(), 7 * sizeof(core::Waypoint)));
      EXPECT_TRUE(Contains(usb.operation.statuses, "Receiving waypoints"));
      EXPECT_EQ(usb.operation.statuses.back(), "7 waypoints read");
      EXPECT_EQ(usb.unit.sessionsStarted(), 3);  // product data, track, waypoints
      EXPECT_TRUE(usb.device.protocolErrors().empty()) << usb.device.protocolErrors().front();
      EXPECT_TRUE(usb.unit.protocolErrors().empty());
    }
  }
}

TEST(GarminUsbTransfers, UploadsReachTheUnitAsOverTheSerialLink) {
  const std::vector<core::Waypoint> waypoints = {MakeWaypoint("a_b", "", 100, 200, 5),
                                                 MakeWaypoint("TOP", "hello, world", -300, 400, 1200)};
  for (const auto& caps : {Unit(108, 301, 301), Unit(103, 300, 300), Unit(110, 302, 302)}) {
    UsbRig usb(caps);
    testing::garmin::Rig serial(caps);
    ASSERT_EQ(ReadProductData(serial.session), 0);
    ASSERT_EQ(ReadUsbProductData(usb.session), 0);
    ASSERT_EQ(UploadGarminWaypoints(serial.session, waypoints), 0);
    ASSERT_EQ(UploadGarminUsbWaypoints(usb.session, waypoints), 0);
    ASSERT_EQ(UploadGarminTrack(serial.session, waypoints), 0);
    ASSERT_EQ(UploadGarminUsbTrack(usb.session, waypoints), 0);
    EXPECT_EQ(usb.operation.statuses.back(), "Transfer completed");
    const auto& got = usb.device.uploads();
    const auto& want = serial.device.uploads();
    ASSERT_EQ(got.waypoints.size(), 2u);
    EXPECT_EQ(0, std::memcmp(got.waypoints.data(), want.waypoints.data(), 2 * sizeof(core::Waypoint)));
    EXPECT_EQ(got.trackHeaders, want.trackHeaders);  // A302 units get the header too
    EXPECT_EQ(got.announcedCounts, want.announcedCounts);
    EXPECT_EQ(got.completedTransfers, 2);
    EXPECT_EQ(got.trackPoints.size(), 2u);
    EXPECT_TRUE(usb.device.protocolErrors().empty()) << usb.device.protocolErrors().front();
  }
}

// Packets longer than the area, or whose header promises more than came: the points are those
// the bytes held carry, as without the fault.
TEST(GarminUsbTransfers, OverlongPacketsAndOverstatedSizesKeepThePoints) {
  UsbRig clean;
  ASSERT_EQ(ReadUsbProductData(clean.session), 0);
  std::vector<core::TrackPoint> want;
  ASSERT_EQ(DownloadGarminUsbTrack(clean.session, want), 0);
  for (UsbPacketFault fault : {UsbPacketFault::OverlongData, UsbPacketFault::SizeBeyondBytes}) {
    for (int at : {3, 4, 5, 9}) {  // points, and the transfer complete packet
      GarminUsbUnitConfig config;
      config.packetFault = fault;
      config.packetFaultAt = at;
      UsbRig rig(Unit(), config);
      ASSERT_EQ(ReadUsbProductData(rig.session), 0);
      std::vector<core::TrackPoint> points;
      ASSERT_EQ(DownloadGarminUsbTrack(rig.session, points), 0) << ::testing::PrintToString(rig.FailureTexts());
      ASSERT_EQ(points.size(), want.size());
      EXPECT_EQ(0, std::memcmp(points.data(), want.data(), want.size() * sizeof(core::TrackPoint))) << at;
      if (fault == UsbPacketFault::OverlongData && at < 9) {
        EXPECT_NE(rig.capture.Contents().find(" EE EE EE"), std::string::npos);  // what came is dumped
      }
    }
  }
}

TEST(GarminUsbTransfers, AWriteOfWholeBulkPacketsEndsWithAZeroLengthPacket) {
  UsbRig rig(Unit(108));
  ASSERT_EQ(ReadUsbProductData(rig.session), 0);
  ASSERT_EQ(UploadGarminUsbWaypoints(rig.session, {MakeWaypoint("AB", "", 1, 2, 3)}), 0);
  const auto writes = rig.unit.bulkWrites();
  const auto at = std::find_if(writes.begin(), writes.end(), [](const auto& w) { return w.size() == 64; });
  ASSERT_NE(at, writes.end()) << "the D108 waypoint AB with no comment is a 64-byte transfer";
  EXPECT_EQ((*at)[4], kPidWaypoint);
  ASSERT_NE(at + 1, writes.end());
  EXPECT_TRUE((at + 1)->empty());
}

TEST(GarminUsbTransfers, CtrUploadNumbersZonesAndNamesTheFirstEmptyOne) {
  UsbRig rig;
  ASSERT_EQ(ReadUsbProductData(rig.session), 0);
  const std::vector<std::vector<core::Waypoint>> zones = {
      {MakeWaypoint("Z1", "", 1, 1, 0), MakeWaypoint("Z1", "", 2, 2, 0)}, {}, {MakeWaypoint("Z3", "", 3, 3, 0)}};
  EXPECT_EQ(UploadGarminUsbCtrs(rig.session, zones), 0);
  EXPECT_EQ(rig.device.uploads().trackHeaders, (std::vector<std::string>{"Z1", "Z3"}));
  ASSERT_EQ(rig.operation.failures.size(), 1u);
  EXPECT_EQ(rig.operation.failures[0].caption, "Upload CTR");
  EXPECT_EQ(rig.operation.failures[0].text, "No points for CTR 2 sent");
}

TEST(GarminUsbTransfers, AbortDuringADownloadStartsTheSessionAgain) {
  UsbRig rig;
  ASSERT_EQ(ReadUsbProductData(rig.session), 0);
  rig.operation.cancelAfterStatuses = static_cast<int>(rig.operation.statuses.size()) + 1;  // "Receiving track positions"
  std::vector<core::TrackPoint> points;
  const int sessions = rig.unit.sessionsStarted();
  EXPECT_EQ(DownloadGarminUsbTrack(rig.session, points), -1);
  EXPECT_TRUE(rig.operation.failures.empty());
  EXPECT_EQ(rig.operation.statuses.back(), "Transfer aborted");
  EXPECT_EQ(rig.unit.sessionsStarted(), sessions + 2);  // the transfer's, then the abort's
  const auto writes = rig.unit.bulkWrites();
  ASSERT_FALSE(writes.empty());
  EXPECT_EQ(writes.back(), (std::vector<uint8_t>{0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0}));
}

// ---- every fault and its message --------------------------------------------------------------

enum class Step { Product, Track, Waypoints, UploadWaypoints, UploadTrack };

int RunStep(UsbRig& rig, Step step, const std::vector<core::Waypoint>& records) {
  if (step == Step::Product) return ReadUsbProductData(rig.session);
  // The product exchange must pass untouched: the faults below are placed after it.
  if (ReadUsbProductData(rig.session) != 0) return 99;
  std::vector<core::TrackPoint> points;
  std::vector<core::Waypoint> waypoints;
  switch (step) {
    case Step::Track:
      return DownloadGarminUsbTrack(rig.session, points);
    case Step::Waypoints:
      return DownloadGarminUsbWaypoints(rig.session, waypoints);
    case Step::UploadWaypoints:
      return UploadGarminUsbWaypoints(rig.session, records);
    default:
      return UploadGarminUsbTrack(rig.session, records);
  }
}

// Operations of the product exchange over the bulk pipe with one empty read between packets:
// API, start session write and read, request write, "data available", (empty, product),
// (empty, array).
constexpr int kProductOps = 9;
// Application packets the unit sends in the product exchange.
constexpr int kProductPackets = 2;

TEST(GarminUsbFaults, EachFaultGivesItsOneMessage) {
  struct Case {
    const char* name;
    Step step;
    uint16_t trackTransfer;
    std::function<void(GarminUsbUnitConfig&)> fault;
    const char* caption;
    const char* text;
  };
  const auto failOp = [](int k) { return [k](GarminUsbUnitConfig& c) { c.failOperation = k; }; };
  const auto starveOp = [](int k) { return [k](GarminUsbUnitConfig& c) { c.starveOperation = k; }; };
  const auto corruptOp = [](int k) { return [k](GarminUsbUnitConfig& c) { c.corruptOperation = k; }; };
  const auto packet = [](UsbPacketFault f, int at) {
    return [f, at](GarminUsbUnitConfig& c) {
      c.packetFault = f;
      c.packetFaultAt = at;
    };
  };
  const int p = kProductOps;
  const int q = kProductPackets;
  const std::vector<Case> cases = {
      {"api", Step::Product, 301, failOp(1), "Read GPS product data", "E100 Error reading API version"},
      {"session write", Step::Product, 301, failOp(2), "Read GPS product data", "E101 Bulk OUT error"},
      {"short session write", Step::Product, 301, [](auto& c) { c.shortBulkWrite = true; }, "Read GPS product data",
       "E101 Bulk OUT error"},
      {"session read", Step::Product, 301, starveOp(3), "Read GPS product data", "E102 Interrupt IN error"},
      {"session answer", Step::Product, 301, [](auto& c) { c.wrongSessionAnswer = true; }, "Read GPS product data",
       "E103 Interrupt IN data error"},
      {"request write", Step::Product, 301, failOp(4), "Read GPS product data", "E104 Bulk OUT error"},
      {"product: interrupt", Step::Product, 301, failOp(5), "Read GPS product data", "E105 Packet read error"},
      {"product: short interrupt", Step::Product, 301, packet(UsbPacketFault::ShortInterrupt, 1), "Read GPS product data",
       "E105 Packet read error"},
      {"product: not data available", Step::Product, 301, corruptOp(5), "Read GPS product data", "E110 Packet read error"},
      {"product: first bulk", Step::Product, 301, [](auto& c) { c.endlessEmptyBulk = true; }, "Read GPS product data",
       "E107 Packet read error"},
      {"product: first bulk type", Step::Product, 301, packet(UsbPacketFault::WrongType, 1), "Read GPS product data",
       "E108 Packet read error"},
      {"array: bulk", Step::Product, 301, failOp(8), "Read GPS product data", "E121 Packet read error"},
      {"array: type", Step::Product, 301, packet(UsbPacketFault::WrongType, 2), "Read GPS product data",
       "E122 Packet read error"},
      {"array of 10 bytes", Step::Product, 301, [](auto& c) { c.capabilityData = std::vector<uint8_t>(10, 'A'); },
       "Read GPS product data", "E125 Bad protocol data packet"},
      {"array with a bad tag", Step::Product, 301,
       [](auto& c) { c.capabilityData = std::vector<uint8_t>{'L', 1, 0, 'X', 0, 0}; }, "Read GPS product data",
       "E126 Bad protocol tag character"},
      {"array without link 1", Step::Product, 301,
       [](auto& c) { c.capabilityData = std::vector<uint8_t>{'L', 2, 0}; }, "Read GPS product data",
       "E180 Unsupported link protocol"},
      {"array without track points", Step::Product, 301,
       [](auto& c) {
         c.capabilityData = std::vector<uint8_t>{'L', 1, 0, 'A', 10, 0, 'A', 100, 0, 'D', 108, 0, 'A', 0x2D, 1};
       },
       "Read GPS product data", "E185 Unsupported track log data type"},
      {"track: session write", Step::Track, 301, failOp(p + 1), "Read track log", "E200 Bulk OUT error"},
      {"track: session read", Step::Track, 301, failOp(p + 2), "Read track log", "E201 Interrupt IN error"},
      {"track: session answer", Step::Track, 301, corruptOp(p + 2), "Read track log", "E202 Interrupt IN data error"},
      {"track: the unit falls silent", Step::Track, 301, [](auto& c) { c.silentAfterOperations = kProductOps; },
       "Read track log", "E200 Bulk OUT error"},
      {"track: command", Step::Track, 301, failOp(p + 3), "Read track log", "E203 Bulk OUT error"},
      {"track: records read", Step::Track, 301, failOp(p + 4), "Read track log", "E204 Packet read error"},
      {"track: records packet", Step::Track, 301, packet(UsbPacketFault::WrongType, q + 1), "Read track log",
       "E207 Packet read error"},
      {"track: point read", Step::Track, 301, failOp(p + 8), "Read track log", "E221 Packet read error"},
      {"track: point type", Step::Track, 301, packet(UsbPacketFault::WrongType, q + 3), "Read track log",
       "E222 Packet read error"},
      {"track: a point missing", Step::Track, 301, packet(UsbPacketFault::ShortInterrupt, q + 3), "Read track log",
       "E226 Bad data packet"},
      {"track: header on A300", Step::Track, 300, nullptr, "Read track log", "E225 Packet type/protocol mismatch"},
      {"track: D300 points to a D301 host", Step::Track, 300, nullptr, "Read track log", "E224 Packet type/length mismatch"},
      {"track: complete read", Step::Track, 301, failOp(p + 21), "Read track log", "E233 Packet read error"},
      {"track: complete packet", Step::Track, 301, packet(UsbPacketFault::WrongType, q + 9), "Read track log",
       "E234 Packet read error"},
      {"waypoints: session write", Step::Waypoints, 301, failOp(p + 1), "Read waypoints", "E300 Bulk OUT error"},
      {"waypoints: session read", Step::Waypoints, 301, failOp(p + 2), "Read waypoints", "E301 Interrupt IN error"},
      {"waypoints: session answer", Step::Waypoints, 301, corruptOp(p + 2), "Read waypoints",
       "E302 Interrupt IN data error"},
      {"waypoints: records packet", Step::Waypoints, 301, packet(UsbPacketFault::ShortInterrupt, q + 1), "Read waypoints",
       "E304 Packet read error"},
      {"waypoints: command", Step::Waypoints, 301, failOp(p + 3), "Read waypoints", "E303 Bulk OUT error"},
      {"waypoints: records read", Step::Waypoints, 301, failOp(p + 4), "Read waypoints", "E304 Packet read error"},
      {"waypoints: data read", Step::Waypoints, 301, failOp(p + 8), "Read waypoints", "E321 Packet read error"},
      {"waypoints: complete read", Step::Waypoints, 301, failOp(p + 21), "Read waypoints", "E332 Packet read error"},
      {"waypoints: wrong packet", Step::Waypoints, 301, packet(UsbPacketFault::ShortInterrupt, q + 2), "Read waypoints",
       "E324 Bad waypoint data packet"},
      {"waypoints: no complete", Step::Waypoints, 301, packet(UsbPacketFault::WrongType, q + 9), "Read waypoints",
       "E333 Packet read error"},
      {"upload waypoints: session write", Step::UploadWaypoints, 301, failOp(p + 1), "Upload waypoints",
       "E400 Bulk OUT error"},
      {"upload waypoints: session read", Step::UploadWaypoints, 301, starveOp(p + 2), "Upload waypoints",
       "E401 Interrupt IN error"},
      {"upload waypoints: session answer", Step::UploadWaypoints, 301, corruptOp(p + 2), "Upload waypoints",
       "E402 Interrupt IN data error"},
      {"upload waypoints: records", Step::UploadWaypoints, 301, failOp(p + 3), "Upload waypoints", "E403 Bulk OUT error"},
      {"upload waypoints: waypoint", Step::UploadWaypoints, 301, failOp(p + 4), "Upload waypoints", "E404 Bulk OUT error"},
      {"upload waypoints: complete", Step::UploadWaypoints, 301, failOp(p + 6), "Upload waypoints",
       "E405 Bulk OUT error"},
      {"upload track: session write", Step::UploadTrack, 301, failOp(p + 1), "Upload track log", "E500 Bulk OUT error"},
      {"upload track: session read", Step::UploadTrack, 301, failOp(p + 2), "Upload track log",
       "E501 Interrupt IN error"},
      {"upload track: session answer", Step::UploadTrack, 301, corruptOp(p + 2), "Upload track log",
       "E502 Interrupt IN data error"},
      {"upload track: records", Step::UploadTrack, 301, failOp(p + 3), "Upload track log", "E503 Bulk OUT error"},
      {"upload track: header", Step::UploadTrack, 301, failOp(p + 4), "Upload track log", "E504 Bulk OUT error"},
      {"upload track: A300 point", Step::UploadTrack, 300, failOp(p + 4), "Upload track log", "E505 Bulk OUT error"},
      {"upload track: A301 point", Step::UploadTrack, 301, failOp(p + 5), "Upload track log", "E506 Bulk OUT error"},
      {"upload track: A302 point", Step::UploadTrack, 302, failOp(p + 5), "Upload track log", "E507 Bulk OUT error"},
      {"upload track: complete", Step::UploadTrack, 301, failOp(p + 7), "Upload track log", "E508 Bulk OUT error"},
  };
  const std::vector<core::Waypoint> records = {MakeWaypoint("ONE", "", 1, 1, 0), MakeWaypoint("TWO", "", 2, 2, 0)};
  for (const auto& c : cases) {
    GarminUsbUnitConfig config;
    if (c.fault) c.fault(config);
    GarminDeviceConfig device = Unit(108, c.trackTransfer, c.trackTransfer == 300 ? 300 : 301);
    const std::string name = c.name;
    // An A300 unit that sends track headers all the same; one that sends D300 points to a host
    // told of D301.
    if (name == "track: header on A300") device.trackTransfer = 301;
    if (name == "track: D300 points to a D301 host") {
      device.trackTransfer = 300;
      device.capabilities = StandardCapabilities(108, 301, 301);
      device.trackPointType = 300;
    }
    UsbRig rig(device, config);
    const int result = RunStep(rig, c.step, records);
    EXPECT_EQ(result, -1) << c.name;
    ASSERT_EQ(rig.operation.failures.size(), 1u) << c.name << ": " << ::testing::PrintToString(rig.FailureTexts());
    EXPECT_EQ(rig.operation.failures[0].caption, c.caption) << c.name;
    EXPECT_EQ(rig.operation.failures[0].text, c.text) << c.name;
  }
}

}  // namespace
}  // namespace tarnvik::devices::garmin
