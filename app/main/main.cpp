// The tarnvik executable.
#include <iostream>

#include "access/access_engine.h"
#include "app/command_line_program.h"
#include "app/console_ui.h"
#include "app/instrument_families.h"

int main(int argc, char** argv) {
  // The instrument families this build talks to.
  tarnvik::app::RegisterInstrumentFamilies(tarnvik::access::DefaultAccessRoutines());
  tarnvik::app::ConsoleUi ui(std::cerr);
  return tarnvik::app::RunProgram(argc, argv, std::cout, ui);
}
