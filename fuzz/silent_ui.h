// A Ui for fuzz targets: counts the messages shown, takes every question's default answer and
// cancels every file or item choice.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/ports.h"

namespace tarnvik::fuzzing {

class SilentUi final : public core::Ui {
 public:
  int shown = 0;
  void ShowMessage(const std::string&, const std::string&, core::Icon) override { ++shown; }
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer answer,
                   core::Icon) override {
    return answer;
  }
  std::optional<std::string> ChooseOpenFile(core::FileRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseSaveFile(core::FileRequest&) override { return std::nullopt; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }
};

}  // namespace tarnvik::fuzzing
