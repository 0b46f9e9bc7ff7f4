// The tarnvik executable: the window when there is no command line (or /WIN=1, /WIN=2 with a
// transfer), a headless run with /WIN=0; conversions, --help, --version and --verify never
// open a window and need no display.
#include <iostream>
#include <memory>

#include "access/access_engine.h"
#include "app/command_line_program.h"
#include "app/console_ui.h"
#include "app/instrument_families.h"
#ifdef TARNVIK_WITH_WINDOW
#include "app/gui/plot_image.h"
#include "app/gui/window_run.h"
#endif

int main(int argc, char** argv) {
  tarnvik::app::RegisterInstrumentFamilies(tarnvik::access::DefaultAccessRoutines());
  tarnvik::app::ConsoleUi ui(std::cerr);
#ifdef TARNVIK_WITH_WINDOW
  const char* program = argc > 0 ? argv[0] : "tarnvik";
  tarnvik::app::WindowRun window = [program](std::unique_ptr<tarnvik::app::CommandLineOptions> options) {
    // Without a display Qt would abort: one clear line instead, naming the headless way.
    if (!tarnvik::gui::DisplayAvailable()) {
      std::cerr << tarnvik::gui::NoDisplayMessage() << '\n';
      return 1;
    }
    return tarnvik::gui::RunWindow(program, std::move(options));
  };
  // --plot draws without any window; the picture code picks the offscreen platform itself.
  tarnvik::app::PlotRun plot = [](const std::vector<tarnvik::core::TrackPoint>& fixes, const std::string& path) {
    return tarnvik::gui::WriteFlightPicture(fixes, path);
  };
  return tarnvik::app::RunProgram(argc, argv, std::cout, ui, window, plot);
#else
  return tarnvik::app::RunProgram(argc, argv, std::cout, ui);
#endif
}
