// The main window's command table as data (ids, menu texts, accelerators, the device type and
// speed of each transfer command, the view a command needs and the caption of its messages) and
// the dispatch of a command id through its guards.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "access/access_engine.h"
#include "app/session.h"

namespace tarnvik::app {

enum class CommandKind {
  SaveKml,              // "&Save log (Hangarium/.kml)": statistics, then the KML save
  SaveLogAs,            // "Save log &As..."
  OpenLog,              // "&Open log"
  SaveWaypointsAs,      // "Save &wpts. As..."
  OpenWaypoints,        // "Open wpts."
  SaveIgc,              // "Save log in &IGC format"
  SaveIgcFromGps,       // "Save IGC log from &GPS"
  VerifyIgc,            // "&Verify IGC log from Tarnvik"
  Exit,
  NewWaypoint,
  EditWaypoint,
  DeleteWaypoints,
  ConvertPosition,
  CalculateDistance,
  SelectAll,
  CopyTrack,
  DownloadTrackLog,     // device type and speed from the row
  DownloadWaypoints,
  UploadWaypoints,
  UploadWaypointNames,  // device 4, names only
  UploadWaypointIdNames,  // device 4, ID and name
  UploadCtrs,           // access type 7
  DownloadCtrs,         // access type 8
  UploadWaypointsAsLog, // access type 6
  ReadCtrFile,
  WriteCtrFile,
  EditCtr,
  NewCtr,
  DeleteCtrs,
  ShowCtrAsWaypoints,
  OlcIgcBuffer,
  OlcSelected,
  SetComPort,
  TrackLogFilter,
  EraseTrack,
  WriteOwnerName,
  ReadProductData,
  CompetitionMode,
  CompetitionModeAndList,
  ViewTracklog,
  ViewWaypoints,
  ViewCtr,
  About,
  DumpDebug,
  ClearDebug,
  Abort,
  UtmCheckBox,
};

// What a command needs before it runs.
enum class CommandGuard {
  None,       // runs any time
  Busy,       // refused with "Busy GPS driver" while a transfer runs
  Tracklog,   // busy guard and the Tracklog view ("Incorrect view mode")
  Waypoints,  // busy guard and the Waypoints view
  Ctr,        // busy guard and the CTR view
};

struct CommandInfo {
  int id;
  std::string_view text;  // menu or button text, "" for accelerator-only commands
  CommandKind kind;
  int protocol;  // device type (access engine protocol) of a transfer command, else -1
  int speed;     // line speed asked for, 0 = the protocol's default
  CommandGuard guard;
  std::string_view caption;  // caption of the command's messages
};

// The whole table, in menu order.
std::span<const CommandInfo> CommandTable();
const CommandInfo* FindCommand(int id);

struct Accelerator {
  char key;  // with Ctrl
  int commandId;
};
std::span<const Accelerator> Accelerators();
std::optional<int> CommandForAccelerator(char key);

// The shortcut buttons of the main window.
struct CommandButton {
  int commandId;
  std::string_view text;
};
std::span<const CommandButton> CommandButtons();

enum class CommandOutcome {
  Done,         // ran (which includes being refused by a guard or a question, with its message)
  Unknown,      // no such command id
  NotAvailable, // the command's dialog or format is not part of this build yet; nothing shown
};

// False when the command cannot run in this build or front end: its dialog hook is not set, its
// format is not built yet, or (a transfer command) no routine of its instrument family is
// registered in the table. A window shows such a command greyed out.
bool CommandAvailable(const Session& session, const CommandInfo& command,
                      const access::AccessRoutineTable& routines);

// Runs a command by id on the session: its guards, questions and action.
CommandOutcome DispatchCommand(Session& session, int id);

}  // namespace tarnvik::app
