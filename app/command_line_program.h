// The tarnvik program as the entry point runs it: --help, --version and --verify are taken
// before the command-line tokenizer; everything else is one command line (the arguments
// joined) that converts a file or runs a transfer. A start without a command line, and a
// transfer run with /WIN=1 or /WIN=2, open the window when the program has one; /WIN=0 and a
// program without a window run headless, their messages on the error stream as "caption: text".
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::app {

// The usage text of --help: every keyword, GPS type and action.
std::string UsageText();

// Checks the signatures of files without any window: an IGC file's security record, every
// track of a KML file. One line per file (or track) on out. Returns 0 when every file and
// track checked out, else 1.
int VerifyFiles(const std::vector<std::string>& paths, std::ostream& out);

// Opens the window: for an interactive start (no options) or for a transfer run that is to be
// shown. Returns the program's exit status.
using WindowRun = std::function<int(std::unique_ptr<CommandLineOptions> options)>;

// Paints a track log as the flight view does and writes the picture to a file; "" on success,
// else the reason it failed. Only a build with the window has one.
using PlotRun = std::function<std::string(const std::vector<core::TrackPoint>& fixes, const std::string& path)>;

// --plot FLIGHT OUT.png: reads a log file of any type --convert reads (the first track of a
// KML file with several) and writes its plan view and barogram as a PNG picture. Messages on
// ui; 0 when the picture was written, else 1 and no picture.
int RunPlotCommand(const std::vector<std::string>& args, std::ostream& out, core::Ui& ui, const PlotRun& plot);

// Runs the program. Returns the exit status: 0 when the requested action succeeded, 1 when it
// failed or the command line was refused. Without a window (empty `window`) an interactive
// start is refused with a message and every transfer run is headless.
int RunProgram(int argc, const char* const* argv, std::ostream& out, core::Ui& ui,
               const WindowRun& window = {}, const PlotRun& plot = {});

}  // namespace tarnvik::app
