// tarnvik --airspace FILE [OUT]: reads an OpenAir file through the airspace reader without any
// window, prints "<FILE>: <N> zones", shows every warning and error as "caption: text" (none
// suppressed) and, with OUT, writes every zone back through the writer.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "core/ports.h"

namespace tarnvik::app {

// 0 when the file was read (warnings allowed) and OUT, if given, written; 1 otherwise.
int RunAirspaceCommand(const std::vector<std::string>& arguments, std::ostream& out, core::Ui& ui);

}  // namespace tarnvik::app
