// The application session: the state the main window owns (current track log, waypoint list,
// CTR list, busy flag, view mode, settings), the guards every command applies, the start and
// end of instrument transfers, the view changes and the close handler. It is toolkit-free: a
// window (Qt) or a headless run only shows what the session holds and forwards the user's
// commands; every message and question goes through the Ui port.
//
// Threads: every member function runs on the main thread. Worker callbacks reach the session
// only through its MainThreadQueue (see transfer.h).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "access/serial_ports.h"
#include "app/conversion_form.h"
#include "app/distance_form.h"
#include "app/graviter_forms.h"
#include "app/ctr_forms.h"
#include "app/igc_forms.h"
#include "app/olc_claim.h"
#include "app/product_data_form.h"
#include "app/transfer.h"
#include "app/waypoint_edit_form.h"
#include "core/flight_summary.h"
#include "core/ports.h"
#include "core/records.h"
#include "core/settings.h"
#include "formats/igc.h"

namespace tarnvik::app {

enum class ViewMode : int { Waypoints = 0, Tracklog = 1, Ctr = 2 };

// The current track log and what the window keeps beside it.
struct CurrentTrackLog {
  bool present = false;  // a log exists (it may hold no points)
  core::TrackLog log;    // points, origin code, source kind and flag, time taken over
  bool saved = false;
  std::vector<uint8_t> rawIgc;     // raw IGC log of an IGC download (origin 5) or IGC file read
  std::vector<uint8_t> rawDevice;  // raw device log of a Top Navigator download (origin 3)
};

// Log source kind and its UTC flag from a download's origin code (and its result value, which
// tells the two kinds of Flytec/Brauniger logs apart).
struct LogSource {
  int kind = 0;
  int flag = 0;
};
LogSource LogSourceFromOrigin(int origin, int result);

// What the window shows of the session. Every call comes on the main thread; the defaults do
// nothing, so a headless run or a test needs no front end.
class SessionFrontEnd {
 public:
  virtual ~SessionFrontEnd() = default;
  // The columns and rows of the current view are to be reloaded (nothing selected).
  virtual void ViewLoaded() {}
  virtual void SelectionChanged() {}
  // One row of the current view changed in place (an edited waypoint): redraw it and keep the
  // selection.
  virtual void RowChanged(size_t) {}
  virtual void StatusText(const std::string&) {}
  virtual void ProductText(const std::string&) {}
  virtual void Title(const std::string&) {}
  virtual void FilterChecked(bool) {}
  // The close handler ran: the window ends with this code (0, or -1 after a failed start).
  virtual void EndDialog(int) {}
};

class Session;
struct CompetitionState;

// A run started with command-line actions. The command-line driver implements it; the
// session calls it at the end of its initialisation, when a transfer ends with success, and
// asks it whether downloads refresh the view.
class CommandLineRun {
 public:
  virtual ~CommandLineRun() = default;
  // While set, a download does not switch to and refresh the Tracklog view.
  virtual bool ExitWhenDone() const = 0;
  // Starts the requested transfer: 0, or -1 when the run failed and the program is to close.
  virtual int Start(Session& session) = 0;
  // Writes the action's file after a successful transfer; nonzero when the program closes.
  virtual int Finish(Session& session) = 0;
};

// What the flight statistics dialog works on: the selected fixes in list order, the filter
// setting, the log's source kind and UTC flag, and the save its "Save" button calls (the KML
// logbook save; the log is marked saved when it succeeds).
struct FlightStatisticsRun {
  std::vector<core::TrackPoint> selected;
  bool filterOn = false;
  int sourceKind = 0;
  int sourceFlag = 0;
  std::function<int(const core::FlightSummary& summary, const std::string& description)> save;
};

// What the OLC statistics dialog works on: the working set (all fixes of the raw IGC log, or the
// selected fixes in list order) and, for the claim, where it came from.
struct OlcStatisticsRun {
  std::vector<core::TrackPoint> fixes;
  OlcClaimSource source;
};

// The dialogs a front end shows for the session's commands. Each form dialog runs its check on
// "&Save" (keeping the dialog open on a failure) and returns true once the check passed, false
// when cancelled. A command whose dialog is not set is not available in that front end.
struct SessionDialogs {
  std::function<bool(IgcFormatForm& form)> igcFormat;
  std::function<bool(RawIgcSaveForm& form)> rawIgcSave;
  // Opens the statistics dialog (analysis::StatisticsModel) over the run and keeps it until
  // the user closes it.
  std::function<void(FlightStatisticsRun& run)> flightStatistics;
  // "Edit waypoint" over its form (a new waypoint, or a copy of the selected one); true once
  // CheckWaypointEdit passed, the result in form.waypoint.
  std::function<bool(WaypointEditForm& form)> waypointEdit;
  // "Calculate distance" and "Coordinate conversion" over their forms, until the user closes
  // them.
  std::function<void(DistanceForm& form)> distanceTool;
  std::function<void(ConversionForm& form)> conversionTool;
  // Opens the OLC statistics dialog (analysis::OlcModel and the claim form) over the run and
  // keeps it until the user closes it.
  std::function<void(OlcStatisticsRun& run)> olcStatistics;
  // Puts a text on the clipboard; false when the clipboard refused it (the front end said why).
  std::function<bool(const std::string& text)> clipboard;
  // The "Write GPS name" dialog for the instrument's name field (protocol 3: LogIt, 9
  // characters; protocol 5: Graviter, 8): the name, or nothing when cancelled.
  std::function<std::optional<std::string>(int protocol)> ownerName;
  // The modal "Product Data" dialog over the fields of "Read LogIt &Data"; returns after OK.
  // Unset (or a text without the labelled fields): the text goes to the Ui as a message.
  std::function<void(ProductDataForm& form)> productData;
  // The serial ports the "Set COM port" chooser offers (empty: the ports that exist).
  std::function<std::vector<std::string>()> listSerialPorts;
  // Competition mode: the pilot confirms a download for the IDs the instrument holds (-1 = not
  // found); false refuses it. Unset: confirmed.
  std::function<bool(int32_t competitionId, int32_t civlId)> confirmCompetition;
  // "No log positions" for one track without positions; the form's skipFurther is what the
  // user left ticked (it silences the rest of that download). Unset: the text goes to the
  // status line and the download goes on.
  std::function<void(NoLogPositionsForm& form)> noLogPositions;
  // The "Select COM port" dialog over the prepared choice (the ports, the one to preselect): the
  // port chosen or typed (a device path the list does not know, such as a pseudo-terminal
  // link), or nothing when cancelled. Unset: the Ui's item choice over the listed ports.
  std::function<std::optional<std::string>(const access::ComPortChoice& choice)> comPort;
  // "Edit CTR" over the form (its Check runs on OK). Unset: "&Edit CTR" and "&New CTR" are not
  // available.
  std::function<bool(CtrEditForm& form)> ctrEdit;
  // "CTR error notification" for one reader warning; the form's skipFurther is what the user
  // left ticked. Unset: the warning goes to the Ui as a message, nothing is skipped.
  std::function<void(CtrNotificationForm& form)> ctrNotification;
};

// The last folder and filter index of one file dialog.
struct DialogMemory {
  std::string folder;
  int filterIndex = 1;
};

// Identifies the file dialogs whose folder and type choice are remembered.
enum class FileDialog { OpenLog, SaveLogAs, SaveKml, SaveIgc, VerifyIgc, OpenWaypoints, SaveWaypoints, DebugDump, Ctr };

constexpr int kTransferEndMessage = 1024;
constexpr const char* kBusyText = "Busy GPS driver";
constexpr const char* kIncorrectViewText = "Incorrect view mode";

class Session {
 public:
  Session(core::Ui& ui, core::Clock& clock, TransferGate& gate, std::string_view folderDefault);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  void SetFrontEnd(SessionFrontEnd* frontEnd) { frontEnd_ = frontEnd; }
  void SetCommandLineRun(std::unique_ptr<CommandLineRun> run) { commandLine_ = std::move(run); }
  CommandLineRun* commandLine() { return commandLine_.get(); }
  // Saves the log for the competition after a download in competition mode (wired by the
  // competition commands; empty until then).
  std::function<void(Session&)> competitionSave;
  // Pilot list, current pilot and dialogs of competition mode (app/competition_mode.h); unset:
  // the mode is not available.
  std::shared_ptr<CompetitionState> competition;
  SessionDialogs dialogs;

  // Window initialisation: loads the settings, initialises the access engine, loads the
  // Tracklog view, sets the title and starts a command-line run. 0, or -1 when the run failed
  // (the close handler has run).
  int Initialise(std::unique_ptr<core::SettingsBackend> settingsBackend);

  // ---- guards ----
  // False after "Busy GPS driver" with the caption.
  bool CheckNotBusy(const std::string& caption);
  // False after "Busy GPS driver" or "Incorrect view mode" with the caption.
  bool CheckView(ViewMode needed, const std::string& caption);

  // ---- transfers ----
  // Download track log: busy guard, unsaved-log question, discard, Tracklog view, start (in
  // competition mode with the competition flag). The multi-track logbook download (protocol
  // 11) keeps the current log: no question, no discard; its document is saved through
  // "Save track for Hangarium" when it completes. 0 when the worker runs.
  int DownloadTrackLog(int protocol, int speed);
  int DownloadWaypoints(int protocol, int speed);
  // Starts an upload of records the caller hands over (a copy of its own). caption names the
  // command for the busy guard. 0 when the worker runs.
  int StartUpload(int accessType, int protocol, access::AccessData data, int count,
                  const std::string& caption);
  // Starts a job that neither replaces nor sends records (instrument data, erase, CTR read).
  int StartJob(int accessType, int protocol, int speed, const std::string& caption);
  // "Abort transfer": only when busy.
  void AbortTransfer();

  // The private transfer-end message, as the front end delivers it (queued) on the main thread.
  void OnTransferEnd(int kind, int success);

  // ---- views ----
  // Switches to a view; nothing happens when it is already shown and refresh is false.
  void ChangeView(ViewMode mode, bool refresh = false);
  // The "UTM" check box: refreshes the Waypoints or Tracklog view with the other column set.
  void SetUtmChecked(bool checked);
  void SelectAll();
  void ToggleTrackLogFilter();
  // Rows of the current view.
  size_t RowCount() const;
  // The selection, as the list reports it (rows of the current view).
  void SetSelection(std::vector<size_t> rows);
  const std::vector<size_t>& selection() const { return selection_; }
  // Copies of the selected track points in list order.
  std::vector<core::TrackPoint> SelectedPoints() const;

  // Inserts a waypoint as "&New waypoint" does: each waypoint with the same ID asks "Waypoint %s
  // already exists, overwrite ?" (Yes replaces it, No goes on); appended when none was replaced.
  void InsertWaypoint(const core::Waypoint& waypoint);
  // Replaces the waypoint of a row in place ("&Edit waypoint"): the row is redrawn and the
  // selection stays.
  void ReplaceWaypoint(size_t row, const core::Waypoint& waypoint);

  // ---- the current log ----
  void DiscardTrackLog();
  // A new log replaces the current one (file reads): points, source kind and flag, origin 0,
  // and the raw IGC log that came with it (empty for other formats).
  void ReplaceTrackLog(std::vector<core::TrackPoint> points, int sourceKind, int sourceFlag,
                       std::vector<uint8_t> rawIgc = {});
  // The raw IGC log with the first fix time and logger serial the IGC saves name files by.
  formats::IgcBuffer IgcBufferOfLog() const;

  // ---- texts ----
  void SetStatus(const std::string& text);
  void SetProduct(const std::string& text);
  std::string TitleText() const;
  void UpdateTitle();

  // Close handler (Exit, close request): runs once.
  void Close(int endCode = 0);

  // Shows a message with the error icon.
  void Message(const std::string& caption, const std::string& text);

  MainThreadQueue& queue() { return *queue_; }
  core::Ui& ui() { return ui_; }
  core::Clock& clock() { return clock_; }
  DialogMemory& Dialog(FileDialog dialog) { return dialogs_[dialog]; }

  // ---- state (plain fields, as the window's state) ----
  bool busy = false;
  ViewMode viewMode = ViewMode::Tracklog;
  bool utmView = false;     // the list shows UTM columns
  bool utmChecked = false;  // the "UTM" check box
  CurrentTrackLog track;
  core::WaypointList waypoints;
  // What the distance tool and the waypoint edit dialog keep while the program runs.
  DistanceToolState distanceTool;
  WaypointEditState waypointEditor;
  core::CtrList ctrs;
  bool competitionMode = false;
  bool exitFlag = false;
  std::string portName;
  std::string statusLine;
  std::string productLine;
  core::Settings settings;

 private:
  access::JobCallbacks MakeCallbacks();
  int Start(access::AccessRequest request, const std::string& caption);
  void OnCompletion(access::AccessCompletion&& completion);
  void CompleteTrackLog(access::AccessCompletion&& completion, bool ok);
  void CompleteWaypoints(access::AccessCompletion&& completion, bool ok);
  void PostTransferEnd(int kind, int success);
  bool RefreshesView() const { return !(commandLine_ && commandLine_->ExitWhenDone()); }
  // Questions of the current job; an abort or close answers them Cancel.
  struct WorkerQuestions;
  static int AskForWorker(MainThreadQueue& queue, WorkerQuestions& questions, std::stop_token stop,
                          std::function<int()> ask, int cancelValue);
  bool JobLive(uint64_t jobId) const { return jobId == latestJob_ && latestJobLive_ && busy; }
  void CancelWorkerQuestions();

  core::Ui& ui_;
  core::Clock& clock_;
  TransferGate& gate_;
  SessionFrontEnd* frontEnd_ = nullptr;
  std::unique_ptr<CommandLineRun> commandLine_;
  // Shared with the worker callbacks, which may outlive a job (never the session's state).
  std::shared_ptr<MainThreadQueue> queue_;
  std::vector<size_t> selection_;
  std::map<FileDialog, DialogMemory> dialogs_;

  // Identity of the latest job started (its texts are shown) and whether it may still
  // deliver (cleared by an abort and by the close handler).
  uint64_t latestJob_ = 0;
  bool latestJobLive_ = false;
  int latestAccessType_ = 0;

  // Shared with worker threads: the job whose questions may be asked, and those waiting.
  std::shared_ptr<WorkerQuestions> questions_;
};

}  // namespace tarnvik::app
