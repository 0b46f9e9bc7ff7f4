// The texts of the OLC results: the summary lines the command line prints, and the dialog's
// per-point lines and figures.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "analysis/olc_search.h"
#include "core/records.h"

namespace tarnvik::analysis {

// The six lines, without line ends: "Max. distance: %.2f km", "Free distance: %.2f km, %.2f
// points", "Out-and-return: %.2f km" (or ": none"), "Free triangle: %.2f km (perimeter %.2f km,
// gap %.2f km), %.2f points" (or ": none"), the FAI triangle in the same form, and the best
// result line.
std::vector<std::string> OlcSummaryLines(const OlcResult& result);

// One fix of a result as the dialog shows it: its index + 1, time of day, latitude and
// longitude (degrees, minutes, seconds and hundredths) and the leg ending there in km (empty
// for the first fix of a result).
struct OlcPointText {
  std::string number, time, latitude, longitude, leg;
};
OlcPointText OlcPointLine(std::span<const core::TrackPoint> fixes, int32_t index, double legMetres, bool first);

// A triangle's figures: its scored distance P - gap, perimeter and gap in km ("%.2f"), the gap
// and each leg as a percentage of the perimeter ("%.2f %%"; 0 for a zero perimeter).
struct OlcTriangleText {
  std::string distance, perimeter, gap, gapPercent;
  std::string legPercent[3];
};
OlcTriangleText OlcTriangleFigures(const OlcTriangle& triangle);

// The progress field: empty when total is 0, "%d %%" below 100, "Done:" from 100 on, with the
// percentage trunc(done / total * 100 + 0.5).
std::string OlcProgressText(int64_t done, int64_t total);

}  // namespace tarnvik::analysis
