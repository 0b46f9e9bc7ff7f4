// A job wired to the simulated LogIt, Tracklogger or MLR logger in memory, with the fake clock:
// the line opens at 4800 as the engine opens it, and every wait passes at once.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "access/access_engine.h"
#include "access/debug_capture.h"
#include "sim/logit/logit_device.h"
#include "sim/memory_link.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::testing::logit {

using sim::logit::LoggerConfig;
using sim::logit::LoggerModel;
using sim::logit::LoggerPoint;

class CompetitionOperation : public RecordingOperation {
 public:
  bool confirm = true;
  int asked = 0;
  bool ConfirmCompetition(int32_t, int32_t) override {
    ++asked;
    return confirm;
  }
};

inline LoggerConfig Model(LoggerModel model) {
  LoggerConfig c;
  c.model = model;
  if (model == LoggerModel::Mlr) c.software = "2.80ENGLISH15/03/01";
  return c;
}

struct Rig {
  explicit Rig(LoggerConfig config = {}) : device(std::move(config)), wire(device, clock) {}

  access::AccessJob& Job(int accessType, int protocol, int speed = 0) {
    job = std::make_unique<access::AccessJob>(accessType, protocol, wire, clock, operation, capture);
    job->speed = speed;
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
  std::string Written() const { return {wire.written().begin(), wire.written().end()}; }
  bool EndsInCommandMode() const {
    const std::string w = Written();
    const std::string leave = "$PMLR,06,00,02A9\r\n";
    return wire.baud() == 4800 && w.size() >= leave.size() && w.compare(w.size() - leave.size(), leave.size(), leave) == 0;
  }

  FakeClock clock;
  CompetitionOperation operation;
  access::DebugCapture capture;
  sim::logit::LoggerDevice device;
  sim::PumpedLink wire;
  std::unique_ptr<access::AccessJob> job;
};

// The points as the host should hold them (the first one starts a segment).
inline ::testing::AssertionResult SamePoints(const std::vector<core::TrackPoint>& got,
                                             const std::vector<LoggerPoint>& served) {
  if (got.size() != served.size()) return ::testing::AssertionFailure() << got.size() << " points, served " << served.size();
  for (size_t i = 0; i < got.size(); ++i) {
    const core::TrackPoint& g = got[i];
    const LoggerPoint& s = served[i];
    if (g.time != s.time || g.latitude != s.latitude || g.longitude != s.longitude || g.height != s.height ||
        g.flags != (i == 0 || s.newSegment ? 1u : 0u)) {
      return ::testing::AssertionFailure() << "point " << i << " differs: time " << g.time << " vs " << s.time;
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace tarnvik::testing::logit
