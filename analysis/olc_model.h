// The "OLC statistics" dialog without its widgets: the working set, the search worker, Halt,
// progress and the results. A front end polls ProgressText() on its own timer, shows Result()
// when told through `changed` (called on the worker thread: the front end forwards it to its
// own thread and never touches widgets from it), and offers the claim once Saveable().
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/olc_search.h"
#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::analysis {

constexpr size_t kMinimumOlcPoints = 5;
constexpr const char* kOlcOpenCaption = "Initialize OLC statistics";
constexpr const char* kOlcTableCaption = "Initialize OLC statistics dialog box";
constexpr const char* kOlcTableText = "Could not allocate memory for distance table";

// What the dialog shows once the searches finished.
struct OlcOutcome {
  OlcResult result;
  OlcBest best = OlcBest::FreeDistance;
  int32_t bestPoints[5] = {0, 0, 0, 0, 0};  // the claim's fixes: free distance, or D, A, B, C, E
  std::string bestLine;                     // "Best result is ... with %.2f points"
  std::vector<std::string> summary;         // OlcSummaryLines
};

class OlcModel {
 public:
  // ui: the opening's messages. status: the status field (called from the worker thread; the
  // front end passes the texts on to its own thread); its IsCancelled() also halts.
  OlcModel(core::Ui& ui, core::Operation& status);
  // Halts and joins the worker, then releases the working set.
  ~OlcModel();
  OlcModel(const OlcModel&) = delete;
  OlcModel& operator=(const OlcModel&) = delete;

  // Takes the working set and starts the searches on the worker. Fewer than 5 fixes: "Number of
  // positions must be 5 or more" (caption "Initialize OLC statistics") and false, which closes
  // the dialog. `changed` is called on the worker thread when the worker ends, after the
  // outcome is stored (finished or not). Tables that do not fit in memory are reported through
  // the status's Fail ("Could not allocate memory for distance table", caption "Initialize OLC
  // statistics dialog box").
  bool Open(std::vector<core::TrackPoint> fixes, std::function<void()> changed = {});

  // Halt: the worker stops at its next poll; a halted run never becomes saveable.
  void Halt();
  // Exit or close: halts, joins the worker, releases the working set.
  void Close();
  // Waits for the worker to end (the caller then reads the outcome).
  void Join();

  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  bool Halted() const { return halted_.load(std::memory_order_acquire); }
  // The saves act only on a finished run that was not halted.
  bool Saveable() const { return Finished() && !Halted(); }
  // The search's return value once the worker ended (0, -1, -2), else 1.
  int WorkerResult() const { return workerResult_.load(std::memory_order_acquire); }
  std::string ProgressText() const;
  // A copy of the outcome, once finished.
  std::optional<OlcOutcome> Outcome() const;
  // The working set (read-only while the worker runs; released by Close()).
  const std::vector<core::TrackPoint>& Fixes() const { return fixes_; }

 private:
  void StopWorker();

  core::Ui& ui_;
  core::Operation& status_;
  std::vector<core::TrackPoint> fixes_;
  OlcProgress progress_;
  mutable std::mutex mutex_;
  std::optional<OlcOutcome> outcome_;  // under mutex_
  std::atomic<bool> finished_{false};
  std::atomic<bool> halted_{false};
  std::atomic<int> workerResult_{1};
  // Declared last: destroyed (joined) first, before anything the worker uses goes away.
  std::jthread worker_;
};

}  // namespace tarnvik::analysis
