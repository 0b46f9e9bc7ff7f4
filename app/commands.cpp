#include "app/commands.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "access/access_engine.h"
#include "access/serial_ports.h"
#include "app/command_line.h"
#include "analysis/statistics_text.h"
#include "app/command_line_run.h"
#include "app/competition_mode.h"
#include "app/ctr_commands.h"
#include "app/file_commands.h"
#include "app/olc_open.h"
#include "core/version.h"

namespace tarnvik::app {
namespace {

using K = CommandKind;
using G = CommandGuard;

constexpr const char* kDownloadTrack = "Download track log";
constexpr const char* kDownloadWpts = "Download waypoints";
constexpr const char* kUploadWpts = "Upload waypoints";
constexpr const char* kUploadCtrs = "Upload CTR";
constexpr const char* kDownloadCtrs = "Download CTR";

constexpr CommandInfo kCommands[] = {
    // Logs
    {40115, "&Save log (Hangarium/.kml)\tCtrl+S", K::SaveKml, -1, 0, G::Tracklog, "Get flight statistics"},
    {1315, "Save log\r\n(Flight &Data)", K::SaveKml, -1, 0, G::Tracklog, "Get flight statistics"},
    {40116, "Save log &As...", K::SaveLogAs, -1, 0, G::Busy, "Save track log"},
    {40117, "&Open log\tCtrl+O", K::OpenLog, -1, 0, G::Busy, "Read track log file"},
    {40043, "Save log in &IGC format\tCtrl+I", K::SaveIgc, -1, 0, G::Tracklog, "Save IGC log"},
    {40072, "Save IGC log from &GPS", K::SaveIgcFromGps, -1, 0, G::Busy, "Save IGC log"},
    {40073, "&Verify IGC log from Tarnvik\tCtrl+V", K::VerifyIgc, -1, 0, G::None, "Security check"},
    {40029, "Read &Garmin\tCtrl+G", K::DownloadTrackLog, 0, 0, G::Busy, kDownloadTrack},
    {40075, "Read Garmin &USB\tCtrl+U", K::DownloadTrackLog, 8, 0, G::Busy, kDownloadTrack},
    {40054, "Read &IQ-Compeo/Competino\tCtrl+E", K::DownloadTrackLog, 4, 0, G::Busy, kDownloadTrack},
    {40085, "Read &Flytec 5020/5030\tCtrl+F", K::DownloadTrackLog, 4, 0, G::Busy, kDownloadTrack},
    {40119, "Read &IQ Tracks", K::DownloadTrackLog, 11, 0, G::Busy, kDownloadTrack},
    {40120, "Read &Flytec Tracks", K::DownloadTrackLog, 11, 0, G::Busy, kDownloadTrack},
    {40091, "Read &XC Trainer (MXP at 57600)\tCtrl+X", K::DownloadTrackLog, 10, 57600, G::Busy, kDownloadTrack},
    {40071, "Read &XC Trainer (57600)", K::DownloadTrackLog, 7, 0, G::Busy, kDownloadTrack},
    {40090, "Read &Top Nav (MXP at 57600)\tCtrl+T", K::DownloadTrackLog, 9, 57600, G::Busy, kDownloadTrack},
    {40039, "Read &Top Navigator (TNCM)", K::DownloadTrackLog, 2, 0, G::Busy, kDownloadTrack},
    {40069, "Read Tracklogger (115&200)", K::DownloadTrackLog, 3, 115200, G::Busy, kDownloadTrack},
    {40010, "Read Log It (&57600)\tCtrl+L", K::DownloadTrackLog, 3, 57600, G::Busy, kDownloadTrack},
    {40011, "Read Log It (&38400)", K::DownloadTrackLog, 3, 38400, G::Busy, kDownloadTrack},
    {40012, "Read Log It (&19200)", K::DownloadTrackLog, 3, 19200, G::Busy, kDownloadTrack},
    {40004, "Read &MLR\tCtrl+M", K::DownloadTrackLog, 1, 0, G::Busy, kDownloadTrack},
    {40058, "Read Graviter (all tracks)\tCtrl+R", K::DownloadTrackLog, 5, 0, G::Busy, kDownloadTrack},
    {40056, "Read Graviter (last?)", K::DownloadTrackLog, 5, 0, G::Busy, kDownloadTrack},
    {40065, "Read Magella&n (9600)\tCtrl+N", K::DownloadTrackLog, 6, 0, G::Busy, kDownloadTrack},
    {40014, "&Erase LogIt track", K::EraseTrack, 3, 0, G::Busy, "Erase track log"},
    {40015, "Write LogIt &Name", K::WriteOwnerName, 3, 0, G::Busy, "Write owner name"},
    {40016, "Read LogIt &Data", K::ReadProductData, 3, 0, G::Busy, "Read product data"},
    {40095, "&OLC statistics (use IGC buffer)", K::OlcIgcBuffer, -1, 0, G::Tracklog, "OLC statistics"},
    {40094, "OLC statistics (use selected pos.)", K::OlcSelected, -1, 0, G::Tracklog, "OLC statistics"},
    {40088, "&Track log filter", K::TrackLogFilter, -1, 0, G::None, ""},
    {40019, "E&xit", K::Exit, -1, 0, G::None, ""},
    {1010, "E&xit", K::Exit, -1, 0, G::None, ""},
    // Waypoints
    {40047, "Open wpts.\tCtrl+W", K::OpenWaypoints, -1, 0, G::Busy, "Read waypoint file"},
    {40118, "Save &wpts. As...", K::SaveWaypointsAs, -1, 0, G::Waypoints, "Save waypoints"},
    {40038, "&New waypoint", K::NewWaypoint, -1, 0, G::Busy, "New waypoint"},
    {40030, "&Edit waypoint", K::EditWaypoint, -1, 0, G::Waypoints, "Edit waypoint"},
    {40031, "&Delete waypoint(s)", K::DeleteWaypoints, -1, 0, G::Waypoints, "Delete waypoint(s)"},
    {40027, "Read from &Garmin", K::DownloadWaypoints, 0, 0, G::Busy, kDownloadWpts},
    {40078, "Read from Garmin (&USB)", K::DownloadWaypoints, 8, 0, G::Busy, kDownloadWpts},
    {40055, "Read from &IQ-Compeo/Competino", K::DownloadWaypoints, 4, 0, G::Busy, kDownloadWpts},
    {40086, "Read from &Flytec 5020/5030", K::DownloadWaypoints, 4, 0, G::Busy, kDownloadWpts},
    {40033, "Read from &MLR", K::DownloadWaypoints, 1, 0, G::Busy, kDownloadWpts},
    {40066, "Read from M&agellan (9600)", K::DownloadWaypoints, 6, 0, G::Busy, kDownloadWpts},
    {40053, "Read from &Top Navigator", K::DownloadWaypoints, 2, 0, G::Busy, kDownloadWpts},
    {40076, "Read from &XC Trainer", K::DownloadWaypoints, 7, 0, G::Busy, kDownloadWpts},
    {40021, "Send to &Garmin", K::UploadWaypoints, 0, 0, G::Waypoints, kUploadWpts},
    {40022, "(&USB)", K::UploadWaypoints, 8, 0, G::Waypoints, kUploadWpts},
    {40007, "&MLR", K::UploadWaypoints, 1, 0, G::Waypoints, kUploadWpts},
    {40008, "M&agellan (9600)", K::UploadWaypoints, 6, 0, G::Waypoints, kUploadWpts},
    {40009, "&Top Navigator", K::UploadWaypoints, 2, 0, G::Waypoints, kUploadWpts},
    {40013, "&XC Trainer", K::UploadWaypoints, 7, 0, G::Waypoints, kUploadWpts},
    {40018, "Send to &Compeo/Competino (Only Name)", K::UploadWaypointNames, 4, 0, G::Waypoints, kUploadWpts},
    {40023, "Send to &Flytec 5020/5030 (Only Name)", K::UploadWaypointNames, 4, 0, G::Waypoints, kUploadWpts},
    {40096, "Send to Compeo/Competino (ID+Name)", K::UploadWaypointIdNames, 4, 0, G::Waypoints, kUploadWpts},
    {40097, "Send to Flytec 5020/5030 (ID+Name)", K::UploadWaypointIdNames, 4, 0, G::Waypoints, kUploadWpts},
    {40017, "Send wpts. as Garmin log (COM)", K::UploadWaypointsAsLog, 0, 0, G::Waypoints,
     "Upload wpts. as a track log"},
    {40092, "(USB)", K::UploadWaypointsAsLog, 8, 0, G::Waypoints, "Upload wpts. as a track log"},
    {40042, "Select &all\tCtrl-A", K::SelectAll, -1, 0, G::Busy, "Select all items"},
    {40083, "", K::CopyTrack, -1, 0, G::Tracklog, "Copy track to clip board"},
    // CTR
    {40098, "Send to &Compeo/Competino", K::UploadCtrs, 4, 0, G::Ctr, kUploadCtrs},
    {40099, "Send to &Flytec 5020/5030", K::UploadCtrs, 4, 0, G::Ctr, kUploadCtrs},
    {40106, "Send to &Garmin as a log", K::UploadCtrs, 0, 0, G::Ctr, kUploadCtrs},
    {40107, "Send to Garmin &USB as a log", K::UploadCtrs, 8, 0, G::Ctr, kUploadCtrs},
    {40109, "Read from &Compeo/Competino", K::DownloadCtrs, 4, 0, G::Busy, kDownloadCtrs},
    {40110, "Read from &Flytec 5020/5030", K::DownloadCtrs, 4, 0, G::Busy, kDownloadCtrs},
    {40100, "&Read CTR(s) from file", K::ReadCtrFile, -1, 0, G::Busy, "Read CTR file"},
    {40108, "&Write CTR(s) to file", K::WriteCtrFile, -1, 0, G::Ctr, "Write CTR"},
    {40104, "&Edit CTR", K::EditCtr, -1, 0, G::Ctr, "Edit CTR"},
    {40105, "&New CTR", K::NewCtr, -1, 0, G::Busy, "Edit CTR"},
    {40111, "&Delete CTR(s)", K::DeleteCtrs, -1, 0, G::Ctr, "Edit CTR"},
    {40112, "&Show CTR as waypoints", K::ShowCtrAsWaypoints, -1, 0, G::Ctr, "Show CTR"},
    // Tools, settings, views
    {40032, "Convert &Position", K::ConvertPosition, -1, 0, G::None, "Coordinate conversion"},
    {40028, "&Calculate distance", K::CalculateDistance, -1, 0, G::None, "Calculate distance"},
    {40006, "Set &COM port", K::SetComPort, -1, 0, G::Busy, "Set COM port"},
    {40121, "Competition &Mode", K::CompetitionMode, -1, 0, G::Busy, "Competition mode"},
    {40122, "Competition Mode and pilot &List", K::CompetitionModeAndList, -1, 0, G::Busy, "Competition mode"},
    {40025, "&Tracklog", K::ViewTracklog, -1, 0, G::None, "Change view mode"},
    {40024, "&Waypoints", K::ViewWaypoints, -1, 0, G::None, "Change view mode"},
    {40101, "&CTR", K::ViewCtr, -1, 0, G::None, "Change view mode"},
    {40005, "About", K::About, -1, 0, G::None, "About Tarnvik"},
    {40079, "&Dump Debug Data", K::DumpDebug, -1, 0, G::None, ""},
    {40080, "&Clear Debug Data", K::ClearDebug, -1, 0, G::None, ""},
    // Buttons
    {1102, "&Abort transfer", K::Abort, -1, 0, G::None, ""},
    {1018, "&UTM", K::UtmCheckBox, -1, 0, G::None, ""},
};

constexpr std::array<Accelerator, 17> kAccelerators = {{
    {'A', 40042}, {'C', 40083}, {'E', 40054}, {'F', 40085}, {'G', 40029}, {'I', 40043},
    {'L', 40010}, {'M', 40004}, {'N', 40065}, {'O', 40117}, {'R', 40058}, {'S', 1315},
    {'T', 40090}, {'U', 40075}, {'V', 40073}, {'W', 40047}, {'X', 40091},
}};

constexpr std::array<CommandButton, 8> kButtons = {{
    {40029, "Garmin (RS232)"}, {40075, "Garmin (USB)"}, {40054, "Compeo/Competino"},
    {40085, "Flytec 5020/5030"}, {40091, "XC Trainer (MXP)"}, {40004, "MLR"},
    {40090, "TopNav (MXP)"}, {40010, "Log_It"},
}};

bool PassesGuard(Session& session, const CommandInfo& c) {
  std::string caption(c.caption);
  switch (c.guard) {
    case G::None: return true;
    case G::Busy: return session.CheckNotBusy(caption);
    case G::Tracklog: return session.CheckView(ViewMode::Tracklog, caption);
    case G::Waypoints: return session.CheckView(ViewMode::Waypoints, caption);
    case G::Ctr: return session.CheckView(ViewMode::Ctr, caption);
  }
  return true;
}

// A copy of the selected waypoints (the engine releases what it is given).
std::vector<core::Waypoint> SelectedWaypoints(const Session& session) {
  std::vector<core::Waypoint> out;
  for (size_t row : session.selection()) {
    if (row < session.waypoints.waypoints.size()) out.push_back(session.waypoints.waypoints[row]);
  }
  return out;
}

void UploadSelectedWaypoints(Session& session, const CommandInfo& c, int accessType) {
  std::vector<core::Waypoint> selected = SelectedWaypoints(session);
  if (selected.empty()) {
    session.Message(std::string(c.caption), "No waypoints selected");
    return;
  }
  // The Flytec/Brauniger instruments keep only a name: "Only Name" sends the comment (the ID
  // where there is none), "ID+Name" the ID and the comment.
  if (c.kind == CommandKind::UploadWaypointNames) ApplyIqCompeoCommentRule(selected, false);
  if (c.kind == CommandKind::UploadWaypointIdNames) ApplyIqCompeoCommentRule(selected, true);
  // In competition mode the pilot's IDs follow as COMPID/CIVLID, after the comment rule so
  // their names stay as they are; a cancelled ID dialog sends nothing.
  if (session.competitionMode && accessType == access::kAccessUploadWaypoints &&
      !AddCompetitionIdWaypoints(session, selected)) {
    return;
  }
  access::AccessData data;
  int count = static_cast<int>(selected.size());
  data.waypoints = std::move(selected);
  session.StartUpload(accessType, c.protocol, std::move(data), count, std::string(c.caption));
}

// "Set COM port": the ports that exist, the session's port preselected; the choice becomes the
// session's port (and the remembered one) and the title shows it.
void ChooseComPort(Session& session) {
  std::vector<std::string> ports =
      session.dialogs.listSerialPorts ? session.dialogs.listSerialPorts() : access::ListSerialPorts();
  access::ComPortChoice choice;
  if (access::PrepareComPortChoice(session.ui(), std::move(ports), session.portName, choice) != 0) return;
  if (session.dialogs.comPort) {
    std::optional<std::string> chosen = session.dialogs.comPort(choice);
    if (!chosen || chosen->empty()) return;
    session.portName = chosen->substr(0, kPortNameLength);
    session.settings.SetText(core::SettingId::PortName, session.portName);
    session.UpdateTitle();
    return;
  }
  // The preselected entry goes first so that a plain item choice starts on it.
  std::vector<std::string> items = choice.ports;
  if (choice.selected > 0) std::rotate(items.begin(), items.begin() + choice.selected, items.begin() + choice.selected + 1);
  int picked = session.ui().ChooseItem("Select COM port", "COM port", items);
  if (picked < 0 || picked >= static_cast<int>(items.size())) return;
  session.portName = items[static_cast<size_t>(picked)];
  session.settings.SetText(core::SettingId::PortName, session.portName);
  session.UpdateTitle();
}

void EditSelectedWaypoint(Session& session, const CommandInfo& c) {
  auto& list = session.waypoints.waypoints;
  std::string caption(c.caption);
  if (list.empty()) {
    session.Message(caption, "No waypoints in list");
    return;
  }
  if (session.selection().empty()) {
    session.Message(caption, "No waypoint selected");
    return;
  }
  const size_t row = session.selection().front();
  if (row >= list.size()) return;
  WaypointEditForm form = OpenWaypointEditForm(list[row], session.waypointEditor.utm, false);
  const bool accepted = session.dialogs.waypointEdit(form);
  session.waypointEditor.utm = form.utm;
  if (!accepted) return;
  session.waypointEditor.buffer = form.waypoint;
  session.ReplaceWaypoint(row, form.waypoint);  // in place; the selection stays
}

// "&New waypoint": the edit buffer's position and height without ID and comment; the accepted
// waypoint is inserted with the duplicate-ID question and becomes the buffer.
void NewWaypoint(Session& session) {
  WaypointEditForm form =
      OpenWaypointEditForm(NewWaypointFrom(session.waypointEditor.buffer), session.waypointEditor.utm, true);
  const bool accepted = session.dialogs.waypointEdit(form);
  session.waypointEditor.utm = form.utm;
  if (!accepted) return;
  session.waypointEditor.buffer = form.waypoint;
  session.InsertWaypoint(form.waypoint);
  if (session.viewMode == ViewMode::Waypoints) session.ChangeView(ViewMode::Waypoints, true);
}

// "&Calculate distance": the form works on copies of the waypoint list and of the stored
// positions; what it keeps comes back when the dialog is closed.
void DistanceTool(Session& session) {
  DistanceForm form = OpenDistanceForm(session.distanceTool, session.waypoints);
  session.dialogs.distanceTool(form);
  session.distanceTool = form.state;
}

void DeleteSelectedWaypoints(Session& session, const CommandInfo& c) {
  auto& list = session.waypoints.waypoints;
  std::string caption(c.caption);
  if (list.empty()) {
    session.Message(caption, "No waypoints in list");
    return;
  }
  if (session.selection().empty()) {
    session.Message(caption, "No waypoint selected");
    return;
  }
  std::vector<core::Waypoint> kept;
  const auto& selection = session.selection();
  for (size_t i = 0; i < list.size(); ++i) {
    if (!std::binary_search(selection.begin(), selection.end(), i)) kept.push_back(list[i]);
  }
  list = std::move(kept);
  session.waypoints.shownCount = static_cast<int>(list.size());
  session.ChangeView(ViewMode::Waypoints, true);
}

// False for a command whose dialog hook is not set or whose format this build does not have.
bool HasDialogAndFormat(const Session& session, const CommandInfo& c) {
  switch (c.kind) {
    case K::CompetitionMode:
    case K::CompetitionModeAndList:
      if (!session.competition || !session.competition->dialogs.Complete()) return false;
      break;
    case K::NewWaypoint:
    case K::EditWaypoint:
      if (!session.dialogs.waypointEdit) return false;
      break;
    case K::EditCtr:
    case K::NewCtr:
      if (!session.dialogs.ctrEdit) return false;
      break;
    case K::OlcIgcBuffer:
    case K::OlcSelected:
      if (!session.dialogs.olcStatistics) return false;
      break;
    case K::ConvertPosition:
      if (!session.dialogs.conversionTool) return false;
      break;
    case K::CalculateDistance:
      if (!session.dialogs.distanceTool) return false;
      break;
    case K::CopyTrack:
      if (!session.dialogs.clipboard) return false;
      break;
    case K::WriteOwnerName:
      if (!session.dialogs.ownerName) return false;
      break;
    case K::SaveKml:
      if (session.competitionMode ? !session.competition || !session.competition->dialogs.savePilot
                                  : !session.dialogs.flightStatistics) {
        return false;
      }
      break;
    case K::SaveIgc:
      if (!session.dialogs.igcFormat) return false;
      break;
    case K::SaveIgcFromGps:
      if (!session.dialogs.rawIgcSave) return false;
      break;
    default:
      break;
  }
  return true;
}

}  // namespace

std::span<const CommandInfo> CommandTable() { return kCommands; }

const CommandInfo* FindCommand(int id) {
  for (const CommandInfo& c : kCommands) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

std::span<const Accelerator> Accelerators() { return kAccelerators; }

std::optional<int> CommandForAccelerator(char key) {
  if (key >= 'a' && key <= 'z') key = static_cast<char>(key - 'a' + 'A');
  for (const Accelerator& a : kAccelerators) {
    if (a.key == key) return a.commandId;
  }
  return std::nullopt;
}

std::span<const CommandButton> CommandButtons() { return kButtons; }

namespace {

// The access type a transfer command starts, or -1 for a command that starts none.
int AccessTypeOf(CommandKind kind) {
  switch (kind) {
    case K::DownloadTrackLog: return access::kAccessDownloadTrackLog;
    case K::DownloadWaypoints: return access::kAccessDownloadWaypoints;
    case K::UploadWaypoints:
    case K::UploadWaypointNames:
    case K::UploadWaypointIdNames: return access::kAccessUploadWaypoints;
    case K::UploadWaypointsAsLog: return access::kAccessUploadTrackLog;
    case K::UploadCtrs: return access::kAccessUploadCtrs;
    case K::DownloadCtrs: return access::kAccessDownloadCtrs;
    case K::EraseTrack: return access::kAccessEraseTrack;
    case K::WriteOwnerName: return access::kAccessWriteOwnerName;
    case K::ReadProductData: return access::kAccessReadInstrumentData;
    default: return -1;
  }
}

}  // namespace

bool CommandAvailable(const Session& session, const CommandInfo& command,
                      const access::AccessRoutineTable& routines) {
  if (!HasDialogAndFormat(session, command)) return false;
  const int accessType = AccessTypeOf(command.kind);
  return accessType < 0 || routines.Find(accessType, command.protocol) != nullptr;
}

CommandOutcome DispatchCommand(Session& session, int id) {
  const CommandInfo* found = FindCommand(id);
  if (!found) return CommandOutcome::Unknown;
  const CommandInfo& c = *found;
  // The commands whose dialogs or formats this build does not have yet say so before any guard
  // runs, so that nothing is shown for them.
  if (!HasDialogAndFormat(session, c)) return CommandOutcome::NotAvailable;
  if (!PassesGuard(session, c)) return CommandOutcome::Done;
  std::string caption(c.caption);
  switch (c.kind) {
    case K::DownloadTrackLog: session.DownloadTrackLog(c.protocol, c.speed); break;
    case K::DownloadWaypoints: session.DownloadWaypoints(c.protocol, c.speed); break;
    case K::UploadWaypoints:
    case K::UploadWaypointNames:
    case K::UploadWaypointIdNames:
      UploadSelectedWaypoints(session, c, access::kAccessUploadWaypoints);
      break;
    case K::UploadWaypointsAsLog: UploadSelectedWaypoints(session, c, access::kAccessUploadTrackLog); break;
    case K::UploadCtrs: UploadCtrCommand(session, c.protocol); break;
    case K::DownloadCtrs: DownloadCtrCommand(session, c.protocol); break;
    case K::ReadCtrFile: ReadCtrFileCommand(session); break;
    case K::WriteCtrFile: WriteCtrFileCommand(session); break;
    case K::EditCtr: EditCtrCommand(session); break;
    case K::NewCtr: NewCtrCommand(session); break;
    case K::DeleteCtrs: DeleteCtrCommand(session); break;
    case K::ShowCtrAsWaypoints: ShowCtrCommand(session); break;
    case K::EraseTrack:
      if (session.ui().Ask("Erase Track Log", "Are you sure ?", core::Buttons::OkCancel, core::Answer::Cancel) ==
          core::Answer::Ok) {
        session.StartJob(access::kAccessEraseTrack, c.protocol, 0, caption);
      }
      break;
    case K::ReadProductData: session.StartJob(access::kAccessReadInstrumentData, c.protocol, 0, caption); break;
    case K::DeleteWaypoints: DeleteSelectedWaypoints(session, c); break;
    case K::SelectAll: session.SelectAll(); break;
    case K::TrackLogFilter: session.ToggleTrackLogFilter(); break;
    case K::ViewTracklog: session.ChangeView(ViewMode::Tracklog); break;
    case K::ViewWaypoints: session.ChangeView(ViewMode::Waypoints); break;
    case K::ViewCtr: session.ChangeView(ViewMode::Ctr); break;
    case K::UtmCheckBox: session.SetUtmChecked(!session.utmChecked); break;
    case K::Abort: session.AbortTransfer(); break;
    case K::Exit: session.Close(); break;
    case K::About: {
      char text[32];
      std::snprintf(text, sizeof text, "Version %d.%02d", core::kVersion / 100, core::kVersion % 100);
      session.ui().ShowMessage(caption, text, core::Icon::Information);
      break;
    }
    case K::ClearDebug: access::ProcessDebugCapture().Clear(); break;
    case K::DumpDebug: {
      DialogMemory& memory = session.Dialog(FileDialog::DebugDump);
      core::FileRequest request;
      request.folder = memory.folder;
      if (access::SaveDebugCapture(session.ui(), access::ProcessDebugCapture(), request) == 0) {
        memory.folder = request.folder;
      }
      break;
    }
    case K::NewWaypoint: NewWaypoint(session); break;
    case K::EditWaypoint: EditSelectedWaypoint(session, c); break;
    case K::CalculateDistance: DistanceTool(session); break;
    case K::ConvertPosition: {
      ConversionForm form;
      session.dialogs.conversionTool(form);
      break;
    }
    case K::SetComPort: ChooseComPort(session); break;
    case K::WriteOwnerName:
      if (std::optional<std::string> name = session.dialogs.ownerName(c.protocol)) {
        access::AccessData data;
        data.text = *name;
        session.StartUpload(access::kAccessWriteOwnerName, c.protocol, std::move(data), 1, caption);
      }
      break;
    case K::CopyTrack:
      if (std::optional<std::string> text = analysis::CopyTrackText(session.ui(), session.SelectedPoints())) {
        session.dialogs.clipboard(*text);
      }
      break;
    case K::OpenLog: OpenLogCommand(session); break;
    case K::SaveKml:
      if (session.competitionMode) {
        SaveLogForCompetition(session);
      } else {
        SaveKmlCommand(session);
      }
      break;
    case K::CompetitionMode: ToggleCompetitionMode(session, false); break;
    case K::CompetitionModeAndList: ToggleCompetitionMode(session, true); break;
    case K::OlcIgcBuffer: OlcStatisticsCommand(session, true); break;
    case K::OlcSelected: OlcStatisticsCommand(session, false); break;
    case K::SaveIgc: SaveIgcCommand(session); break;
    case K::SaveIgcFromGps: SaveIgcFromGpsCommand(session); break;
    case K::VerifyIgc: VerifyIgcCommand(session); break;
    case K::SaveLogAs: SaveLogAsCommand(session); break;
    case K::SaveWaypointsAs: SaveWaypointsAsCommand(session); break;
    case K::OpenWaypoints: OpenWaypointsCommand(session); break;
    default: return CommandOutcome::NotAvailable;
  }
  return CommandOutcome::Done;
}

}  // namespace tarnvik::app
