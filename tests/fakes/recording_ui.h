// A Ui that records every message and question and answers from a script.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/ports.h"

namespace tarnvik::testing {

struct ShownMessage {
  std::string caption;
  std::string text;
  core::Icon icon = core::Icon::None;
  bool question = false;
  core::Buttons buttons = core::Buttons::Ok;  // of a question
};

class RecordingUi : public core::Ui {
 public:
  std::vector<ShownMessage> shown;
  std::deque<core::Answer> answers;            // next answers; empty = take the default
  std::deque<std::optional<std::string>> files;  // next file choices; empty = cancel
  std::deque<int> choices;                     // next item choices; empty = -1
  std::vector<core::FileRequest> fileRequests;

  void ShowMessage(const std::string& caption, const std::string& text, core::Icon icon) override {
    shown.push_back({caption, text, icon, false});
  }
  core::Answer Ask(const std::string& caption, const std::string& text, core::Buttons buttons,
                   core::Answer defaultAnswer, core::Icon icon) override {
    shown.push_back({caption, text, icon, true, buttons});
    if (answers.empty()) return defaultAnswer;
    core::Answer a = answers.front();
    answers.pop_front();
    return a;
  }
  std::optional<std::string> ChooseOpenFile(core::FileRequest& request) override { return NextFile(request); }
  std::optional<std::string> ChooseSaveFile(core::FileRequest& request) override { return NextFile(request); }
  int ChooseItem(const std::string& caption, const std::string& prompt,
                 const std::vector<std::string>&) override {
    shown.push_back({caption, prompt, core::Icon::Question, true});
    if (choices.empty()) return -1;
    int c = choices.front();
    choices.pop_front();
    return c;
  }

  // The texts shown, in order (messages and questions alike).
  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& m : shown) out.push_back(m.text);
    return out;
  }
  // Asserts exactly one message was shown, with this caption and text, and forgets it.
  void ExpectOnly(const std::string& caption, const std::string& text) {
    ASSERT_EQ(shown.size(), 1u) << (shown.empty() ? std::string("nothing shown") : shown.back().text);
    EXPECT_EQ(shown[0].caption, caption);
    EXPECT_EQ(shown[0].text, text);
    shown.clear();
  }

 private:
  std::optional<std::string> NextFile(core::FileRequest& request) {
    fileRequests.push_back(request);
    if (files.empty()) return std::nullopt;
    auto f = files.front();
    files.pop_front();
    return f;
  }
};

// An Operation that records status and product texts and failures.
class RecordingOperation : public core::Operation {
 public:
  bool cancelled = false;
  std::vector<std::string> statuses;
  std::vector<std::string> products;
  std::vector<ShownMessage> failures;
  std::deque<core::Answer> answers;
  std::deque<int> choices;
  int cancelAfterStatuses = -1;  // >= 0: becomes cancelled after that many status texts

  bool IsCancelled() const override { return cancelled; }
  void Status(const std::string& text) override {
    statuses.push_back(text);
    if (cancelAfterStatuses >= 0 && static_cast<int>(statuses.size()) >= cancelAfterStatuses) cancelled = true;
  }
  void Product(const std::string& text) override { products.push_back(text); }
  void Fail(const std::string& caption, const std::string& text) override {
    failures.push_back({caption, text, core::Icon::Information, false});
  }
  core::Answer Ask(const std::string& caption, const std::string& text, core::Buttons,
                   core::Answer defaultAnswer) override {
    failures.push_back({caption, text, core::Icon::Question, true});
    if (cancelled) return core::Answer::Cancel;
    if (answers.empty()) return defaultAnswer;
    auto a = answers.front();
    answers.pop_front();
    return a;
  }
  int ChooseItem(const std::string& caption, const std::string& prompt,
                 const std::vector<std::string>&) override {
    failures.push_back({caption, prompt, core::Icon::Question, true});
    if (cancelled || choices.empty()) return -1;
    int c = choices.front();
    choices.pop_front();
    return c;
  }
};

}  // namespace tarnvik::testing
