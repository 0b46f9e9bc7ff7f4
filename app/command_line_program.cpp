#include "app/command_line_program.h"

#include <cstdio>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "access/access_engine.h"
#include "app/command_line.h"
#include "app/command_line_airspace.h"
#include "app/command_line_run.h"
#include "app/command_line_headless.h"
#include "app/convert_command.h"
#include "app/olc_command.h"
#include "app/file_commands.h"
#include "core/file_io.h"
#include "core/version.h"
#include "formats/igc.h"
#include "formats/kml_reader.h"

namespace tarnvik::app {
namespace {

std::string Lower(std::string_view text) {
  std::string lower;
  for (char c : text) lower.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
  return lower;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

enum class SignedFileKind { Igc, Kml };

// By the extension, else by the first character that is not white space ('<' starts XML).
SignedFileKind KindOf(const std::string& path, std::string_view bytes) {
  const std::string lower = Lower(path);
  if (EndsWith(lower, ".igc")) return SignedFileKind::Igc;
  if (EndsWith(lower, ".kml")) return SignedFileKind::Kml;
  size_t first = bytes.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
  return first != std::string_view::npos && bytes[first] == '<' ? SignedFileKind::Kml : SignedFileKind::Igc;
}

// Reads a KML file's tracks one by one: the reader asks which track to take, and this Ui
// answers with the track in turn, keeping the list of tracks and the reader's messages.
class TrackPickingUi final : public core::Ui {
 public:
  explicit TrackPickingUi(int pick) : pick_(pick) {}
  std::vector<std::string> tracks;
  std::string message;

  void ShowMessage(const std::string& caption, const std::string& text, core::Icon) override {
    if (message.empty()) message = caption + ": " + text;
  }
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer defaultAnswer,
                   core::Icon) override {
    return defaultAnswer;
  }
  std::optional<std::string> ChooseOpenFile(core::FileRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseSaveFile(core::FileRequest&) override { return std::nullopt; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>& items) override {
    tracks = items;
    return pick_ < static_cast<int>(items.size()) ? pick_ : -1;
  }

 private:
  int pick_;
};

std::string DateTimeText(uint32_t time) {
  const core::SystemTime t = core::TimeToCalendar(time);
  char text[40];
  std::snprintf(text, sizeof text, "%d-%02d-%02d   %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

// One line per track: its date and whether its signature checked out. True when all did.
bool VerifyKml(const std::string& path, std::string_view bytes, std::ostream& out) {
  bool allGood = true;
  size_t trackCount = 1;
  for (size_t track = 0; track < trackCount; ++track) {
    TrackPickingUi ui(static_cast<int>(track));
    formats::TrackParseResult parsed = formats::ReadKmlLog(ui, bytes);
    if (!ui.tracks.empty()) trackCount = ui.tracks.size();
    out << path << ": track " << track + 1;
    if (parsed.result <= 0 || parsed.fixes.empty()) {
      out << ": " << (ui.message.empty() ? "not readable" : ui.message) << '\n';
      allGood = false;
      continue;
    }
    const bool signedOk = parsed.signatureFlag == formats::kKmlSignatureValid;
    out << ", " << (ui.tracks.empty() ? DateTimeText(parsed.fixes.front().time) : ui.tracks[track]) << ": "
        << (signedOk ? "Signature OK" : "NO signature") << '\n';
    if (!signedOk) allGood = false;
  }
  return allGood;
}

}  // namespace

namespace {

// What this build cannot do yet, read from the tables the runs use, so the usage text stays true
// as formats and instrument families are added.
std::string AvailabilityText() {
  const CommandLineFormats formats = BuiltInCommandLineFormats();
  std::vector<std::string> missing;
  if (!formats.oziTrack) missing.push_back("OZI_LOG (RD_LOG)");
  if (!formats.mapSource) missing.push_back("MPS_LOG");
  if (!formats.oziWaypoints) missing.push_back("RD_WPT");
  if (!formats.readWaypoints) missing.push_back("WR_WPT, WR_WPT2");
  const access::AccessRoutineTable& routines = access::DefaultAccessRoutines();
  if (!routines.Find(access::kAccessDownloadTrackLog, access::kProtocolGarminUsb)) missing.push_back("/USB");
  std::vector<std::string_view> gpsTypes;
  for (const GpsTypeInfo& g : kGpsTypes) {
    if (!routines.Find(access::kAccessDownloadTrackLog, g.protocol)) gpsTypes.push_back(g.name);
  }
  if (missing.empty() && gpsTypes.empty()) return "";
  std::string text = "Not yet in this build (refused with a message):\n";
  if (!missing.empty()) {
    text += " ";
    for (size_t i = 0; i < missing.size(); ++i) {
      text += i ? "; " : " ";
      text += missing[i];
    }
    text += "\n";
  }
  if (!gpsTypes.empty()) {
    text += "  /GPS=";
    for (size_t i = 0; i < gpsTypes.size(); ++i) {
      if (i) text += ',';
      text += gpsTypes[i];
    }
    text += "\n";
  }
  return text + "\n";
}

}  // namespace

std::string UsageText() {
  std::ostringstream out;
  out << core::kProgramName << ' ' << core::kVersionText << ": flight data transfer for free-flight pilots\n\n"
      << "usage: tarnvik /KEYWORD[=value] ...   run one transfer or conversion\n"
      << "       tarnvik --verify FILE...        check IGC security records and KML signatures\n"
      << ConvertUsageText()
      << "       tarnvik --airspace FILE [OUT]   read an OpenAir airspace file (count its zones),\n"
      << "                                       with OUT write them all to OUT\n"
      << "       tarnvik --olc FILE.igc          score a flight as the OLC contest does\n"
      << "       tarnvik --plot FLIGHT OUT.png   draw a log file's plan view and barogram (1600x1000)\n"
      << "       tarnvik --help | --version\n\n"
      << "Keywords (case-insensitive; a value that holds blanks is one argument, or goes in\n"
      << "double quotes inside a whole command line):\n";
  for (const KeywordInfo& k : kKeywords) {
    std::string left = "  /";
    left += k.name;
    if (!k.valueHint.empty()) {
      left += '=';
      left += k.valueHint;
    }
    if (left.size() < 28) left.resize(28, ' ');
    else left += ' ';
    out << left << k.help << '\n';
  }
  out << "\nGPS types (/GPS=):";
  for (const GpsTypeInfo& g : kGpsTypes) out << ' ' << g.name;
  out << "\n\nActions: KML_LOG, OZI_LOG (RD_LOG), IGC_LOG, MPS_LOG, RD_WPT, WR_WPT, WR_WPT2, IGC2KML,\n"
      << "DAT2KML; the last one given counts. In the file name of a log action \"$date\" becomes\n"
      << "the date of the first fix (yyyymmdd). Without /OVERWRITE an existing file is kept.\n"
      << "A file name longer than 260 characters is refused, never cut.\n\n"
      << AvailabilityText()
      << "Examples:\n"
      << "  tarnvik /IGC2KML=flight                  flight.igc -> flight.kml\n"
      << "  tarnvik /PORT=/dev/ttyUSB0 /GPS=GARMIN '/KML_LOG=My logs/$date.kml' /EXIT /WIN=0\n\n"
      << "Without a command line tarnvik opens its window; a transfer runs in the window too\n"
      << "unless /WIN=0 is given (needed where there is no display).\n"
      << "Messages and a transfer's progress of a run without the window go to the error stream\n"
      << "(\"caption: text\"); a run that wrote a file prints \"<file>: <n> positions written\" on the\n"
      << "output stream. Exit status: 0 when the action succeeded, 1 when it failed or the command\n"
      << "line was refused.\n";
  return out.str();
}

int VerifyFiles(const std::vector<std::string>& paths, std::ostream& out) {
  if (paths.empty()) {
    out << "--verify: no file given\n";
    return 1;
  }
  bool allGood = true;
  for (const std::string& path : paths) {
    core::FileBytes file = core::ReadWholeFile(path);
    if (file.error != core::ReadError::None) {
      out << path << ": " << file.systemText << '\n';
      allGood = false;
      continue;
    }
    const std::string_view bytes(file.begin(), file.size);
    if (KindOf(path, bytes) == SignedFileKind::Igc) {
      formats::IgcVerification check = formats::VerifyIgcBytes(bytes);
      out << path << ": " << check.message << '\n';
      if (check.outcome != formats::IgcCheck::Passed) allGood = false;
    } else if (!VerifyKml(path, bytes, out)) {
      allGood = false;
    }
  }
  return allGood ? 0 : 1;
}

namespace {

constexpr const char* kPlotCaption = "Plot";

// Passes the reader's messages on, and answers its question which track to take with the first.
class FirstTrackUi final : public core::Ui {
 public:
  explicit FirstTrackUi(core::Ui& inner) : inner_(inner) {}
  bool spoke = false;

  void ShowMessage(const std::string& caption, const std::string& text, core::Icon icon) override {
    spoke = true;
    inner_.ShowMessage(caption, text, icon);
  }
  core::Answer Ask(const std::string& caption, const std::string& text, core::Buttons buttons,
                   core::Answer defaultAnswer, core::Icon icon) override {
    return inner_.Ask(caption, text, buttons, defaultAnswer, icon);
  }
  std::optional<std::string> ChooseOpenFile(core::FileRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseSaveFile(core::FileRequest&) override { return std::nullopt; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>& items) override {
    return items.empty() ? -1 : 0;
  }

 private:
  core::Ui& inner_;
};

std::string ExtensionOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Lower(std::string_view(path).substr(dot));
}

}  // namespace

int RunPlotCommand(const std::vector<std::string>& args, std::ostream& out, core::Ui& ui, const PlotRun& plot) {
  auto refuse = [&ui](const std::string& caption, const std::string& text) {
    ui.ShowMessage(caption, text, core::Icon::Error);
    return 1;
  };
  if (args.size() != 2) return refuse(kPlotCaption, "--plot takes a log file and the picture file (OUT.png)");
  if (!plot) return refuse(kPlotCaption, "this build has no window: it cannot draw pictures");
  const std::string& input = args[0];
  const std::string& output = args[1];
  if (ExtensionOf(output) != ".png") return refuse(kPlotCaption, "Unknown output file type \"" + ExtensionOf(output) + "\"");
  const std::string inExt = ExtensionOf(input);
  std::optional<formats::TrackParser> reader = TrackReaderForExtension(inExt, nullptr);
  if (!reader) return refuse(kPlotCaption, "Unknown input file type \"" + inExt + "\"");
  core::FileBytes file = core::ReadWholeFile(input);
  switch (file.error) {
    case core::ReadError::None: break;
    case core::ReadError::Open: return refuse("Error opening file", file.systemText);
    case core::ReadError::TooLarge: return refuse("File buffer memory allocation", file.systemText);
    case core::ReadError::Read: return refuse("File read error", file.systemText);
  }
  if (file.size == 0) return refuse(kPlotCaption, "File is empty");
  FirstTrackUi picking(ui);
  formats::TrackParseResult parsed = (*reader)(picking, std::string_view(file.begin(), file.size));
  if (parsed.result <= 0 || parsed.fixes.empty()) {
    // The reader has said why, unless it found nothing wrong but no positions either.
    if (!picking.spoke) refuse(kPlotCaption, "No positions found in \"" + input + "\"");
    return 1;
  }
  const std::string error = plot(parsed.fixes, output);
  if (!error.empty()) return refuse("File write error", error);
  out << output << ": " << parsed.fixes.size() << " positions drawn\n";
  return 0;
}

int RunProgram(int argc, const char* const* argv, std::ostream& out, core::Ui& ui, const WindowRun& window,
               const PlotRun& plot) {
  if (argc >= 2) {
    const std::string_view first(argv[1]);
    if (first == "--help" || first == "-h") {
      out << UsageText();
      return 0;
    }
    if (first == "--version") {
      out << core::kProgramName << ' ' << core::kVersionText << '\n';
      return 0;
    }
    if (first == "--verify") return VerifyFiles(std::vector<std::string>(argv + 2, argv + argc), out);
    if (first == "--convert") {
      return RunConvertCommand(std::vector<std::string>(argv + 2, argv + argc), out, ui, core::SystemClock());
    }
    if (first == "--airspace") return RunAirspaceCommand(std::vector<std::string>(argv + 2, argv + argc), out, ui);
    if (first == "--plot") return RunPlotCommand(std::vector<std::string>(argv + 2, argv + argc), out, ui, plot);
    if (first == "--olc") {
      if (argc != 3) {
        ui.ShowMessage(core::kProgramName, "--olc takes one IGC file", core::Icon::Error);
        return 1;
      }
      return RunOlcCommand(argv[2], out, ui);
    }
  }
  ParsedCommandLine parsed = ParseCommandLine(JoinCommandLineArguments(argc, argv), ui);
  if (parsed.result < 0) return parsed.exitStatus;
  if (!parsed.options) {
    if (window) return window(nullptr);
    ui.ShowMessage(core::kProgramName, "this build has no window: give a command line (see tarnvik --help)",
                   core::Icon::Information);
    return 1;
  }
  if (window && parsed.options->showState != ShowState::Hide) return window(std::move(parsed.options));
  // Headless: a console Ui shows the transfer's progress too; the written file is reported on
  // the output stream.
  HeadlessOutput output;
  output.progress = dynamic_cast<ConsoleUi*>(&ui);
  output.result = &out;
  return RunHeadlessTransfer(std::move(parsed.options), ui, core::MakePlatformSettingsBackend(), output);
}

}  // namespace tarnvik::app
