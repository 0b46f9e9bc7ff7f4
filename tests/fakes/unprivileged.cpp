#include "tests/fakes/unprivileged.h"

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace tarnvik::testing {
namespace {

// True once this process runs as 65534 with no supplementary groups (the child only).
bool DropPrivileges() {
  return ::setgroups(0, nullptr) == 0 && ::setresgid(kUnprivilegedId, kUnprivilegedId, kUnprivilegedId) == 0 &&
         ::setresuid(kUnprivilegedId, kUnprivilegedId, kUnprivilegedId) == 0;
}

}  // namespace

std::optional<std::string> UnprivilegedCommandPrefix(std::string& why) {
  if (::geteuid() != 0) return std::string();
  const std::string prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  // The probe must really run as 65534.
  if (std::system((prefix + "sh -c 'test \"$(id -u)\" = 65534' 2>/dev/null").c_str()) != 0) {
    why = "running as root and setpriv cannot drop privileges to 65534";
    return std::nullopt;
  }
  return prefix;
}

std::optional<int> RunUnprivileged(const std::function<int()>& fn, std::string& why) {
  const bool root = ::geteuid() == 0;
  pid_t child = ::fork();
  if (child < 0) {
    why = "fork failed";
    return std::nullopt;
  }
  if (child == 0) {
    if (root && !DropPrivileges()) ::_exit(125);
    if (root && ::geteuid() == 0) ::_exit(125);
    ::_exit(fn() & 0xff);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  int status = 0;
  for (;;) {
    pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0 || std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (!WIFEXITED(status)) return -1;
  if (root && WEXITSTATUS(status) == 125) {
    why = "running as root and the child process cannot drop privileges to 65534";
    return std::nullopt;
  }
  return WEXITSTATUS(status);
}

std::optional<int> RerunUnprivileged(const std::string& filter, const std::vector<std::string>& reach,
                                     std::string& why) {
  if (::getuid() != 0) {
    why = "already running unprivileged: the tests above were the check";
    return std::nullopt;
  }
  const std::string drop = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  if (std::system((drop + "true > /dev/null 2>&1").c_str()) != 0) {
    why = "cannot drop privileges here (setpriv failed)";
    return std::nullopt;
  }
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string test = "test -x '" + self + "'";
  for (const std::string& path : reach) test += " -a -r '" + path + "'";
  if (std::system((drop + test + " > /dev/null 2>&1").c_str()) != 0) {
    why = "the test program or its data is out of reach of uid 65534: " + self;
    return std::nullopt;
  }
  const int status = std::system((drop + "'" + self + "' --gtest_filter='" + filter + "' > /dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HandOverToUnprivileged(const std::string& path) {
  if (::geteuid() != 0) return true;
  return ::chown(path.c_str(), kUnprivilegedId, kUnprivilegedId) == 0;
}

}  // namespace tarnvik::testing
