// For every k: fail, corrupt or starve the k-th pipe operation of every USB routine (product
// data exchange and transfer) against the simulated unit. A fault the routine can see ends it
// with exactly one message and hands over no records; nothing waits beyond the pipes' time
// limits. A corrupted read that changes nothing the routine needs (an empty bulk read, the API
// version) and a corrupted write (USB has no acknowledgements: the host cannot know) may pass.
#include <gtest/gtest.h>

#include <functional>

#include "devices/garmin/garmin_usb.h"
#include "sim/garmin/garmin_usb_unit.h"
#include "tests/devices/garmin/garmin_test_support.h"
#include "tests/fakes/scripted_transport.h"

namespace tarnvik::devices::garmin {
namespace {

using sim::garmin::GarminUsbUnitConfig;
using testing::garmin::MakeWaypoint;
using testing::garmin::SampleTrack;

enum class Fault { None, Fail, Corrupt, Starve };

struct Routine {
  const char* name;
  int accessType;
  std::function<int(access::AccessJob&)> run;
};

struct Outcome {
  int result = 0;
  std::vector<testing::ShownMessage> failures;
  int count = 0;
  size_t points = 0;
  size_t waypoints = 0;
  int operations = 0;
  int64_t elapsedMs = 0;
  bool lastWriteCorrupted = false;
};

std::vector<core::Waypoint> Records(int n) {
  std::vector<core::Waypoint> out;
  for (int i = 0; i < n; ++i) out.push_back(MakeWaypoint("PT", "", 1000 * i, -1000 * i, 10 * i));
  return out;
}

Outcome RunWithFault(const Routine& routine, int k, Fault fault, bool interrupt) {
  testing::FakeClock clock;
  testing::RecordingOperation operation;
  access::DebugCapture capture;
  sim::garmin::GarminDevice device;
  device.track = SampleTrack(5);
  for (int i = 0; i < 4; ++i) device.waypoints.push_back(MakeWaypoint("W", "C", i, i, i));
  GarminUsbUnitConfig config;
  config.interruptDelivery = interrupt;
  if (fault == Fault::Fail) config.failOperation = k;
  if (fault == Fault::Corrupt) config.corruptOperation = k;
  if (fault == Fault::Starve) config.starveOperation = k;
  sim::garmin::GarminUsbUnit unit(device, clock, config);
  testing::ScriptedTransport noPort;
  access::AccessJob job(routine.accessType, access::kProtocolGarminUsb, noPort, clock, operation, capture);
  job.usbDevice = &unit;
  if (routine.accessType == access::kAccessUploadCtrs) {
    core::CtrRecord zone;
    zone.selected = 1;
    job.data.ctrs.push_back(zone);
  } else if (routine.accessType != access::kAccessDownloadTrackLog &&
             routine.accessType != access::kAccessDownloadWaypoints) {
    job.data.waypoints = Records(4);
    job.count = 4;
  }
  const int64_t start = clock.NowMs();
  Outcome o;
  o.result = routine.run(job);
  o.failures = operation.failures;
  o.count = job.count;
  o.points = job.data.points.size();
  o.waypoints = job.data.waypoints.size();
  o.operations = unit.operations();
  o.elapsedMs = clock.NowMs() - start;
  o.lastWriteCorrupted = !unit.protocolErrors().empty() || !device.protocolErrors().empty();
  return o;
}

TEST(GarminUsbFaultLoop, EveryFaultAtEveryPipeOperation) {
  const CtrOutlineFunction outline = [](const core::CtrRecord&) { return Records(3); };
  const Routine routines[] = {
      {"waypoints down", access::kAccessDownloadWaypoints, GarminUsbDownloadWaypoints},
      {"track down", access::kAccessDownloadTrackLog, GarminUsbDownloadTrack},
      {"waypoints up", access::kAccessUploadWaypoints, GarminUsbUploadWaypoints},
      {"track up", access::kAccessUploadTrackLog, GarminUsbUploadTrack},
      {"CTRs up", access::kAccessUploadCtrs, [outline](access::AccessJob& job) { return GarminUsbUploadCtrs(job, outline); }},
  };
  for (bool interrupt : {false, true}) {
    for (const Routine& routine : routines) {
      const Outcome clean = RunWithFault(routine, 0, Fault::None, interrupt);
      ASSERT_EQ(clean.result, 0) << routine.name;
      ASSERT_TRUE(clean.failures.empty()) << routine.name;
      for (int k = 1; k <= clean.operations + 1; ++k) {
        for (Fault fault : {Fault::Fail, Fault::Corrupt, Fault::Starve}) {
          const Outcome o = RunWithFault(routine, k, fault, interrupt);
          const std::string where = std::string(routine.name) + (interrupt ? " (interrupt)" : " (bulk)") +
                                    " fault " + std::to_string(static_cast<int>(fault)) + " at " + std::to_string(k);
          // No routine waits beyond a few pipe time-outs and the empty-read retries.
          EXPECT_LE(o.elapsedMs, 5000) << where;
          EXPECT_LE(o.operations, clean.operations + 1) << where;
          if (o.result == 0) {
            EXPECT_TRUE(k > clean.operations || fault == Fault::Corrupt) << where;
            EXPECT_TRUE(o.failures.empty()) << where;
            if (!o.lastWriteCorrupted) {
              EXPECT_EQ(o.points, clean.points) << where;
              EXPECT_EQ(o.waypoints, clean.waypoints) << where;
            }
            continue;
          }
          EXPECT_EQ(o.result, -1) << where;
          ASSERT_EQ(o.failures.size(), 1u) << where;
          EXPECT_EQ(o.failures[0].text.front(), 'E') << where << ": " << o.failures[0].text;
          if (routine.accessType == access::kAccessDownloadTrackLog ||
              routine.accessType == access::kAccessDownloadWaypoints) {
            EXPECT_EQ(o.points + o.waypoints, 0u) << where;  // nothing handed over
            EXPECT_EQ(o.count, 0) << where;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace tarnvik::devices::garmin
