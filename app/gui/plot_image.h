// The flight view as a picture file, drawn without a window: plan and barogram of a track log
// painted by the flight view into an image and saved as PNG. Qt stays behind this header.
#pragma once

#include <string>
#include <vector>

#include "core/records.h"

namespace tarnvik::gui {

// The picture's size in pixels.
inline constexpr int kPlotWidth = 1600;
inline constexpr int kPlotHeight = 1000;

// Paints plan and barogram of `fixes` at kPlotWidth x kPlotHeight and writes the PNG to `path`
// through a temporary file renamed into place, so no partial picture is ever left. Needs no
// display: without one the offscreen Qt platform is chosen. Returns "" on success, else the
// reason it failed.
std::string WriteFlightPicture(const std::vector<core::TrackPoint>& fixes, const std::string& path);

}  // namespace tarnvik::gui
