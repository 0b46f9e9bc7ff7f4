// Caps how far this process's address space may still grow, so that a check can watch code
// meet a failed allocation. Meant for a death-test child: the cap is never lifted.
#pragma once

#include <sys/resource.h>

#include <cstddef>
#include <fstream>
#include <string>

namespace tarnvik::testing {

// Address and thread sanitizers reserve terabytes of shadow memory up front; no cap fits them.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kAddressSpaceCapWorks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kAddressSpaceCapWorks = false;
#else
constexpr bool kAddressSpaceCapWorks = true;
#endif
#else
constexpr bool kAddressSpaceCapWorks = true;
#endif

// Lets the address space grow by at most `bytes` beyond its present size. False when the size
// cannot be read or the cap cannot be set.
inline bool CapAddressSpaceGrowth(size_t bytes) {
  std::ifstream status("/proc/self/status");
  size_t kilobytes = 0;
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmSize:", 0) == 0) kilobytes = std::stoul(line.substr(7));
  }
  if (kilobytes == 0) return false;
  rlimit limit{};
  if (::getrlimit(RLIMIT_AS, &limit) != 0) return false;
  limit.rlim_cur = static_cast<rlim_t>(kilobytes * 1024 + bytes);
  return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

}  // namespace tarnvik::testing
