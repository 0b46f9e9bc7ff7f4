// The Ui of a run without a window: every message becomes one line "caption: text" on the
// error stream, every question takes its default answer (so nothing is ever overwritten
// without /OVERWRITE) and is printed with the answer it took, every item choice takes the
// entry a dialog shows selected (the first) and prints it, and every file choice is cancelled.
#pragma once

#include <iosfwd>
#include <mutex>
#include <string>

#include "core/ports.h"

namespace tarnvik::app {

class ConsoleUi final : public core::Ui {
 public:
  explicit ConsoleUi(std::ostream& out);  // the error stream in the program
  ConsoleUi();                            // std::cerr

  void ShowMessage(const std::string& caption, const std::string& text, core::Icon icon) override;
  core::Answer Ask(const std::string& caption, const std::string& text, core::Buttons buttons,
                   core::Answer defaultAnswer, core::Icon icon = core::Icon::Question) override;
  std::optional<std::string> ChooseOpenFile(core::FileRequest& request) override;
  std::optional<std::string> ChooseSaveFile(core::FileRequest& request) override;
  int ChooseItem(const std::string& caption, const std::string& prompt,
                 const std::vector<std::string>& items) override;

  // The number of messages (not questions) shown so far.
  int MessageCount() const;

 private:
  void WriteLine(const std::string& caption, const std::string& text, const std::string& answer);

  std::ostream& out_;
  mutable std::mutex mutex_;
  int messages_ = 0;
};

// The word printed for an answer ("OK", "Cancel", "Yes", ...).
const char* AnswerText(core::Answer answer);

}  // namespace tarnvik::app
