// Runs the built programs as a pilot's script would: `tarnvik` with its arguments, and
// `tarnvik-sim` serving a simulated instrument on a pseudo-terminal link, each as this user or
// as the unprivileged user 65534 (through setpriv), in a temporary folder of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tarnvik::testing {

std::string ReadText(const std::filesystem::path& path);
void WriteText(const std::filesystem::path& path, const std::string& text);

// The text in single quotes for a POSIX shell (a quote inside as '\'').
std::string ShellQuote(const std::string& text);

// "--fault f" for each f, as the simulator takes them.
std::vector<std::string> FaultArguments(const std::vector<std::string>& faults);

// True when a program can be started as the user 65534 through setpriv (as root, with setpriv
// installed). Tests that need it skip otherwise.
bool SetprivDropsPrivileges();

// The part of a usage text that lists the types "Not yet in this build", up to the next blank
// line; empty when the text has no such part.
std::string NotYetInThisBuild(const std::string& usage);

// Starts a program (args[0] is its path) with its output and error stream in the given files;
// unprivileged: through setpriv as 65534. The child's process id.
pid_t SpawnProgram(const std::vector<std::string>& args, const std::filesystem::path& outFile,
                   const std::filesystem::path& errFile, bool unprivileged);

struct ProgramRun {
  int status = -1;  // the exit status; -1 when the program did not exit
  std::string out;
  std::string err;
};

// A fixture for tests of the built programs: a fresh folder (with "out" in it) per test, the
// simulator on the link "<folder>/port", and tarnvik run to its end.
class ProgramRunTest : public ::testing::Test {
 protected:
  // folderPrefix names the test's folder in the temporary folder; keep it short: the port's
  // path must fit the command line's port name.
  explicit ProgramRunTest(std::string folderPrefix) : prefix_(std::move(folderPrefix)) {}
  // Checks that both programs are built and makes the folder.
  void SetUp() override;
  // Stops the simulator and removes the folder.
  void TearDown() override;

  // Starts `tarnvik-sim <family> --link <folder>/port <arguments...>` with its error stream in
  // "<folder>/sim.err" and waits up to five seconds for the link: true once it is there.
  bool StartSimulator(const std::string& family, const std::vector<std::string>& arguments, bool unprivileged = false);
  // The simulator with the given faults.
  bool StartSim(const std::string& family, const std::vector<std::string>& faults, bool unprivileged = false) {
    return StartSimulator(family, FaultArguments(faults), unprivileged);
  }
  // Ends the simulator (SIGTERM, then waits for it) and removes its link.
  void StopSim();
  // What the simulator wrote on its error stream.
  std::string SimErrors() const { return ReadText(dir_ / "sim.err"); }

  // Runs tarnvik with the arguments to its end.
  ProgramRun Tarnvik(const std::vector<std::string>& args, bool unprivileged = false);
  // The arguments of a headless transfer with the simulator's link.
  std::vector<std::string> Download(const std::string& gps, const std::string& action) const {
    return {"/PORT=" + (dir_ / "port").string(), "/GPS=" + gps, action, "/EXIT", "/WIN=0"};
  }

  std::filesystem::path dir_;
  pid_t sim_ = -1;

 private:
  std::string prefix_;
};

}  // namespace tarnvik::testing
