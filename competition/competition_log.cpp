#include "competition/competition_log.h"

#include <cstdio>

#include "analysis/flight_statistics.h"
#include "analysis/speed_filter.h"
#include "core/file_io.h"
#include "core/flight_summary.h"
#include "core/text_buffer.h"
#include "formats/kml_writer.h"

namespace tarnvik::competition {
namespace {

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

bool RealTime(uint32_t time) { return time != 0 && time != 0x7FFFFFFFu && time != 0xFFFFFFFFu; }

}  // namespace

std::string PilotNameForFile(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' || c == '<' ||
        c == '>' || c == '|') {
      c = '_';
    }
  }
  return out;
}

std::string CompetitionLogPath(const std::string& folder, const CompetitionPilot& pilot, const core::SystemTime& now) {
  std::string path = folder;
  if (path.empty() || (path.back() != '/' && path.back() != kSeparator)) path += kSeparator;
  path += pilot.name.empty() ? std::string("[pilot name]") : PilotNameForFile(pilot.name);
  path += '.';
  path += pilot.competitionId >= 0 ? std::to_string(pilot.competitionId) : std::string("[COMPID]");
  path += '.';
  path += pilot.civlId >= 0 ? std::to_string(pilot.civlId) : std::string("[CIVLID]");
  path += '.';
  char stamp[40];
  std::snprintf(stamp, sizeof stamp, "%d%02d%02d %02d%02d%02d", now.year, now.month, now.day, now.hour, now.minute,
                now.second);
  path += stamp;
  path += ".kml";
  return path;
}

std::vector<core::TrackPoint> CompetitionWorkingSet(std::span<const core::TrackPoint> fixes, uint32_t competitionTime) {
  std::vector<core::TrackPoint> kept;
  kept.reserve(fixes.size());
  for (const core::TrackPoint& fix : fixes) {
    if (RealTime(fix.time) && fix.time >= competitionTime) kept.push_back(fix);
  }
  return kept;
}

int BuildCompetitionKml(core::Ui& ui, std::vector<core::TrackPoint> workingSet, const CompetitionLogRequest& request,
                        uint32_t nowTime, std::string& document) {
  core::FlightSummary summary;
  summary.fixes = std::move(workingSet);
  if (analysis::ComputeFlightValues(summary) != 0 || analysis::RunFlightStatistics(summary, nullptr) != 0) {
    ui.ShowMessage("Analysing track", "Memory allocation error", core::Icon::Error);
    return -1;
  }
  analysis::SetSourceFields(summary, request.sourceKind, request.utcFlag, nowTime);
  summary.pilotIdFlag = 1;
  summary.competitionPilotId = request.pilot.competitionId;
  summary.civlPilotId = request.pilot.civlId;
  core::TextBuffer folder;
  if (formats::BuildKmlTripFolder(folder, summary, kCompetitionDescription, request.instrumentName) != 0) {
    ui.ShowMessage(kSaveLogCaption, "Memory allocation error", core::Icon::Error);
    return -1;
  }
  document.clear();
  document.reserve(formats::kKmlHeader.size() + folder.Length() + formats::kKmlFooter.size());
  document.append(formats::kKmlHeader).append(folder.Text()).append(formats::kKmlFooter);
  return 0;
}

int SaveCompetitionLog(core::Ui& ui, core::Clock& clock, const CompetitionLogRequest& request,
                       CompetitionLogResult& result) {
  std::vector<core::TrackPoint> working = CompetitionWorkingSet(request.fixes, request.competitionTime);
  if (working.empty()) {
    ui.ShowMessage(kSaveLogCaption, "No positions selected/found", core::Icon::Error);
    return -1;
  }
  if (working.size() < kCompetitionMinimumFixes) {
    ui.ShowMessage(kSaveLogCaption, "Too few positions for statistics analysis", core::Icon::Error);
    return -1;
  }
  if (request.filterOn) {
    const int filtered = analysis::FilterTrackSpeed(working);
    if (filtered < 0) {
      ui.ShowMessage(kSaveLogCaption, "Memory allocation error", core::Icon::Error);
      return -1;
    }
    const size_t kept = static_cast<size_t>(filtered);
    if (kept < kCompetitionMinimumFixes) {
      ui.ShowMessage(kSaveLogCaption, "Too few positions left after track speed analysis", core::Icon::Error);
      return -1;
    }
    if (kept < working.size()) {
      working.resize(kept);
      ui.ShowMessage(kSaveLogCaption, "Position(s) have been removed during track speed analysis", core::Icon::None);
    }
  }
  const size_t count = working.size();
  const core::SystemTime now = clock.UtcNow();
  // The name is complete and checked before anything is computed into a file.
  const std::string path = CompetitionLogPath(request.folder, request.pilot, now);
  if (path.size() >= kCompetitionPathLimit) {
    ui.ShowMessage(kSaveLogCaption, "Too long filename", core::Icon::Error);
    return -1;
  }
  std::string document;
  if (BuildCompetitionKml(ui, std::move(working), request, core::CalendarToTime(now).value_or(0), document) != 0) {
    return -1;
  }
  const std::string failure = core::WriteFileAtomically(path, document);
  if (!failure.empty()) {
    ui.ShowMessage(kSaveLogCaption, "File write error", core::Icon::Error);
    return -1;
  }
  result.path = path;
  result.written = count;
  result.signature = request.sourceKind >= 1 && request.sourceKind <= 8;
  ui.ShowMessage(kSaveLogCaption,
                 path + (result.signature ? "\r\nFile saved, signature OK" : "\r\nFile saved, NO signature"),
                 core::Icon::Information);
  return 0;
}

}  // namespace tarnvik::competition
