// The two Graviter dialogs without a toolkit. "Write GPS name" takes at most 8 characters (the
// instrument's name field), space-normalised and padded with blanks to exactly 8; an empty
// name counts as Cancel. "No log positions" tells of a track without positions; its check box
// "&Skip further notifications" silences the rest of one download.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tarnvik::app {

constexpr size_t kGraviterNameLength = 8;
constexpr const char* kGraviterNameCaption = "Write GPS name";
constexpr const char* kGraviterNamePrompt = "Fill in the name:";

// At most 8 characters of UTF-8 input (a character is a code point), then the owner-name rule.
std::optional<std::string> GraviterNameFromInput(std::string_view typed);

// "Write GPS name" serves the name field of the instrument written to: Graviter's 8 characters
// (protocol 5, GraviterNameFromInput), LogIt's 9 otherwise (OwnerNameFromInput). The input
// length a dialog allows and the name it sends.
size_t GpsNameLength(int protocol);
std::optional<std::string> GpsNameFromInput(int protocol, std::string_view typed);

constexpr const char* kNoLogPositionsCaption = "No log positions";
constexpr const char* kSkipNotificationsLabel = "&Skip further notifications";

struct NoLogPositionsForm {
  std::string text;
  bool skipFurther = false;  // the check box, unticked when shown
};

// The notices of one download: shows each through `dialog` (which returns after OK or when the
// job is aborted, with the box as the user left it) until the box was ticked once. Returns
// whether the box is now ticked, as Operation::NoLogPositions reports it.
class NoLogPositionsNotices {
 public:
  explicit NoLogPositionsNotices(std::function<void(NoLogPositionsForm&)> dialog) : dialog_(std::move(dialog)) {}
  bool Notify(const std::string& text);
  int shown() const { return shown_; }

 private:
  std::function<void(NoLogPositionsForm&)> dialog_;
  bool skip_ = false;
  int shown_ = 0;
};

}  // namespace tarnvik::app
