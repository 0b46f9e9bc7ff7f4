// A session with the real access engine whose port is a simulated instrument served on a
// pseudo-terminal, reached through the real serial code: what the instrument families' session
// tests share.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/commands.h"
#include "app/session.h"
#include "app/transfer.h"
#include "sim/pty_device.h"

namespace tarnvik::testing {

struct PtySession {
  // `registerRoutines` fills the engine's table with the family under test; `frontEnd`, when
  // given, is set before the session starts.
  PtySession(sim::Device& device, void (*registerRoutines)(access::AccessRoutineTable&), core::Ui& ui,
             app::SessionFrontEnd* frontEnd = nullptr) {
    pty = sim::PtyDevice::Create(device, "", error);
    if (pty) pty->Start();
    registerRoutines(routines);
    access::AccessEnvironment env;
    env.ui = &ui;
    env.routines = &routines;
    gate = app::MakeEngineGate(env);
    session = std::make_unique<app::Session>(ui, core::SystemClock(), *gate, "/home/pilot");
    if (frontEnd) session->SetFrontEnd(frontEnd);
    session->Initialise(nullptr);
    if (pty) session->portName = pty->hostPath();
  }
  ~PtySession() {
    session->Close();
    if (pty) pty->Stop();
  }
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;

  // Hands the session's queued work to it until its job ended (at most 20 s); false when it is
  // still busy.
  bool WaitIdle() {
    for (int i = 0; i < 4000 && session->busy; ++i) {
      session->queue().Drain();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    session->queue().Drain();
    return !session->busy;
  }
  // The instrument serves on its own thread: what it holds is read or changed under this hold
  // (never across Run, whose job needs the instrument).
  [[nodiscard]] std::unique_lock<std::mutex> Hold() { return pty->Hold(); }
  // Runs a menu command and waits until its job ended.
  bool Run(int command) {
    app::DispatchCommand(*session, command);
    return WaitIdle();
  }

  std::unique_ptr<sim::PtyDevice> pty;
  std::string error;
  access::AccessRoutineTable routines;
  std::unique_ptr<app::TransferGate> gate;
  std::unique_ptr<app::Session> session;
};

}  // namespace tarnvik::testing
