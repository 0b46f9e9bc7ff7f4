// The tarnvik executable.
#include <iostream>

#include "access/access_engine.h"
#include "app/command_line_program.h"
#include "app/console_ui.h"
#include "devices/flytec/flytec_transfers.h"
#include "devices/garmin/garmin_transfers.h"
#include "devices/xctrainer/xctrainer_transfers.h"

int main(int argc, char** argv) {
  // The instrument families this build talks to.
  tarnvik::devices::garmin::RegisterGarminSerialRoutines(tarnvik::access::DefaultAccessRoutines());
  tarnvik::devices::flytec::RegisterFlytecRoutines(tarnvik::access::DefaultAccessRoutines());
  tarnvik::devices::xctrainer::RegisterXcTrainerRoutines(tarnvik::access::DefaultAccessRoutines());
  tarnvik::app::ConsoleUi ui(std::cerr);
  return tarnvik::app::RunProgram(argc, argv, std::cout, ui);
}
