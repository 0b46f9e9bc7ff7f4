#include "tests/fakes/pty_pair.h"

#include <chrono>

namespace tarnvik::testing {

PtyPair::PtyPair() { pty_ = access::PseudoTerminal::Create(error_); }

std::vector<uint8_t> PtyPair::ReadExactly(size_t count, int timeoutMs) {
  using namespace std::chrono;
  std::vector<uint8_t> out;
  auto deadline = steady_clock::now() + milliseconds(timeoutMs);
  uint8_t buffer[4096];
  while (out.size() < count) {
    auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
    if (left <= 0) break;
    size_t want = count - out.size();
    int n = pty_->Read(buffer, want < sizeof buffer ? want : sizeof buffer, static_cast<int>(left));
    if (n < 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

bool PtyPair::Write(const std::vector<uint8_t>& bytes) { return pty_->Write(bytes.data(), bytes.size()) == 0; }

int PtyPair::HostBaud() {
  int baud = 0;
  bool xon = false, echo = false;
  pty_->HostLine(baud, xon, echo);
  return baud;
}

bool PtyPair::HostXonXoff() {
  int baud = 0;
  bool xon = false, echo = false;
  pty_->HostLine(baud, xon, echo);
  return xon;
}

bool PtyPair::HostEcho() {
  int baud = 0;
  bool xon = false, echo = false;
  pty_->HostLine(baud, xon, echo);
  return echo;
}

}  // namespace tarnvik::testing
