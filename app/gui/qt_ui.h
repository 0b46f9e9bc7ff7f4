// The core::Ui of the window: message boxes with the icons the messages name, questions with
// their buttons and default answer, the platform's open and save dialogs with the filter lists
// (writing back the folder and the 1-based filter index), item choices, the clipboard and the
// modal dialogs of the session's commands.
//
// Every call may come from any thread: one made off the GUI thread runs on the GUI thread and
// waits there for its answer. Tests answer the boxes and drive the dialogs through the hooks
// below instead of showing them, so no test ever waits on a modal dialog.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/ports.h"

class QDialog;
class QWidget;

namespace tarnvik::gui {

// One message box or question as it would be shown.
struct MessageBoxCall {
  std::string caption;
  std::string text;
  core::Icon icon = core::Icon::None;
  bool question = false;
  core::Buttons buttons = core::Buttons::Ok;
  core::Answer defaultAnswer = core::Answer::Ok;
};

class QtUi final : public core::Ui {
 public:
  QtUi() = default;
  // The window the boxes and dialogs belong to (may be null).
  void SetParent(QWidget* parent) { parent_ = parent; }
  QWidget* parent() const { return parent_; }

  // ---- hooks (tests) ----
  // Answers a box instead of showing it; nothing takes the box's default answer.
  std::function<std::optional<core::Answer>(const MessageBoxCall& call)> answerBox;
  // Chooses a file instead of the file dialog (may change request.folder and filterIndex).
  std::function<std::optional<std::string>(core::FileRequest& request, bool save)> chooseFile;
  // Chooses an item instead of the item dialog.
  std::function<int(const std::string& caption, const std::vector<std::string>& items)> chooseItem;
  // Drives a modal dialog instead of running its own loop: called with the dialog shown; the
  // dialog's result is what it was left with.
  std::function<void(QDialog& dialog)> driveDialog;

  // Dialogs of their own for the item choices under certain captions (an instrument's track
  // lists), run on the GUI thread in place of the plain list; a caption without one gets the
  // plain list (one item) or nothing (several).
  std::map<std::string, std::function<int(const std::vector<std::string>& items)>> itemDialogs;
  std::map<std::string, std::function<std::vector<int>(const std::vector<std::string>& items)>> itemsDialogs;

  void ShowMessage(const std::string& caption, const std::string& text, core::Icon icon) override;
  core::Answer Ask(const std::string& caption, const std::string& text, core::Buttons buttons,
                   core::Answer defaultAnswer, core::Icon icon = core::Icon::Question) override;
  std::optional<std::string> ChooseOpenFile(core::FileRequest& request) override;
  std::optional<std::string> ChooseSaveFile(core::FileRequest& request) override;
  int ChooseItem(const std::string& caption, const std::string& prompt,
                 const std::vector<std::string>& items) override;
  std::vector<int> ChooseItems(const std::string& caption, const std::string& prompt,
                               const std::vector<std::string>& items) override;

  // Runs a modal dialog (or hands it to driveDialog); its result code.
  int Exec(QDialog& dialog);
  // Puts the text on the clipboard; false (after a message) when there is no clipboard.
  bool SetClipboardText(const std::string& text);

 private:
  core::Answer Box(const MessageBoxCall& call);
  std::optional<std::string> ChooseFile(core::FileRequest& request, bool save);

  QWidget* parent_ = nullptr;
};

// The Qt name filter of one file filter: "IGC files (*.igc *.IGC)".
std::string QtNameFilter(const core::FileFilter& filter);

}  // namespace tarnvik::gui
