// The program with its window: the Qt application, the session over the access engine with
// the platform settings, the main window and its dialogs. Qt stays behind this header.
#pragma once

#include <memory>

#include "app/command_line.h"

namespace tarnvik::gui {

// True when a window can be opened: a display (DISPLAY or WAYLAND_DISPLAY) or a Qt platform
// chosen explicitly (QT_QPA_PLATFORM).
bool DisplayAvailable();

// The line printed (to the error stream) when there is none.
const char* NoDisplayMessage();

// Runs the window until it closes; options: a command-line run to carry out in it (null for an
// interactive start). The exit status: 0, or 1 when a command-line run failed or the window
// could not start.
int RunWindow(const char* programPath, std::unique_ptr<app::CommandLineOptions> options);

}  // namespace tarnvik::gui
