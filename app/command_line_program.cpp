#include "app/command_line_program.h"

#include <ostream>
#include <sstream>
#include <string_view>

#include "app/command_line.h"
#include "core/file_io.h"
#include "core/version.h"
#include "formats/igc.h"

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

}  // namespace

std::string UsageText() {
  std::ostringstream out;
  out << core::kProgramName << ' ' << core::kVersionText << ": flight data transfer for free-flight pilots\n\n"
      << "usage: tarnvik /KEYWORD[=value] ...   run one transfer or conversion\n"
      << "       tarnvik --verify FILE...        check IGC security records and KML signatures\n"
      << "       tarnvik --help | --version\n\n"
      << "Keywords (case-insensitive; a value that holds blanks is one argument, or goes in\n"
      << "double quotes inside a whole command line):\n";
  for (const KeywordInfo& k : kKeywords) {
    std::string left = "  /" + std::string(k.name);
    if (!k.valueHint.empty()) left += "=" + std::string(k.valueHint);
    if (left.size() < 28) left.resize(28, ' ');
    else left += ' ';
    out << left << k.help << '\n';
  }
  out << "\nGPS types (/GPS=):";
  for (const GpsTypeInfo& g : kGpsTypes) out << ' ' << g.name;
  out << "\n\nActions: KML_LOG, OZI_LOG (RD_LOG), IGC_LOG, MPS_LOG, RD_WPT, WR_WPT, WR_WPT2, IGC2KML,\n"
      << "DAT2KML; the last one given counts. In the file name of a log action \"$date\" becomes\n"
      << "the date of the first fix (yyyymmdd). Without /OVERWRITE an existing file is kept.\n\n"
      << "Examples:\n"
      << "  tarnvik /IGC2KML=flight                  flight.igc -> flight.kml\n"
      << "  tarnvik /PORT=/dev/ttyUSB0 /GPS=GARMIN \"/KML_LOG=My logs/$date.kml\" /EXIT\n\n"
      << "Messages go to the error stream as \"caption: text\". Exit status: 0 when the action\n"
      << "succeeded, 1 when it failed or the command line was refused.\n";
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
    } else {
      out << path << ": KML signatures cannot be checked by this build\n";
      allGood = false;
    }
  }
  return allGood ? 0 : 1;
}

int RunProgram(int argc, const char* const* argv, std::ostream& out, core::Ui& ui) {
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
  }
  ParsedCommandLine parsed = ParseCommandLine(JoinCommandLineArguments(argc, argv), ui);
  if (parsed.result < 0) return parsed.exitStatus;
  if (!parsed.options) {
    ui.ShowMessage(core::kProgramName, "this build has no window: give a command line (see tarnvik --help)",
                   core::Icon::Information);
    return 1;
  }
  ui.ShowMessage(core::kProgramName, "instrument transfers cannot be run by this build", core::Icon::Error);
  return 1;
}

}  // namespace tarnvik::app
