// Arbitrary bytes as $PMLR replies: gathered into lines as the host reads them, then parsed as a
// product reply (both field limits) and as a count reply. Fields respect their limits; codes
// and counts stay in their documented ranges.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "devices/logit/logit_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::devices::logit;
  ReplyAssembler lines;
  for (size_t i = 0; i < size; ++i) {
    const ReplyAssembler::Result r = lines.Feed(data[i]);
    if (r != ReplyAssembler::kLine) continue;
    const std::string& line = lines.line();
    if (line.size() > ReplyAssembler::kMaxLine) std::abort();
    for (const auto& limits : {kLogItFieldLimits, kMlrFieldLimits}) {
      std::array<std::string, 4> f;
      const int code = ParseIdReply(line, limits, f);
      if (code < 0 || code > 12) std::abort();
      if (code == 0) {
        for (size_t k = 0; k < 4; ++k) {
          if (f[k].size() > limits[k]) std::abort();
        }
        (void)VersionHundredths(f[3]);
      }
    }
    int count = -1;
    const int code = ParseCountReply(line, count);
    if (code < 0 || code > 7 || (code == 0 && (count < 0 || count > kMaxCount))) std::abort();
  }
  return 0;
}
