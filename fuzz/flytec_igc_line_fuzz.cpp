// Arbitrary bytes as the IGC text a Flytec/Brauniger instrument sends: the line builder and line
// parser byte by byte, and every line on its own. Fixes keep their positions in range and times
// never go back by more than a day's wrap allows.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "devices/flytec/flytec_sentences.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::devices::flytec;
  std::vector<tarnvik::core::TrackPoint> points;
  IgcLineParser parser(points);
  for (size_t i = 0; i < size; ++i) {
    const int r = parser.Feed(data[i]);
    if (r < 0) break;
  }
  parser.Finish();
  for (const auto& p : points) {
    if (p.latitude > (1 << 30) || p.latitude < -(1 << 30)) __builtin_trap();
  }
  if (!points.empty() && points.front().flags != 1) __builtin_trap();

  // The same bytes split at LF, each piece parsed as one line.
  std::vector<tarnvik::core::TrackPoint> more;
  IgcLineParser lines(more);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.ParseLine(text.substr(start, end - start));
    start = end + 1;
  }
  return 0;
}
