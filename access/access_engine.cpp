#include "access/access_engine.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <string>
#include <stop_token>
#include <system_error>
#include <thread>
#include <utility>

#include "access/serial_port.h"

namespace tarnvik::access {

struct JobState;

namespace {

constexpr char kAccessCaption[] = "GPS access";
constexpr size_t kPortNameLength = 80;
constexpr auto kAbortWait = std::chrono::milliseconds(1000);

// Cells the table may hold a routine for (rows: access types, columns: protocols).
constexpr bool kRoutineCells[kAccessTypeCount][kProtocolCount] = {
    //  0  1  2  3  4  5  6  7  8  9 10 11
    {1, 1, 1, 0, 1, 0, 1, 1, 1, 0, 0, 0},  // 0 waypoints down
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},  // 1 track log down
    {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0},  // 2 read data
    {1, 1, 1, 0, 1, 0, 1, 1, 1, 0, 0, 0},  // 3 waypoints up
    {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0},  // 4 erase track
    {0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0},  // 5 write owner name
    {1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0},  // 6 track log up
    {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0},  // 7 CTRs up
    {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0},  // 8 CTRs down
};

UsbOpener& RegisteredUsbOpener() {
  static UsbOpener opener;
  return opener;
}

// The job's byte stream: empty until the port is open (every call fails), then the opened
// port. Close reaches the port from the aborting thread.
class JobTransport final : public Transport {
 public:
  void Attach(std::unique_ptr<Transport> port) { port_ = std::move(port); }
  bool attached() const { return port_ != nullptr; }
  int SetSpeed(int baud, bool xonXoff) override { return port_ ? port_->SetSpeed(baud, xonXoff) : -1; }
  int Read(uint8_t* buffer, size_t size, int maxWaitMs) override {
    return port_ ? port_->Read(buffer, size, maxWaitMs) : -1;
  }
  int Write(const uint8_t* bytes, size_t count) override { return port_ ? port_->Write(bytes, count) : -1; }
  void Purge() override {
    if (port_) port_->Purge();
  }
  void Close() override {
    if (port_) port_->Close();
  }
  std::string ErrorCaption() const override { return port_ ? port_->ErrorCaption() : ""; }
  std::string ErrorText() const override { return port_ ? port_->ErrorText() : ""; }

 private:
  std::unique_ptr<Transport> port_;
};

// The job's side of the Operation port: cancellation from the abort, texts and questions to
// the job's callbacks while the engine still holds the job.
class JobOperation final : public core::Operation {
 public:
  explicit JobOperation(JobState& job) : job_(job) {}
  bool IsCancelled() const override;
  void Status(const std::string& text) override;
  void Product(const std::string& text) override;
  void Fail(const std::string& caption, const std::string& text) override;
  core::Answer Ask(const std::string& caption, const std::string& text, core::Buttons buttons,
                   core::Answer defaultAnswer) override;
  int ChooseItem(const std::string& caption, const std::string& prompt,
                 const std::vector<std::string>& items) override;
  std::vector<int> ChooseItems(const std::string& caption, const std::string& prompt,
                               const std::vector<std::string>& items) override;
  bool ConfirmCompetition(int32_t competitionId, int32_t civlId) override;
  bool NoLogPositions(const std::string& text) override;

 private:
  JobState& job_;
};

}  // namespace

// Everything one transfer owns. Shared by the engine (while the job is current) and the
// worker (until it ends), so a worker left behind by an abort never touches freed memory.
struct JobState {
  JobState(uint64_t id, int accessType, int protocol, JobCallbacks callbacks, core::Ui& ui,
           core::Clock& clock, DebugCapture& capture)
      : id(id),
        callbacks(std::move(callbacks)),
        ui(ui),
        captureTap(capture),
        operation(*this),
        job(accessType, protocol, transport, clock, operation, captureTap) {
    job.id = id;
  }

  const uint64_t id;
  const JobCallbacks callbacks;
  core::Ui& ui;
  std::stop_source stop;

  // Guards detached and the delivery of every callback: once detached is set, no callback
  // of this job runs again.
  std::mutex mutex;
  bool detached = false;

  std::mutex doneMutex;
  std::condition_variable doneChanged;
  bool done = false;

  JobTransport transport;
  std::unique_ptr<OpenedDevice> usb;
  DebugCapture captureTap;
  JobOperation operation;
  AccessJob job;
};

struct AccessEngine::State {
  AccessEnvironment env;
  std::mutex mutex;  // the engine's lock: current job, worker handle, shutdown
  std::shared_ptr<JobState> current;
  // The job whose start is under way (its port is opening); not yet current, no worker yet.
  std::shared_ptr<JobState> starting;
  std::jthread worker;
  uint64_t lastJobId = 0;
  bool shutDown = false;

  core::Ui& ui() { return *env.ui; }
  core::Clock& clock() { return env.clock ? *env.clock : core::SystemClock(); }
  DebugCapture& capture() { return env.capture ? *env.capture : ProcessDebugCapture(); }
  const AccessRoutineTable& routines() { return env.routines ? *env.routines : DefaultAccessRoutines(); }
};

namespace {

bool JobOperation::IsCancelled() const { return job_.stop.stop_requested(); }

void JobOperation::Status(const std::string& text) {
  std::lock_guard lock(job_.mutex);
  if (!job_.detached && job_.callbacks.status) job_.callbacks.status(job_.id, text);
}

void JobOperation::Product(const std::string& text) {
  std::lock_guard lock(job_.mutex);
  if (!job_.detached && job_.callbacks.product) job_.callbacks.product(job_.id, text);
}

void JobOperation::Fail(const std::string& caption, const std::string& text) {
  // After an abort the failure is the closed port's doing: the worker ends silently, the
  // status line already says "Transfer aborted".
  if (IsCancelled()) return;
  std::lock_guard lock(job_.mutex);
  if (job_.detached) return;
  if (job_.callbacks.fail) {
    job_.callbacks.fail(job_.id, caption, text);
  } else {
    job_.ui.ShowMessage(caption, text, core::Icon::Error);
  }
}

core::Answer JobOperation::Ask(const std::string& caption, const std::string& text, core::Buttons buttons,
                               core::Answer defaultAnswer) {
  // Not under the job's mutex: the answer may take the user a while, and an abort must not
  // wait for it.
  if (IsCancelled()) return core::Answer::Cancel;
  if (!job_.callbacks.ask) return defaultAnswer;
  core::Answer answer = job_.callbacks.ask(job_.id, caption, text, buttons, defaultAnswer, job_.stop.get_token());
  return IsCancelled() ? core::Answer::Cancel : answer;
}

int JobOperation::ChooseItem(const std::string& caption, const std::string& prompt,
                             const std::vector<std::string>& items) {
  if (IsCancelled() || !job_.callbacks.chooseItem) return -1;
  int chosen = job_.callbacks.chooseItem(job_.id, caption, prompt, items, job_.stop.get_token());
  return IsCancelled() ? -1 : chosen;
}

std::vector<int> JobOperation::ChooseItems(const std::string& caption, const std::string& prompt,
                                           const std::vector<std::string>& items) {
  if (IsCancelled() || !job_.callbacks.chooseItems) return {};
  return job_.callbacks.chooseItems(job_.id, caption, prompt, items, job_.stop.get_token());
}

bool JobOperation::ConfirmCompetition(int32_t competitionId, int32_t civlId) {
  if (IsCancelled()) return false;
  if (!job_.callbacks.confirmCompetition) return true;
  return job_.callbacks.confirmCompetition(job_.id, competitionId, civlId, job_.stop.get_token());
}

bool JobOperation::NoLogPositions(const std::string& text) {
  if (IsCancelled()) return false;
  if (!job_.callbacks.noLogPositions) return core::Operation::NoLogPositions(text);
  const bool skip = job_.callbacks.noLogPositions(job_.id, text, job_.stop.get_token());
  return !IsCancelled() && skip;
}

// The worker's body: the routine, the completion, the release.
void RunWorker(std::shared_ptr<AccessEngine::State> engine, std::shared_ptr<JobState> state,
               AccessRoutine routine) {
  AccessJob& job = state->job;
  int result = -1;
  try {
    result = routine(job);
  } catch (const std::exception& e) {
    // A routine that throws (out of memory) fails like any other.
    job.operation().Fail(kAccessCaption, e.what());
    result = -1;
  }

  AccessCompletion completion;
  completion.jobId = state->id;
  completion.accessType = job.accessType;
  completion.protocol = job.protocol;
  completion.result = result < 0 ? -1 : result;
  completion.abortRequested = state->stop.stop_requested();
  if (result >= 0) {
    if (IsDownload(job.accessType)) completion.data = std::move(job.data);
    completion.count = job.count;
    completion.extra = job.extra;
    completion.origin = job.origin;
    completion.competitionId = job.competitionId;
    completion.civlId = job.civlId;
  }
  {
    std::lock_guard lock(state->mutex);
    if (!state->detached && state->callbacks.completion) state->callbacks.completion(std::move(completion));
  }

  // Release: the port, the capture tap and the records (an upload's copy, or a download's
  // records that the completion did not take).
  state->transport.Close();
  if (state->usb) state->usb->Close();
  state->captureTap.ReleaseTap();
  job.data = AccessData{};
  {
    std::lock_guard lock(engine->mutex);
    // Only this job's own entry is cleared: after an abort a newer job may be current.
    if (engine->current == state) engine->current.reset();
  }
  {
    std::lock_guard lock(state->doneMutex);
    state->done = true;
  }
  state->doneChanged.notify_all();
}

// Abort and shutdown: ask the worker to stop, give it 1000 ms, then take its port away and
// leave it to end on its own. Returns -1 when nothing runs, 1 when the worker was left
// behind (no completion will come), 0 when it ended.
int StopJob(AccessEngine::State& engine, bool withMessages) {
  std::shared_ptr<JobState> state;
  std::shared_ptr<JobState> starting;
  {
    std::lock_guard lock(engine.mutex);
    state = engine.current;
    starting = engine.starting;
  }
  if (!state && starting) {
    // A start whose port is still opening (this call comes from a nested event loop under
    // one of its messages): flagged, the start ends itself without a worker.
    if (withMessages) starting->operation.Status("Transfer aborted");
    starting->stop.request_stop();
    return 0;
  }
  if (!state) {
    if (withMessages) engine.ui().ShowMessage("Abort GPS access", "Port not in use", core::Icon::Error);
    return -1;
  }
  if (withMessages) state->operation.Status("Transfer aborted");
  state->stop.request_stop();

  // The engine's lock is not held here: the worker takes it for its own release.
  bool ended;
  {
    std::unique_lock lock(state->doneMutex);
    ended = state->doneChanged.wait_for(lock, kAbortWait, [&] { return state->done; });
  }
  if (ended) {
    // Joined outside the lock: the worker has passed its release, only its last
    // instructions are left.
    std::jthread worker;
    {
      std::lock_guard lock(engine.mutex);
      worker = std::move(engine.worker);
    }
    if (worker.joinable()) worker.join();
    return 0;
  }

  {
    std::lock_guard lock(state->mutex);
    state->detached = true;
  }
  state->captureTap.ReleaseTap();
  state->transport.Close();
  if (state->usb) state->usb->Close();
  std::lock_guard lock(engine.mutex);
  if (engine.current == state) engine.current.reset();
  if (engine.worker.joinable()) engine.worker.detach();
  return 1;
}

}  // namespace

bool IsRoutineCell(int accessType, int protocol) {
  if (accessType < 0 || accessType >= kAccessTypeCount || protocol < 0 || protocol >= kProtocolCount) return false;
  return kRoutineCells[accessType][protocol];
}

bool IsDownload(int accessType) {
  return accessType == kAccessDownloadWaypoints || accessType == kAccessDownloadTrackLog ||
         accessType == kAccessReadInstrumentData || accessType == kAccessDownloadCtrs;
}

int OpeningSpeed(int protocol, int accessType) {
  switch (protocol) {
    case kProtocolGarminSerial:
    case kProtocolTopNavigator:
      return 9600;
    case kProtocolFlytec:
    case kProtocolFlytecTrackList:
      return 57600;
    case kProtocolXcTrainer:
    case kProtocolTopNavigatorMxp:
    case kProtocolXcTrainerMxp:
      return accessType == kAccessDownloadTrackLog ? 57600 : 9600;
    case kProtocolMlr:
    case kProtocolLogIt:
    case kProtocolGraviter:
    case kProtocolMagellan:
      return 4800;
    default:
      return 0;
  }
}

void ReportStatus(AccessJob& job, const std::string& text) { job.operation().Status(text); }

bool AccessRoutineTable::Register(int accessType, int protocol, AccessRoutine routine) {
  if (!IsRoutineCell(accessType, protocol) || !routine) return false;
  cells_[accessType][protocol] = std::move(routine);
  return true;
}

const AccessRoutine* AccessRoutineTable::Find(int accessType, int protocol) const {
  if (!IsRoutineCell(accessType, protocol)) return nullptr;
  const AccessRoutine& routine = cells_[accessType][protocol];
  return routine ? &routine : nullptr;
}

AccessRoutineTable& DefaultAccessRoutines() {
  static AccessRoutineTable table;
  return table;
}

bool RegisterAccessRoutine(int accessType, int protocol, AccessRoutine routine) {
  return DefaultAccessRoutines().Register(accessType, protocol, std::move(routine));
}

void RegisterUsbOpener(UsbOpener opener) { RegisteredUsbOpener() = std::move(opener); }

AccessEngine::AccessEngine(const AccessEnvironment& environment) : state_(std::make_shared<State>()) {
  state_->env = environment;
  InitAccessEngine();
}

AccessEngine::~AccessEngine() { ShutdownAccessEngine(); }

void AccessEngine::InitAccessEngine() {
  state_->capture().Clear();
  std::lock_guard lock(state_->mutex);
  state_->current.reset();
}

bool AccessEngine::IsBusy() const {
  std::lock_guard lock(state_->mutex);
  return state_->current != nullptr || state_->starting != nullptr;
}

int AccessEngine::StartAccess(AccessRequest request, uint64_t* jobId) {
  // Kept alive for the whole start: a nested event loop under one of the messages below may
  // end the engine's owner.
  std::shared_ptr<State> keep = state_;
  State& engine = *keep;
  core::Ui& ui = engine.ui();
  if (request.accessType < 0 || request.accessType >= kAccessTypeCount) {
    ui.ShowMessage(kAccessCaption, "Bad access type", core::Icon::Error);
    return -1;
  }
  if (request.protocol < 0 || request.protocol >= kProtocolCount) {
    ui.ShowMessage(kAccessCaption, "Bad protocol type", core::Icon::Error);
    return -1;
  }
  const AccessRoutine* found = engine.routines().Find(request.accessType, request.protocol);
  if (!found) {
    ui.ShowMessage(kAccessCaption, "Unsupported access function", core::Icon::Error);
    return -1;
  }
  AccessRoutine routine = *found;

  // The decision under the lock: refuse, or reserve the engine for this start. Everything that
  // may take long or talk to the user (the opener, the line's settle time, the messages) runs
  // after the lock is left, so a nested event loop under a message may call IsBusy,
  // AbortAccess or StartAccess freely.
  std::shared_ptr<JobState> state;
  std::jthread previous;
  bool busy = false;
  bool outOfMemory = false;
  {
    std::lock_guard lock(engine.mutex);
    if (engine.shutDown) return -1;
    if (engine.current || engine.starting) {
      busy = true;
    } else {
      try {
        state = std::make_shared<JobState>(++engine.lastJobId, request.accessType, request.protocol,
                                           std::move(request.callbacks), ui, engine.clock(), engine.capture());
        engine.starting = state;
        // The previous worker has released its job; at most its last instructions are left.
        previous = std::move(engine.worker);
      } catch (const std::bad_alloc&) {
        outOfMemory = true;
      }
    }
  }
  if (busy) {
    ui.ShowMessage(kAccessCaption, "Port/USB is being used", core::Icon::Error);
    return -1;
  }
  if (outOfMemory) {
    ui.ShowMessage("Access data block memory allocation", std::error_code(ENOMEM, std::generic_category()).message(),
                   core::Icon::Information);
    return -1;
  }
  if (previous.joinable()) previous.join();

  // Ends a start that did not get its worker going: the port closed, the reservation given
  // back. Its message (when it has one to show) follows, outside the lock.
  auto release = [&] {
    state->transport.Close();
    if (state->usb) state->usb->Close();
    state->captureTap.ReleaseTap();
    std::lock_guard lock(engine.mutex);
    if (engine.starting == state) engine.starting.reset();
    return -1;
  };
  auto abandon = [&](const std::string& caption, const std::string& text, core::Icon icon) {
    release();
    ui.ShowMessage(caption, text, icon);
    return -1;
  };

  engine.capture().Clear();
  AccessJob& job = state->job;
  job.data = std::move(request.data);
  job.count = request.count;
  job.competition = request.competition;

  if (request.protocol == kProtocolGarminUsb) {
    UsbOpener opener = engine.env.openUsb ? engine.env.openUsb : RegisteredUsbOpener();
    if (!opener) return abandon("USB access", "No active device found", core::Icon::Error);
    state->usb = opener(job, ui);  // reports its own failures
    if (!state->usb) return release();
    job.usbDevice = state->usb.get();
  } else {
    job.portName = request.portName.substr(0, kPortNameLength);
    job.speed = request.speed;
    std::string caption, text;
    std::unique_ptr<Transport> port = engine.env.openSerial ? engine.env.openSerial(job.portName, caption, text)
                                                            : OpenSerialPort(job.portName, caption, text);
    if (!port) return abandon(caption.empty() ? "Opening the COM port" : caption, text, core::Icon::Information);
    state->transport.Attach(std::move(port));
    if (job.link().SetSpeed(OpeningSpeed(request.protocol, request.accessType)) != 0) {
      return abandon(state->transport.ErrorCaption(), state->transport.ErrorText(), core::Icon::Information);
    }
  }

  enum class Launch { Started, Cancelled, NoThread } launch = Launch::Cancelled;
  {
    std::lock_guard lock(engine.mutex);
    // An abort (or the shutdown) that came while the port was opening ends the start here,
    // before any worker exists.
    if (!engine.shutDown && !state->stop.stop_requested() && engine.starting == state) {
      try {
        engine.worker = std::jthread(RunWorker, keep, state, std::move(routine));
        engine.current = state;
        engine.starting.reset();
        launch = Launch::Started;
      } catch (const std::system_error&) {
        launch = Launch::NoThread;
      }
    }
  }
  if (launch == Launch::Started) {
    if (jobId) *jobId = state->id;
    return 0;
  }
  if (launch == Launch::Cancelled) return release();  // the abort is the reason: no message
  return abandon("API32 call", "Could not create GPS access thread", core::Icon::Error);
}

int AccessEngine::AbortAccess() { return StopJob(*state_, true); }

void AccessEngine::ShutdownAccessEngine() {
  {
    std::lock_guard lock(state_->mutex);
    if (state_->shutDown) return;
    state_->shutDown = true;
  }
  StopJob(*state_, false);
  std::jthread worker;
  {
    std::lock_guard lock(state_->mutex);
    worker = std::move(state_->worker);
  }
  if (worker.joinable()) worker.join();
}

}  // namespace tarnvik::access
