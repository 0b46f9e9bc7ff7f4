// "tarnvik --olc FILE.igc": scores an IGC file as the OLC dialog does with a raw IGC log, on the
// calling thread, and prints the results.
#pragma once

#include <iosfwd>
#include <string>

#include "core/ports.h"

namespace tarnvik::app {

// Reads the file (failures worded as "&Open log" words them), parses all its fixes as the run on
// the IGC buffer does (the reader's message, or "Number of positions must be 5 or more", under
// "Initialize OLC statistics"), searches and writes six lines to out. Failures go through ui only,
// with nothing on out. Returns 0, or 1 after a failure.
int RunOlcCommand(const std::string& path, std::ostream& out, core::Ui& ui);

}  // namespace tarnvik::app
