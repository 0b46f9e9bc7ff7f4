// Arbitrary bytes as a Graviter product line, and as a name to write: the parser ends at the
// 42nd byte at the latest; a name is always 8 bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "devices/graviter/graviter_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::devices::graviter;
  ProductLineParser parser;
  for (size_t i = 0; i < size; ++i) {
    const int r = parser.Feed(data[i]);
    if (r == ProductLineParser::kMore) {
      if (i >= ProductLineParser::kLength - 1) std::abort();
      continue;
    }
    if (r == ProductLineParser::kDone && parser.first().size() != 20) std::abort();
    break;
  }
  if (NameBytes(std::string_view(reinterpret_cast<const char*>(data), size)).size() != 8) std::abort();
  return 0;
}
