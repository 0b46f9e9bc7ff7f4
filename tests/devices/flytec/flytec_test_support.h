// A job wired to the simulated Flytec/Brauniger instrument in memory, with the fake clock: every
// time-out passes at once.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "access/access_engine.h"
#include "access/debug_capture.h"
#include "sim/flytec/flytec_device.h"
#include "sim/memory_link.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::testing::flytec {

struct Fix {
  int hour, minute, second;
  std::string position;  // "DDMMmmmNDDDMMmmmE"
  int gnssAltitude;
};

// An IGC text as an instrument writes it: A record, date line, the fixes and a G record.
inline std::string MakeIgc(const std::vector<Fix>& fixes, const char* dateLine = "HFDTE150724",
                           bool withG = true) {
  std::string text = "AFLY04711 FLYTEC 5030\r\n";
  if (dateLine) text += std::string(dateLine) + "\r\n";
  text += "HFPLTPILOT:Tarnvik Pilot\r\n";
  for (const Fix& f : fixes) {
    char line[64];
    std::snprintf(line, sizeof line, "B%02d%02d%02d%sA%05d%05d\r\n", f.hour, f.minute, f.second, f.position.c_str(),
                  f.gnssAltitude - 10, f.gnssAltitude);
    text += line;
  }
  if (withG) text += "G4A7F2C19D3E5B6A8\r\n";
  return text;
}

// n fixes one second apart from hh:mm:ss, walking north-east.
inline std::vector<Fix> Walk(int n, int hour = 10, int minute = 0, int second = 0) {
  std::vector<Fix> fixes;
  int t = hour * 3600 + minute * 60 + second;
  for (int i = 0; i < n; ++i, ++t) {
    char position[48];
    std::snprintf(position, sizeof position, "47%05dN008%05dE", 10000 + 37 * i, 20000 + 23 * i);
    const int tod = t % 86400;
    fixes.push_back({tod / 3600, tod / 60 % 60, tod % 60, position, 1000 + i});
  }
  return fixes;
}

struct Rig {
  explicit Rig(sim::flytec::FlytecDeviceConfig config = {}) : device(std::move(config)), wire(device, clock) {}

  access::AccessJob& Job(int accessType, int protocol = access::kProtocolFlytec) {
    job = std::make_unique<access::AccessJob>(accessType, protocol, wire, clock, operation, capture);
    return *job;
  }
  std::vector<std::string> FailureTexts() const {
    std::vector<std::string> out;
    for (const auto& f : operation.failures) {
      if (!f.question) out.push_back(f.text);
    }
    return out;
  }

  FakeClock clock;
  RecordingOperation operation;
  access::DebugCapture capture;
  sim::flytec::FlytecDevice device;
  sim::PumpedLink wire;
  std::unique_ptr<access::AccessJob> job;
};

}  // namespace tarnvik::testing::flytec
