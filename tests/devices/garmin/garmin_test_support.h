// A host session wired to the simulated receiver in memory, with the fake clock: every
// time-out passes instantly.
#pragma once

#include <memory>
#include <vector>

#include "access/debug_capture.h"
#include "access/link.h"
#include "devices/garmin/garmin_link.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"
#include "sim/garmin/garmin_device.h"
#include "sim/memory_link.h"

namespace tarnvik::testing::garmin {

// A few points of a track log: a header, then points with altitudes, one of them 1.0e25.
inline std::vector<sim::garmin::SimTrackRecord> SampleTrack(int points, bool withHeader = true) {
  std::vector<sim::garmin::SimTrackRecord> track;
  if (withHeader) {
    sim::garmin::SimTrackRecord h;
    h.header = true;
    h.name = "ACTIVE LOG";
    track.push_back(h);
  }
  for (int i = 0; i < points; ++i) {
    sim::garmin::SimTrackRecord r;
    r.point.latitude = 553000000 + i * 1000;
    r.point.longitude = 123000000 - i * 700;
    r.point.time = 1000000000u + static_cast<uint32_t>(i);
    r.point.flags = 0;
    r.altitudeM = (i == 2) ? 1.0e25f : 1000.25f + static_cast<float>(i);
    track.push_back(r);
  }
  return track;
}

inline core::Waypoint MakeWaypoint(const char* id, const char* comment, int32_t lat, int32_t lon, int32_t alt) {
  core::Waypoint w;
  w.latitude = lat;
  w.longitude = lon;
  w.altitude = alt;
  snprintf(w.id, sizeof w.id, "%s", id);
  snprintf(w.comment, sizeof w.comment, "%s", comment);
  return w;
}

struct Rig {
  explicit Rig(sim::garmin::GarminDeviceConfig config = {})
      : device(std::move(config)),
        wire(device, clock),
        link(wire, clock, operation, capture, 0),
        session(link) {}

  FakeClock clock;
  RecordingOperation operation;
  access::DebugCapture capture;
  sim::garmin::GarminDevice device;
  sim::PumpedLink wire;
  access::Link link;
  devices::garmin::GarminSession session;

  std::vector<std::string> FailureTexts() const {
    std::vector<std::string> out;
    for (const auto& f : operation.failures) out.push_back(f.text);
    return out;
  }
};

}  // namespace tarnvik::testing::garmin
