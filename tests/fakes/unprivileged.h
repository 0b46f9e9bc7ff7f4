// Running code and programs as an unprivileged user. CI runs as root, which bypasses file
// permissions and a line's exclusive-use flag, so every behaviour that depends on them is also
// tested as the user "nobody" (65534). Where privileges cannot be dropped the callers skip with
// the reason these functions give.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnvik::testing {

constexpr unsigned kUnprivilegedId = 65534;

// The command prefix that runs a program unprivileged: "setpriv --reuid=65534 --regid=65534
// --clear-groups " as root (when setpriv works), "" when this process is not root (it is
// unprivileged already). Nothing, with the reason in why, when neither holds.
std::optional<std::string> UnprivilegedCommandPrefix(std::string& why);

// Runs fn in a child process that has dropped to 65534 (or as the current user when that is
// not root) and returns fn's result (0-255), or -1 when the child died or took longer than
// ten seconds. Nothing, with the reason in why, when the child cannot drop its privileges.
// fn runs in a forked copy of this process: it must not rely on other threads.
std::optional<int> RunUnprivileged(const std::function<int()>& fn, std::string& why);

// Runs this test program once more as 65534 with "--gtest_filter=<filter>", its output
// discarded, and returns its exit status (-1 when it did not exit). Nothing, with the reason in
// why, when this process is not root (it is unprivileged already: the tests themselves were the
// check), when setpriv cannot drop privileges, or when the program or one of the files in reach
// cannot be reached as 65534.
std::optional<int> RerunUnprivileged(const std::string& filter, const std::vector<std::string>& reach,
                                     std::string& why);

// Hands a file or folder over to the unprivileged user (owner 65534) when running as root, so
// that it may open or write it. True when done or not needed.
bool HandOverToUnprivileged(const std::string& path);

}  // namespace tarnvik::testing
