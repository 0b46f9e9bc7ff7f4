// A job wired to the simulated XC Trainer / Top Navigator in memory, with the fake clock: the
// line is set as the engine sets it when it opens the port, and every wait passes at once.
#pragma once

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "access/access_engine.h"
#include "access/debug_capture.h"
#include "sim/memory_link.h"
#include "sim/xctrainer/xctrainer_device.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"
#include "tests/fakes/semicircles.h"

namespace tarnvik::testing::xctrainer {

using sim::xctrainer::XcDeviceConfig;
using sim::xctrainer::XcSend;
using sim::xctrainer::XcSimFix;

// 2024-07-15 10:00:00 UTC.
inline uint32_t FlightStart() { return *core::CalendarToTime({2024, 7, 0, 15, 10, 0, 0, 0}); }


// The host's fixes equal the instrument's: same UTC times, same positions (to the link's units).
inline ::testing::AssertionResult SameFixes(const std::vector<core::TrackPoint>& got,
                                            const std::vector<XcSimFix>& served) {
  if (got.size() != served.size()) {
    return ::testing::AssertionFailure() << got.size() << " fixes, served " << served.size();
  }
  for (size_t i = 0; i < got.size(); ++i) {
    const auto& g = got[i];
    const auto& s = served[i];
    if (g.time != s.time || std::fabs(Degrees(g.latitude) - s.latitude) > 1e-7 ||
        std::fabs(Degrees(g.longitude) - s.longitude) > 1e-7 || g.height != s.altitude * 10 ||
        g.flags != (i == 0 ? 1u : 0u)) {
      return ::testing::AssertionFailure() << "fix " << i << " differs: time " << g.time << " vs " << s.time;
    }
  }
  return ::testing::AssertionSuccess();
}

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
  explicit Rig(XcDeviceConfig config = {}) : device(std::move(config)), wire(device, clock) {}

  // The job for an access type and protocol, its line set as the engine sets it on opening.
  access::AccessJob& Job(int accessType, int protocol) {
    job = std::make_unique<access::AccessJob>(accessType, protocol, wire, clock, operation, capture);
    job->link().SetSpeed(access::OpeningSpeed(protocol, accessType));
    return *job;
  }
  std::vector<std::string> FailureTexts() const {
    std::vector<std::string> out;
    for (const auto& f : operation.failures) {
      if (!f.question) out.push_back(f.caption + ": " + f.text);
    }
    return out;
  }
  std::vector<uint8_t> Transmission() const {
    const std::string t = device.Transmission();
    return {t.begin(), t.end()};
  }

  FakeClock clock;
  CompetitionOperation operation;
  access::DebugCapture capture;
  sim::xctrainer::XcTrainerDevice device;
  sim::PumpedLink wire;
  std::unique_ptr<access::AccessJob> job;
};

inline XcDeviceConfig Config(XcSend send, bool xcTrainer = true) {
  XcDeviceConfig c;
  c.send = send;
  c.xcTrainer = xcTrainer;
  return c;
}

}  // namespace tarnvik::testing::xctrainer
