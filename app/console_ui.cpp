#include "app/console_ui.h"

#include <cctype>
#include <iostream>

namespace tarnvik::app {
namespace {

constexpr int64_t kLineIntervalMs = 1000;
// Back to the line's start, and (after the text) erase what an older, longer text left.
constexpr char kLineStart[] = "\r";
constexpr char kEraseToEnd[] = "\x1b[K";

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

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

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

std::string StatusWithPercentage(const std::string& text) {
  constexpr std::string_view kOf = " of ";
  size_t at = text.rfind(kOf);
  while (at != std::string::npos) {
    size_t numberStart = at;
    while (numberStart > 0 && IsDigit(text[numberStart - 1])) --numberStart;
    size_t totalEnd = at + kOf.size();
    while (totalEnd < text.size() && IsDigit(text[totalEnd])) ++totalEnd;
    const size_t numberLength = at - numberStart;
    const size_t totalLength = totalEnd - (at + kOf.size());
    // At most 9 digits each: the counts of a transfer, never an overflow.
    if (numberLength > 0 && numberLength <= 9 && totalLength > 0 && totalLength <= 9) {
      const long long done = std::stoll(text.substr(numberStart, numberLength));
      const long long total = std::stoll(text.substr(at + kOf.size(), totalLength));
      if (total > 0 && done <= total) return text + " (" + std::to_string(done * 100 / total) + "%)";
      return text;
    }
    if (at == 0) break;
    at = text.rfind(kOf, at - 1);
  }
  return text;
}

ConsoleUi::ConsoleUi(std::ostream& out, ProgressMode mode, core::Clock& clock)
    : out_(out), mode_(mode), clock_(clock) {}
ConsoleUi::ConsoleUi(std::ostream& out)
    : ConsoleUi(out, IsTerminalStream(out) ? ProgressMode::InPlace : ProgressMode::Lines, core::SystemClock()) {}
ConsoleUi::ConsoleUi() : ConsoleUi(std::cerr) {}

void ConsoleUi::EndInPlaceLocked() {
  if (!inPlaceOpen_) return;
  out_ << '\n';
  inPlaceOpen_ = false;
}

void ConsoleUi::WriteLine(const std::string& caption, const std::string& text, const std::string& answer) {
  std::lock_guard lock(mutex_);
  // A message starts on a line of its own; the status line above it keeps its last text, and
  // a status held back by the once-a-second rule comes first, in the order things happened.
  if (heldStatus_) WriteStatusLocked(*heldStatus_);
  EndInPlaceLocked();
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

int ConsoleUi::ChooseItem(const std::string& caption, const std::string& prompt,
                          const std::vector<std::string>& items) {
  // The list's preselected entry is its first.
  if (items.empty()) {
    WriteLine(caption, prompt, "Cancel");
    return -1;
  }
  WriteLine(caption, prompt, OneLine(items.front()));
  return 0;
}

int ConsoleUi::MessageCount() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

// ---- progress -----------------------------------------------------------------------------

void ConsoleUi::WriteStatusLocked(const std::string& text) {
  const std::string shown = OneLine(StatusWithPercentage(text));
  if (mode_ == ProgressMode::InPlace) {
    out_ << kLineStart << shown << kEraseToEnd;
    inPlaceOpen_ = true;
  } else {
    out_ << shown << '\n';
    lastStatusAt_ = clock_.NowMs();
  }
  out_.flush();
  shownStatus_ = text;
  heldStatus_.reset();
}

void ConsoleUi::Status(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (text == shownStatus_ && (inPlaceOpen_ || mode_ == ProgressMode::Lines)) {
    heldStatus_.reset();
    return;
  }
  if (mode_ == ProgressMode::Lines && lastStatusAt_ && clock_.NowMs() - *lastStatusAt_ < kLineIntervalMs) {
    heldStatus_ = text;  // written when its second has passed, or at the end
    return;
  }
  WriteStatusLocked(text);
}

void ConsoleUi::Product(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (text.empty() || text == shownProduct_) return;
  shownProduct_ = text;
  if (mode_ == ProgressMode::InPlace && inPlaceOpen_) {
    // Above the status line, which is drawn again below it.
    out_ << kLineStart << OneLine(text) << kEraseToEnd << '\n';
    out_ << OneLine(StatusWithPercentage(shownStatus_)) << kEraseToEnd;
  } else {
    out_ << OneLine(text) << '\n';
  }
  out_.flush();
}

void ConsoleUi::FlushProgress() {
  std::lock_guard lock(mutex_);
  if (heldStatus_ && (!lastStatusAt_ || clock_.NowMs() - *lastStatusAt_ >= kLineIntervalMs)) {
    WriteStatusLocked(*heldStatus_);
  }
}

void ConsoleUi::EndProgress() {
  std::lock_guard lock(mutex_);
  if (heldStatus_) WriteStatusLocked(*heldStatus_);
  EndInPlaceLocked();
  out_.flush();
}

}  // namespace tarnvik::app
