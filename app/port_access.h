// Whether this user may open a serial port: the hint the COM port chooser shows under a port
// that exists but cannot be opened for reading and writing.
#pragma once

#include <string>

namespace tarnvik::app {

// "" when the port can be opened (or does not exist as a path: a COMn name, a port still to be
// plugged in); otherwise one line that names the dialout group when permission is missing.
std::string PortAccessHint(const std::string& port);

}  // namespace tarnvik::app
