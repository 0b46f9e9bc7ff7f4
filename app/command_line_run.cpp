#include "app/command_line_run.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/file_io.h"
#include "formats/igc.h"

namespace tarnvik::app {
namespace {

std::string Format(const char* pattern, int value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

bool IsTrackAction(CommandLineAction action) {
  return action == CommandLineAction::KmlLog || action == CommandLineAction::OziLog ||
         action == CommandLineAction::MpsLog;
}

const std::function<int(const CommandLineFileData&, std::string&)>* WriterFor(const CommandLineFormats& formats,
                                                                               CommandLineAction action) {
  switch (action) {
    case CommandLineAction::KmlLog: return &formats.kml;
    case CommandLineAction::OziLog: return &formats.oziTrack;
    case CommandLineAction::MpsLog: return &formats.mapSource;
    case CommandLineAction::IgcLog: return &formats.igc;
    case CommandLineAction::ReadWaypoints: return &formats.oziWaypoints;
    default: return nullptr;
  }
}

const char* FormatName(CommandLineAction action) {
  switch (action) {
    case CommandLineAction::KmlLog: return "KML";
    case CommandLineAction::OziLog: return "OziExplorer track";
    case CommandLineAction::MpsLog: return "MapSource";
    case CommandLineAction::IgcLog: return "IGC";
    case CommandLineAction::ReadWaypoints: return "OziExplorer waypoint";
    default: return "waypoint";
  }
}

// Track log and waypoint files (KML_LOG, OZI_LOG, MPS_LOG, RD_WPT).
bool WriteListFile(CommandLineOptions& options, const CommandLineFormats& formats, CommandLineFinishContext& context) {
  const bool waypointAction = options.action == CommandLineAction::ReadWaypoints;
  const char* caption = waypointAction ? kDownloadWaypointsCaption : kDownloadTrackCaption;
  const ViewMode view = waypointAction ? ViewMode::Waypoints : ViewMode::Tracklog;
  if (waypointAction ? context.waypoints.waypoints.empty() : context.log.points.empty()) {
    context.ui.ShowMessage(caption, waypointAction ? "No waypoints" : "No positions", core::Icon::Error);
    return false;
  }
  std::string name = options.fileName;
  if (!waypointAction) {
    // The name is built as a string: a result beyond the limit is refused, never cut.
    auto replaced = ReplaceDateInFileName(name, context.log.points.front().time);
    if (!replaced) {
      context.ui.ShowMessage(caption, "Too long file name", core::Icon::Error);
      return false;
    }
    name = *replaced;
  }
  const auto* writer = WriterFor(formats, options.action);
  if (!writer || !*writer) {
    context.ui.ShowMessage(caption, std::string(FormatName(options.action)) + " files cannot be written by this build",
                           core::Icon::Error);
    return false;
  }
  std::string bytes;
  CommandLineFileData data{context.ui, context.clock, options, context.log, context.waypoints};
  if ((*writer)(data, bytes) != 0) return false;  // the writer has reported

  if (options.overwrite) {
    std::string error = core::WriteFileAtomically(name, bytes);
    if (!error.empty()) {
      context.ui.ShowMessage("Error opening file", error, core::Icon::Information);
      options.exitWhenDone = false;
      if (context.refreshView) context.refreshView(view);
      return false;
    }
  } else {
    bool exists = false;
    std::string error = core::CreateFileExclusively(name, bytes, exists);
    if (exists) {
      core::Answer answer = context.ui.Ask("File creation", "File already exists, overwrite ?",
                                           core::Buttons::OkCancel, core::Answer::Cancel);
      if (answer != core::Answer::Ok) return false;
      error = core::WriteFileAtomically(name, bytes);
    }
    if (!error.empty()) {
      context.ui.ShowMessage("Error opening file", error, core::Icon::Information);
      return false;
    }
  }
  context.writtenPath = name;
  context.writtenSummary = waypointAction
                               ? Format("%d waypoints written", static_cast<int>(context.waypoints.waypoints.size()))
                               : Format("%d positions written", static_cast<int>(context.log.points.size()));
  if (context.status) context.status(context.writtenSummary);
  if (context.product) context.product(name);
  return true;
}

// IGC_LOG: into a folder with a short name and the first free flight number, or to a file.
bool WriteIgcFile(CommandLineOptions& options, const CommandLineFormats& formats, CommandLineFinishContext& context) {
  auto fail = [&](const std::string& text, bool keepWindow) {
    context.ui.ShowMessage(kSaveIgcCaption, text, core::Icon::Error);
    if (keepWindow) {
      options.exitWhenDone = false;
      if (context.refreshView) context.refreshView(ViewMode::Tracklog);
    }
    return false;
  };
  const bool deliveredAsIgc = options.gpsType == GpsType::IqCompeo;
  std::string bytes;
  uint32_t firstFixTime = 0;
  std::string serial = "000";
  int positions = static_cast<int>(context.log.points.size());
  if (deliveredAsIgc) {
    // The instrument delivered an IGC file: it is written as it is. Its date and logger serial
    // come from the text itself.
    if (context.rawIgc.empty()) return fail("No log stored", false);
    bytes.assign(context.rawIgc.begin(), context.rawIgc.end());
    formats::IgcParseResult parsed = formats::ParseIgcLog(bytes);
    if (parsed.count > 0) {
      firstFixTime = parsed.fixes.front().time;
      serial = parsed.serial;
      positions = parsed.count;
    } else if (!context.log.points.empty()) {
      firstFixTime = context.log.points.front().time;
    }
  } else {
    if (context.log.points.empty()) return fail("No positions", false);
    firstFixTime = context.log.points.front().time;
    if (!formats.igc) return fail("IGC files cannot be written by this build", false);
    CommandLineFileData data{context.ui, context.clock, options, context.log, context.waypoints};
    if (formats.igc(data, bytes) != 0) return fail("File write error", false);
  }

  auto replaced = ReplaceDateInFileName(options.fileName, firstFixTime);
  if (!replaced) return fail("Too long file name", false);
  std::string base = *replaced;
  // A folder: a name ending in a separator, or the name of a folder that exists (which then
  // gets its separator).
  const bool folder = NamesFolder(base) || IsExistingFolder(base);
  if (folder && !NamesFolder(base)) base.push_back(static_cast<char>(std::filesystem::path::preferred_separator));
  const int lastFlight = folder && !options.overwrite ? kIgcMaxFlightNumber : 1;
  for (int flight = 1; flight <= lastFlight; ++flight) {
    std::string name = base;
    if (folder) {
      name += IgcShortName(firstFixTime, deliveredAsIgc, serial, flight);
      if (name.size() >= kFileNameLength) return fail("Too long file name", false);
    }
    std::string error;
    bool exists = false;
    if (options.overwrite) {
      error = core::WriteFileAtomically(name, bytes);
    } else {
      error = core::CreateFileExclusively(name, bytes, exists);
    }
    if (error.empty()) {
      context.writtenPath = name;
      context.writtenSummary = Format("%d positions written", positions);
      if (context.product) context.product(name);
      return true;
    }
    // Only a name that is taken moves on to the next flight number; any other failure, and a
    // plain file name, is reported at once with the system's reason.
    if (!exists || !folder) return fail("File open error: " + error, true);
  }
  return fail("No free flight number available", true);
}

}  // namespace

std::optional<std::string> ReplaceDateInFileName(std::string_view name, uint32_t time) {
  constexpr std::string_view kMarker = "$date";
  const core::SystemTime date = core::TimeToCalendar(time);
  char dateText[16];
  std::snprintf(dateText, sizeof dateText, "%d%02d%02d", date.year, date.month, date.day);
  std::string result;
  size_t from = 0;
  while (true) {
    size_t at = name.find(kMarker, from);
    if (at == std::string_view::npos) break;
    result.append(name.substr(from, at - from));
    result.append(dateText);
    from = at + kMarker.size();
  }
  result.append(name.substr(from));
  if (result.size() > kFileNameLength) return std::nullopt;
  return result;
}

bool IsExistingFolder(const std::string& name) {
  std::error_code error;
  return !name.empty() && std::filesystem::is_directory(name, error);
}

bool NamesFolder(std::string_view fileName) {
  if (fileName.empty()) return false;
  return fileName.back() == '\\' || fileName.back() == '/';
}

std::string IgcShortName(uint32_t firstFixTime, bool deliveredAsIgc, std::string_view serial, int flightNumber) {
  const core::SystemTime date = core::TimeToCalendar(firstFixTime);
  char name[64];
  std::snprintf(name, sizeof name, "%d-%02d-%02d-%s-%.*s-%02d.igc", date.year, date.month, date.day,
                deliveredAsIgc ? "xxx" : "xtv", static_cast<int>(serial.size()), serial.data(), flightNumber);
  return name;
}

void ApplyIqCompeoCommentRule(std::vector<core::Waypoint>& waypoints, bool idAndComment) {
  constexpr size_t kCommentLength = sizeof(core::Waypoint::comment) - 1;
  for (core::Waypoint& w : waypoints) {
    if (idAndComment) {
      std::string comment = std::string(w.id) + " " + w.comment;
      comment.resize(std::min(comment.size(), kCommentLength));
      std::memset(w.comment, 0, sizeof w.comment);
      std::memcpy(w.comment, comment.data(), comment.size());
    } else if (w.comment[0] == '\0') {
      std::memcpy(w.comment, w.id, std::strlen(w.id));
    }
  }
}

bool WriteCommandLineFile(CommandLineOptions& options, const CommandLineFormats& formats,
                          CommandLineFinishContext& context) {
  if (IsTrackAction(options.action) || options.action == CommandLineAction::ReadWaypoints) {
    return WriteListFile(options, formats, context);
  }
  if (options.action == CommandLineAction::IgcLog) return WriteIgcFile(options, formats, context);
  return false;
}

// ---- the run the session drives -------------------------------------------------------------

CommandLineDriver::CommandLineDriver(std::unique_ptr<CommandLineOptions> options, bool headless,
                                     CommandLineFormats formats)
    : options_(std::move(options)), headless_(headless), formats_(std::move(formats)) {}

bool CommandLineDriver::ExitWhenDone() const { return headless_ || options_->exitWhenDone; }

int CommandLineDriver::Failed() const { return ExitWhenDone() ? -1 : 0; }

int CommandLineDriver::Start(Session& session) {
  CommandLineOptions& o = *options_;
  if (!o.portName.empty()) {
    session.portName = o.portName;
    session.UpdateTitle();
  }
  const int32_t protocol = ProtocolFor(o.gpsType, o.useUsb);
  switch (o.action) {
    case CommandLineAction::KmlLog:
    case CommandLineAction::OziLog:
    case CommandLineAction::MpsLog:
    case CommandLineAction::IgcLog:
    case CommandLineAction::ReadWaypoints: {
      const bool waypoints = o.action == CommandLineAction::ReadWaypoints;
      const char* caption = waypoints ? kDownloadWaypointsCaption : kDownloadTrackCaption;
      const auto* writer = WriterFor(formats_, o.action);
      // The IQ Compeo's IGC log is written as the instrument delivered it: no writer needed.
      const bool needsWriter = !(o.action == CommandLineAction::IgcLog && o.gpsType == GpsType::IqCompeo);
      if (needsWriter && (!writer || !*writer)) {
        session.ui().ShowMessage(caption,
                                 std::string(FormatName(o.action)) + " files cannot be written by this build",
                                 core::Icon::Error);
        return Failed();
      }
      int started = waypoints ? session.DownloadWaypoints(protocol, 0)
                              : session.DownloadTrackLog(protocol, GpsTypeInfoOf(o.gpsType).speed);
      return started == 0 ? 0 : Failed();
    }
    case CommandLineAction::WriteWaypoints:
    case CommandLineAction::WriteWaypointsIdName:
      return StartWaypointUpload(session) == 0 ? 0 : Failed();
    default:
      return 0;
  }
}

int CommandLineDriver::StartWaypointUpload(Session& session) {
  CommandLineOptions& o = *options_;
  core::Ui& ui = session.ui();
  if (!formats_.readWaypoints) {
    ui.ShowMessage("Reading waypoint file", "Waypoint files cannot be read by this build", core::Icon::Error);
    return -1;
  }
  core::FileBytes file = core::ReadWholeFile(o.fileName);
  switch (file.error) {
    case core::ReadError::None: break;
    case core::ReadError::Open:
      ui.ShowMessage("Error opening waypoint file", file.systemText, core::Icon::Information);
      return -1;
    case core::ReadError::TooLarge:
      ui.ShowMessage("File buffer memory allocation", file.systemText, core::Icon::Information);
      return -1;
    case core::ReadError::Read:
      ui.ShowMessage("Waypoint file read error", file.systemText, core::Icon::Information);
      return -1;
  }
  if (file.size == 0) {
    ui.ShowMessage("Reading waypoint file", "File is empty", core::Icon::Error);
    return -1;
  }
  std::vector<core::Waypoint> read;
  int count = formats_.readWaypoints(ui, std::string_view(file.begin(), file.size), read);
  if (count <= 0) return -1;  // the reader has reported
  session.waypoints.waypoints = read;
  session.waypoints.shownCount = count;
  session.waypoints.sourceName.clear();
  session.SetStatus(Format("%d waypoints read", count));
  session.SetProduct(o.fileName);
  session.ChangeView(ViewMode::Waypoints, true);

  std::vector<core::Waypoint> upload = read;
  if (o.gpsType == GpsType::IqCompeo) {
    ApplyIqCompeoCommentRule(upload, o.action == CommandLineAction::WriteWaypointsIdName);
  }
  access::AccessData data;
  data.waypoints = std::move(upload);
  return session.StartUpload(access::kAccessUploadWaypoints, ProtocolFor(o.gpsType, o.useUsb), std::move(data),
                             count, kUploadWaypointsCaption);
}

int CommandLineDriver::Finish(Session& session) {
  CommandLineOptions& o = *options_;
  if (o.action == CommandLineAction::WriteWaypoints || o.action == CommandLineAction::WriteWaypointsIdName) {
    result_->succeeded = true;  // the upload ended with success
    return ExitWhenDone() ? 1 : 0;
  }
  CommandLineFinishContext context{
      session.ui(),
      session.clock(),
      session.track.log,
      session.track.rawIgc,
      session.waypoints,
      [&session](const std::string& text) { session.SetStatus(text); },
      [&session](const std::string& text) { session.SetProduct(text); },
      [&session](ViewMode view) { session.ChangeView(view, true); },
      {},
      {},
  };
  result_->succeeded = WriteCommandLineFile(o, formats_, context);
  if (result_->succeeded) {
    result_->writtenPath = context.writtenPath;
    result_->summary = context.writtenSummary;
  }
  return ExitWhenDone() ? 1 : 0;
}

}  // namespace tarnvik::app
