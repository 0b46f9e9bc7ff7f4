// Which runs open the window: none without a command line or with /WIN=1 and /WIN=2, never a
// /WIN=0 run, a conversion, --help or --version.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line_program.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

struct WindowCall {
  bool called = false;
  bool withOptions = false;
  ShowState show = ShowState::Show;
};

int StartProgram(std::vector<const char*> args, WindowCall& call, testing::RecordingUi& ui) {
  args.insert(args.begin(), "tarnvik");
  std::ostringstream out;
  WindowRun window = [&call](std::unique_ptr<CommandLineOptions> options) {
    call.called = true;
    call.withOptions = options != nullptr;
    if (options) call.show = options->showState;
    return 7;
  };
  return RunProgram(static_cast<int>(args.size()), args.data(), out, ui, window);
}

TEST(WindowStartTest, TheWindowOpensWithoutACommandLineAndForShownTransferRuns) {
  struct Case {
    std::vector<const char*> args;
    bool withOptions;
    ShowState show;
  } cases[] = {
      {{}, false, ShowState::Show},
      {{"/PORT=/dev/null", "/KML_LOG=x.kml", "/WIN=1"}, true, ShowState::Minimize},
      {{"/PORT=/dev/null", "/KML_LOG=x.kml", "/WIN=2"}, true, ShowState::Show},
      {{"/PORT=/dev/null", "/KML_LOG=x.kml"}, true, ShowState::Show},
  };
  for (const Case& c : cases) {
    WindowCall call;
    testing::RecordingUi ui;
    EXPECT_EQ(StartProgram(c.args, call, ui), 7) << c.args.size();
    EXPECT_TRUE(call.called);
    EXPECT_EQ(call.withOptions, c.withOptions);
    EXPECT_EQ(call.show, c.show);
  }
}

TEST(WindowStartTest, HeadlessRunsConversionsAndInformationNeverOpenTheWindow) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tarnvik_window_start";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(std::string(TARNVIK_TEST_DATA) + "/igc/igp_lad_lod_extensions.igc", folder / "f.igc",
                             std::filesystem::copy_options::overwrite_existing);
  const std::string conversion = "/IGC2KML=" + (folder / "f").string();
  const std::vector<std::vector<const char*>> runs = {
      {"/PORT=/nonexistent/tty", "/KML_LOG=x.kml", "/WIN=0"},
      {conversion.c_str(), "/OVERWRITE"},
      {"--version"},
      {"--help"},
  };
  for (const auto& args : runs) {
    WindowCall call;
    testing::RecordingUi ui;
    StartProgram(args, call, ui);
    EXPECT_FALSE(call.called) << args[0];
  }
  EXPECT_TRUE(std::filesystem::exists(folder / "f.kml"));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tarnvik::app
