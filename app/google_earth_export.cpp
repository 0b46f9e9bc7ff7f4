#include "app/google_earth_export.h"

#include <cstdio>

#include "analysis/flight_statistics.h"
#include "core/file_io.h"
#include "core/flight_summary.h"
#include "core/text_buffer.h"
#include "formats/kml_writer.h"

namespace tarnvik::app {

int BuildGoogleEarthKml(core::Ui& ui, std::span<const core::TrackPoint> fixes, int signFlag, int utcFlag,
                        std::string_view instrumentName, std::string& document) {
  if (fixes.size() < kGoogleEarthMinimumFixes) {
    ui.ShowMessage(kGoogleEarthCaption, "Too few track positions", core::Icon::Error);
    return -1;
  }
  core::FlightSummary summary;
  summary.fixes.assign(fixes.begin(), fixes.end());
  summary.downloadedTime = -1;
  summary.pilotIdFlag = 0;
  summary.signFlag = signFlag;
  summary.utcFlag = utcFlag;
  if (analysis::ComputeFlightValues(summary) != 0 || analysis::RunFlightStatistics(summary, nullptr) != 0) {
    ui.ShowMessage("Analysing track", "Memory allocation error", core::Icon::Error);
    return -1;
  }

  const core::SystemTime start = core::TimeToCalendar(summary.startTime);
  char description[32];
  std::snprintf(description, sizeof description, "%d-%02d-%02d", start.year, start.month, start.day);
  core::TextBuffer folder;
  if (formats::BuildKmlTripFolder(folder, summary, description, instrumentName) != 0) {
    ui.ShowMessage("Making GoogleEarth track folder", "Memory allocation error", core::Icon::Error);
    return -1;
  }
  document.clear();
  document.reserve(formats::kKmlHeader.size() + folder.Length() + formats::kKmlFooter.size());
  document.append(formats::kKmlHeader).append(folder.Text()).append(formats::kKmlFooter);
  return 0;
}

int WriteGoogleEarthKml(core::Ui& ui, std::string_view logFileName, bool overwrite,
                        std::span<const core::TrackPoint> fixes, int signFlag, int utcFlag) {
  std::string document;
  if (BuildGoogleEarthKml(ui, fixes, signFlag, utcFlag, {}, document) != 0) return -1;
  if (logFileName.size() > kGoogleEarthNameLength) {
    ui.ShowMessage(kGoogleEarthCaption, "File name too long", core::Icon::Error);
    return -1;
  }
  const std::string path = std::string(logFileName) + ".kml";
  if (overwrite) {
    if (!core::WriteFileAtomically(path, document).empty()) {
      ui.ShowMessage(kGoogleEarthCaption, "File creation error", core::Icon::Error);
      return -1;
    }
    return 0;
  }
  bool exists = false;
  if (!core::CreateFileExclusively(path, document, exists).empty()) {
    ui.ShowMessage(kGoogleEarthCaption, exists ? "File already exists" : "File creation error", core::Icon::Error);
    return -1;
  }
  return 0;
}

}  // namespace tarnvik::app
