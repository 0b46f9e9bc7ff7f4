// A job wired to the simulated Magellan receiver in memory, with the fake clock: the line is
// set as the engine sets it when it opens the port, and every wait passes at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "access/access_engine.h"
#include "access/debug_capture.h"
#include "sim/magellan/magellan_device.h"
#include "sim/memory_link.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::testing::magellan {

class CompetitionOperation : public RecordingOperation {
 public:
  bool confirm = true;
  std::vector<std::pair<int32_t, int32_t>> asked;
  bool ConfirmCompetition(int32_t competitionId, int32_t civlId) override {
    asked.emplace_back(competitionId, civlId);
    return confirm;
  }
};

struct Rig {
  explicit Rig(sim::magellan::MagDeviceConfig config = {}) : device(std::move(config)), wire(device, clock) {
    device.track = sim::magellan::WalkTrack(75, 1000000000);
    device.waypoints = sim::magellan::SampleWaypoints();
  }
  access::AccessJob& Job(int accessType) {
    job = std::make_unique<access::AccessJob>(accessType, access::kProtocolMagellan, wire, clock, operation, capture);
    job->link().SetSpeed(access::OpeningSpeed(access::kProtocolMagellan, accessType));
    return *job;
  }
  std::vector<std::string> FailureTexts() const {
    std::vector<std::string> out;
    for (const auto& f : operation.failures) {
      if (!f.question) out.push_back(f.caption + ": " + f.text);
    }
    return out;
  }
  std::string Written() const { return std::string(wire.written().begin(), wire.written().end()); }

  FakeClock clock;
  CompetitionOperation operation;
  access::DebugCapture capture;
  sim::magellan::MagellanDevice device;
  sim::PumpedLink wire;
  std::unique_ptr<access::AccessJob> job;
};

}  // namespace tarnvik::testing::magellan
