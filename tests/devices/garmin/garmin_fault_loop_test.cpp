// For every k: fail, corrupt or silence the k-th read that delivers bytes, and run a whole
// worker routine (product data exchange and transfer) against the simulated receiver. Every
// fault that hits a packet the transfer needs makes it fail, with exactly one message of its
// transfer; the abort-transfer command follows every failure of a transfer except E405 and
// E507 (and none of the product data exchange); a failed download hands over no records.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "devices/garmin/garmin_transfers.h"
#include "tests/devices/garmin/garmin_test_support.h"

namespace tarnvik::devices::garmin {
namespace {

using sim::ReadFault;
using testing::garmin::MakeWaypoint;
using testing::garmin::SampleTrack;

struct Operation {
  const char* name;
  int accessType;
  std::function<int(access::AccessJob&)> routine;
  const char* caption;
  std::set<std::string> timeouts;    // every time-out message of the transfer
  std::set<std::string> portErrors;  // every port error message
};

std::vector<core::Waypoint> Records(int n) {
  std::vector<core::Waypoint> out;
  for (int i = 0; i < n; ++i) out.push_back(MakeWaypoint("PT", "", 1000 * i, -1000 * i, 10 * i));
  return out;
}

struct Outcome {
  int result = 0;
  std::vector<testing::ShownMessage> failures;
  std::vector<uint16_t> commands;
  size_t points = 0;
  size_t waypoints = 0;
  int64_t elapsedMs = 0;
  int devicePackets = 0;
};

Outcome RunRoutine(const Operation& op, int k, ReadFault fault) {
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  sim::garmin::GarminDevice device;
  device.track = SampleTrack(7);
  for (int i = 0; i < 6; ++i) device.waypoints.push_back(MakeWaypoint("W", "C", i, i, i));
  testing::garmin::PacketPacer pacer(device);
  sim::PumpedLink wire(pacer, clock);
  if (fault != ReadFault::None) wire.InjectReadFault(k, fault);
  access::AccessJob job(op.accessType, access::kProtocolGarminSerial, wire, clock, operation, capture);
  if (op.accessType == access::kAccessUploadWaypoints || op.accessType == access::kAccessUploadTrackLog) {
    job.data.waypoints = Records(6);
    job.count = 6;
  }
  const int64_t start = clock.NowMs();
  Outcome out;
  out.result = op.routine(job);
  out.elapsedMs = clock.NowMs() - start;
  out.failures = operation.failures;
  out.commands = device.commands();
  out.points = job.data.points.size();
  out.waypoints = job.data.waypoints.size();
  out.devicePackets = device.sentPackets();
  return out;
}

const std::set<std::string> kProductTimeouts = {"E100 Timeout while waiting for ack. packet",
                                                "E102 Timeout while waiting for data packet"};
const std::set<std::string> kProductPortErrors = {
    "E100 COM port error while waiting for ack. packet", "E102 COM port error while waiting for data packet",
    "E104 COM port error while waiting for protocol capability packet"};

std::vector<Operation> Operations() {
  return {
      {"track log download", access::kAccessDownloadTrackLog, GarminDownloadTrack, "Read GPS track log",
       {"E200 Timeout while waiting for data packet", "E202 Timeout while waiting for record count packet",
        "E205 Timeout while waiting for log data packet", "E211 Timeout while waiting for transfer complete packet"},
       {"E200 COM port error while waiting for data packet", "E202 COM port error while waiting for count packet",
        "E205 COM port error while waiting for log data packet",
        "E211 COM port error while waiting for transfer complete packet"}},
      {"waypoint download", access::kAccessDownloadWaypoints, GarminDownloadWaypoints, "Read GPS waypoints",
       {"E300 Timeout while waiting for ack. packet", "E302 Timeout while waiting for record count packet",
        "E305 Timeout while waiting for wpt. data packet", "E308 Timeout while waiting for transfer complete packet"},
       {"E300 COM port error while waiting for ack. packet", "E302 COM port error while waiting for count packet",
        "E305 COM port error while waiting for wpt. data packet",
        "E308 COM port error while waiting for transfer complete packet"}},
      {"waypoint upload", access::kAccessUploadWaypoints, GarminUploadWaypoints, "Upload waypoints",
       {"E400 Timeout while waiting for ack. packet", "E402 Timeout while waiting for ack. packet",
        "E404 Timeout while waiting for ack. packet"},
       {"E400 COM port error while waiting for ack. packet", "E402 COM port error while waiting for ack. packet",
        "E404 COM port error while waiting for ack. packet"}},
      {"track upload", access::kAccessUploadTrackLog, GarminUploadTrack, "Upload track log",
       {"E500 Timeout while waiting for ack. packet", "E502 Timeout while waiting for ack. packet",
        "E504 Timeout while waiting for ack. packet", "E506 Timeout while waiting for ack. packet"},
       {"E500 COM port error while waiting for ack. packet", "E502 COM port error while waiting for ack. packet",
        "E504 COM port error while waiting for ack. packet", "E506 COM port error while waiting for ack. packet"}},
  };
}

TEST(GarminFaultLoop, EveryFaultAtEveryReadEndsWithOneMessage) {
  for (const Operation& op : Operations()) {
    const Outcome clean = RunRoutine(op, 0, ReadFault::None);
    ASSERT_EQ(clean.result, 0) << op.name;
    ASSERT_TRUE(clean.failures.empty()) << op.name;
    const size_t cleanPoints = clean.points;
    const size_t cleanWaypoints = clean.waypoints;
    // Every read delivers one packet of the device; one read more is never made.
    const int reads = clean.devicePackets + 1;

    for (ReadFault fault : {ReadFault::Fail, ReadFault::Corrupt, ReadFault::Silent}) {
      std::set<std::string> seen;
      for (int k = 1; k <= reads; ++k) {
        const Outcome o = RunRoutine(op, k, fault);
        const std::string where = std::string(op.name) + " fault " + std::to_string(static_cast<int>(fault)) +
                                  " at read " + std::to_string(k);
        // No hang: at most the product table fallback and one more time-out.
        EXPECT_LE(o.elapsedMs, 2 * kPacketTimeoutMs + 1000) << where;
        // Every packet of the device is needed: a fault on any of them ends the transfer. The
        // one exception: a corrupted acknowledgement of the product request is dropped, and the
        // host takes the product data that follows without it, as from units that send none.
        const bool tolerated = k == 1 && fault == ReadFault::Corrupt;
        EXPECT_EQ(o.result == 0, k > clean.devicePackets || tolerated) << where;
        if (o.result == 0) {
          EXPECT_TRUE(o.failures.empty()) << where;
          EXPECT_EQ(o.points, cleanPoints) << where;
          EXPECT_EQ(o.waypoints, cleanWaypoints) << where;
          continue;
        }
        EXPECT_EQ(o.result, -1) << where;
        ASSERT_EQ(o.failures.size(), 1u) << where;
        const std::string& text = o.failures[0].text;
        seen.insert(text);
        EXPECT_EQ(o.points, 0u) << where;  // nothing handed over
        if (op.accessType == access::kAccessDownloadWaypoints) {
          EXPECT_EQ(o.waypoints, 0u) << where;
        }
        const bool productStep = text.rfind("E1", 0) == 0;
        EXPECT_EQ(o.failures[0].caption, productStep ? "Read GPS product data" : op.caption) << where << ": " << text;
        const bool abortExpected = !productStep && text.rfind("E405", 0) != 0 && text.rfind("E507", 0) != 0;
        const bool abortSent = !o.commands.empty() && o.commands.back() == kCommandAbortTransfer;
        EXPECT_EQ(abortSent, abortExpected) << where << ": " << text;
      }
      // The loop reaches every step of the transfer. (A corrupted packet is dropped, and what
      // follows it decides the message; the check above shows that it failed the transfer.)
      const auto& expected = fault == ReadFault::Fail ? op.portErrors : fault == ReadFault::Silent ? op.timeouts
                                                                                                    : std::set<std::string>{};
      for (const auto& message : expected) EXPECT_TRUE(seen.count(message)) << op.name << " never gave " << message;
      const auto& product = fault == ReadFault::Fail ? kProductPortErrors : fault == ReadFault::Silent ? kProductTimeouts
                                                                                                        : std::set<std::string>{};
      for (const auto& message : product) EXPECT_TRUE(seen.count(message)) << op.name << " never gave " << message;
    }
  }
}

// The simulator's own faults: a bad checksum or a dropped packet anywhere, silence after any
// packet, a missing acknowledgement of any host packet. Each one that hits the transfer makes
// it fail; the only exception is the acknowledgement of the product request (the unit's first
// packet, of the host's first), which a unit may leave out: the host takes the product data
// without it.
TEST(GarminFaultLoop, SimulatorFaultsEndWithOneMessage) {
  testing::garmin::Rig clean;
  clean.device.track = SampleTrack(4);
  access::AccessJob cleanJob(access::kAccessDownloadTrackLog, 0, clean.wire, clean.clock, clean.operation, clean.capture);
  ASSERT_EQ(GarminDownloadTrack(cleanJob), 0);
  const int devicePackets = clean.device.sentPackets();
  const int hostPackets = static_cast<int>(clean.device.hostPackets().size());
  ASSERT_EQ(devicePackets, 11);  // ack, product, array, ack, records, header, 4 points, complete
  ASSERT_EQ(hostPackets, 2);     // product request, command
  for (int n = 1; n <= devicePackets + 2; ++n) {
    for (int kind = 0; kind < 4; ++kind) {
      sim::garmin::GarminDeviceConfig config;
      (kind == 0 ? config.badChecksumAtPacket : kind == 1 ? config.dropPacket : kind == 2 ? config.silentAfterPackets
                                                                                          : config.noAckForHostPacket) = n;
      testing::garmin::Rig rig(config);
      rig.device.track = SampleTrack(4);
      access::AccessJob job(access::kAccessDownloadTrackLog, 0, rig.wire, rig.clock, rig.operation, rig.capture);
      const int result = GarminDownloadTrack(job);
      const std::string where = "kind " + std::to_string(kind) + " n " + std::to_string(n);
      // Silence after the last packet loses nothing.
      const int hit = kind == 3 ? hostPackets : kind == 2 ? devicePackets - 1 : devicePackets;
      const bool tolerated = n == 1 && kind != 2;
      EXPECT_EQ(result == 0, n > hit || tolerated) << where;
      if (result == 0) {
        EXPECT_TRUE(rig.operation.failures.empty()) << where;
        EXPECT_EQ(job.data.points.size(), 4u) << where;
      } else {
        EXPECT_EQ(rig.operation.failures.size(), 1u) << where;
        EXPECT_TRUE(job.data.points.empty()) << where;
      }
    }
  }
}

}  // namespace
}  // namespace tarnvik::devices::garmin
