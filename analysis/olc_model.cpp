#include "analysis/olc_model.h"

#include <system_error>
#include <utility>

#include "analysis/olc_text.h"

namespace tarnvik::analysis {

namespace {

// What the search sees: the status field, and a halt flag made of the dialog's Halt (the
// thread's stop request) and the front end's own cancellation.
class WorkerOperation : public core::Operation {
 public:
  WorkerOperation(std::stop_token halt, core::Operation& status) : halt_(std::move(halt)), status_(status) {}
  bool IsCancelled() const override { return halt_.stop_requested() || status_.IsCancelled(); }
  void Status(const std::string& text) override { status_.Status(text); }
  void Product(const std::string& text) override { status_.Product(text); }
  void Fail(const std::string& caption, const std::string& text) override { status_.Fail(caption, text); }
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer) override {
    return core::Answer::Cancel;  // the searches never ask
  }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }

 private:
  std::stop_token halt_;
  core::Operation& status_;
};

}  // namespace

OlcModel::OlcModel(core::Ui& ui, core::Operation& status) : ui_(ui), status_(status) {}

OlcModel::~OlcModel() { Close(); }

bool OlcModel::Open(std::vector<core::TrackPoint> fixes, std::function<void()> changed) {
  StopWorker();
  if (fixes.size() < kMinimumOlcPoints) {
    ui_.ShowMessage(kOlcOpenCaption, "Number of positions must be 5 or more", core::Icon::Error);
    return false;
  }
  fixes_ = std::move(fixes);
  finished_.store(false);
  halted_.store(false);
  workerResult_.store(1);
  {
    std::lock_guard lock(mutex_);
    outcome_.reset();
  }
  try {
    worker_ = std::jthread([this, changed = std::move(changed)](std::stop_token halt) {
      WorkerOperation operation(halt, status_);
      OlcResult result;
      int rc = RunOlcSearch(fixes_, &operation, &progress_, result);
      if (rc == 0) {
        OlcOutcome outcome;
        outcome.result = result;
        outcome.best = ChooseBestResult(result);
        BestResultPoints(result, outcome.best, outcome.bestPoints);
        outcome.bestLine = BestResultLine(result, outcome.best);
        outcome.summary = OlcSummaryLines(result);
        std::lock_guard lock(mutex_);
        outcome_ = std::move(outcome);
      }
      if (rc == -1) operation.Fail(kOlcTableCaption, kOlcTableText);
      workerResult_.store(rc, std::memory_order_release);
      if (rc == 0) finished_.store(true, std::memory_order_release);
      if (changed) changed();
    });
  } catch (const std::system_error&) {
    ui_.ShowMessage(kOlcOpenCaption, "Could not create optimisation thread", core::Icon::Error);
    fixes_.clear();
    return false;
  }
  return true;
}

void OlcModel::Halt() {
  halted_.store(true, std::memory_order_release);
  worker_.request_stop();
}

void OlcModel::Join() {
  if (worker_.joinable()) worker_.join();
}

void OlcModel::StopWorker() {
  if (worker_.joinable()) {
    worker_.request_stop();
    worker_.join();
  }
}

void OlcModel::Close() {
  halted_.store(true, std::memory_order_release);
  StopWorker();  // the working set goes only after the join
  fixes_.clear();
  fixes_.shrink_to_fit();
}

std::string OlcModel::ProgressText() const {
  return OlcProgressText(progress_.done.load(std::memory_order_relaxed), progress_.total.load(std::memory_order_relaxed));
}

std::optional<OlcOutcome> OlcModel::Outcome() const {
  if (!Finished()) return std::nullopt;
  std::lock_guard lock(mutex_);
  return outcome_;
}

}  // namespace tarnvik::analysis
