#include "app/command_line_headless.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>

#include "access/access_engine.h"

namespace tarnvik::app {

// The window's two lines, on the console.
class HeadlessRun::FrontEnd final : public SessionFrontEnd {
 public:
  explicit FrontEnd(ConsoleUi* console) : console_(console) {}
  void StatusText(const std::string& text) override {
    if (console_) console_->Status(text);
  }
  void ProductText(const std::string& text) override {
    if (console_) console_->Product(text);
  }

 private:
  ConsoleUi* console_;
};

HeadlessRun::HeadlessRun(std::unique_ptr<CommandLineOptions> options, core::Ui& ui, HeadlessOutput output)
    : ui_(ui), output_(output), frontEnd_(std::make_unique<FrontEnd>(output.progress)) {
  access::AccessEnvironment environment;
  environment.ui = &ui;
  gate_ = MakeEngineGate(environment);
  session_ = std::make_unique<Session>(ui, core::SystemClock(), *gate_, core::PlatformFolderDefault());
  session_->SetFrontEnd(frontEnd_.get());
  auto driver = std::make_unique<CommandLineDriver>(std::move(options), true);
  result_ = driver->Result();
  session_->SetCommandLineRun(std::move(driver));
}

HeadlessRun::~HeadlessRun() {
  session_->Close();
  session_->SetFrontEnd(nullptr);
}

int HeadlessRun::Initialise(std::unique_ptr<core::SettingsBackend> settings) {
  // Read quietly before the window's own initialisation (which then finds them loaded): a
  // settings file that is missing or unreadable changes nothing for a command-line run.
  if (settings) session_->settings.Load(std::move(settings), nullptr);
  return session_->Initialise(nullptr);
}

int HeadlessRun::Run() {
  Session& session = *session_;
  std::mutex mutex;
  std::condition_variable wake;
  bool posted = false;
  session.queue().SetWakeUp([&] {
    std::lock_guard lock(mutex);
    posted = true;
    wake.notify_one();
  });
  while (!session.exitFlag) {
    session.queue().Drain();
    if (output_.progress) output_.progress->FlushProgress();
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
  if (output_.progress) output_.progress->EndProgress();
  if (!result_->succeeded) return 1;
  if (output_.result && !result_->writtenPath.empty()) {
    *output_.result << result_->writtenPath << ": " << result_->summary << '\n';
    output_.result->flush();
  }
  return 0;
}

int RunHeadlessTransfer(std::unique_ptr<CommandLineOptions> options, core::Ui& ui,
                        std::unique_ptr<core::SettingsBackend> settings, HeadlessOutput output) {
  HeadlessRun run(std::move(options), ui, output);
  if (run.Initialise(std::move(settings)) < 0) {
    if (output.progress) output.progress->EndProgress();
    return 1;
  }
  return run.Run();
}

}  // namespace tarnvik::app
