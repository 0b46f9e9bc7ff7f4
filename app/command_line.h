// The program's command line: the tokens /KEYWORD or /KEYWORD=value, the options block they
// fill, the check of their combination, and the two conversions (IGC and .dat logs to KML)
// that run at once and end the program without a window.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/ports.h"

namespace tarnvik::app {

// What a run does. The numbers are the action codes the options block carries.
enum class CommandLineAction : int32_t {
  None = 0,
  KmlLog = 1,          // KML_LOG: download the track log, write a KML file
  OziLog = 2,          // OZI_LOG, RD_LOG: download the track log, write an OziExplorer track
  IgcLog = 3,          // IGC_LOG: download the log, write an IGC file into a folder or a file
  MpsLog = 4,          // MPS_LOG: download the track log, write a MapSource file
  ReadWaypoints = 5,   // RD_WPT: download the waypoints, write an OziExplorer waypoint file
  WriteWaypoints = 6,  // WR_WPT: read a waypoint file and upload it
  WriteWaypointsIdName = 7,  // WR_WPT2: as WR_WPT, comments become "ID comment" for IQ Compeo
  IgcToKml = 8,        // IGC2KML: convert <name>.igc to <name>.kml, then end
  DatToKml = 9,        // DAT2KML: convert <name>.dat to <name>.kml, then end
};

// The instrument family named by /GPS=. The numbers are the GPS type codes.
enum class GpsType : int32_t {
  Garmin = 0,
  Mlr = 1,
  TopNav = 2,
  LogIt = 3,
  IqCompeo = 4,
  Graviter = 5,
  Magellan = 6,
  XcTrainer = 7,
  XctMxp = 8,
};

// How the main window is first shown (the platform's show-state numbers).
enum class ShowState : int32_t { Hide = 0, Show = 5, Minimize = 6 };

// One row of the GPS type table: the /GPS= value, and the access engine's protocol number and
// speed (0 = the protocol's own default) that a download from that family uses.
struct GpsTypeInfo {
  std::string_view name;
  GpsType type;
  int32_t protocol;
  int32_t speed;
};

// The table of GPS types in code order.
inline constexpr std::array<GpsTypeInfo, 9> kGpsTypes = {{
    {"GARMIN", GpsType::Garmin, 0, 0},
    {"MLR", GpsType::Mlr, 1, 0},
    {"TOPNAV", GpsType::TopNav, 2, 0},
    {"LOGIT", GpsType::LogIt, 3, 57600},
    {"IQCOMPEO", GpsType::IqCompeo, 4, 0},
    {"GRAVITER", GpsType::Graviter, 5, 0},
    {"MAGELLAN", GpsType::Magellan, 6, 0},
    {"XCTRAINER", GpsType::XcTrainer, 7, 0},
    {"XCT_MXP", GpsType::XctMxp, 10, 57600},
}};

inline const GpsTypeInfo& GpsTypeInfoOf(GpsType type) { return kGpsTypes[static_cast<size_t>(type)]; }

// Protocol numbers of the access engine that the command line selects.
constexpr int32_t kProtocolGarminSerial = 0;
constexpr int32_t kProtocolGarminUsb = 8;

// The transfer protocol for a GPS type: the table's protocol, except Garmin with USB.
int32_t ProtocolFor(GpsType type, bool useUsb);

constexpr size_t kKeywordLength = 10;    // characters kept of a keyword
constexpr size_t kValueLength = 260;     // characters kept of a value
constexpr size_t kPersonTextLength = 20;  // characters kept of PILOT and ID
constexpr size_t kPortNameLength = 80;   // the session's port name

// The options block: created only when the command line is not empty.
struct CommandLineOptions {
  // Tokenizer working fields.
  std::string keyword;        // keyword being parsed, upper case, at most 10 characters
  std::string value;          // value being parsed, at most 260 characters
  int32_t tokenizerState = 0;  // 0 between tokens, 1 keyword, 2 value, 3 quoted value
  int32_t position = 0;        // characters collected in the current keyword or value
  bool valueTooLong = false;   // the value being parsed went beyond 260 characters
  // The run's settings.
  CommandLineAction action = CommandLineAction::None;
  GpsType gpsType = GpsType::Garmin;
  std::string portName;  // "COM3:" from /COM=3, or a device path from /PORT=; empty when not given
  bool useUsb = false;
  std::string fileName;  // the action's file, folder or base name (at most 260 characters)
  bool overwrite = false;
  bool exitWhenDone = false;
  ShowState showState = ShowState::Show;
  std::string pilotName;  // at most 20 characters; "HOPLTPILOT: " in IGC headers
  std::string gliderId;   // at most 20 characters; "HOGTYGLIDERID: " in IGC headers
};

constexpr const char* kParsingCaption = "Parsing command line";

// The caption an action's own messages carry: "Download track log" (KML_LOG, OZI_LOG, MPS_LOG),
// "Save IGC log", "Download waypoints", "Upload waypoints", "Reading IGC log file" (IGC2KML),
// "Reading .dat log file" (DAT2KML). A file name beyond 260 characters is refused under it
// with "Too long file name", never cut.
const char* ActionCaption(CommandLineAction action);

// What a keyword does with its value.
enum class KeywordKind { ComPort, DevicePath, Usb, Gps, Action, Pilot, GliderId, Exit, Overwrite, Window };

// One row of the keyword table: the tokenizer's handler for a completed token, and the words
// --help prints for it.
struct KeywordInfo {
  std::string_view name;
  KeywordKind kind;
  CommandLineAction action;         // for KeywordKind::Action
  std::string_view missingMessage;  // for KeywordKind::Action: the message when the value is empty
  std::string_view valueHint;       // "" for keywords that take no value
  std::string_view help;
};

inline constexpr std::array<KeywordInfo, 19> kKeywords = {{
    {"COM", KeywordKind::ComPort, CommandLineAction::None, "", "n",
     "serial port n (1-8): COMn:, the n-th serial port (/dev/ttyS<n-1> on Linux)"},
    {"PORT", KeywordKind::DevicePath, CommandLineAction::None, "", "path",
     "serial port by its device path, e.g. /PORT=/dev/ttyUSB0 (replaces /COM)"},
    {"USB", KeywordKind::Usb, CommandLineAction::None, "", "", "use the Garmin USB link"},
    {"GPS", KeywordKind::Gps, CommandLineAction::None, "", "type", "instrument family (below); GARMIN when not given"},
    {"KML_LOG", KeywordKind::Action, CommandLineAction::KmlLog, "Missing log file name", "file",
     "download the track log and write a KML file"},
    {"MPS_LOG", KeywordKind::Action, CommandLineAction::MpsLog, "Missing log file name", "file",
     "download the track log and write a MapSource file"},
    {"OZI_LOG", KeywordKind::Action, CommandLineAction::OziLog, "Missing log file name", "file",
     "download the track log and write an OziExplorer track file"},
    {"RD_LOG", KeywordKind::Action, CommandLineAction::OziLog, "Missing log file name", "file",
     "the same as OZI_LOG"},
    {"IGC_LOG", KeywordKind::Action, CommandLineAction::IgcLog, "Missing log file directory name",
     "folder/ or file",
     "download the log and write an IGC file; a folder (existing, or ending in / or \\) gets a short name"},
    {"PILOT", KeywordKind::Pilot, CommandLineAction::None, "", "name", "pilot name for the IGC header (20 characters)"},
    {"ID", KeywordKind::GliderId, CommandLineAction::None, "", "text", "glider ID for the IGC header (20 characters)"},
    {"RD_WPT", KeywordKind::Action, CommandLineAction::ReadWaypoints, "Missing wpt file name", "file",
     "download the waypoints and write an OziExplorer waypoint file"},
    {"WR_WPT", KeywordKind::Action, CommandLineAction::WriteWaypoints, "Missing wpt file name", "file",
     "read a waypoint file and upload it"},
    {"WR_WPT2", KeywordKind::Action, CommandLineAction::WriteWaypointsIdName, "Missing wpt file name", "file",
     "as WR_WPT; for IQCOMPEO every comment becomes the ID, a blank and the old comment"},
    {"EXIT", KeywordKind::Exit, CommandLineAction::None, "", "", "end the program when the transfer is done"},
    {"OVERWRITE", KeywordKind::Overwrite, CommandLineAction::None, "", "", "replace an existing file"},
    {"WIN", KeywordKind::Window, CommandLineAction::None, "", "0|1|2", "window hidden, minimised or shown"},
    {"IGC2KML", KeywordKind::Action, CommandLineAction::IgcToKml, "Missing IGC/KML file name", "name",
     "convert name.igc (or name.IGC) to name.kml, then end"},
    {"DAT2KML", KeywordKind::Action, CommandLineAction::DatToKml, "Missing DAT/KML file name", "name",
     "convert name.dat (old logbook) to name.kml, then end"},
}};

// Runs the tokenizer and the keyword table over the text (stopping at its end or at a NUL).
// Returns 0, or -1 after showing the message of the first bad token.
int TokenizeCommandLine(std::string_view text, CommandLineOptions& options, core::Ui& ui);

// Checks the combination of action, GPS type and USB. Returns 0, or -1 after showing one message.
// The conversions are not run here.
int ValidateCommandLine(const CommandLineOptions& options, core::Ui& ui);

// What ParseCommandLine leaves for the program's entry point.
struct ParsedCommandLine {
  // 0: go on (interactive without options, or a transfer run with them); -1: end at once.
  int result = 0;
  // The options of a transfer run; empty for an interactive start and after -1.
  std::unique_ptr<CommandLineOptions> options;
  // For result -1: 0 when a conversion ran to the end, 1 when the line was refused or the
  // conversion failed.
  int exitStatus = 0;
};

// Parses the text after the program name: an empty text is an interactive start; otherwise
// the options are filled and checked, and a conversion action runs at once (the program then
// ends whatever its outcome). Every message has been shown once through ui when it returns.
ParsedCommandLine ParseCommandLine(std::string_view text, core::Ui& ui);

// Converts <fileName>.igc (IGC2KML) or <fileName>.dat (DAT2KML) to <fileName>.kml, honouring
// overwrite. Returns 0, or -1 after the reader or writer has shown its message.
int RunCommandLineConversion(const CommandLineOptions& options, core::Ui& ui);

// Joins the program's arguments into one command-line text as the tokenizer expects it. An
// argument /KEYWORD=value whose value holds a blank (and no double quote) arrives as one token:
// its value is wrapped in double quotes. An argument that already holds a double quote, or
// that is itself a whole command line (a blank followed by a known /KEYWORD), is taken as it is.
std::string JoinCommandLineArguments(int argc, const char* const* argv);

}  // namespace tarnvik::app
