// The access engine: the single gate to the instruments. It checks a transfer request, refuses
// a second one while a transfer runs, opens the COM port (or the Garmin USB device), picks the
// worker routine for (access type, protocol) from the routine table that the instrument
// families fill in, runs it on a worker thread, lets the user abort it, and releases the job
// when the worker ends.
//
// Threads: StartAccess, AbortAccess and ShutdownAccessEngine are called from one thread (the
// main thread), also re-entered from a nested event loop under one of the engine's messages
// (the lock is never held while a message shows, a port opens or the line settles); routines
// and the job's callbacks run on the worker thread. Cancellation is cooperative: a routine
// tests job.AbortRequested() (or Link::Cancelled()) after every packet, line or chunk, and a
// question it waits on is answered Cancel at once. A worker is never suspended: if it has not
// ended 1000 ms after an abort, the engine closes its port (so its next read or write fails at
// once), lets it finish on its own with shared ownership of its job, and accepts the next
// transfer at once. From then on that
// worker reaches nothing: its texts, failures and completion are dropped and it captures no
// more bytes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "access/debug_capture.h"
#include "access/link.h"
#include "access/transport.h"
#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::access {

// ---- protocol numbers and access types -----------------------------------------------------

constexpr int kProtocolGarminSerial = 0;
constexpr int kProtocolMlr = 1;
constexpr int kProtocolTopNavigator = 2;
constexpr int kProtocolLogIt = 3;
constexpr int kProtocolFlytec = 4;
constexpr int kProtocolGraviter = 5;
constexpr int kProtocolMagellan = 6;
constexpr int kProtocolXcTrainer = 7;
constexpr int kProtocolGarminUsb = 8;
constexpr int kProtocolTopNavigatorMxp = 9;
constexpr int kProtocolXcTrainerMxp = 10;
constexpr int kProtocolFlytecTrackList = 11;
constexpr int kProtocolCount = 12;

constexpr int kAccessDownloadWaypoints = 0;
constexpr int kAccessDownloadTrackLog = 1;
constexpr int kAccessReadInstrumentData = 2;
constexpr int kAccessUploadWaypoints = 3;
constexpr int kAccessEraseTrack = 4;
constexpr int kAccessWriteOwnerName = 5;
constexpr int kAccessUploadTrackLog = 6;
constexpr int kAccessUploadCtrs = 7;
constexpr int kAccessDownloadCtrs = 8;
constexpr int kAccessTypeCount = 9;

// True for the cells of the routine table that an instrument family may fill (access type x
// protocol); every other cell stays "not supported".
bool IsRoutineCell(int accessType, int protocol);
// True for the access types whose records pass to the completion callback (downloads and the
// instrument data read); the records of the others are released by the engine.
bool IsDownload(int accessType);
// Line speed at which the COM port opens for a protocol and access type: 9600 (Garmin serial,
// Top Navigator), 57600 (Flytec/Brauniger and its track list), 57600 for a track log download
// and 9600 otherwise (XC Trainer, both MXP link protocols), 4800 (MLR, LogIt, Graviter,
// Magellan). 0 for Garmin USB, which has no line speed.
int OpeningSpeed(int protocol, int accessType);

// ---- records moving through a job ----------------------------------------------------------

// The records of one transfer. An upload hands the engine its own copy (the engine releases it
// when the job ends); a download's routine fills it and, on success, the engine moves it to
// the completion callback.
struct AccessData {
  std::vector<core::TrackPoint> points;
  std::vector<core::Waypoint> waypoints;
  core::CtrList ctrs;
  std::string text;                 // instrument data shown in a dialog (access type 2)
  std::vector<uint8_t> rawIgc;      // the raw IGC log of an IGC download (origin 5)
  std::vector<uint8_t> rawDevice;   // the raw device log (origin 3, Top Navigator)
};

// What the completion callback receives, once, on the worker thread.
struct AccessCompletion {
  uint64_t jobId = 0;
  int accessType = 0;
  int protocol = 0;
  int result = -1;   // 0 (or a positive value of the protocol's own) on success, -1 on failure
  AccessData data;   // success of a download: the records received; otherwise empty
  int count = 0;     // number of records in data (0 on failure)
  int extra = 0;     // value of the protocol's own (0 on failure)
  int origin = 0;    // origin code of the delivering protocol (0 on failure)
  int32_t competitionId = -1;  // found on the instrument, -1 = none
  int32_t civlId = -1;
  bool abortRequested = false;  // the user aborted this job before it ended
};

// The callbacks of one job. Every one may be empty. They run on the worker thread (except the
// "Transfer aborted" status, which AbortAccess reports from the calling thread), receive the
// job's identity first, and are never called for a job that the engine no longer holds as its
// current one. A front end marshals them to its own thread.
struct JobCallbacks {
  // A progress text for the status line.
  std::function<void(uint64_t jobId, const std::string& text)> status;
  // A text for the product line.
  std::function<void(uint64_t jobId, const std::string& text)> product;
  // A routine's failure message (caption names the transfer). Empty: shown through the
  // engine's Ui with the error icon. Dropped once the job was aborted: the failure that an
  // abort causes (a read on the closed port) ends the worker silently.
  std::function<void(uint64_t jobId, const std::string& caption, const std::string& text)> fail;
  // A question asked mid-transfer. stop is the job's abort: once it is requested the callback
  // must return (the answer no longer counts: the worker gets Cancel). A front end that waits
  // for its user waits on it too (std::condition_variable_any with the token), so an abort
  // ends the wait at once and the worker ends on its own instead of being left behind. Empty:
  // the default answer.
  std::function<core::Answer(uint64_t jobId, const std::string& caption, const std::string& text,
                             core::Buttons buttons, core::Answer defaultAnswer, std::stop_token stop)>
      ask;
  // An item choice (a track of the instrument), with the same abort rule; -1 is cancelled.
  // Empty: -1.
  std::function<int(uint64_t jobId, const std::string& caption, const std::string& prompt,
                    const std::vector<std::string>& items, std::stop_token stop)>
      chooseItem;
  // A choice of several items ("OK" or "&All"): the 0-based indices, ascending. Same abort
  // rule: once stop is requested it answers empty. Empty: nothing chosen.
  std::function<std::vector<int>(uint64_t jobId, const std::string& caption, const std::string& prompt,
                                 const std::vector<std::string>& items, std::stop_token stop)>
      chooseItems;
  // Competition mode: the pilot confirms the download for the IDs read from the instrument
  // (-1 = not found); false refuses. Same abort rule: once stop is requested it answers false.
  // Empty: confirmed.
  std::function<bool(uint64_t jobId, int32_t competitionId, int32_t civlId, std::stop_token stop)>
      confirmCompetition;
  // "No log positions": a downloaded track holds no positions. Returns true when the user
  // ticked "&Skip further notifications". Same abort rule: once stop is requested it answers
  // false. Empty: the text goes to the status callback and the transfer goes on.
  std::function<bool(uint64_t jobId, const std::string& text, std::stop_token stop)> noLogPositions;
  // The job's result. Records move to it on success.
  std::function<void(AccessCompletion&& completion)> completion;
};

// An opened instrument connection that is not a byte stream (the Garmin USB device). The engine
// only closes it; the routines of protocol 8 reach their own interface through
// AccessJob::usbDevice (dynamic_cast).
class OpenedDevice {
 public:
  virtual ~OpenedDevice() = default;
  // Safe from another thread while the worker waits on the device (the abort path).
  virtual void Close() = 0;
};

// ---- the job context a routine works on -----------------------------------------------------

// One transfer, as a worker routine sees it. The engine builds it; tests build one directly
// over a fake or in-memory transport to run a routine without the engine.
class AccessJob {
 public:
  AccessJob(int accessType, int protocol, Transport& transport, core::Clock& clock,
            core::Operation& operation, DebugCapture& capture)
      : accessType(accessType),
        protocol(protocol),
        link_(transport, clock, operation, capture, protocol) {}
  AccessJob(const AccessJob&) = delete;
  AccessJob& operator=(const AccessJob&) = delete;

  uint64_t id = 0;       // identity given by the engine, unique within the process
  int accessType = 0;
  int protocol = 0;
  std::string portName;  // as given to StartAccess (at most 80 characters)
  int speed = 0;         // line speed asked for by the caller; 0 = the protocol's default

  // In: the records to upload. Out: the records received (a download's routine fills it).
  AccessData data;
  int count = 0;    // number of records in data
  int extra = 0;    // value of the protocol's own for the completion
  int origin = 0;   // origin code the routine reports on success
  int32_t competitionId = -1;
  int32_t civlId = -1;
  bool competition = false;  // competition mode: the track download reads and confirms the IDs

  OpenedDevice* usbDevice = nullptr;  // protocol 8 only

  // Worker I/O: writes, buffered reads with their time limit, speed changes, capture.
  Link& link() { return link_; }
  Transport& transport() { return link_.transport(); }
  core::Clock& clock() { return link_.clock(); }
  // Status and product texts, failures, questions, cancellation.
  core::Operation& operation() { return link_.operation(); }
  DebugCapture& capture() { return link_.capture(); }
  bool AbortRequested() const { return link_.Cancelled(); }

 private:
  Link link_;
};

// Calls the job's status callback (when set) with the text.
void ReportStatus(AccessJob& job, const std::string& text);

// A worker routine: runs the protocol's steps and returns the result (0 or a positive
// value of the protocol's own on success, -1 on failure after reporting it through
// job.operation().Fail). On success it leaves the received records in job.data with job.count,
// and sets job.origin and job.extra. The engine then calls the completion callback and
// releases the job.
using AccessRoutine = std::function<int(AccessJob& job)>;

// The routine table: 9 access types x 12 protocols. The instrument families fill it.
class AccessRoutineTable {
 public:
  // Stores the routine in its cell. False (nothing stored) for a cell out of range or one
  // that the table never supports (IsRoutineCell).
  bool Register(int accessType, int protocol, AccessRoutine routine);
  // The routine of a cell, or null when the cell is empty or out of range.
  const AccessRoutine* Find(int accessType, int protocol) const;

 private:
  std::array<std::array<AccessRoutine, kProtocolCount>, kAccessTypeCount> cells_;
};

// The process-wide table that the application's engine uses. Families register into it at
// start-up, before the first transfer.
AccessRoutineTable& DefaultAccessRoutines();
bool RegisterAccessRoutine(int accessType, int protocol, AccessRoutine routine);

// ---- port openers -----------------------------------------------------------------------------

// Opens a COM port by name. On failure returns null and fills caption and text ("Opening the
// COM port" and the system's text).
using SerialOpener = std::function<std::unique_ptr<Transport>(const std::string& portName,
                                                              std::string& errorCaption,
                                                              std::string& errorText)>;
// Opens the Garmin USB device for a job (protocol 8). Reports its own failures through the
// Ui and returns null.
using UsbOpener = std::function<std::unique_ptr<OpenedDevice>(AccessJob& job, core::Ui& ui)>;

// Sets the process-wide USB opener (the USB backend registers it at start-up).
void RegisterUsbOpener(UsbOpener opener);

// ---- the engine -------------------------------------------------------------------------------

struct AccessEnvironment {
  core::Ui* ui = nullptr;        // engine-level messages; required
  core::Clock* clock = nullptr;  // null: the system clock
  DebugCapture* capture = nullptr;  // null: the process-wide capture (ProcessDebugCapture)
  const AccessRoutineTable* routines = nullptr;  // null: DefaultAccessRoutines()
  SerialOpener openSerial;  // empty: OpenSerialPort
  UsbOpener openUsb;        // empty: the registered USB opener
};

struct AccessRequest {
  int accessType = 0;
  int protocol = 0;
  std::string portName;  // cut to 80 characters
  int speed = 0;         // 0 = the protocol's default
  AccessData data;       // upload records; the engine owns them from now on
  int count = 0;
  bool competition = false;  // competition mode (AccessJob::competition)
  JobCallbacks callbacks;
};

class AccessEngine {
 public:
  // InitAccessEngine is part of construction.
  explicit AccessEngine(const AccessEnvironment& environment);
  // Shuts down (ShutdownAccessEngine) when still running.
  ~AccessEngine();
  AccessEngine(const AccessEngine&) = delete;
  AccessEngine& operator=(const AccessEngine&) = delete;

  // Clears the debug capture and forgets any job. Called once when the main window starts.
  void InitAccessEngine();
  // Checks the request, opens the port and starts the worker. 0 when the worker runs (with
  // the job's identity in *jobId), -1 after one message ("Bad access type", "Bad protocol
  // type", "Unsupported access function", "Port/USB is being used", an opening failure), or
  // without one when an abort came while the port was opening. On -1 the request's records
  // are released.
  // The engine's lock is held only to decide (refuse, or reserve the engine for this start)
  // and to make the started job current: the port opener, the line's 200 ms settle time and
  // every message run outside it. While the start is under way the engine counts as busy.
  int StartAccess(AccessRequest request, uint64_t* jobId = nullptr);
  // Aborts the running transfer: "Transfer aborted" in the status line, the job is flagged
  // (a question the worker waits on is answered Cancel at once, see JobCallbacks::ask) and
  // the worker is given 1000 ms to end; a worker still running then loses its port and is
  // left to end on its own. Returns:
  //   0  the worker ended within the wait: its completion (result -1 as a rule) has been
  //      called, nothing of the job is left. Also for an abort of a start whose port is still
  //      opening (from a nested event loop): that start then returns -1 without a worker.
  //   1  the worker was left behind: no completion will come for it (a command-line run ends
  //      its transfer as failed itself); the engine is free at once.
  //  -1  nothing runs: "Port not in use" (caption "Abort GPS access").
  // Never waits with the engine's lock held.
  int AbortAccess();
  // Stops a running job as AbortAccess does, without its message; afterwards every start is
  // refused silently with -1.
  void ShutdownAccessEngine();
  // True while a job is current.
  bool IsBusy() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace tarnvik::access
