#include "app/session.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/hangarium_save.h"
#include "core/version.h"

namespace tarnvik::app {

using access::AccessCompletion;
using access::AccessRequest;
using core::Answer;
using core::Buttons;
using core::Icon;

LogSource LogSourceFromOrigin(int origin, int result) {
  switch (origin) {
    case 1: return {1, 1};
    case 2: return {2, 1};
    case 3: return {3, 0};
    case 4: return {4, 0};
    case 5: return {result > 0 ? 8 : 9, 1};
    case 6: return {5, 0};
    case 7: return {6, 0};
    default: return {0, 0};
  }
}


struct Session::WorkerQuestions {
  std::mutex mutex;
  bool closed = false;  // the session closed: every question is answered Cancel at once
  std::vector<std::pair<std::shared_ptr<PendingQuestion>, int>> waiting;  // question, cancel value
};

Session::Session(core::Ui& ui, core::Clock& clock, TransferGate& gate, std::string_view folderDefault)
    : settings(folderDefault),
      ui_(ui),
      clock_(clock),
      gate_(gate),
      queue_(std::make_shared<MainThreadQueue>()),
      questions_(std::make_shared<WorkerQuestions>()) {}

Session::~Session() {
  {
    std::lock_guard<std::mutex> lock(questions_->mutex);
    questions_->closed = true;
  }
  CancelWorkerQuestions();
}

int Session::Initialise(std::unique_ptr<core::SettingsBackend> settingsBackend) {
  if (settingsBackend) settings.Load(std::move(settingsBackend), &ui_);
  portName = settings.Text(core::SettingId::PortName);
  if (frontEnd_) frontEnd_->FilterChecked(settings.Number(core::SettingId::LogFilter) != 0);
  gate_.Init();
  busy = false;
  utmView = false;
  ChangeView(viewMode == ViewMode::Waypoints ? ViewMode::Waypoints : ViewMode::Tracklog, true);
  UpdateTitle();
  if (commandLine_ && commandLine_->Start(*this) < 0) {
    Close(-1);
    return -1;
  }
  return 0;
}

// ---- guards -------------------------------------------------------------------------------

void Session::Message(const std::string& caption, const std::string& text) {
  ui_.ShowMessage(caption, text, Icon::Error);
}

bool Session::CheckNotBusy(const std::string& caption) {
  if (!busy) return true;
  Message(caption, kBusyText);
  return false;
}

bool Session::CheckView(ViewMode needed, const std::string& caption) {
  if (!CheckNotBusy(caption)) return false;
  if (viewMode != needed) {
    Message(caption, kIncorrectViewText);
    return false;
  }
  return true;
}

// ---- transfers ----------------------------------------------------------------------------

access::JobCallbacks Session::MakeCallbacks() {
  // Every callback runs on the worker thread and only posts: the queue is shared, the posted
  // tasks touch the session when the main thread drains them.
  std::shared_ptr<MainThreadQueue> queue = queue_;
  access::JobCallbacks callbacks;
  callbacks.status = [this, queue](uint64_t jobId, const std::string& text) {
    queue->Post([this, jobId, text] {
      if (jobId == latestJob_) SetStatus(text);
    });
  };
  callbacks.product = [this, queue](uint64_t jobId, const std::string& text) {
    queue->Post([this, jobId, text] {
      if (jobId == latestJob_) SetProduct(text);
    });
  };
  callbacks.fail = [this, queue](uint64_t jobId, const std::string& caption, const std::string& text) {
    queue->Post([this, jobId, caption, text] {
      if (jobId == latestJob_) Message(caption, text);
    });
  };
  // Questions capture only shared state: a worker left running after the session ended still
  // finds its question cancelled rather than a dangling session.
  std::shared_ptr<WorkerQuestions> questions = questions_;
  callbacks.ask = [this, queue, questions](uint64_t jobId, const std::string& caption, const std::string& text,
                                           Buttons buttons, Answer defaultAnswer, std::stop_token stop) {
    int answer = AskForWorker(
        *queue, *questions, stop,
        [this, jobId, caption, text, buttons, defaultAnswer] {
          if (!JobLive(jobId)) return static_cast<int>(Answer::Cancel);
          return static_cast<int>(ui_.Ask(caption, text, buttons, defaultAnswer));
        },
        static_cast<int>(Answer::Cancel));
    return static_cast<Answer>(answer);
  };
  callbacks.chooseItem = [this, queue, questions](uint64_t jobId, const std::string& caption,
                                                  const std::string& prompt, const std::vector<std::string>& items,
                                                  std::stop_token stop) {
    return AskForWorker(
        *queue, *questions, stop, [this, jobId, caption, prompt, items] {
          return JobLive(jobId) ? ui_.ChooseItem(caption, prompt, items) : -1;
        },
        -1);
  };
  callbacks.chooseItems = [this, queue, questions](uint64_t jobId, const std::string& caption,
                                                   const std::string& prompt, const std::vector<std::string>& items,
                                                   std::stop_token stop) {
    // The chosen indices travel beside the answer, which only carries their count.
    auto chosen = std::make_shared<std::vector<int>>();
    const int count = AskForWorker(
        *queue, *questions, stop,
        [this, jobId, caption, prompt, items, chosen] {
          if (!JobLive(jobId)) return 0;
          *chosen = ui_.ChooseItems(caption, prompt, items);
          return static_cast<int>(chosen->size());
        },
        0);
    return count > 0 ? *chosen : std::vector<int>{};
  };
  callbacks.confirmCompetition = [this, queue, questions](uint64_t jobId, int32_t competitionId, int32_t civlId,
                                                          std::stop_token stop) {
    return AskForWorker(
               *queue, *questions, stop,
               [this, jobId, competitionId, civlId] {
                 if (!JobLive(jobId)) return 0;
                 if (!dialogs.confirmCompetition) return 1;
                 return dialogs.confirmCompetition(competitionId, civlId) ? 1 : 0;
               },
               0) == 1;
  };
  // "No log positions": one set of notices per job, used on the main thread only, so that a
  // ticked box silences the rest of this download and nothing of the next one. Without the
  // dialog the engine passes the text on as a status.
  if (dialogs.noLogPositions) {
    auto notices = std::make_shared<NoLogPositionsNotices>([this](NoLogPositionsForm& form) {
      if (dialogs.noLogPositions) dialogs.noLogPositions(form);
    });
    callbacks.noLogPositions = [this, queue, questions, notices](uint64_t jobId, const std::string& text,
                                                                 std::stop_token stop) {
      return AskForWorker(
                 *queue, *questions, stop,
                 [this, jobId, text, notices] {
                   if (!JobLive(jobId)) return 0;
                   return notices->Notify(text) ? 1 : 0;
                 },
                 0) == 1;
    };
  }
  callbacks.completion = [this, queue](AccessCompletion&& completion) {
    auto shared = std::make_shared<AccessCompletion>(std::move(completion));
    queue->Post([this, shared] { OnCompletion(std::move(*shared)); });
  };
  return callbacks;
}

// Worker thread: registers the question, posts it to the main thread and waits for the answer.
// The main thread asks only while the job is the live one (an abort or the close answers
// every waiting question Cancel); the engine's abort (stop) ends the wait at once.
int Session::AskForWorker(MainThreadQueue& queue, WorkerQuestions& questions, std::stop_token stop,
                          std::function<int()> ask, int cancelValue) {
  auto question = std::make_shared<PendingQuestion>();
  {
    std::lock_guard<std::mutex> lock(questions.mutex);
    if (questions.closed) return cancelValue;
    questions.waiting.emplace_back(question, cancelValue);
  }
  queue.Post([question, ask] {
    if (!question->Answered()) question->Answer(ask());
  });
  int answer = question->Wait(stop, cancelValue);
  std::lock_guard<std::mutex> lock(questions.mutex);
  std::erase_if(questions.waiting, [&](const auto& w) { return w.first == question; });
  return answer;
}

void Session::CancelWorkerQuestions() {
  std::lock_guard<std::mutex> lock(questions_->mutex);
  for (auto& [question, cancelValue] : questions_->waiting) question->Cancel(cancelValue);
  questions_->waiting.clear();
}

int Session::Start(AccessRequest request, const std::string& caption) {
  if (!CheckNotBusy(caption)) return -1;
  request.portName = portName;
  request.callbacks = MakeCallbacks();
  int accessType = request.accessType;
  uint64_t jobId = 0;
  if (gate_.Start(std::move(request), jobId) != 0) return -1;
  latestJob_ = jobId;
  latestJobLive_ = true;
  latestAccessType_ = accessType;
  busy = true;
  return 0;
}

int Session::DownloadTrackLog(int protocol, int speed) {
  const std::string caption = "Download track log";
  if (!CheckNotBusy(caption)) return -1;
  // The multi-track logbook download saves its own file: the current log stays as it is.
  const bool logbook = protocol == access::kProtocolFlytecTrackList;
  if (!logbook) {
    if (track.present && !track.saved &&
        ui_.Ask("Unsaved track log", "Current track log will be overwritten. Continue ?", Buttons::OkCancel,
                Answer::Cancel) != Answer::Ok) {
      return -1;
    }
    DiscardTrackLog();
    if (RefreshesView()) ChangeView(ViewMode::Tracklog, true);
  }
  AccessRequest request;
  request.accessType = access::kAccessDownloadTrackLog;
  request.protocol = protocol;
  request.speed = speed;
  request.competition = competitionMode && !logbook;
  return Start(std::move(request), caption);
}

int Session::DownloadWaypoints(int protocol, int speed) {
  AccessRequest request;
  request.accessType = access::kAccessDownloadWaypoints;
  request.protocol = protocol;
  request.speed = speed;
  return Start(std::move(request), "Download waypoints");
}

int Session::StartUpload(int accessType, int protocol, access::AccessData data, int count,
                         const std::string& caption) {
  AccessRequest request;
  request.accessType = accessType;
  request.protocol = protocol;
  request.data = std::move(data);
  request.count = count;
  return Start(std::move(request), caption);
}

int Session::StartJob(int accessType, int protocol, int speed, const std::string& caption) {
  AccessRequest request;
  request.accessType = accessType;
  request.protocol = protocol;
  request.speed = speed;
  return Start(std::move(request), caption);
}

void Session::AbortTransfer() {
  if (!busy) return;
  busy = false;
  // The engine flags the job aborted, which answers a question the worker waits on Cancel at
  // once (the job's stop token), so the worker ends on its own within the abort's wait.
  // (Answering here first would let the worker end before the engine looks, and the abort
  // would find nothing running.) Questions of a worker the abort left behind are answered
  // Cancel next.
  gate_.Abort();
  CancelWorkerQuestions();
  // The aborted job's completion, should it still come, only releases its records.
  latestJobLive_ = false;
  if (commandLine_) PostTransferEnd(1, 0);
}

void Session::OnCompletion(AccessCompletion&& completion) {
  if (completion.jobId != latestJob_ || !latestJobLive_) return;  // records released here
  latestJobLive_ = false;
  bool ok = completion.result >= 0 && busy;
  busy = false;
  switch (completion.accessType) {
    case access::kAccessDownloadTrackLog:
      CompleteTrackLog(std::move(completion), ok);
      break;
    case access::kAccessDownloadWaypoints:
      CompleteWaypoints(std::move(completion), ok);
      break;
    case access::kAccessDownloadCtrs:
      if (ok) {
        ctrs = std::move(completion.data.ctrs);
        ChangeView(ViewMode::Ctr, true);
      }
      break;
    case access::kAccessReadInstrumentData:
      if (ok && !completion.data.text.empty()) {
        std::optional<ProductDataForm> form;
        if (dialogs.productData) form = ProductDataForm::FromText(completion.data.text);
        if (form) {
          dialogs.productData(*form);
        } else {
          ui_.ShowMessage("Read product data", completion.data.text, Icon::Information);
        }
      }
      break;
    default:  // uploads, erase, owner name: busy is cleared, the command line learns the outcome
      if (commandLine_) PostTransferEnd(1, completion.result == 0 ? 1 : 0);
      break;
  }
}

void Session::CompleteTrackLog(AccessCompletion&& completion, bool ok) {
  if (completion.protocol == access::kProtocolFlytecTrackList) {
    // The logbook document is saved here, on the main thread; the current log is untouched.
    if (ok && !completion.data.text.empty()) {
      DialogMemory& memory = Dialog(FileDialog::SaveKml);
      SaveHangariumDocument(ui_, completion.data.text, memory.folder, memory.filterIndex);
    }
    if (commandLine_) PostTransferEnd(1, ok ? 1 : 0);
    return;
  }
  if (ok) {
    LogSource source = LogSourceFromOrigin(completion.origin, completion.result);
    track = CurrentTrackLog();
    track.present = true;
    track.log.points = std::move(completion.data.points);
    track.log.origin = completion.origin;
    track.log.sourceKind = source.kind;
    track.log.sourceFlag = source.flag;
    // A Top Navigator log whose time zone was known arrives in UTC (its routine says so in extra).
    if (completion.origin == 3 && completion.extra == 1) track.log.sourceFlag = 1;
    track.log.takenOver = clock_.UtcNow();
    // A Garmin unit's product description names the source of what it delivered.
    track.log.sourceName = completion.data.text.substr(0, 80);
    if (completion.origin == 5) track.rawIgc = std::move(completion.data.rawIgc);
    if (completion.origin == 3) track.rawDevice = std::move(completion.data.rawDevice);
    if (RefreshesView()) ChangeView(ViewMode::Tracklog, true);
  }
  if (commandLine_) PostTransferEnd(1, ok ? 1 : 0);
  if (competitionMode) PostTransferEnd(2, ok ? 1 : 0);
}

void Session::CompleteWaypoints(AccessCompletion&& completion, bool ok) {
  if (ok) {
    waypoints.waypoints = std::move(completion.data.waypoints);
    waypoints.shownCount = static_cast<int>(waypoints.waypoints.size());
    waypoints.sourceName = completion.data.text.substr(0, 80);
    ChangeView(ViewMode::Waypoints, true);
  }
  if (commandLine_) PostTransferEnd(1, ok ? 1 : 0);
}

void Session::PostTransferEnd(int kind, int success) {
  queue_->Post([this, kind, success] { OnTransferEnd(kind, success); });
}

void Session::OnTransferEnd(int kind, int success) {
  if (exitFlag) return;
  if (kind == 1) {
    if (success != 1) {
      Close();
    } else if (commandLine_ && commandLine_->Finish(*this) != 0) {
      Close();
    }
  } else if (kind == 2 && success == 1 && competitionSave) {
    competitionSave(*this);
  }
}

// ---- views --------------------------------------------------------------------------------

void Session::ChangeView(ViewMode mode, bool refresh) {
  if (!CheckNotBusy("Change view mode")) return;
  if (mode == viewMode && !refresh) return;
  viewMode = mode;
  utmView = mode != ViewMode::Ctr && utmChecked;
  selection_.clear();
  if (frontEnd_) frontEnd_->ViewLoaded();
}

void Session::SetUtmChecked(bool checked) {
  utmChecked = checked;
  if (viewMode != ViewMode::Ctr) ChangeView(viewMode, true);
}

void Session::SelectAll() {
  if (!CheckNotBusy("Select all items")) return;
  selection_.resize(RowCount());
  for (size_t i = 0; i < selection_.size(); ++i) selection_[i] = i;
  if (frontEnd_) frontEnd_->SelectionChanged();
}

void Session::SetSelection(std::vector<size_t> rows) {
  std::erase_if(rows, [n = RowCount()](size_t r) { return r >= n; });
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  selection_ = std::move(rows);
}

std::vector<core::TrackPoint> Session::SelectedPoints() const {
  std::vector<core::TrackPoint> out;
  if (viewMode != ViewMode::Tracklog) return out;
  for (size_t row : selection_) {
    if (row < track.log.points.size()) out.push_back(track.log.points[row]);
  }
  return out;
}

size_t Session::RowCount() const {
  switch (viewMode) {
    case ViewMode::Tracklog: return track.log.points.size();
    case ViewMode::Waypoints: return waypoints.waypoints.size();
    case ViewMode::Ctr: return ctrs.size();
  }
  return 0;
}

void Session::ToggleTrackLogFilter() {
  int32_t& filter = settings.Number(core::SettingId::LogFilter);
  filter = filter ? 0 : 1;
  if (frontEnd_) frontEnd_->FilterChecked(filter != 0);
}

void Session::InsertWaypoint(const core::Waypoint& waypoint) {
  bool replaced = false;
  for (core::Waypoint& existing : waypoints.waypoints) {
    if (std::strncmp(existing.id, waypoint.id, sizeof existing.id) != 0) continue;
    std::string text = "Waypoint " + std::string(existing.id, strnlen(existing.id, 6)) + " already exists, overwrite ?";
    if (ui_.Ask("Insert waypoint", text, Buttons::YesNo, Answer::No) == Answer::Yes) {
      existing = waypoint;
      replaced = true;
    }
  }
  if (!replaced) {
    // The list grows from room for 50 by doubling.
    if (waypoints.waypoints.capacity() == 0) waypoints.waypoints.reserve(50);
    waypoints.waypoints.push_back(waypoint);
  }
  waypoints.shownCount = static_cast<int>(waypoints.waypoints.size());
}

void Session::ReplaceWaypoint(size_t row, const core::Waypoint& waypoint) {
  if (row >= waypoints.waypoints.size()) return;
  waypoints.waypoints[row] = waypoint;
  if (frontEnd_ && viewMode == ViewMode::Waypoints) frontEnd_->RowChanged(row);
}

// ---- the current log ----------------------------------------------------------------------

void Session::DiscardTrackLog() {
  track = CurrentTrackLog();
  if (viewMode == ViewMode::Tracklog) selection_.clear();
}

void Session::ReplaceTrackLog(std::vector<core::TrackPoint> points, int sourceKind, int sourceFlag,
                              std::vector<uint8_t> rawIgc) {
  track = CurrentTrackLog();
  track.rawIgc = std::move(rawIgc);
  track.present = true;
  track.log.points = std::move(points);
  track.log.sourceKind = sourceKind;
  track.log.sourceFlag = sourceFlag;
  track.log.takenOver = clock_.UtcNow();
}

formats::IgcBuffer Session::IgcBufferOfLog() const {
  formats::IgcBuffer buffer;
  if (track.rawIgc.empty()) return buffer;
  buffer.bytes.assign(track.rawIgc.begin(), track.rawIgc.end());
  formats::IgcParseResult parsed = formats::ParseIgcLog(buffer.bytes);
  if (parsed.count > 0) buffer.firstFixTime = parsed.fixes.front().time;
  std::memcpy(buffer.manufacturer, parsed.manufacturer, sizeof buffer.manufacturer);
  std::memcpy(buffer.serial, parsed.serial, sizeof buffer.serial);
  return buffer;
}

// ---- texts --------------------------------------------------------------------------------

void Session::SetStatus(const std::string& text) {
  statusLine = text;
  if (frontEnd_) frontEnd_->StatusText(text);
}

void Session::SetProduct(const std::string& text) {
  productLine = text;
  if (frontEnd_) frontEnd_->ProductText(text);
}

std::string Session::TitleText() const {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "Tarnvik %d.%02d, %s%s", core::kVersion / 100, core::kVersion % 100,
                portName.c_str(), competitionMode ? ", Competition mode" : "");
  return buffer;
}

void Session::UpdateTitle() {
  if (frontEnd_) frontEnd_->Title(TitleText());
}

// ---- close --------------------------------------------------------------------------------

void Session::Close(int endCode) {
  if (exitFlag) return;
  if (busy) busy = false;
  latestJobLive_ = false;
  // Shutting the engine down stops a running job the way an abort does, without its message;
  // then every question still waiting is answered Cancel, and later ones at once.
  gate_.Shutdown();
  {
    std::lock_guard<std::mutex> lock(questions_->mutex);
    questions_->closed = true;
  }
  CancelWorkerQuestions();
  DiscardTrackLog();
  waypoints = core::WaypointList();
  ctrs.clear();
  if (!commandLine_) settings.Save();  // interactive runs only; write errors are ignored
  commandLine_.reset();
  exitFlag = true;
  if (frontEnd_) frontEnd_->EndDialog(endCode);
}

}  // namespace tarnvik::app
