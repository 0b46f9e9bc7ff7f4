#include "competition/pilot_forms.h"

#include <cstdio>
#include <string_view>

#include "competition/id_waypoints.h"

namespace tarnvik::competition {

std::optional<int32_t> ParseIdField(const std::string& text) {
  std::string_view t(text);
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  if (t.empty()) return -1;
  int64_t value = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > INT32_MAX) return std::nullopt;
  }
  return static_cast<int32_t>(value);
}

std::string IdFieldText(int32_t id) { return id >= 0 ? std::to_string(id) : std::string(); }

std::string SelectPilotButtonText(size_t pilots) {
  if (pilots == 0) return "&Select pilot from list";
  return "&Select pilot from list (" + std::to_string(pilots) + " pilots)";
}

bool AcceptPilotIds(core::Ui& ui, const std::string& competitionText, const std::string& civlText,
                    int32_t& competitionId, int32_t& civlId) {
  const std::optional<int32_t> competition = ParseIdField(competitionText);
  if (!competition || *competition > kMaxCarriedId) {
    ui.ShowMessage("Check ID", "Bad comp. ID", core::Icon::Error);
    return false;
  }
  const std::optional<int32_t> civl = ParseIdField(civlText);
  if (!civl || *civl > kMaxCarriedId) {
    ui.ShowMessage("Check ID", "Bad CIVL ID", core::Icon::Error);
    return false;
  }
  if (*competition < 0 && *civl < 0 &&
      ui.Ask("Check ID", "Both IDs missing. Exit ?", core::Buttons::YesNo, core::Answer::No, core::Icon::Question) !=
          core::Answer::Yes) {
    return false;
  }
  competitionId = *competition;
  civlId = *civl;
  return true;
}

bool AcceptSavePilot(core::Ui& ui, const std::string& competitionText, const std::string& civlText,
                     const std::string& name, CompetitionPilot& pilot) {
  const std::optional<int32_t> competition = ParseIdField(competitionText);
  if (!competition) {
    ui.ShowMessage("Pilot parameter check", "Bad comp. pilot ID", core::Icon::Error);
    return false;
  }
  const std::optional<int32_t> civl = ParseIdField(civlText);
  if (!civl) {
    ui.ShowMessage("Pilot parameter check", "Bad CIVL pilot ID", core::Icon::Error);
    return false;
  }
  pilot.competitionId = *competition;
  pilot.civlId = *civl;
  pilot.name = name.substr(0, kCurrentPilotNameLength);
  return true;
}

int EntryForTypedId(const std::vector<PilotEntry>& pilots, const std::string& text, bool civl) {
  const std::optional<int32_t> id = ParseIdField(text);
  if (!id || *id < 0) return -1;
  return civl ? FindByCivlId(pilots, *id) : FindByCompetitionId(pilots, *id);
}

CompetitionPilot PilotForConfirmedIds(const CompetitionPilot& current, const std::vector<PilotEntry>& pilots,
                                      int32_t competitionId, int32_t civlId) {
  if (current.competitionId == competitionId && current.civlId == civlId) return current;
  CompetitionPilot pilot;
  pilot.competitionId = competitionId;
  pilot.civlId = civlId;
  int entry = FindByCompetitionId(pilots, competitionId);
  if (entry < 0) entry = FindByCivlId(pilots, civlId);
  if (entry >= 0) pilot.name = pilots[static_cast<size_t>(entry)].name;
  return pilot;
}

}  // namespace tarnvik::competition
