// A host session wired to the simulated receiver in memory, with the fake clock: every
// time-out passes instantly.
#pragma once

#include <memory>
#include <string_view>
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
  // As much of each text as fits; the zeroed record keeps the closing NUL.
  std::string_view(id).copy(w.id, sizeof w.id - 1);
  std::string_view(comment).copy(w.comment, sizeof w.comment - 1);
  return w;
}

// Passes the device's packets through, replacing the Nth (acknowledgements included) where a
// rule says so: the unit's answers that the simulator itself never gives. Works on the unit's
// side of the wire, with the simulator's own framing.
class PacketRewriter : public sim::Device {
 public:
  struct Rule {
    int packet = 0;
    uint8_t id = 0;
    std::vector<uint8_t> data;
  };
  explicit PacketRewriter(sim::Device& inner) : inner_(inner) {}
  std::vector<Rule> rules;

  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) override {
    std::vector<uint8_t> raw;
    inner_.Receive(bytes, count, raw);
    for (uint8_t b : raw) {
      if (reader_.Feed(b) != sim::garmin::UnitFrameReader::Result::Packet) continue;
      ++packets_;
      sim::garmin::UnitPacket packet = reader_.packet();
      for (const auto& rule : rules) {
        if (rule.packet == packets_) packet = {rule.id, rule.data};
      }
      const std::vector<uint8_t> framed = sim::garmin::FrameUnitPacket(packet);
      out.insert(out.end(), framed.begin(), framed.end());
    }
  }

 private:
  sim::Device& inner_;
  sim::garmin::UnitFrameReader reader_;
  int packets_ = 0;
};

// Lets the device's packets out one per read, as a slow line would: the first packet of a
// reply at once, each further one when the host reads again. So a fault at the k-th read hits
// exactly one packet (an acknowledgement apart from the data that follows it).
class PacketPacer : public sim::Device {
 public:
  explicit PacketPacer(sim::Device& inner) : inner_(inner) {}

  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) override {
    std::vector<uint8_t> raw;
    inner_.Receive(bytes, count, raw);
    for (uint8_t b : raw) {
      if (reader_.Feed(b) == sim::garmin::UnitFrameReader::Result::Packet) {
        held_.push_back(sim::garmin::FrameUnitPacket(reader_.packet()));
      }
    }
    Tick(0, out);
  }
  void Tick(int64_t, std::vector<uint8_t>& out) override {
    if (held_.empty()) return;
    out.insert(out.end(), held_.front().begin(), held_.front().end());
    held_.erase(held_.begin());
  }

 private:
  sim::Device& inner_;
  sim::garmin::UnitFrameReader reader_;
  std::vector<std::vector<uint8_t>> held_;
};

struct Rig {
  explicit Rig(sim::garmin::GarminDeviceConfig config = {})
      : device(std::move(config)),
        rewriter(device),
        wire(rewriter, clock),
        link(wire, clock, operation, capture, 0),
        session(link) {}

  FakeClock clock;
  RecordingOperation operation;
  access::DebugCapture capture;
  sim::garmin::GarminDevice device;
  PacketRewriter rewriter;
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
