// A transfer run started from the command line: the start (port, the download or upload the
// line asks for) at the end of the session's initialisation, and the finish (the action's file
// written) when the transfer has ended with success.
//
// A run without a window (headless) never leaves an invisible process behind: a failed start
// or finish ends it with exit status 1, and a finished run always ends, whatever /EXIT says.
// With a visible window a failed step keeps the window open unless /EXIT was given.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/session.h"
#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::app {

constexpr const char* kDownloadTrackCaption = "Download track log";
constexpr const char* kDownloadWaypointsCaption = "Download waypoints";
constexpr const char* kSaveIgcCaption = "Save IGC log";
constexpr const char* kUploadWaypointsCaption = "Upload waypoints";
constexpr int kIgcMaxFlightNumber = 35;
// A finished name (after "$date" and the short IGC name) holds at most this many characters.
constexpr size_t kFileNameLength = 260;

// What a writer of the finish step sees.
struct CommandLineFileData {
  core::Ui& ui;
  core::Clock& clock;
  const CommandLineOptions& options;
  const core::TrackLog& log;
  const core::WaypointList& waypoints;
};

// The file formats a command-line run writes and reads. Each writer builds the whole file and
// returns 0, or -1 after showing its own message (the IGC writer's failure is shown by the
// caller as "File write error"). An empty one is a format this build cannot
// write: the run is refused at its start instead of downloading for nothing.
struct CommandLineFormats {
  std::function<int(const CommandLineFileData&, std::string& bytes)> kml;           // KML_LOG
  std::function<int(const CommandLineFileData&, std::string& bytes)> oziTrack;      // OZI_LOG
  std::function<int(const CommandLineFileData&, std::string& bytes)> mapSource;     // MPS_LOG
  std::function<int(const CommandLineFileData&, std::string& bytes)> igc;           // IGC_LOG
  std::function<int(const CommandLineFileData&, std::string& bytes)> oziWaypoints;  // RD_WPT
  // WR_WPT: decodes a waypoint file's bytes; the count, or 0 or less after its own message.
  std::function<int(core::Ui&, std::string_view bytes, std::vector<core::Waypoint>& waypoints)>
      readWaypoints;
};

// The formats this build has.
CommandLineFormats BuiltInCommandLineFormats();

// Replaces every "$date" by the date of time as "%d%02d%02d". Nothing when the result would
// be longer than 260 characters.
std::optional<std::string> ReplaceDateInFileName(std::string_view name, uint32_t time);

// True when the IGC_LOG value names a folder: it ends in a backslash or (on POSIX) a slash.
bool NamesFolder(std::string_view fileName);
// True when the name is that of a folder that exists (IGC_LOG without its trailing separator).
bool IsExistingFolder(const std::string& name);

// The short IGC name "%d-%02d-%02d-xtv-%s-%02d.igc" (a log generated here, serial "000") or
// with "xxx" for a log the instrument delivered as IGC text.
std::string IgcShortName(uint32_t firstFixTime, bool deliveredAsIgc, std::string_view serial, int flightNumber);

// IQ Compeo waypoint upload rule: WR_WPT gives a waypoint without comment its ID as comment;
// WR_WPT2 makes every comment the ID, a blank and the old comment, cut to 40 characters.
void ApplyIqCompeoCommentRule(std::vector<core::Waypoint>& waypoints, bool idAndComment);

// What a finished run did: whether its action succeeded, and the file it wrote with the
// count of what went in ("221 positions written").
struct CommandLineResult {
  bool succeeded = false;
  std::string writtenPath;
  std::string summary;
};

// The finish step apart from the session, so that it can be driven in tests.
struct CommandLineFinishContext {
  core::Ui& ui;
  core::Clock& clock;
  const core::TrackLog& log;
  const std::vector<uint8_t>& rawIgc;  // the IGC text an instrument delivered (IQCOMPEO)
  const core::WaypointList& waypoints;
  std::function<void(const std::string&)> status;
  std::function<void(const std::string&)> product;
  std::function<void(ViewMode)> refreshView;
  // Out: the file written and its summary ("%d positions written", "%d waypoints written").
  std::string writtenPath;
  std::string writtenSummary;
};

// Writes the action's file. Returns true when it was written. May clear options.exitWhenDone
// (a failure that keeps a visible window open).
bool WriteCommandLineFile(CommandLineOptions& options, const CommandLineFormats& formats,
                          CommandLineFinishContext& context);

// The command-line run the session drives.
class CommandLineDriver final : public CommandLineRun {
 public:
  CommandLineDriver(std::unique_ptr<CommandLineOptions> options, bool headless,
                    CommandLineFormats formats = BuiltInCommandLineFormats());

  bool ExitWhenDone() const override;
  // StartCommandLineRun: 0, or -1 when the run failed and the program is to close.
  int Start(Session& session) override;
  // FinishCommandLineRun: writes the file; nonzero when the program closes.
  int Finish(Session& session) override;

  // True once the requested action has been carried out to its end (file written, upload done).
  // Shared, because the session releases the run when it closes.
  std::shared_ptr<const bool> Outcome() const { return {result_, &result_->succeeded}; }
  // The outcome with the file written, shared the same way.
  std::shared_ptr<const CommandLineResult> Result() const { return result_; }
  const CommandLineOptions& options() const { return *options_; }

 private:
  int StartWaypointUpload(Session& session);
  int Failed() const;

  std::unique_ptr<CommandLineOptions> options_;
  bool headless_;
  CommandLineFormats formats_;
  std::shared_ptr<CommandLineResult> result_ = std::make_shared<CommandLineResult>();
};

}  // namespace tarnvik::app
