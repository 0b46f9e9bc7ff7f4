// The "Flight statistics" dialog without its widgets: the opening checks and their messages,
// the search worker, Halt, Save, Copy and Close. A front end shows Lines() and the status texts
// and calls the commands; everything it shows is decided here.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/statistics_text.h"
#include "core/flight_summary.h"
#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::analysis {

constexpr size_t kMinimumStatisticsPoints = 10;
constexpr size_t kDescriptionMaxCharacters = 8000;

class StatisticsModel {
 public:
  // ui: the opening checks' messages and Save's refusal. status: the dialog's status field
  // (called from the worker thread too; the front end passes the texts on to its own thread);
  // its IsCancelled() also halts the search. clock: the download time written for logs from an
  // instrument.
  StatisticsModel(core::Ui& ui, core::Operation& status, core::Clock& clock);
  // Halts and joins the worker, then releases the working set.
  ~StatisticsModel();
  StatisticsModel(const StatisticsModel&) = delete;
  StatisticsModel& operator=(const StatisticsModel&) = delete;

  // Opening: the selected fixes (in list order) become the working set. Checks, each failing
  // with its message (caption "Initialize track statistics dialog box") and false, which closes
  // the dialog: no fix, fewer than 10, and with the filter on fewer than 10 left after it; when
  // the filter removed fixes and enough remain, a notice says so. Then the summary values are
  // computed (Lines() shows them at once) and the distance searches start on the worker.
  // sourceKind and sourceFlag are the current log's source kind and its UTC flag. `ended`, when
  // given, is called on the worker thread as its last act, with RunFlightStatistics' result.
  bool Open(std::vector<core::TrackPoint> selected, bool filterOn, int sourceKind, int sourceFlag,
            std::function<void(int)> ended = {});

  // Halt computation: sets the halt flag; shows "Computation halted" unless already finished.
  void Halt();
  // Save: refused with "Statistics not yet finished" (caption "Save track log") until the
  // searches finished, returning -1 without calling `save`. Otherwise hands the summary and the
  // description (cut to 8000 characters) to `save` (the KML logbook writer) and returns its result.
  using KmlSave = std::function<int(const core::FlightSummary& summary, const std::string& description)>;
  int Save(const std::string& description, const KmlSave& save);
  // Copy to Clipboard: halts, waits for the worker to end, and gives the 19 lines joined when
  // the searches had finished; nothing otherwise.
  std::optional<std::string> Copy();
  // Exit or close: halts, waits for the worker to end, releases the working set.
  void Close();

  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  // The text block as it stands: the point lines are filled once the searches finished.
  StatisticsLines Lines() const;
  // The summary; its search fields are valid once Finished().
  const core::FlightSummary& Summary() const { return summary_; }

 private:
  void StopWorker();

  core::Ui& ui_;
  core::Operation& status_;
  core::Clock& clock_;
  core::FlightSummary summary_;
  std::atomic<bool> finished_{false};
  // Declared last: destroyed (joined) first, before anything the worker uses goes away.
  std::jthread worker_;
};

}  // namespace tarnvik::analysis
