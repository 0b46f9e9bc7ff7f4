// The common shape of every track file reader (IGC, KML, GPX, other track formats, MapSource):
// the file's bytes go in, the fixes come out together with a signature flag and one extra value.
// A reader reports its own failures through the Ui port (once, with its caption) and then
// returns a result of 0 or less; the caller shows nothing further.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::formats {

struct TrackParseResult {
  int result = 0;                        // fix count; 0 or less: failed, already reported
  std::vector<core::TrackPoint> fixes;   // in file order; the caller takes them over
  int signatureFlag = 0;                 // 1 when the file carried a valid signature
  int extra = 0;                         // one reader-specific value (0 where unused)
};

// A track reader as the main window calls it. Readers that keep state of their own (the IGC
// reader refills the raw IGC buffer) are bound to it by the caller, e.g. with a lambda.
using TrackParser = std::function<TrackParseResult(core::Ui& ui, std::string_view bytes)>;

}  // namespace tarnvik::formats
