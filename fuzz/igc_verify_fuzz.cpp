// Feeds arbitrary bytes to the IGC security-record verifier, which works by the length of the
// bytes (a NUL is an ordinary byte): it must never read past them and always give one of its
// three outcomes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/igc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tarnvik::formats::IgcCheck;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tarnvik::formats::IgcVerification v = tarnvik::formats::VerifyIgcBytes(bytes);
  const bool consistent = (v.outcome == IgcCheck::Passed && v.message == "Security check PASSED") ||
                          (v.outcome == IgcCheck::Failed && v.message == "Security check FAILED") ||
                          (v.outcome == IgcCheck::NoSecurityRecord && v.message == "No security record");
  if (!consistent) __builtin_trap();
  // A passing file ends with the signature's last hexadecimal digit and line ends only: a NUL
  // (or anything else) after the G record never passes.
  if (v.outcome == IgcCheck::Passed) {
    size_t last = bytes.find_last_not_of("\r\n");
    if (last == std::string_view::npos || last < 16) __builtin_trap();
    const char c = bytes[last];
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) __builtin_trap();
  }
  return 0;
}
