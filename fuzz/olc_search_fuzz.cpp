// IGC bytes through the IGC parser into the OLC search: at most a few dozen fixes (whatever the
// positions and times, repeated or wild), every result's fixes inside the set and in order.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "analysis/olc_search.h"
#include "formats/igc.h"

namespace {

constexpr size_t kMostFixes = 40;

bool Inside(int32_t index, size_t count) { return index >= 0 && static_cast<size_t>(index) < count; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  tarnvik::formats::IgcParseResult parsed = tarnvik::formats::ParseIgcLog(text);
  if (parsed.fixes.size() > kMostFixes) parsed.fixes.resize(kMostFixes);
  tarnvik::analysis::OlcResult r;
  const int rc = tarnvik::analysis::RunOlcSearch(parsed.fixes, nullptr, nullptr, r);
  const size_t n = parsed.fixes.size();
  if (n < 5) {
    if (rc != -1) __builtin_trap();
    return 0;
  }
  if (rc != 0) __builtin_trap();
  if (!Inside(r.two[0], n) || !Inside(r.two[1], n) || r.two[0] >= r.two[1]) __builtin_trap();
  for (int k = 0; k < 5; ++k) {
    if (!Inside(r.five[k], n) || (k > 0 && r.five[k - 1] >= r.five[k])) __builtin_trap();
  }
  if (r.outAndReturnFound) {
    for (int k = 0; k < 3; ++k) {
      if (!Inside(r.outAndReturn[k], n) || (k > 0 && r.outAndReturn[k - 1] >= r.outAndReturn[k])) __builtin_trap();
    }
  }
  for (const tarnvik::analysis::OlcTriangle* t : {&r.freeTriangle, &r.faiTriangle}) {
    if (!t->found) continue;
    const int32_t* p = t->points;
    for (int k = 0; k < 5; ++k) {
      if (!Inside(p[k], n)) __builtin_trap();
    }
    if (!(p[0] <= p[1] && p[1] < p[2] && p[2] < p[3] && p[3] <= p[4])) __builtin_trap();
    if (!std::isfinite(t->perimeter) || !std::isfinite(t->gap) || t->perimeter < 0 || t->gap < 0) __builtin_trap();
  }
  if (!std::isfinite(r.fiveSum) || r.fiveSum < 0) __builtin_trap();
  return 0;
}
