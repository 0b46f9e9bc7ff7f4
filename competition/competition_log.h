// The competition log: the fixes from the competition start on, with their statistics, written
// as one signed KML trip folder into the collection folder under the pilot's name and IDs.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::competition {

inline constexpr const char* kSaveLogCaption = "Save log for competition";
inline constexpr const char* kCompetitionDescription = "Tracklog from Tarnvik competition mode";
// A path this long or longer is refused ("Too long filename").
inline constexpr size_t kCompetitionPathLimit = 261;
// Fewer fixes than this give no statistics.
inline constexpr size_t kCompetitionMinimumFixes = 10;

// The current pilot: name (at most kCurrentPilotNameLength bytes; empty = none) and IDs
// (-1 = not set). Kept between saves.
inline constexpr size_t kCurrentPilotNameLength = 60;
struct CompetitionPilot {
  std::string name;
  int32_t competitionId = -1;
  int32_t civlId = -1;
};

// The pilot name as a file name part: / \ : * ? " < > | and control characters become '_'.
std::string PilotNameForFile(const std::string& name);

// "<folder>/<name>.<COMPID>.<CIVLID>.<yyyymmdd hhmmss>.kml", "[pilot name]", "[COMPID]" and
// "[CIVLID]" standing in for what is not set. The folder separator is the platform's.
std::string CompetitionLogPath(const std::string& folder, const CompetitionPilot& pilot, const core::SystemTime& now);

struct CompetitionLogRequest {
  std::span<const core::TrackPoint> fixes;  // all fixes (automatic save) or the selection
  uint32_t competitionTime = 0;             // fixes before it are left out
  bool filterOn = true;                     // the track speed filter
  int sourceKind = 0;                       // where the log came from (1-8: instrument or signed file)
  int utcFlag = 1;
  std::string instrumentName;
  std::string folder;  // the collection folder
  CompetitionPilot pilot;
};

struct CompetitionLogResult {
  std::string path;   // the file written
  size_t written = 0;  // positions written
  bool signature = false;
};

// The fixes a competition log keeps: real times at or after competitionTime, in track order.
std::vector<core::TrackPoint> CompetitionWorkingSet(std::span<const core::TrackPoint> fixes, uint32_t competitionTime);

// Builds the whole KML document of the log (header, trip folder, footer) from a working set of
// at least kCompetitionMinimumFixes fixes. 0, or -1 after "Memory allocation error".
int BuildCompetitionKml(core::Ui& ui, std::vector<core::TrackPoint> workingSet, const CompetitionLogRequest& request,
                        uint32_t nowTime, std::string& document);

// The whole save: working set, filter, statistics, name check, atomic write, notice. 0 with
// `result` filled only when the file is completely written; -1 after a message otherwise, with
// no file created or replaced.
int SaveCompetitionLog(core::Ui& ui, core::Clock& clock, const CompetitionLogRequest& request,
                       CompetitionLogResult& result);

}  // namespace tarnvik::competition
