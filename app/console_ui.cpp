#include "app/console_ui.h"

#include <iostream>

namespace tarnvik::app {
namespace {

// A message box may hold several lines; on the console it is one: every run of line ends
// becomes one blank.
std::string OneLine(const std::string& text) {
  std::string line;
  bool pendingBreak = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      pendingBreak = true;
      continue;
    }
    if (pendingBreak && !line.empty()) line.push_back(' ');
    pendingBreak = false;
    line.push_back(c);
  }
  return line;
}

}  // namespace

const char* AnswerText(core::Answer answer) {
  switch (answer) {
    case core::Answer::Ok: return "OK";
    case core::Answer::Cancel: return "Cancel";
    case core::Answer::Yes: return "Yes";
    case core::Answer::No: return "No";
    case core::Answer::Append: return "Append";
    case core::Answer::Overwrite: return "Overwrite";
    case core::Answer::YesToAll: return "Yes to All";
  }
  return "?";
}

ConsoleUi::ConsoleUi(std::ostream& out) : out_(out) {}
ConsoleUi::ConsoleUi() : out_(std::cerr) {}

void ConsoleUi::WriteLine(const std::string& caption, const std::string& text, const std::string& answer) {
  std::lock_guard lock(mutex_);
  out_ << OneLine(caption) << ": " << OneLine(text);
  if (!answer.empty()) out_ << " -> " << answer;
  out_ << '\n';
  out_.flush();
}

void ConsoleUi::ShowMessage(const std::string& caption, const std::string& text, core::Icon) {
  WriteLine(caption, text, "");
  std::lock_guard lock(mutex_);
  ++messages_;
}

core::Answer ConsoleUi::Ask(const std::string& caption, const std::string& text, core::Buttons,
                            core::Answer defaultAnswer, core::Icon) {
  WriteLine(caption, text, AnswerText(defaultAnswer));
  return defaultAnswer;
}

std::optional<std::string> ConsoleUi::ChooseOpenFile(core::FileRequest& request) {
  WriteLine(request.title, "no file can be chosen without a window", "Cancel");
  return std::nullopt;
}

std::optional<std::string> ConsoleUi::ChooseSaveFile(core::FileRequest& request) {
  WriteLine(request.title, "no file can be chosen without a window", "Cancel");
  return std::nullopt;
}

int ConsoleUi::ChooseItem(const std::string& caption, const std::string& prompt, const std::vector<std::string>&) {
  WriteLine(caption, prompt, "Cancel");
  return -1;
}

int ConsoleUi::MessageCount() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

}  // namespace tarnvik::app
