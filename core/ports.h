// The ports through which the toolkit-free core meets the world. Every routine that asks the
// user, reports progress, waits or stamps "now" receives them by reference; none is global.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/records.h"

namespace tarnvik::core {

enum class Icon { None, Information, Warning, Error, Question };

// Button sets a question can offer; the answer is one of Answer.
// YesYesToAllNoCancel: "&Yes", "Yes to &All", "&No (skip)", "&Cancel" (the waypoint ID question).
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, AppendOverwriteCancel, YesYesToAllNoCancel };
enum class Answer { Ok, Cancel, Yes, No, Append, Overwrite, YesToAll };

struct FileFilter {
  std::string description;  // "IGC files (*.igc)"
  std::string patterns;     // "*.igc;*.IGC"
};

// One open or save file choice. filterIndex is 1-based as the remembered settings store it;
// the implementation updates folder and filterIndex to what the user last used.
struct FileRequest {
  std::string title;
  std::vector<FileFilter> filters;
  int filterIndex = 1;
  std::string folder;
  std::string fileName;          // proposed name (save) or initial selection
  std::string defaultExtension;  // without the dot; added to a save name without one
};

// Application-level user interaction: messages, questions and file choices.
class Ui {
 public:
  virtual ~Ui() = default;
  virtual void ShowMessage(const std::string& caption, const std::string& text, Icon icon) = 0;
  // Asks a question; defaultAnswer is what Enter (or a headless run) takes.
  virtual Answer Ask(const std::string& caption, const std::string& text, Buttons buttons,
                     Answer defaultAnswer, Icon icon = Icon::Question) = 0;
  // Returns the chosen path, or nothing when the user cancelled.
  virtual std::optional<std::string> ChooseOpenFile(FileRequest& request) = 0;
  virtual std::optional<std::string> ChooseSaveFile(FileRequest& request) = 0;
  // Lets the user pick one of several items (a track of a multi-track file, a flight of an
  // instrument). Returns the 0-based index, or -1 when cancelled.
  virtual int ChooseItem(const std::string& caption, const std::string& prompt,
                         const std::vector<std::string>& items) = 0;
  // Lets the user pick any number of the items ("OK" with the selected ones, "&All" with
  // every one). Returns the 0-based indices in ascending order; empty when cancelled. A Ui
  // without such a choice cancels.
  virtual std::vector<int> ChooseItems(const std::string& caption, const std::string& prompt,
                                       const std::vector<std::string>& items) {
    (void)caption;
    (void)prompt;
    (void)items;
    return {};
  }
};

// One long-running piece of work (an instrument transfer, a statistics search): progress
// texts out, cancellation in, and the questions such work may need to ask mid-way.
class Operation {
 public:
  virtual ~Operation() = default;
  virtual bool IsCancelled() const = 0;
  virtual void Status(const std::string& text) = 0;
  virtual void Product(const std::string& text) = 0;
  // A failure message, shown once by the front end (caption names the operation).
  virtual void Fail(const std::string& caption, const std::string& text) = 0;
  // A question asked mid-transfer; a cancelled operation answers Cancel.
  virtual Answer Ask(const std::string& caption, const std::string& text, Buttons buttons,
                     Answer defaultAnswer) = 0;
  virtual int ChooseItem(const std::string& caption, const std::string& prompt,
                         const std::vector<std::string>& items) = 0;
  // Several of the items (Ui::ChooseItems); empty when cancelled. A cancelled operation, and
  // one that offers no such choice, answers empty.
  virtual std::vector<int> ChooseItems(const std::string& caption, const std::string& prompt,
                                       const std::vector<std::string>& items) {
    (void)caption;
    (void)prompt;
    (void)items;
    return {};
  }
  // In competition mode, after the pilot's IDs were read from the instrument (-1 = not found):
  // true when the user confirms the download for these IDs. A cancelled operation refuses;
  // one that has no such question confirms.
  virtual bool ConfirmCompetition(int32_t competitionId, int32_t civlId) {
    (void)competitionId;
    (void)civlId;
    return !IsCancelled();
  }
  // A notice that a downloaded track holds no positions (caption "No log positions", an OK
  // button and the check box "&Skip further notifications"): true when the user ticked the
  // box, which suppresses further notices of the same download. Shown on the front end's
  // thread; an abort answers it (false). One that shows no such dialog (a headless run) passes
  // the text on as a status and goes on.
  virtual bool NoLogPositions(const std::string& text) {
    if (!IsCancelled()) Status(text);
    return false;
  }
  // How far the work is when its total is known ("record 120 of 4000"): done of total units.
  // Optional: a front end may show a progress bar; the default shows nothing.
  virtual void Progress(int64_t done, int64_t total) {
    (void)done;
    (void)total;
  }
};

// Time: a monotonic millisecond count for time-outs, sleeping, and the UTC wall clock for
// writers that stamp "now".
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t NowMs() = 0;
  virtual void SleepMs(int64_t ms) = 0;
  virtual SystemTime UtcNow() = 0;
};

// The real clock (steady_clock, system_clock).
Clock& SystemClock();

}  // namespace tarnvik::core
