// Arbitrary bytes as MXP lines: the first line as the header (both identifiers), every further
// one as a data line of a log that may wrap its 16-bit offsets. Codes stay in their table and
// every stored fix lies on the globe.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "devices/xctrainer/xctrainer_records.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::devices::xctrainer;
  LineAssembler lines;
  std::vector<std::string> got;
  for (size_t i = 0; i < size; ++i) {
    const LineAssembler::Result r = lines.Feed(data[i]);
    if (r == LineAssembler::kLine) {
      if (lines.line().size() > kMaxLineLength) std::abort();
      got.push_back(lines.line());
    }
  }
  if (got.empty()) return 0;
  MxpHeader header;
  const int code = ParseMxpHeader(got[0], size % 2 ? 10 : 9, header);
  if (code < 0 || code > 17) std::abort();
  if (code != 0) header.count = 0xFFFF;  // read the rest as data lines all the same
  else if (MxpProductText(header).empty()) std::abort();
  MxpLog log(header);
  for (size_t i = 1; i < got.size(); ++i) {
    MxpFix fix;
    const int direct = ParseMxpData(got[i], static_cast<int>(i - 1), fix);
    if (direct < 0 || direct > 17 || MxpCodeText(direct).empty()) std::abort();
    const int c = log.Add(got[i]);
    if (c < 0 || c > 16) std::abort();
    if (c != 0) break;
  }
  for (const auto& p : log.points) {
    if (p.latitude > (1 << 30) || p.latitude < -(1 << 30)) std::abort();
  }
  return 0;
}
