#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "app/port_access.h"

namespace tarnvik::app {

std::string PortAccessHint(const std::string& port) {
  if (port.find('/') == std::string::npos) return "";
  if (::access(port.c_str(), F_OK) != 0) return "";
  if (::access(port.c_str(), R_OK | W_OK) == 0) return "";
  if (errno == EACCES) return port + ": permission denied; the user must be a member of the dialout group";
  return port + ": " + std::strerror(errno);
}

}  // namespace tarnvik::app
