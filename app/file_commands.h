// The file commands of the main window: reading a track log file, the IGC saves and the IGC
// verification, the KML save through the flight statistics, and the raw Top Navigator save.
// Every dialog goes through the session's Ui with the remembered folder and type choice.
#pragma once

#include <optional>
#include <span>
#include <string_view>
#include <string>
#include <vector>

#include "app/session.h"
#include "core/ports.h"
#include "formats/igc.h"
#include "formats/track_parser.h"

namespace tarnvik::app {

// The file types of "&Open log", in dialog order (filter index 1..9).
struct LogFileType {
  std::string_view name;       // "Hangarium"
  std::string_view extension;  // ".kml"
};
std::span<const LogFileType> OpenLogTypes();
std::span<const LogFileType> SaveLogTypes();
// "Save &wpts. As..." (filter index 1..6) and "Open wpts." (1..4, then "All files (*.*)").
std::span<const LogFileType> SaveWaypointTypes();
std::span<const LogFileType> OpenWaypointTypes();

// The track reader of a file extension (any case): .kml .plt .dat .mps .log .igc .gpx .csv;
// nothing for any other (.tnc included). The IGC reader refills igc when one is given.
std::optional<formats::TrackParser> TrackReaderForExtension(std::string_view extension, formats::IgcBuffer* igc);
// The bytes of a track file in the "Save log As" formats .plt .mps .gpx .csv (any case), now
// being the save time; nothing for any other extension.
std::optional<std::string> FormatTrackFile(std::string_view extension, std::span<const core::TrackPoint> fixes,
                                           const core::SystemTime& now);
// The bytes of a waypoint file of a "Save wpts. As" type (1 Ozi, 2 UTM, 3 Geographical,
// 4 MapSource, 5 SeeYou, 6 GPX); nothing for any other index.
std::optional<std::string> FormatWaypointFile(int typeIndex, std::span<const core::Waypoint> waypoints,
                                              const core::SystemTime& now);
// Reads a waypoint file whole and recognises its format. The count, or 0 or less after the
// message (file errors with the captions "Error opening waypoint file", "File buffer memory
// allocation", "Waypoint file read error") or a cancelled ID question. Without interactive a
// name that would need the ID question is refused.
int ReadWaypointFile(core::Ui& ui, const std::string& path, bool interactive, std::vector<core::Waypoint>& waypoints);

// The filter list of a dialog: one filter per type, "%s files (*%s)", then the same types with
// "%s files (*.*)"; an index into the second half folds back onto its type.
std::vector<core::FileFilter> TypeFilters(std::span<const LogFileType> types);
int FoldFilterIndex(int index, size_t typeCount);

// Longest path a dialog accepts ("Too long file name" beyond).
constexpr size_t kMaxPathLength = 257;

// One file chosen in a dialog: the path, the type (1-based, folded), and the folder.
struct FileChoice {
  std::string path;
  int typeIndex = 1;
  std::string folder;
};

// Runs an open or save dialog starting in the dialog's remembered folder and type (kept in the
// settings where they persist). A save name without extension gets the type's extension when
// a filter of the first half was chosen. Nothing when cancelled, or after "Too long file name".
// Remembering the choice is the caller's step (RememberChoice): an open dialog remembers it at
// once, a save only once the file was written.
std::optional<FileChoice> ChooseFile(Session& session, FileDialog dialog, bool save, const std::string& title,
                                     std::span<const LogFileType> types);
void RememberChoice(Session& session, FileDialog dialog, const FileChoice& choice);

// Creates a file with the overwrite question ("File already exists, overwrite ?", caption
// "File creation", Cancel the default). 0 written, 1 the user kept the old file, -1 a failure
// (the system's text shown with the caption "Error opening file").
int WriteNewFile(Session& session, const std::string& path, std::string_view bytes);

// "&Open log" (busy guard, unsaved-log question, read, replace, status line). 0 when a new
// log replaced the current one.
int OpenLogCommand(Session& session);
// "Save log in &IGC format": the selected fixes through the "IGC File Format" dialog.
int SaveIgcCommand(Session& session);
// "Save IGC log from &GPS": the raw IGC log unchanged.
int SaveIgcFromGpsCommand(Session& session);
// "&Save log (Hangarium/.kml)" outside competition mode: the flight statistics dialog over the
// selected fixes, whose "Save" writes the KML logbook.
int SaveKmlCommand(Session& session);
// "&Verify IGC log from Tarnvik".
int VerifyIgcCommand(Session& session);
// "Save log &As...": the raw TopNavigator log, or the selected fixes of the Tracklog view as
// OziExplorer, MapSource, GPX or CSV file.
int SaveLogAsCommand(Session& session);
// "Save &wpts. As...": the selected waypoints in one of the six waypoint layouts.
int SaveWaypointsAsCommand(Session& session);
// "Open wpts.": reads a waypoint file (format recognised from its bytes, the ID question asked)
// and replaces the list or, when one exists and the user says so, inserts the new waypoints
// with the duplicate question.
int OpenWaypointsCommand(Session& session);

}  // namespace tarnvik::app
