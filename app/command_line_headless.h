// A command-line transfer run without a window: the session with the console Ui, the access
// engine behind it, and a loop on the main thread that carries the worker's results until the
// run is over.
#pragma once

#include <memory>

#include "app/command_line.h"
#include "core/ports.h"
#include "core/settings.h"

namespace tarnvik::app {

// Runs the transfer the options ask for and writes its file. Returns the exit status: 0 when
// the action succeeded, 1 otherwise. settings: where the session's settings (the port name
// when none is given) are read from; never written by a command-line run.
int RunHeadlessTransfer(std::unique_ptr<CommandLineOptions> options, core::Ui& ui,
                        std::unique_ptr<core::SettingsBackend> settings);

}  // namespace tarnvik::app
