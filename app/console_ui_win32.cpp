// Whether a standard stream is a console (Windows).
#include <io.h>

#include <cstdio>
#include <iostream>

#include "app/console_ui.h"

namespace tarnvik::app {

bool IsTerminalStream(const std::ostream& out) {
  if (&out == &std::cerr || &out == &std::clog) return _isatty(_fileno(stderr)) != 0;
  if (&out == &std::cout) return _isatty(_fileno(stdout)) != 0;
  return false;
}

}  // namespace tarnvik::app
