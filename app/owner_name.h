// The name the "Write GPS name" dialog sends to a logger: at most 9 characters typed, taken
// space-normalised (no leading or trailing blanks, one blank between words) and padded with
// blanks to exactly 9 characters. An empty name counts as Cancel.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarnvik::app {

constexpr size_t kOwnerNameLength = 9;
constexpr const char* kOwnerNameCaption = "Write GPS name";
constexpr const char* kOwnerNamePrompt = "Fill in the name:";

std::optional<std::string> OwnerNameFromInput(std::string_view typed);

}  // namespace tarnvik::app
