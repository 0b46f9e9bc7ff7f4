#include "app/command_line_headless.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "access/access_engine.h"
#include "app/command_line_run.h"
#include "app/session.h"

namespace tarnvik::app {

int RunHeadlessTransfer(std::unique_ptr<CommandLineOptions> options, core::Ui& ui,
                        std::unique_ptr<core::SettingsBackend> settings) {
  access::AccessEnvironment environment;
  environment.ui = &ui;
  std::unique_ptr<TransferGate> gate = MakeEngineGate(environment);
  Session session(ui, core::SystemClock(), *gate, "");
  auto driver = std::make_unique<CommandLineDriver>(std::move(options), true);
  std::shared_ptr<const bool> succeeded = driver->Outcome();
  session.SetCommandLineRun(std::move(driver));

  std::mutex mutex;
  std::condition_variable wake;
  bool posted = false;
  session.queue().SetWakeUp([&] {
    std::lock_guard lock(mutex);
    posted = true;
    wake.notify_one();
  });
  if (session.Initialise(std::move(settings)) < 0) return 1;
  while (!session.exitFlag) {
    session.queue().Drain();
    if (session.exitFlag) break;
    // Nothing runs and nothing is queued: the run cannot end by itself, so it ends here
    // rather than leave a process without a window behind.
    if (!session.busy) {
      session.Close();
      break;
    }
    std::unique_lock lock(mutex);
    wake.wait_for(lock, std::chrono::milliseconds(200), [&] { return posted; });
    posted = false;
  }
  session.queue().SetWakeUp(nullptr);
  return *succeeded ? 0 : 1;
}

}  // namespace tarnvik::app
