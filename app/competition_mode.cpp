#include "app/competition_mode.h"

#include <cstdio>

#include "app/session.h"
#include "competition/competition_time.h"
#include "competition/id_waypoints.h"
#include "competition/pilot_forms.h"
#include "core/settings.h"

namespace tarnvik::app {

namespace comp = competition;

// ---- forms ----------------------------------------------------------------------------------

bool CompTimeForm::Check(core::Ui& ui) { return comp::ParseCompetitionTime(ui, date, clock, time) == 0; }

std::string PilotIdsForm::ButtonText() const {
  return comp::SelectPilotButtonText(list != nullptr ? list->entries.size() : 0);
}

namespace {

std::vector<std::string> DisplayTexts(const comp::PilotList* list) {
  std::vector<std::string> texts;
  if (list == nullptr) return texts;
  for (const comp::PilotEntry& entry : list->entries) texts.push_back(comp::PilotDisplayText(entry));
  return texts;
}

const comp::PilotEntry* Entry(const comp::PilotList* list, int index) {
  if (list == nullptr || index < 0 || static_cast<size_t>(index) >= list->entries.size()) return nullptr;
  return &list->entries[static_cast<size_t>(index)];
}

}  // namespace

std::vector<std::string> PilotIdsForm::ListTexts() const { return DisplayTexts(list); }

void PilotIdsForm::Choose(int index) {
  if (const comp::PilotEntry* entry = Entry(list, index)) {
    competitionText = comp::IdFieldText(entry->competitionId);
    civlText = comp::IdFieldText(entry->civlId);
  }
}

bool PilotIdsForm::Check(core::Ui& ui) { return comp::AcceptPilotIds(ui, competitionText, civlText, competitionId, civlId); }

std::vector<std::string> SavePilotForm::ListTexts() const { return DisplayTexts(list); }

void SavePilotForm::Choose(int index) {
  if (const comp::PilotEntry* entry = Entry(list, index)) {
    competitionText = comp::IdFieldText(entry->competitionId);
    civlText = comp::IdFieldText(entry->civlId);
    name = entry->name;
  }
}

int SavePilotForm::TypedId(bool civl) {
  if (list == nullptr) return -1;
  const int index = comp::EntryForTypedId(list->entries, civl ? civlText : competitionText, civl);
  if (index >= 0) Choose(index);
  return index;
}

bool SavePilotForm::ReloadList(core::Ui& ui) {
  if (list == nullptr || pilotListDir == nullptr) return false;
  return comp::ReadPilotList(ui, *pilotListDir, *list) == 0;
}

bool SavePilotForm::BrowseFolder(core::Ui& ui) {
  core::FileRequest request;
  request.title = comp::kFolderDialogTitle;
  request.filters = {{"Comp. files (*.kml)", "*.kml"}};
  request.folder = folder;
  request.fileName = comp::kProposedLogName;
  request.defaultExtension = "kml";
  const std::optional<std::string> path = ui.ChooseOpenFile(request);
  if (!path) return false;
  const size_t slash = path->find_last_of("/\\");
  folder = slash == std::string::npos ? std::string() : path->substr(0, slash);
  return true;
}

bool SavePilotForm::Check(core::Ui& ui) { return comp::AcceptSavePilot(ui, competitionText, civlText, name, pilot); }

// ---- session wiring -------------------------------------------------------------------------

namespace {

CompetitionState* StateOf(Session& session) { return session.competition.get(); }

bool RunCompetitionTime(Session& session, CompetitionState& state) {
  const uint32_t stored = static_cast<uint32_t>(session.settings.Number(core::SettingId::CompTime));
  CompTimeForm form;
  form.date = comp::FormatCompetitionDate(stored);
  form.clock = comp::FormatCompetitionClock(stored);
  if (!state.dialogs.competitionTime || !state.dialogs.competitionTime(form)) return false;  // Cancel keeps it
  session.settings.Number(core::SettingId::CompTime) = static_cast<int32_t>(form.time);
  return true;
}

}  // namespace

void InstallCompetitionMode(Session& session, std::shared_ptr<CompetitionState> state) {
  session.competition = std::move(state);
  session.competitionSave = [](Session& s) { SaveCompetitionLogOfSession(s, true); };
  // The download confirmation: "Set competition ID" with the IDs the instrument holds, on the
  // main thread (the session's worker questions put it there).
  session.dialogs.confirmCompetition = [&session](int32_t competitionId, int32_t civlId) {
    return AskPilotIds(session, competitionId, civlId);
  };
}

void ToggleCompetitionMode(Session& session, bool withList) {
  CompetitionState* state = StateOf(session);
  if (state == nullptr) return;
  session.competitionMode = !session.competitionMode;
  if (session.competitionMode) {
    RunCompetitionTime(session, *state);
    if (withList) {
      std::string folder = session.settings.Text(core::SettingId::PilotListDir);
      comp::ReadPilotList(session.ui(), folder, state->list);  // any failure keeps the old list
      session.settings.SetText(core::SettingId::PilotListDir, folder);
    }
  }
  session.UpdateTitle();
}

bool AskPilotIds(Session& session, int32_t competitionId, int32_t civlId) {
  CompetitionState* state = StateOf(session);
  if (state == nullptr || !state->dialogs.pilotIds) return false;
  PilotIdsForm form;
  form.list = &state->list;
  form.competitionText = comp::IdFieldText(competitionId);
  form.civlText = comp::IdFieldText(civlId);
  if (!state->dialogs.pilotIds(form)) return false;
  state->pilot = comp::PilotForConfirmedIds(state->pilot, state->list.entries, form.competitionId, form.civlId);
  return true;
}

int SaveCompetitionLogOfSession(Session& session, bool automatic) {
  CompetitionState* state = StateOf(session);
  if (state == nullptr || !session.track.present) return -1;
  const std::vector<core::TrackPoint> selected = automatic ? std::vector<core::TrackPoint>() : session.SelectedPoints();
  comp::CompetitionLogRequest request;
  request.fixes = automatic ? std::span<const core::TrackPoint>(session.track.log.points)
                            : std::span<const core::TrackPoint>(selected);
  request.competitionTime = static_cast<uint32_t>(session.settings.Number(core::SettingId::CompTime));
  request.filterOn = session.settings.Number(core::SettingId::LogFilter) != 0;
  request.sourceKind = session.track.log.sourceKind;
  request.utcFlag = session.track.log.sourceFlag;
  request.instrumentName = session.track.log.sourceName;
  request.folder = session.settings.Text(core::SettingId::CompDir);
  request.pilot = state->pilot;
  comp::CompetitionLogResult result;
  if (comp::SaveCompetitionLog(session.ui(), session.clock(), request, result) != 0) return -1;
  session.track.saved = true;  // only after the whole file is in place
  session.SetProduct(result.path);
  char status[48];
  std::snprintf(status, sizeof status, "%zu positions written", result.written);
  session.SetStatus(status);
  return 0;
}

void SaveLogForCompetition(Session& session) {
  CompetitionState* state = StateOf(session);
  if (state == nullptr || !state->dialogs.savePilot || !session.track.present) return;
  std::string listFolder = session.settings.Text(core::SettingId::PilotListDir);
  SavePilotForm form;
  form.list = &state->list;
  form.pilotListDir = &listFolder;
  form.competitionText = comp::IdFieldText(state->pilot.competitionId);
  form.civlText = comp::IdFieldText(state->pilot.civlId);
  form.name = state->pilot.name;
  form.folder = session.settings.Text(core::SettingId::CompDir);
  const bool ok = state->dialogs.savePilot(form);
  session.settings.SetText(core::SettingId::PilotListDir, listFolder);
  if (!ok) return;
  state->pilot = form.pilot;
  session.settings.SetText(core::SettingId::CompDir, form.folder);
  SaveCompetitionLogOfSession(session, false);
}

bool AddCompetitionIdWaypoints(Session& session, std::vector<core::Waypoint>& waypoints) {
  CompetitionState* state = StateOf(session);
  if (state == nullptr) return false;
  if (!AskPilotIds(session, state->pilot.competitionId, state->pilot.civlId)) return false;
  comp::AppendIdWaypoints(waypoints, state->pilot.competitionId, state->pilot.civlId);
  return true;
}

}  // namespace tarnvik::app
