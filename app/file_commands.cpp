#include "app/file_commands.h"

#include <array>
#include <cctype>
#include <cstdio>

#include "core/file_io.h"
#include "devices/xctrainer/xctrainer_records.h"
#include "formats/dat_track.h"
#include "formats/gpx.h"
#include "formats/igc.h"
#include "formats/kml_logbook.h"
#include "formats/kml_reader.h"
#include "formats/mapsource.h"
#include "formats/other_tracks.h"
#include "formats/waypoint_files.h"

namespace tarnvik::app {
namespace {

constexpr std::array<LogFileType, 9> kOpenLogTypes = {{
    {"Hangarium", ".kml"},
    {"Ozi", ".plt"},
    {"Hangarium (old)", ".dat"},
    {"TopNavigator", ".tnc"},
    {"MapSource", ".mps"},
    {"Magellan", ".log"},
    {"IGC", ".igc"},
    {"GPX", ".gpx"},
    {"CSV", ".csv"},
}};
constexpr int kOpenTopNavigator = 4;

constexpr std::array<LogFileType, 5> kSaveLogTypes = {{
    {"Ozi", ".plt"},
    {"MapSource", ".mps"},
    {"TopNavigator", ".tnc"},
    {"GPX", ".gpx"},
    {"CSV", ".csv"},
}};
constexpr int kSaveTopNavigator = 3;

constexpr std::array<LogFileType, 6> kSaveWaypointTypes = {{
    {"Ozi", ".wpt"},
    {"UTM", ".wpt"},
    {"Geographical", ".wpt"},
    {"MapSource", ".mps"},
    {"SeeYou", ".cup"},
    {"GPX", ".gpx"},
}};
constexpr std::array<LogFileType, 4> kOpenWaypointTypes = {{
    {"Ozi/Tarnvik", ".wpt"},
    {"MapSource", ".mps"},
    {"SeeYou", ".cup"},
    {"GPS exchange", ".gpx"},
}};

std::string CountText(const char* pattern, int count) {
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, pattern, count);
  return buffer;
}

// The folder and type of a dialog: the persistent ones live in the settings.
struct DialogSlots {
  core::SettingId folder;
  std::optional<core::SettingId> type;
};
std::optional<DialogSlots> PersistentSlots(FileDialog dialog) {
  switch (dialog) {
    case FileDialog::OpenLog: return DialogSlots{core::SettingId::TrackLogDir, core::SettingId::LogImportExt};
    case FileDialog::SaveLogAs: return DialogSlots{core::SettingId::TrackLogDir, core::SettingId::LogExportExt};
    case FileDialog::SaveKml: return DialogSlots{core::SettingId::TrackLogDir, std::nullopt};
    case FileDialog::SaveIgc:
    case FileDialog::VerifyIgc: return DialogSlots{core::SettingId::IgcDir, std::nullopt};
    case FileDialog::OpenWaypoints: return DialogSlots{core::SettingId::WaypointDir, core::SettingId::WptImportExt};
    case FileDialog::SaveWaypoints: return DialogSlots{core::SettingId::WaypointDir, core::SettingId::WptExportExt};
    case FileDialog::DebugDump: return std::nullopt;
    case FileDialog::Ctr: return DialogSlots{core::SettingId::CtrDir, std::nullopt};
  }
  return std::nullopt;
}

bool HasExtension(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  size_t dot = path.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

}  // namespace

std::span<const LogFileType> OpenLogTypes() { return kOpenLogTypes; }
std::span<const LogFileType> SaveLogTypes() { return kSaveLogTypes; }
std::span<const LogFileType> SaveWaypointTypes() { return kSaveWaypointTypes; }
std::span<const LogFileType> OpenWaypointTypes() { return kOpenWaypointTypes; }

std::optional<formats::TrackParser> TrackReaderForExtension(std::string_view extension, formats::IgcBuffer* igc) {
  std::string ext(extension);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".kml") return formats::TrackParser(formats::ReadKmlLog);
  if (ext == ".plt") return formats::TrackParser(formats::ReadOziTrack);
  if (ext == ".dat") return formats::TrackParser(formats::ReadDatTrack);
  if (ext == ".mps") return formats::TrackParser(formats::ReadMapSourceTrack);
  if (ext == ".log") return formats::TrackParser(formats::ReadMagellanTrack);
  if (ext == ".gpx") return formats::TrackParser(formats::ReadGpxTrack);
  if (ext == ".csv") return formats::TrackParser(formats::ReadCsvTrack);
  if (ext == ".igc") {
    return formats::TrackParser([igc](core::Ui& ui, std::string_view bytes) {
      formats::IgcBuffer scratch;
      return formats::ReadIgcFileBuffer(ui, bytes, igc ? *igc : scratch);
    });
  }
  return std::nullopt;
}

std::optional<std::string> FormatTrackFile(std::string_view extension, std::span<const core::TrackPoint> fixes,
                                           const core::SystemTime& now) {
  std::string ext(extension);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".plt") return formats::FormatOziTrack(fixes, now);
  if (ext == ".mps") return formats::FormatMapSourceTrack(fixes);
  if (ext == ".gpx") return formats::FormatGpxTrack(fixes, now);
  if (ext == ".csv") return formats::FormatCsvTrack(fixes);
  return std::nullopt;
}

std::optional<std::string> FormatWaypointFile(int typeIndex, std::span<const core::Waypoint> waypoints,
                                              const core::SystemTime& now) {
  switch (typeIndex) {
    case 1: return formats::FormatOziWaypoints(waypoints);
    case 2: return formats::FormatUtmWaypoints(waypoints);
    case 3: return formats::FormatGeoWaypoints(waypoints);
    case 4: return formats::FormatMapSourceWaypoints(waypoints);
    case 5: return formats::FormatCupWaypoints(waypoints);
    case 6: return formats::FormatGpxWaypoints(waypoints, now);
    default: return std::nullopt;
  }
}

std::vector<core::FileFilter> TypeFilters(std::span<const LogFileType> types) {
  std::vector<core::FileFilter> filters;
  for (const LogFileType& t : types) {
    std::string pattern = "*";
    pattern += t.extension;
    filters.push_back({std::string(t.name) + " files (" + pattern + ")", pattern});
  }
  for (const LogFileType& t : types) filters.push_back({std::string(t.name) + " files (*.*)", "*.*"});
  return filters;
}

int FoldFilterIndex(int index, size_t typeCount) {
  int n = static_cast<int>(typeCount);
  if (index > n && index <= 2 * n) return index - n;
  if (index < 1 || index > n) return 1;
  return index;
}

std::optional<FileChoice> ChooseFile(Session& session, FileDialog dialog, bool save, const std::string& title,
                                     std::span<const LogFileType> types) {
  DialogMemory& memory = session.Dialog(dialog);
  std::optional<DialogSlots> slots = PersistentSlots(dialog);
  core::FileRequest request;
  request.title = title;
  request.filters = TypeFilters(types);
  request.folder = slots ? session.settings.Text(slots->folder) : memory.folder;
  int remembered = slots && slots->type ? session.settings.Number(*slots->type) : memory.filterIndex;
  request.filterIndex = FoldFilterIndex(remembered, types.size());
  request.defaultExtension = std::string(types[static_cast<size_t>(request.filterIndex - 1)].extension.substr(1));
  std::optional<std::string> chosen =
      save ? session.ui().ChooseSaveFile(request) : session.ui().ChooseOpenFile(request);
  if (!chosen) return std::nullopt;
  FileChoice choice;
  choice.path = *chosen;
  choice.typeIndex = FoldFilterIndex(request.filterIndex, types.size());
  bool firstHalf = request.filterIndex >= 1 && request.filterIndex <= static_cast<int>(types.size());
  if (save && firstHalf && !HasExtension(choice.path)) {
    choice.path += types[static_cast<size_t>(choice.typeIndex - 1)].extension;
  }
  if (choice.path.size() > kMaxPathLength) {
    session.Message("Error opening file", "Too long file name");
    return std::nullopt;
  }
  choice.folder = request.folder;
  core::SplitPath(choice.path, &choice.folder, nullptr);
  return choice;
}

void RememberChoice(Session& session, FileDialog dialog, const FileChoice& choice) {
  DialogMemory& memory = session.Dialog(dialog);
  memory.folder = choice.folder;
  memory.filterIndex = choice.typeIndex;
  if (std::optional<DialogSlots> slots = PersistentSlots(dialog)) {
    session.settings.SetText(slots->folder, choice.folder);
    if (slots->type) session.settings.Number(*slots->type) = choice.typeIndex;
  }
}

int WriteNewFile(Session& session, const std::string& path, std::string_view bytes) {
  bool exists = false;
  std::string error = core::CreateFileExclusively(path, bytes, exists);
  if (exists) {
    if (session.ui().Ask("File creation", "File already exists, overwrite ?", core::Buttons::OkCancel,
                         core::Answer::Cancel) != core::Answer::Ok) {
      return 1;
    }
    error = core::WriteFileAtomically(path, bytes);
  }
  if (!error.empty()) {
    session.ui().ShowMessage("Error opening file", error, core::Icon::Information);
    return -1;
  }
  return 0;
}

int OpenLogCommand(Session& session) {
  const std::string caption = "Read track log file";
  if (!session.CheckNotBusy(caption)) return -1;
  if (session.track.present && !session.track.saved &&
      session.ui().Ask("Unsaved track log", "Current track log will be overwritten. Continue ?",
                       core::Buttons::OkCancel, core::Answer::Cancel) != core::Answer::Ok) {
    return -1;
  }
  std::optional<FileChoice> choice = ChooseFile(session, FileDialog::OpenLog, false, "Read track log", kOpenLogTypes);
  if (!choice) return -1;
  RememberChoice(session, FileDialog::OpenLog, *choice);
  const LogFileType& type = kOpenLogTypes[static_cast<size_t>(choice->typeIndex - 1)];

  core::FileBytes file = core::ReadWholeFile(choice->path);
  switch (file.error) {
    case core::ReadError::None: break;
    case core::ReadError::Open:
      session.ui().ShowMessage("Error opening track log file", file.systemText, core::Icon::Information);
      return -1;
    case core::ReadError::TooLarge:
      session.ui().ShowMessage("File buffer memory allocation", file.systemText, core::Icon::Information);
      return -1;
    case core::ReadError::Read:
      session.ui().ShowMessage("Track log file read error", file.systemText, core::Icon::Information);
      return -1;
  }
  if (file.size == 0) {
    session.Message(caption, "File is empty");
    return -1;
  }

  std::string_view bytes(file.begin(), file.size);
  formats::IgcBuffer igc;
  // The chosen type decides the reader, whatever the file's own extension. A Top Navigator log
  // reports in extra whether its times are UTC (its start record named the time zone).
  formats::TrackParseResult parsed = choice->typeIndex == kOpenTopNavigator
                                         ? devices::xctrainer::ParseTncLogFile(session.ui(), bytes)
                                         : (*TrackReaderForExtension(type.extension, &igc))(session.ui(), bytes);
  if (parsed.result <= 0 || parsed.fixes.empty()) {
    // The reader has said why; the current log and its raw IGC log stay as they were.
    session.SetStatus("No positions found");
    return -1;
  }
  int count = static_cast<int>(parsed.fixes.size());
  session.ReplaceTrackLog(std::move(parsed.fixes), parsed.signatureFlag, parsed.extra,
                          std::vector<uint8_t>(igc.bytes.begin(), igc.bytes.end()));
  session.SetStatus(CountText(parsed.signatureFlag ? "%d positions read  (Signature OK)"
                                                   : "%d positions read  (Bad/missing signature)",
                              count));
  session.ChangeView(ViewMode::Tracklog, true);
  return 0;
}

namespace {

// The selected fixes of the current log for a save; nothing after "No position(s) selected" or
// a cancelled "Only one position selected".
std::optional<std::vector<core::TrackPoint>> FixesToSave(Session& session, const std::string& caption) {
  std::vector<core::TrackPoint> fixes = session.SelectedPoints();
  if (fixes.empty()) {
    session.Message(caption, "No position(s) selected");
    return std::nullopt;
  }
  if (fixes.size() == 1 && session.ui().Ask(caption, "Only one position selected", core::Buttons::OkCancel,
                                            core::Answer::Ok) != core::Answer::Ok) {
    return std::nullopt;
  }
  return fixes;
}

}  // namespace

int SaveIgcCommand(Session& session) {
  std::optional<std::vector<core::TrackPoint>> fixes = FixesToSave(session, "Save IGC log");
  if (!fixes) return -1;
  IgcFormatForm form = LoadIgcFormatForm(session.settings);
  if (!session.dialogs.igcFormat(form)) return 1;
  std::string status;
  int result = SaveIgcTrackLog(session.ui(), session.settings, form, *fixes, session.track.log.sourceKind,
                               session.track.log.sourceName, session.track.log.takenOver, status);
  if (result != 0) return result;  // cancelled or failed: the log stays unsaved
  session.SetStatus(status);
  session.track.saved = true;
  return 0;
}

int SaveIgcFromGpsCommand(Session& session) {
  formats::IgcBuffer buffer = session.IgcBufferOfLog();
  if (CheckRawIgcLogStored(session.ui(), buffer) != 0) return -1;
  RawIgcSaveForm form = LoadRawIgcSaveForm(session.settings);
  if (!session.dialogs.rawIgcSave(form)) return 1;
  int result = SaveRawIgcLog(session.ui(), session.settings, form, buffer);
  if (result != 0) return result;
  session.track.saved = true;
  return 0;
}

int SaveKmlCommand(Session& session) {
  FlightStatisticsRun run;
  run.selected = session.SelectedPoints();
  run.filterOn = session.settings.Number(core::SettingId::LogFilter) != 0;
  run.sourceKind = session.track.log.sourceKind;
  run.sourceFlag = session.track.log.sourceFlag;
  run.save = [&session](const core::FlightSummary& summary, const std::string& description) {
    std::string folder = session.settings.Text(core::SettingId::TrackLogDir);
    int result = formats::SaveLogbookKml(session.ui(), summary, description, session.track.log.sourceName, folder);
    if (result == 0) {
      // Only a written file remembers its folder and marks the log saved.
      session.settings.SetText(core::SettingId::TrackLogDir, folder);
      session.track.saved = true;
    }
    return result;
  };
  session.dialogs.flightStatistics(run);
  return 0;
}

int VerifyIgcCommand(Session& session) {
  std::string folder = session.settings.Text(core::SettingId::IgcDir);
  std::optional<formats::IgcCheck> outcome = formats::VerifyIgcFile(session.ui(), folder);
  session.settings.SetText(core::SettingId::IgcDir, folder);
  return outcome ? 0 : -1;
}

int SaveLogAsCommand(Session& session) {
  const std::string caption = "Save track log";
  std::optional<FileChoice> choice = ChooseFile(session, FileDialog::SaveLogAs, true, "Save track log", kSaveLogTypes);
  if (!choice) return -1;
  if (choice->typeIndex != kSaveTopNavigator) {
    // The format writers: the Tracklog view and its selected fixes.
    if (!session.CheckView(ViewMode::Tracklog, caption)) return -1;
    std::optional<std::vector<core::TrackPoint>> fixes = FixesToSave(session, caption);
    if (!fixes) return -1;
    const LogFileType& type = kSaveLogTypes[static_cast<size_t>(choice->typeIndex - 1)];
    std::optional<std::string> bytes = FormatTrackFile(type.extension, *fixes, session.clock().UtcNow());
    if (!bytes || WriteNewFile(session, choice->path, *bytes) != 0) return -1;
    RememberChoice(session, FileDialog::SaveLogAs, *choice);
    session.SetStatus(CountText("%d positions written", static_cast<int>(fixes->size())));
    session.SetProduct(choice->path);
    if (!session.commandLine()) session.ui().ShowMessage(caption, "File written", core::Icon::Information);
    session.track.saved = true;
    return 0;
  }
  if (session.track.rawDevice.empty()) {
    session.Message(caption, "No TopNav log downloaded");
    return -1;
  }
  const auto& raw = session.track.rawDevice;
  if (WriteNewFile(session, choice->path,
                   std::string_view(reinterpret_cast<const char*>(raw.data()), raw.size())) != 0) {
    return -1;
  }
  RememberChoice(session, FileDialog::SaveLogAs, *choice);
  session.SetProduct(choice->path);
  if (!session.commandLine()) session.ui().ShowMessage(caption, "File written", core::Icon::Information);
  session.track.saved = true;
  return 0;
}

int SaveWaypointsAsCommand(Session& session) {
  const std::string caption = "Save waypoints";
  std::vector<core::Waypoint> selected;
  for (size_t row : session.selection()) {
    if (row < session.waypoints.waypoints.size()) selected.push_back(session.waypoints.waypoints[row]);
  }
  if (selected.empty()) {
    session.Message(caption, "No waypoints selected");
    return -1;
  }
  std::optional<FileChoice> choice = ChooseFile(session, FileDialog::SaveWaypoints, true, "Save waypoints",
                                                kSaveWaypointTypes);
  if (!choice) return -1;
  std::optional<std::string> bytes = FormatWaypointFile(choice->typeIndex, selected, session.clock().UtcNow());
  if (!bytes || WriteNewFile(session, choice->path, *bytes) != 0) return -1;
  RememberChoice(session, FileDialog::SaveWaypoints, *choice);
  session.SetStatus(CountText("%d waypoints written", static_cast<int>(selected.size())));
  session.SetProduct(choice->path);
  if (!session.commandLine()) session.ui().ShowMessage(caption, "File written", core::Icon::Information);
  return 0;
}

int ReadWaypointFile(core::Ui& ui, const std::string& path, bool interactive, std::vector<core::Waypoint>& waypoints) {
  waypoints.clear();
  core::FileBytes file = core::ReadWholeFile(path);
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
  formats::WaypointIdQuestion question;
  question.interactive = interactive;
  return formats::DetectWaypointFormat(ui, std::string_view(file.begin(), file.size), waypoints, question);
}

int OpenWaypointsCommand(Session& session) {
  const std::string caption = "Read waypoint file";
  if (!session.CheckNotBusy(caption)) return -1;
  // The open dialog: the four types, then every file.
  core::FileRequest request;
  request.title = "Read waypoints";
  for (const LogFileType& t : kOpenWaypointTypes) {
    std::string pattern = "*";
    pattern += t.extension;
    std::string description(t.name);
    description += " files (";
    description += pattern;
    description += ')';
    request.filters.push_back({description, pattern});
  }
  request.filters.push_back({"All files (*.*)", "*.*"});
  const int filterCount = static_cast<int>(request.filters.size());
  request.folder = session.settings.Text(core::SettingId::WaypointDir);
  request.filterIndex = session.settings.Number(core::SettingId::WptImportExt);
  if (request.filterIndex < 1 || request.filterIndex > filterCount) request.filterIndex = 1;
  const int shownIndex = request.filterIndex;
  request.defaultExtension =
      shownIndex <= static_cast<int>(kOpenWaypointTypes.size())
          ? std::string(kOpenWaypointTypes[static_cast<size_t>(shownIndex - 1)].extension.substr(1))
          : std::string();
  std::optional<std::string> chosen = session.ui().ChooseOpenFile(request);
  if (!chosen) return -1;
  if (chosen->size() > kMaxPathLength) {
    session.Message("Error opening file", "Too long file name");
    return -1;
  }
  FileChoice choice;
  choice.path = *chosen;
  choice.typeIndex = request.filterIndex >= 1 && request.filterIndex <= filterCount ? request.filterIndex : 1;
  choice.folder = request.folder;
  core::SplitPath(choice.path, &choice.folder, nullptr);
  RememberChoice(session, FileDialog::OpenWaypoints, choice);

  std::vector<core::Waypoint> read;
  const int count = ReadWaypointFile(session.ui(), choice.path, true, read);
  if (count <= 0) return -1;  // said why, or the user cancelled: the list stays as it was
  session.SetStatus(CountText("%d waypoints read", count));
  if (!session.waypoints.waypoints.empty() &&
      session.ui().Ask(caption, "Append new waypoints to existing list ?", core::Buttons::YesNo, core::Answer::Yes) ==
          core::Answer::Yes) {
    for (const core::Waypoint& w : read) session.InsertWaypoint(w);
  } else {
    session.waypoints.waypoints = std::move(read);
    session.waypoints.shownCount = static_cast<int>(session.waypoints.waypoints.size());
    session.waypoints.sourceName.clear();
  }
  session.ChangeView(ViewMode::Waypoints, true);
  return 0;
}

}  // namespace tarnvik::app
