// The texts of the flight statistics: the 19-line block the dialog shows and copies, and the
// track text of the copy-track command.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>

#include "core/flight_summary.h"
#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::analysis {

constexpr size_t kStatisticsLineCount = 19;
using StatisticsLines = std::array<std::string, kStatisticsLineCount>;

// The block, each line with its own "\r\n" (some start or end with an empty line). The summary
// lines come from the summary values; while the searches have not finished (searched = false)
// the point lines read " A" ... " E" and the sum line "Sum".
StatisticsLines StatisticsTextLines(const core::FlightSummary& summary, bool searched);
// The lines joined, as the clipboard gets them.
std::string JoinStatisticsLines(const StatisticsLines& lines);

// One line per fix: date, time, latitude and longitude in degrees, height in metres with one
// decimal, and the 60-second mean speed at that fix within `points`.
std::string TrackClipboardText(std::span<const core::TrackPoint> points);
// The copy-track command's text for the selected fixes; with none selected it says "No
// position(s) selected" (caption "Copy track to clip board") and gives nothing; when memory
// for the text runs out it says "Failed to allocate memory for clipboard" (same caption).
std::optional<std::string> CopyTrackText(core::Ui& ui, std::span<const core::TrackPoint> selected);

// A speed in km/h as the texts show it: + 0.5, truncated; 0 for a value that is not finite,
// clamped to the int range.
int RoundedKmh(double kmh);

}  // namespace tarnvik::analysis
