// The program's start without a display: the window cannot open, conversions still run.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

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

namespace {

// SIGTERM to a running window closes it through its close handler: exit status 0 and the
// settings written.
TEST(StartUpTest, SigtermClosesARunningWindowThroughItsCloseHandler) {
  const std::filesystem::path home = std::filesystem::temp_directory_path() / "tarnvik_gui_sigterm";
  std::filesystem::remove_all(home);
  std::filesystem::create_directories(home);
  const pid_t child = ::fork();
  if (child == 0) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    const std::string program = std::string(TARNVIK_BINARY_DIR) + "/app/tarnvik";
    ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(child, 0);
  // The handlers are in place once the window runs; until the settings file shows the window
  // has not closed yet, so the process is given time to start.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  ASSERT_EQ(::kill(child, SIGTERM), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(std::filesystem::exists(home / "tarnvik" / "tarnvik.ini"));
  std::filesystem::remove_all(home);
}

}  // namespace
