// The file formats this build gives the command-line runs.
#include "app/command_line_run.h"

namespace tarnvik::app {

CommandLineFormats BuiltInCommandLineFormats() {
  CommandLineFormats formats;
  return formats;
}

}  // namespace tarnvik::app
