// How far a transfer is, read from its status text: the families report their progress as
// "Track log record 40 of 4000 received", "Sending waypoint 5 of 12", "CTR 2: Point 7 of 9
// sent". A window shows a progress bar while such a text stands.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tarnvik::app {

struct TransferProgress {
  int64_t done = 0;
  int64_t total = 0;
};

// The last "<n> of <m>" of the text with 0 <= n <= m and m > 0; nothing for any other text.
std::optional<TransferProgress> ProgressOfStatus(std::string_view status);

}  // namespace tarnvik::app
