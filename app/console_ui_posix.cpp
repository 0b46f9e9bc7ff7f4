// Whether a standard stream is a terminal (POSIX).
#include <unistd.h>

#include <iostream>

#include "app/console_ui.h"

namespace tarnvik::app {

bool IsTerminalStream(const std::ostream& out) {
  if (&out == &std::cerr || &out == &std::clog) return ::isatty(STDERR_FILENO) == 1;
  if (&out == &std::cout) return ::isatty(STDOUT_FILENO) == 1;
  return false;
}

}  // namespace tarnvik::app
