#include "app/convert_command.h"

#include <cstdio>
#include <initializer_list>
#include <ostream>
#include <string_view>

#include "app/file_commands.h"
#include "app/google_earth_export.h"
#include "core/file_io.h"
#include "formats/igc_writer.h"
#include "formats/waypoint_files.h"

namespace tarnvik::app {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return lower;
}

// The extension of a path's last component, with its dot, lower case; "" when it has none.
std::string ExtensionOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  return Lower(std::string_view(path).substr(dot));
}

struct ConvertOptions {
  bool waypoints = false;
  std::string type;  // --type=
  int track = 0;     // --track=, 1-based; 0 none
  bool overwrite = false;
  std::string input;
  std::string output;
};

// Passes messages on to the program's Ui and answers a track choice with --track.
class TrackChoiceUi final : public core::Ui {
 public:
  TrackChoiceUi(core::Ui& inner, int pick) : inner_(inner), pick_(pick) {}
  std::vector<std::string> tracks;
  void ShowMessage(const std::string& caption, const std::string& text, core::Icon icon) override {
    inner_.ShowMessage(caption, text, icon);
  }
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer defaultAnswer,
                   core::Icon) override {
    return defaultAnswer;
  }
  std::optional<std::string> ChooseOpenFile(core::FileRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseSaveFile(core::FileRequest&) override { return std::nullopt; }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>& items) override {
    tracks = items;
    return pick_ >= 1 && pick_ <= static_cast<int>(items.size()) ? pick_ - 1 : -1;
  }

 private:
  core::Ui& inner_;
  int pick_;
};

// Texts built by appending (GCC 12 warns falsely about "literal" + std::string temporaries).
std::string Join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view p : parts) text += p;
  return text;
}

int Refuse(core::Ui& ui, const std::string& text) {
  ui.ShowMessage(kConvertCaption, text, core::Icon::Error);
  return 1;
}

// Writes the output unless it exists (without --overwrite); the file appears only complete.
int WriteOutput(core::Ui& ui, const ConvertOptions& o, const std::string& bytes) {
  std::string error;
  if (o.overwrite) {
    error = core::WriteFileAtomically(o.output, bytes);
  } else {
    bool exists = false;
    error = core::CreateFileExclusively(o.output, bytes, exists);
    if (exists) return Refuse(ui, Join({"\"", o.output, "\" already exists (--overwrite replaces it)"}));
  }
  if (!error.empty()) {
    ui.ShowMessage("File write error", error, core::Icon::Error);
    return 1;
  }
  return 0;
}

core::FileBytes ReadInput(core::Ui& ui, const std::string& path, bool& ok) {
  core::FileBytes file = core::ReadWholeFile(path);
  ok = false;
  switch (file.error) {
    case core::ReadError::None: break;
    case core::ReadError::Open: ui.ShowMessage("Error opening file", file.systemText, core::Icon::Error); return file;
    case core::ReadError::TooLarge:
      ui.ShowMessage("File buffer memory allocation", file.systemText, core::Icon::Error);
      return file;
    case core::ReadError::Read: ui.ShowMessage("File read error", file.systemText, core::Icon::Error); return file;
  }
  if (file.size == 0) {
    Refuse(ui, "File is empty");
    return file;
  }
  ok = true;
  return file;
}

int ConvertTrack(const ConvertOptions& o, std::ostream& out, core::Ui& ui, core::Clock& clock) {
  const std::string inExt = ExtensionOf(o.input);
  const std::string outExt = ExtensionOf(o.output);
  if (inExt == ".tnc") return Refuse(ui, "Reading TopNavigator files is not supported by this version");
  std::optional<formats::TrackParser> reader = TrackReaderForExtension(inExt, nullptr);
  if (!reader) return Refuse(ui, Join({"Unknown input file type \"", inExt, "\""}));
  static constexpr const char* kOutputs[] = {".kml", ".igc", ".gpx", ".plt", ".csv", ".mps"};
  bool knownOutput = false;
  for (const char* e : kOutputs) knownOutput = knownOutput || outExt == e;
  if (!knownOutput) return Refuse(ui, Join({"Unknown output file type \"", outExt, "\""}));
  if (!o.overwrite && core::FileExists(o.output)) {
    return Refuse(ui, Join({"\"", o.output, "\" already exists (--overwrite replaces it)"}));
  }

  bool ok = false;
  core::FileBytes file = ReadInput(ui, o.input, ok);
  if (!ok) return 1;
  TrackChoiceUi picking(ui, o.track);
  formats::TrackParseResult parsed = (*reader)(picking, std::string_view(file.begin(), file.size));
  if (parsed.result <= 0 || parsed.fixes.empty()) {
    if (!picking.tracks.empty() && (o.track < 1 || o.track > static_cast<int>(picking.tracks.size()))) {
      std::string text = std::to_string(picking.tracks.size()) + " tracks, give --track=N:";
      for (size_t i = 0; i < picking.tracks.size(); ++i) {
        text += ' ';
        text += std::to_string(i + 1);
        text += ' ';
        text += picking.tracks[i];
        text += ';';
      }
      text.pop_back();
      return Refuse(ui, text);
    }
    if (parsed.fixes.empty() && parsed.result > 0) return Refuse(ui, "No positions found");
    return 1;  // the reader has said why
  }
  // The log as "Open log" takes it over: the reader's signature flag is its source kind.
  const int sourceKind = parsed.signatureFlag;
  const int sourceFlag = parsed.extra;

  std::string bytes;
  if (outExt == ".kml") {
    const int signFlag = sourceKind >= 1 && sourceKind <= 8 ? 1 : 0;
    if (BuildGoogleEarthKml(ui, parsed.fixes, signFlag, sourceFlag, "", bytes) != 0) return 1;
  } else if (outExt == ".igc") {
    formats::IgcHeader header;
    header.serial = "000";
    bytes = formats::FormatIgcLog(parsed.fixes, sourceKind, header, clock.UtcNow(), formats::IgcGRecord::IfFromInstrument);
  } else {
    bytes = *FormatTrackFile(outExt, parsed.fixes, clock.UtcNow());
  }
  if (WriteOutput(ui, o, bytes) != 0) return 1;
  out << parsed.fixes.size() << " positions written\n";
  return 0;
}

int ConvertWaypoints(const ConvertOptions& o, std::ostream& out, core::Ui& ui, core::Clock& clock) {
  const std::string outExt = ExtensionOf(o.output);
  int typeIndex = 0;  // of the "Save wpts. As" types
  const std::string type = Lower(o.type);
  if (outExt == ".wpt") {
    typeIndex = type.empty() || type == "ozi" ? 1 : type == "utm" ? 2 : type == "geographical" ? 3 : -1;
    if (typeIndex < 0) return Refuse(ui, Join({"Unknown waypoint file type \"", o.type, "\""}));
  } else if (!type.empty()) {
    return Refuse(ui, "--type applies to .wpt files only");
  } else if (outExt == ".mps") {
    typeIndex = 4;
  } else if (outExt == ".cup") {
    typeIndex = 5;
  } else if (outExt == ".gpx") {
    typeIndex = 6;
  } else {
    return Refuse(ui, Join({"Unknown output file type \"", outExt, "\""}));
  }
  if (!o.overwrite && core::FileExists(o.output)) {
    return Refuse(ui, Join({"\"", o.output, "\" already exists (--overwrite replaces it)"}));
  }
  bool ok = false;
  core::FileBytes file = ReadInput(ui, o.input, ok);
  if (!ok) return 1;
  std::vector<core::Waypoint> waypoints;
  formats::WaypointIdQuestion question;
  question.interactive = false;
  if (formats::DetectWaypointFormat(ui, std::string_view(file.begin(), file.size), waypoints, question) <= 0) return 1;
  if (WriteOutput(ui, o, *FormatWaypointFile(typeIndex, waypoints, clock.UtcNow())) != 0) return 1;
  out << waypoints.size() << " waypoints written\n";
  return 0;
}

}  // namespace

std::string ConvertUsageText() {
  return "       tarnvik --convert [--waypoints] [--type=NAME] [--track=N] [--overwrite] INPUT OUTPUT\n"
         "                                       convert a track log (in: .igc .kml .dat .plt .gpx .csv\n"
         "                                       .log .mps; out: .kml .igc .gpx .plt .csv .mps) or, with\n"
         "                                       --waypoints, a waypoint file (out: .wpt .mps .cup .gpx;\n"
         "                                       --type=UTM or Geographical for .wpt)\n";
}

int RunConvertCommand(const std::vector<std::string>& args, std::ostream& out, core::Ui& ui, core::Clock& clock) {
  ConvertOptions o;
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (a == "--waypoints") {
      o.waypoints = true;
    } else if (a == "--overwrite") {
      o.overwrite = true;
    } else if (a.starts_with("--type=")) {
      o.type = a.substr(7);
    } else if (a.starts_with("--track=")) {
      const std::string n = a.substr(8);
      if (n.empty() || n.size() > 4 || n.find_first_not_of("0123456789") != std::string::npos || std::stoi(n) < 1) {
        return Refuse(ui, Join({"Bad track number \"", n, "\""}));
      }
      o.track = std::stoi(n);
    } else if (a.starts_with("--")) {
      return Refuse(ui, Join({"Unknown option \"", a, "\""}));
    } else {
      files.push_back(a);
    }
  }
  if (files.size() != 2) return Refuse(ui, "Give one input and one output file");
  o.input = files[0];
  o.output = files[1];
  if (o.waypoints) {
    if (o.track != 0) return Refuse(ui, "--track applies to track logs only");
    return ConvertWaypoints(o, out, ui, clock);
  }
  if (!o.type.empty()) return Refuse(ui, "--type applies to waypoint files only");
  return ConvertTrack(o, out, ui, clock);
}

}  // namespace tarnvik::app
