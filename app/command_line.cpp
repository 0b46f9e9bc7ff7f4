#include "app/command_line.h"

#include <cstdio>
#include <new>

namespace tarnvik::app {
namespace {

constexpr char kBlank = ' ';

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

void Refuse(core::Ui& ui, const std::string& text) {
  ui.ShowMessage(kParsingCaption, text, core::Icon::Error);
}

const KeywordInfo* FindKeyword(std::string_view keyword) {
  for (const KeywordInfo& entry : kKeywords) {
    if (entry.name == keyword) return &entry;
  }
  return nullptr;
}

// Handles one completed token. Returns 0, or -1 after showing its message.
int HandleToken(CommandLineOptions& options, core::Ui& ui) {
  const KeywordInfo* entry = FindKeyword(options.keyword);
  if (!entry) {
    Refuse(ui, "Unrecognized command");
    return -1;
  }
  const std::string& value = options.value;
  switch (entry->kind) {
    case KeywordKind::ComPort:
      if (value.size() != 1 || value[0] < '1' || value[0] > '8') {
        Refuse(ui, "Bad COM port");
        return -1;
      }
      options.portName = "COM" + value + ":";
      return 0;
    case KeywordKind::DevicePath:
      // The portable form of /COM: the value is the device path the session opens.
      if (value.empty() || value.size() > kPortNameLength) {
        Refuse(ui, "Bad COM port");
        return -1;
      }
      options.portName = value;
      return 0;
    case KeywordKind::Usb:
      options.useUsb = true;
      return 0;
    case KeywordKind::Gps: {
      std::string upper;
      for (char c : value) upper.push_back(Upper(c));
      for (const GpsTypeInfo& info : kGpsTypes) {
        if (info.name == upper) {
          options.gpsType = info.type;
          return 0;
        }
      }
      Refuse(ui, "Bad GPS type");
      return -1;
    }
    case KeywordKind::Action:
      // A cut name would write a different file (or lose its extension): refused instead.
      if (options.valueTooLong) {
        ui.ShowMessage(ActionCaption(entry->action), "Too long file name", core::Icon::Error);
        return -1;
      }
      if (value.empty()) {
        Refuse(ui, std::string(entry->missingMessage));
        return -1;
      }
      options.action = entry->action;
      options.fileName = value;
      return 0;
    case KeywordKind::Pilot:
      if (!value.empty()) options.pilotName = value.substr(0, kPersonTextLength);
      return 0;
    case KeywordKind::GliderId:
      if (!value.empty()) options.gliderId = value.substr(0, kPersonTextLength);
      return 0;
    case KeywordKind::Exit:
      options.exitWhenDone = true;
      return 0;
    case KeywordKind::Overwrite:
      options.overwrite = true;
      return 0;
    case KeywordKind::Window:
      if (value == "0") {
        options.showState = ShowState::Hide;
      } else if (value == "1") {
        options.showState = ShowState::Minimize;
      } else if (value == "2") {
        options.showState = ShowState::Show;
      } else {
        Refuse(ui, "Bad window size");
        return -1;
      }
      return 0;
  }
  Refuse(ui, "Unrecognized command");
  return -1;
}

bool Allowed(GpsType type, std::initializer_list<GpsType> allowed) {
  for (GpsType t : allowed) {
    if (t == type) return true;
  }
  return false;
}

}  // namespace

const char* ActionCaption(CommandLineAction action) {
  switch (action) {
    case CommandLineAction::KmlLog:
    case CommandLineAction::OziLog:
    case CommandLineAction::MpsLog: return "Download track log";
    case CommandLineAction::IgcLog: return "Save IGC log";
    case CommandLineAction::ReadWaypoints: return "Download waypoints";
    case CommandLineAction::WriteWaypoints:
    case CommandLineAction::WriteWaypointsIdName: return "Upload waypoints";
    case CommandLineAction::IgcToKml: return "Reading IGC log file";
    case CommandLineAction::DatToKml: return "Reading .dat log file";
    case CommandLineAction::None: break;
  }
  return kParsingCaption;
}

int32_t ProtocolFor(GpsType type, bool useUsb) {
  if (type == GpsType::Garmin) return useUsb ? kProtocolGarminUsb : kProtocolGarminSerial;
  return GpsTypeInfoOf(type).protocol;
}

int TokenizeCommandLine(std::string_view text, CommandLineOptions& options, core::Ui& ui) {
  options.tokenizerState = 0;
  options.position = 0;
  // One character at a time; the end of the text (or a NUL in it) is the terminating NUL,
  // which is handled like any other character and then ends the walk.
  for (size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : '\0';
    bool complete = false;
    switch (options.tokenizerState) {
      case 0:
        if (c == '/') {
          options.tokenizerState = 1;
          options.keyword.clear();
          options.value.clear();
          options.valueTooLong = false;
          options.position = 0;
        } else if (c != kBlank && c != '\0') {
          char message[40];
          std::snprintf(message, sizeof message, "Error at position %d", static_cast<int>(i + 1));
          Refuse(ui, message);
          return -1;
        }
        break;
      case 1:
        if (c == kBlank || c == '\0') {
          complete = true;
        } else if (c == '=') {
          options.tokenizerState = 2;
          options.position = 0;
        } else if (options.keyword.size() < kKeywordLength) {
          options.keyword.push_back(Upper(c));
          options.position = static_cast<int32_t>(options.keyword.size());
        }
        break;
      case 2:
        if (c == kBlank || c == '\0') {
          complete = true;
        } else if (c == '"' && options.position == 0) {
          options.tokenizerState = 3;
        } else if (options.value.size() < kValueLength) {
          options.value.push_back(c);
          options.position = static_cast<int32_t>(options.value.size());
        } else {
          options.valueTooLong = true;
        }
        break;
      case 3:
        if (c == '"' || c == '\0') {
          complete = true;
        } else if (options.value.size() < kValueLength) {
          options.value.push_back(c);
          options.position = static_cast<int32_t>(options.value.size());
        } else {
          options.valueTooLong = true;
        }
        break;
    }
    if (complete) {
      options.tokenizerState = 0;
      if (HandleToken(options, ui) != 0) return -1;
    }
    if (c == '\0') break;
  }
  return 0;
}

int ValidateCommandLine(const CommandLineOptions& options, core::Ui& ui) {
  const GpsType gps = options.gpsType;
  const bool usbRefused = options.useUsb && gps != GpsType::Garmin;
  switch (options.action) {
    case CommandLineAction::KmlLog:
    case CommandLineAction::OziLog:
    case CommandLineAction::MpsLog:
      if (usbRefused) {
        Refuse(ui, "USB is not supported");
        return -1;
      }
      return 0;
    case CommandLineAction::IgcLog:
      if (usbRefused) {
        Refuse(ui, "USB is not supported");
        return -1;
      }
      if (!Allowed(gps, {GpsType::Garmin, GpsType::Mlr, GpsType::LogIt, GpsType::IqCompeo,
                         GpsType::Magellan, GpsType::XcTrainer, GpsType::XctMxp})) {
        Refuse(ui, "Unsupported GPS for IGC track log download");
        return -1;
      }
      return 0;
    case CommandLineAction::ReadWaypoints:
      if (usbRefused) {
        Refuse(ui, "USB is not supported");
        return -1;
      }
      if (!Allowed(gps, {GpsType::Garmin, GpsType::Mlr, GpsType::IqCompeo})) {
        Refuse(ui, "Unsupported GPS for waypoint download");
        return -1;
      }
      return 0;
    case CommandLineAction::WriteWaypoints:
    case CommandLineAction::WriteWaypointsIdName:
      if (usbRefused) {
        Refuse(ui, "USB is not supported");
        return -1;
      }
      if (!Allowed(gps, {GpsType::Garmin, GpsType::Mlr, GpsType::IqCompeo})) {
        Refuse(ui, "Unsupported GPS for track log upload");
        return -1;
      }
      return 0;
    case CommandLineAction::IgcToKml:
    case CommandLineAction::DatToKml:
      return 0;
    case CommandLineAction::None:
      break;
  }
  Refuse(ui, "Bad command/value combination");
  return -1;
}

ParsedCommandLine ParseCommandLine(std::string_view text, core::Ui& ui) {
  ParsedCommandLine parsed;
  if (text.empty()) return parsed;  // interactive start
  std::unique_ptr<CommandLineOptions> options(new (std::nothrow) CommandLineOptions);
  if (!options) {
    Refuse(ui, "Memory allocation error");
    parsed.result = -1;
    parsed.exitStatus = 1;
    return parsed;
  }
  if (TokenizeCommandLine(text, *options, ui) != 0 || ValidateCommandLine(*options, ui) != 0) {
    parsed.result = -1;
    parsed.exitStatus = 1;
    return parsed;
  }
  if (options->action == CommandLineAction::IgcToKml || options->action == CommandLineAction::DatToKml) {
    // A conversion ends the program whatever its outcome; its reader or writer has reported.
    parsed.result = -1;
    parsed.exitStatus = RunCommandLineConversion(*options, ui) == 0 ? 0 : 1;
    return parsed;
  }
  parsed.options = std::move(options);
  return parsed;
}

namespace {

bool IsKeywordCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// True when the argument holds a blank followed by a /KEYWORD of the table that ends in '=',
// a blank or the end: the argument is a whole command line, not one value with blanks.
bool HoldsFurtherToken(std::string_view argument) {
  for (size_t i = 0; i + 1 < argument.size(); ++i) {
    if (argument[i] != kBlank || argument[i + 1] != '/') continue;
    size_t end = i + 2;
    std::string keyword;
    while (end < argument.size() && IsKeywordCharacter(argument[end])) keyword.push_back(Upper(argument[end++]));
    if (end < argument.size() && argument[end] != '=' && argument[end] != kBlank) continue;
    if (FindKeyword(keyword.substr(0, kKeywordLength))) return true;
  }
  return false;
}

}  // namespace

std::string JoinCommandLineArguments(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    std::string_view argument(argv[i]);
    if (!text.empty()) text.push_back(kBlank);
    size_t equals = argument.find('=');
    bool wrap = !argument.empty() && argument[0] == '/' && equals != std::string_view::npos &&
                argument.find(kBlank, equals) != std::string_view::npos &&
                argument.find('"') == std::string_view::npos && !HoldsFurtherToken(argument);
    if (wrap) {
      text.append(argument.substr(0, equals + 1));
      text.push_back('"');
      text.append(argument.substr(equals + 1));
      text.push_back('"');
    } else {
      text.append(argument);
    }
  }
  return text;
}

}  // namespace tarnvik::app
