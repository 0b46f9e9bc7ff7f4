// The command line's conversions: an IGC log or an old-logbook .dat log to a KML file.
#include <cctype>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/google_earth_export.h"
#include "core/file_io.h"
#include "formats/dat_track.h"
#include "formats/igc.h"

namespace tarnvik::app {
namespace {

constexpr const char* kIgcReadCaption = "Reading IGC log file";
constexpr size_t kLogFileNameLength = 256;

bool EndsWithIgc(const std::string& name) {
  if (name.size() < 4 || name[name.size() - 4] != '.') return false;
  const char* igc = "igc";
  for (size_t i = 0; i < 3; ++i) {
    if (std::tolower(static_cast<unsigned char>(name[name.size() - 3 + i])) != igc[i]) return false;
  }
  return true;
}

// IGC2KML: the IGC file of the base name. Loggers write ".IGC" as often as ".igc": a name that
// already ends in ".igc" (any case) is the file itself, else "<name>.igc" and then
// "<name>.IGC" are tried. kmlBase is the name the KML file takes (without its extension).
formats::TrackParseResult ReadIgcForConversion(core::Ui& ui, const std::string& name, std::string& kmlBase) {
  formats::TrackParseResult out;
  const bool named = EndsWithIgc(name);
  kmlBase = named ? name.substr(0, name.size() - 4) : name;
  if (kmlBase.size() > kLogFileNameLength) {
    ui.ShowMessage(kIgcReadCaption, "File name too long", core::Icon::Error);
    return out;
  }
  const std::vector<std::string> candidates =
      named ? std::vector<std::string>{name} : std::vector<std::string>{name + ".igc", name + ".IGC"};
  std::string path = candidates.front();
  for (const std::string& candidate : candidates) {
    if (core::FileExists(candidate)) {
      path = candidate;
      break;
    }
  }
  core::FileBytes file = core::ReadWholeFile(path);
  switch (file.error) {
    case core::ReadError::None:
      break;
    case core::ReadError::Open: {
      // Names the file it tried (both names when neither exists).
      std::string tried = path;
      if (!core::FileExists(path) && candidates.size() > 1) tried = candidates[0] + " or " + candidates[1];
      ui.ShowMessage("Error opening file", file.systemText + " (" + tried + ")", core::Icon::Information);
      return out;
    }
    case core::ReadError::TooLarge:
      ui.ShowMessage("Memory allocation error", file.systemText, core::Icon::Information);
      return out;
    case core::ReadError::Read:
      ui.ShowMessage("IGC track log file read error", file.systemText, core::Icon::Information);
      return out;
  }
  if (file.size == 0) {
    ui.ShowMessage(kIgcReadCaption, "File is empty", core::Icon::Error);
    return out;
  }
  formats::IgcParseResult parsed = formats::ParseIgcLog(std::string_view(file.begin(), file.size));
  if (parsed.count <= 0) {
    ui.ShowMessage(kIgcReadCaption, parsed.error, core::Icon::Error);
    return out;
  }
  out.result = parsed.count;
  out.fixes = std::move(parsed.fixes);
  return out;
}

}  // namespace

int RunCommandLineConversion(const CommandLineOptions& options, core::Ui& ui) {
  formats::TrackParseResult track;
  int signFlag = 0;
  std::string kmlBase = options.fileName;
  if (options.action == CommandLineAction::IgcToKml) {
    track = ReadIgcForConversion(ui, options.fileName, kmlBase);
  } else if (options.action == CommandLineAction::DatToKml) {
    // A .dat log whose validation code checked out is exported signed.
    track = formats::ReadDatFile(ui, options.fileName);
    signFlag = track.signatureFlag;
  } else {
    return -1;
  }
  if (track.result <= 0) return -1;  // the reader has reported
  return WriteGoogleEarthKml(ui, kmlBase, options.overwrite, track.fixes, signFlag, 0);
}

}  // namespace tarnvik::app
