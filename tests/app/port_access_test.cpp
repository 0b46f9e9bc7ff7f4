// The COM port chooser's permission hint, checked as an unprivileged user: root may open
// every port, so only a dropped user sees the hint that names the dialout group.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/port_access.h"

namespace tarnvik::app {
namespace {

// The hint as user and group 65534 see it (in a child process), or nothing when the
// privileges cannot be dropped.
std::optional<std::string> HintAsNobody(const std::string& port) {
  int fds[2];
  if (::pipe(fds) != 0) return std::nullopt;
  pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(2);
    const std::string hint = PortAccessHint(port);
    [[maybe_unused]] ssize_t n = ::write(fds[1], hint.data(), hint.size());
    _exit(0);
  }
  ::close(fds[1]);
  std::string hint;
  char buffer[256];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) hint.append(buffer, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return hint;
}

TEST(PortAccessTest, APortThisUserCannotOpenNamesTheDialoutGroup) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("tarnvik_port_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  ::chmod(folder.c_str(), 0755);
  const std::string closed = (folder / "ttyClosed").string();
  const std::string open = (folder / "ttyOpen").string();
  for (const std::string& path : {closed, open}) ::close(::open(path.c_str(), O_CREAT | O_WRONLY, 0600));
  ::chmod(open.c_str(), 0666);

  std::optional<std::string> hint = HintAsNobody(closed);
  if (!hint) {
    std::filesystem::remove_all(folder);
    GTEST_SKIP() << "cannot drop privileges to user 65534 here";
  }
  EXPECT_EQ(*hint, closed + ": permission denied; the user must be a member of the dialout group");
  EXPECT_EQ(HintAsNobody(open), std::optional<std::string>(""));
  EXPECT_EQ(HintAsNobody((folder / "ttyMissing").string()), std::optional<std::string>(""));
  EXPECT_EQ(HintAsNobody("COM1"), std::optional<std::string>(""));
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tarnvik::app
