// The tarnvik executable. Until the command-line driver lands it answers --version and --help.
#include <cstdio>
#include <cstring>

#include "core/version.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %s\n", tarnvik::core::kProgramName, tarnvik::core::kVersionText);
      return 0;
    }
  }
  std::printf("%s %s: flight data transfer for free-flight pilots\n"
              "usage: tarnvik --version | --help\n",
              tarnvik::core::kProgramName, tarnvik::core::kVersionText);
  return 0;
}
