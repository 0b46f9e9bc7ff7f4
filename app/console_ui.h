// The Ui of a run without a window: every message becomes one line "caption: text" on the
// error stream, every question takes the answer its dialog would preselect (so nothing is
// ever overwritten without /OVERWRITE) and is printed with the answer it took, an item choice
// takes the preselected first item and prints which, and every file choice is cancelled.
//
// It also shows a transfer's progress (the status and product lines of the window) on the same
// stream: on a terminal the status is one line rewritten in place, with a percentage where the
// text reads "n of m"; elsewhere (a log file, a pipe) one line per change, at most one a second,
// so a long download leaves a readable log.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <mutex>
#include <optional>
#include <string>

#include "core/ports.h"

namespace tarnvik::app {

class ConsoleUi final : public core::Ui {
 public:
  enum class ProgressMode {
    InPlace,  // a terminal: the status line is rewritten in place
    Lines,    // anything else: one line per change, at most one a second
  };

  ConsoleUi(std::ostream& out, ProgressMode mode, core::Clock& clock);
  // The error stream (std::cerr, std::clog) or std::cout on a terminal shows progress in place;
  // any other stream in lines. The system clock paces the lines.
  explicit ConsoleUi(std::ostream& out);
  ConsoleUi();  // std::cerr

  void ShowMessage(const std::string& caption, const std::string& text, core::Icon icon) override;
  core::Answer Ask(const std::string& caption, const std::string& text, core::Buttons buttons,
                   core::Answer defaultAnswer, core::Icon icon = core::Icon::Question) override;
  std::optional<std::string> ChooseOpenFile(core::FileRequest& request) override;
  std::optional<std::string> ChooseSaveFile(core::FileRequest& request) override;
  int ChooseItem(const std::string& caption, const std::string& prompt,
                 const std::vector<std::string>& items) override;

  // ---- progress (main thread) ----
  // The status line's new text.
  void Status(const std::string& text);
  // The product line's new text: a line of its own whenever it changes.
  void Product(const std::string& text);
  // Writes a status held back by the once-a-second rule once its second has passed; called
  // whenever the run's loop wakes.
  void FlushProgress();
  // The transfer is over: a held-back status is written, an in-place line gets its line end.
  void EndProgress();

  ProgressMode mode() const { return mode_; }
  // The number of messages (not questions) shown so far.
  int MessageCount() const;

 private:
  void WriteLine(const std::string& caption, const std::string& text, const std::string& answer);
  void EndInPlaceLocked();
  void WriteStatusLocked(const std::string& text);

  std::ostream& out_;
  ProgressMode mode_;
  core::Clock& clock_;
  mutable std::mutex mutex_;
  int messages_ = 0;
  bool inPlaceOpen_ = false;          // an in-place status line waits for its line end
  std::string shownStatus_;           // the status last written
  std::optional<std::string> heldStatus_;  // a status the once-a-second rule held back
  std::optional<int64_t> lastStatusAt_;    // when the last status line was written (Lines)
  std::string shownProduct_;
};

// The word printed for an answer ("OK", "Cancel", "Yes", ...).
const char* AnswerText(core::Answer answer);

// The status text as the console shows it: with " (p%)" appended when the text reads "n of m"
// (the last such pair) with 0 <= n <= m and m > 0.
std::string StatusWithPercentage(const std::string& text);

// True when the stream is one of the process's standard streams and that is a terminal.
bool IsTerminalStream(const std::ostream& out);

}  // namespace tarnvik::app
