// The tarnvik executable.
#include <iostream>

#include "app/command_line_program.h"
#include "app/console_ui.h"

int main(int argc, char** argv) {
  tarnvik::app::ConsoleUi ui(std::cerr);
  return tarnvik::app::RunProgram(argc, argv, std::cout, ui);
}
