// The program's start without a display: the window cannot open, conversions still run.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

struct ProgramRun {
  int status = -1;
  std::string output;
};

// Runs the built program with every display variable removed.
ProgramRun RunWithoutDisplay(const std::string& arguments) {
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                              std::string(TARNVIK_BINARY_DIR) + "/app/tarnvik " + arguments + " 2>&1";
  ProgramRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[512];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) run.output.append(buffer, n);
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(StartUpTest, WithoutADisplayTheWindowGivesOneLineNamingTheHeadlessWayAndStatusOne) {
  for (const char* arguments : {"", "/PORT=/dev/null /GPS=GARMIN /KML_LOG=x.kml /WIN=1"}) {
    ProgramRun run = RunWithoutDisplay(arguments);
    EXPECT_EQ(run.status, 1) << arguments;
    ASSERT_FALSE(run.output.empty());
    EXPECT_NE(run.output.find("/WIN=0"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << "one line: " << run.output;
  }
}

TEST(StartUpTest, ConversionsAndVersionNeedNoDisplay) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tarnvik_gui_start_up";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(std::string(TARNVIK_TEST_DATA) + "/igc/igp_lad_lod_extensions.igc", folder / "flight.igc");
  ProgramRun conversion = RunWithoutDisplay("/IGC2KML=" + (folder / "flight").string());
  EXPECT_EQ(conversion.status, 0) << conversion.output;
  EXPECT_TRUE(std::filesystem::exists(folder / "flight.kml")) << conversion.output;
  EXPECT_EQ(RunWithoutDisplay("--version").status, 0);
  std::filesystem::remove_all(folder);
}

}  // namespace
