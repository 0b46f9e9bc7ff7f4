#include "app/port_access.h"

namespace tarnvik::app {

// A COM port's access is only known when it is opened.
std::string PortAccessHint(const std::string&) { return ""; }

}  // namespace tarnvik::app
