#include "tests/fakes/program_run.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace tarnvik::testing {

namespace fs = std::filesystem;

namespace {

const std::string kTarnvik = TARNVIK_BINARY_DIR "/app/tarnvik";
const std::string kSim = TARNVIK_BINARY_DIR "/sim/tarnvik-sim";

}  // namespace

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted.push_back(c);
  }
  return quoted + "'";
}

std::vector<std::string> FaultArguments(const std::vector<std::string>& faults) {
  std::vector<std::string> args;
  for (const auto& f : faults) {
    args.push_back("--fault");
    args.push_back(f);
  }
  return args;
}

bool SetprivDropsPrivileges() {
  return std::system("/usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups /bin/true 2>/dev/null") == 0;
}

std::string NotYetInThisBuild(const std::string& usage) {
  const size_t notYet = usage.find("Not yet in this build");
  if (notYet == std::string::npos) return std::string();
  return usage.substr(notYet, usage.find("\n\n", notYet) - notYet);
}

pid_t SpawnProgram(const std::vector<std::string>& args, const fs::path& outFile, const fs::path& errFile,
                   bool unprivileged) {
  std::vector<std::string> all;
  if (unprivileged) all = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  all.insert(all.end(), args.begin(), args.end());
  const pid_t pid = ::fork();
  if (pid == 0) {
    FILE* err = std::fopen(errFile.c_str(), "w");
    if (err) ::dup2(::fileno(err), 2);
    FILE* out = std::fopen(outFile.c_str(), "w");
    if (out) ::dup2(::fileno(out), 1);
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

void ProgramRunTest::SetUp() {
  ASSERT_TRUE(fs::exists(kTarnvik)) << kTarnvik;
  ASSERT_TRUE(fs::exists(kSim)) << kSim;
  static int serial = 0;
  dir_ = fs::temp_directory_path() / (prefix_ + std::to_string(::getpid()) + "_" + std::to_string(++serial));
  fs::remove_all(dir_);
  fs::create_directories(dir_ / "out");
}

void ProgramRunTest::TearDown() {
  StopSim();
  fs::remove_all(dir_);
}

bool ProgramRunTest::StartSimulator(const std::string& family, const std::vector<std::string>& arguments,
                                    bool unprivileged) {
  std::vector<std::string> args = {kSim, family, "--link", (dir_ / "port").string()};
  args.insert(args.end(), arguments.begin(), arguments.end());
  sim_ = SpawnProgram(args, "/dev/null", dir_ / "sim.err", unprivileged);
  for (int i = 0; i < 100 && !fs::exists(dir_ / "port"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return fs::exists(dir_ / "port");
}

void ProgramRunTest::StopSim() {
  if (sim_ <= 0) return;
  ::kill(sim_, SIGTERM);
  ::waitpid(sim_, nullptr, 0);
  sim_ = -1;
  fs::remove(dir_ / "port");
}

ProgramRun ProgramRunTest::Tarnvik(const std::vector<std::string>& args, bool unprivileged) {
  std::vector<std::string> all = {kTarnvik};
  all.insert(all.end(), args.begin(), args.end());
  const pid_t pid = SpawnProgram(all, dir_ / "tarnvik.out", dir_ / "tarnvik.err", unprivileged);
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(dir_ / "tarnvik.out"), ReadText(dir_ / "tarnvik.err")};
}

}  // namespace tarnvik::testing
