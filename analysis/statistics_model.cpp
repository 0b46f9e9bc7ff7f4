#include "analysis/statistics_model.h"

#include <utility>

#include "analysis/flight_statistics.h"
#include "analysis/speed_filter.h"

namespace tarnvik::analysis {

namespace {

constexpr const char* kOpenCaption = "Initialize track statistics dialog box";

// What the search worker sees: the dialog's status field, and a halt flag made of the
// dialog's Halt (the thread's stop request) and the front end's own cancellation.
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

// The first `limit` characters of UTF-8 text (a character is cut only at its start).
std::string FirstCharacters(const std::string& text, size_t limit) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    bool starts = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts && ++characters > limit) return text.substr(0, i);
  }
  return text;
}

}  // namespace

StatisticsModel::StatisticsModel(core::Ui& ui, core::Operation& status, core::Clock& clock)
    : ui_(ui), status_(status), clock_(clock) {}

StatisticsModel::~StatisticsModel() { Close(); }

bool StatisticsModel::Open(std::vector<core::TrackPoint> selected, bool filterOn, int sourceKind, int sourceFlag,
                           std::function<void(int)> ended) {
  if (selected.empty()) {
    ui_.ShowMessage(kOpenCaption, "No position(s) selected", core::Icon::Error);
    return false;
  }
  if (selected.size() < kMinimumStatisticsPoints) {
    ui_.ShowMessage(kOpenCaption, "Too few positions selected", core::Icon::Error);
    return false;
  }
  if (filterOn) {
    const int filtered = FilterTrackSpeed(selected);
    if (filtered < 0) {
      ui_.ShowMessage(kOpenCaption, "Memory allocation error", core::Icon::Error);
      return false;
    }
    size_t kept = static_cast<size_t>(filtered);
    if (kept < kMinimumStatisticsPoints) {
      ui_.ShowMessage(kOpenCaption, "Too few positions left after track speed analysis", core::Icon::Error);
      return false;
    }
    if (kept < selected.size()) {
      selected.resize(kept);
      ui_.ShowMessage(kOpenCaption, "Position(s) have been removed during track speed analysis", core::Icon::None);
    }
  }

  StopWorker();  // a model opened twice starts afresh
  finished_.store(false, std::memory_order_release);
  summary_ = core::FlightSummary{};
  summary_.fixes = std::move(selected);
  if (ComputeFlightValues(summary_) != 0) {
    ui_.ShowMessage(kOpenCaption, "Memory allocation error", core::Icon::Error);
    summary_ = core::FlightSummary{};
    return false;
  }
  SetSourceFields(summary_, sourceKind, sourceFlag, core::CalendarToTime(clock_.UtcNow()).value_or(0));

  worker_ = std::jthread([this, ended = std::move(ended)](std::stop_token halt) {
    WorkerOperation operation(std::move(halt), status_);
    int result = RunFlightStatistics(summary_, &operation);
    if (result == 0) finished_.store(true, std::memory_order_release);  // after the result fields
    if (ended) ended(result);
  });
  return true;
}

void StatisticsModel::Halt() {
  worker_.request_stop();
  if (!Finished()) status_.Status("Computation halted");
}

int StatisticsModel::Save(const std::string& description, const KmlSave& save) {
  if (!Finished()) {
    ui_.ShowMessage("Save track log", "Statistics not yet finished", core::Icon::Error);
    return -1;
  }
  return save(summary_, FirstCharacters(description, kDescriptionMaxCharacters));
}

std::optional<std::string> StatisticsModel::Copy() {
  StopWorker();
  if (!Finished()) return std::nullopt;
  return JoinStatisticsLines(Lines());
}

void StatisticsModel::Close() {
  // The worker reads the working set until its last leg: it must have ended (not merely been
  // told to stop) before the fixes are released.
  StopWorker();
  summary_.fixes.clear();
  summary_.fixes.shrink_to_fit();
}

void StatisticsModel::StopWorker() {
  if (worker_.joinable()) {
    worker_.request_stop();
    worker_.join();
  }
}

StatisticsLines StatisticsModel::Lines() const { return StatisticsTextLines(summary_, Finished()); }

}  // namespace tarnvik::analysis
