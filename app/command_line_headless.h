// A command-line transfer run without a window: the session with the console Ui, the access
// engine behind it, and a loop on the main thread that carries the worker's results until the
// run is over.
#pragma once

#include <iosfwd>
#include <memory>

#include "app/command_line.h"
#include "app/command_line_run.h"
#include "app/console_ui.h"
#include "app/session.h"
#include "core/ports.h"
#include "core/settings.h"

namespace tarnvik::app {

// Where a run without a window shows what it does besides its messages.
struct HeadlessOutput {
  // The transfer's status and product texts (the window's two lines). Null: not shown.
  ConsoleUi* progress = nullptr;
  // On success, one line "<path>: <n> positions written" (or "waypoints") for the file the run
  // wrote. Null: not shown.
  std::ostream* result = nullptr;
};

// The run's session, set up as a window would set it up, apart from the loop so that tests
// can look at it: the folder entries default to the home folder (PlatformFolderDefault), and
// the settings are read without a word about a missing or unreadable settings file (a
// command-line run never saves them; only the port name is taken from them).
class HeadlessRun {
 public:
  HeadlessRun(std::unique_ptr<CommandLineOptions> options, core::Ui& ui, HeadlessOutput output = {});
  ~HeadlessRun();
  // Loads the settings and starts the transfer: 0, or -1 when the run already failed.
  int Initialise(std::unique_ptr<core::SettingsBackend> settings);
  // Carries the worker's results on this thread until the run is over. The exit status: 0
  // when the action succeeded, 1 otherwise.
  int Run();
  Session& session() { return *session_; }

 private:
  class FrontEnd;
  core::Ui& ui_;
  HeadlessOutput output_;
  std::unique_ptr<TransferGate> gate_;
  std::unique_ptr<FrontEnd> frontEnd_;
  std::unique_ptr<Session> session_;
  std::shared_ptr<const CommandLineResult> result_;
};

// Runs the transfer the options ask for and writes its file: HeadlessRun's Initialise and Run.
// Returns the exit status: 0 when the action succeeded, 1 otherwise. settings: where the
// session's settings (the port name when none is given) are read from; never written by a
// command-line run.
int RunHeadlessTransfer(std::unique_ptr<CommandLineOptions> options, core::Ui& ui,
                        std::unique_ptr<core::SettingsBackend> settings, HeadlessOutput output = {});

}  // namespace tarnvik::app
