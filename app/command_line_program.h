// The tarnvik program as the entry point runs it: --help, --version and --verify are taken
// before the command-line tokenizer; everything else is one command line (the arguments
// joined) that converts a file or runs a transfer. This build has no window: every run is
// headless, its messages go to the error stream as "caption: text".
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "core/ports.h"

namespace tarnvik::app {

// The usage text of --help: every keyword, GPS type and action.
std::string UsageText();

// Checks the signatures of files without any window: an IGC file's security record, every
// track of a KML file. One line per file (or track) on out. Returns 0 when every file and
// track checked out, else 1.
int VerifyFiles(const std::vector<std::string>& paths, std::ostream& out);

// Runs the program. Returns the exit status: 0 when the requested action succeeded, 1 when it
// failed or the command line was refused.
int RunProgram(int argc, const char* const* argv, std::ostream& out, core::Ui& ui);

}  // namespace tarnvik::app
