// Competition mode in the session: the toggle and its "Set Competition Time" form, the pilot
// forms behind "Set competition ID" and "Save competition log", the confirmation of a download,
// the ID waypoints of an upload and the save of a competition log. The forms are toolkit-free;
// a front end shows them through CompetitionDialogs.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "competition/competition_log.h"
#include "competition/pilot_list.h"
#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::app {

class Session;

// "Set Competition Time": the stored time shown in UTC; Check reads the fields back.
struct CompTimeForm {
  std::string date;   // "%d-%02d-%02d"
  std::string clock;  // "%02d:%02d:%02d"
  uint32_t time = 0;  // the accepted time after Check
  // "Missing date", "Missing time", "Bad date", "Bad time" (caption "Read comp. time").
  bool Check(core::Ui& ui);
};

// "Set competition ID": the IDs typed or taken from the pilot list.
struct PilotIdsForm {
  const competition::PilotList* list = nullptr;  // may be empty
  std::string competitionText;
  std::string civlText;
  int32_t competitionId = -1;  // after Check
  int32_t civlId = -1;
  std::string ButtonText() const;
  std::vector<std::string> ListTexts() const;
  void Choose(int index);  // a list entry fills both IDs
  // "Bad comp. ID", "Bad CIVL ID", "Both IDs missing. Exit ?" (caption "Check ID").
  bool Check(core::Ui& ui);
};

// "Save competition log": the pilot, the list and the collection folder.
struct SavePilotForm {
  competition::PilotList* list = nullptr;
  std::string* pilotListDir = nullptr;  // folder of the list's open dialog
  std::string competitionText;
  std::string civlText;
  std::string name;
  std::string folder;  // the collection folder
  competition::CompetitionPilot pilot;  // after Check
  std::vector<std::string> ListTexts() const;
  void Choose(int index);  // fills both IDs and the name
  // A complete ID typed into one field selects the first entry with it: its index, or -1.
  int TypedId(bool civl);
  // "B&rowse...": reads another list (the old one stays on any failure). True when replaced.
  bool ReloadList(core::Ui& ui);
  // "&Browse...": the folder of the chosen file becomes the collection folder.
  bool BrowseFolder(core::Ui& ui);
  // "Bad comp. pilot ID", "Bad CIVL pilot ID" (caption "Pilot parameter check").
  bool Check(core::Ui& ui);
};

// The dialogs of competition mode; a mode whose dialogs are not all set is not available.
struct CompetitionDialogs {
  std::function<bool(CompTimeForm&)> competitionTime;
  std::function<bool(PilotIdsForm&)> pilotIds;
  std::function<bool(SavePilotForm&)> savePilot;
  bool Complete() const { return competitionTime && pilotIds && savePilot; }
};

// What competition mode keeps while the program runs.
struct CompetitionState {
  competition::PilotList list;
  competition::CompetitionPilot pilot;  // the current pilot, kept between saves
  CompetitionDialogs dialogs;
};

// Gives the session its competition state and wires the download confirmation and the save
// after a download.
void InstallCompetitionMode(Session& session, std::shared_ptr<CompetitionState> state);

// Commands 40121 (withList false) and 40122.
void ToggleCompetitionMode(Session& session, bool withList);
// "Set competition ID" filled with these IDs; on OK the IDs (and the pilot that goes with them)
// become the current pilot. False on Cancel.
bool AskPilotIds(Session& session, int32_t competitionId, int32_t civlId);
// "Save log" in competition mode: the pilot dialog, then the save of the selection.
void SaveLogForCompetition(Session& session);
// The save itself: all fixes (automatic) or the selected ones. 0 when the file was written (the
// log is then saved), -1 otherwise.
int SaveCompetitionLogOfSession(Session& session, bool automatic);
// Before a waypoint upload in competition mode: "Set competition ID", then the COMPID/CIVLID
// waypoints appended. False when cancelled (nothing is sent).
bool AddCompetitionIdWaypoints(Session& session, std::vector<core::Waypoint>& waypoints);

}  // namespace tarnvik::app
