#include "app/command_line.h"

#include <gtest/gtest.h>

#include <functional>

#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

using testing::RecordingUi;

struct LineCase {
  std::string text;
  std::string message;  // "" = accepted
  std::function<void(const CommandLineOptions&)> check = nullptr;
  std::string caption = kParsingCaption;  // of the message
};

// Command lines of transfer runs (no conversion is run here): each refused one shows exactly
// one message, with the caption "Parsing command line" unless the case names the action's own;
// each accepted one shows nothing.
TEST(CommandLine, TableOfCommandLinesAndTheirOutcomes) {
  const std::vector<LineCase> cases = {
      // keywords and the GPS value are case-insensitive; other values keep their case
      {"/gps=garmin /kml_log=X.Kml", "",
       [](const CommandLineOptions& o) {
         EXPECT_EQ(o.action, CommandLineAction::KmlLog);
         EXPECT_EQ(o.gpsType, GpsType::Garmin);
         EXPECT_EQ(o.fileName, "X.Kml");
         EXPECT_EQ(o.showState, ShowState::Show);
         EXPECT_FALSE(o.overwrite);
         EXPECT_FALSE(o.exitWhenDone);
         EXPECT_EQ(o.portName, "");
       }},
      {"/GPS=Garmin2 /KML_LOG=x", "Bad GPS type"},
      {"/GPS=xct_mxp /IGC_LOG=logs/ /EXIT /OVERWRITE", "",
       [](const CommandLineOptions& o) {
         EXPECT_EQ(o.gpsType, GpsType::XctMxp);
         EXPECT_EQ(o.action, CommandLineAction::IgcLog);
         EXPECT_TRUE(o.exitWhenDone);
         EXPECT_TRUE(o.overwrite);
       }},
      // bad positions
      {"x /KML_LOG=a", "Error at position 1"},
      {"/KML_LOG=a  b", "Error at position 13"},
      {"/KML_LOG=\"a b\"c", "Error at position 15"},
      {"   /KML_LOG=a   ", ""},
      // ports
      {"/COM=9 /KML_LOG=x", "Bad COM port"},
      {"/COM=12 /KML_LOG=x", "Bad COM port"},
      {"/COM=0 /KML_LOG=x", "Bad COM port"},
      {"/COM /KML_LOG=x", "Bad COM port"},
      {"/COM=3 /KML_LOG=x", "", [](const CommandLineOptions& o) { EXPECT_EQ(o.portName, "COM3:"); }},
      {"/PORT=/dev/ttyUSB0 /KML_LOG=x", "", [](const CommandLineOptions& o) { EXPECT_EQ(o.portName, "/dev/ttyUSB0"); }},
      {"/PORT= /KML_LOG=x", "Bad COM port"},
      {"/PORT=" + std::string(81, 'p') + " /KML_LOG=x", "Bad COM port"},
      // quoted values keep their blanks; a quote later in a value is an ordinary character
      {"/KML_LOG=\"C:\\My logs\\$date.kml\"", "",
       [](const CommandLineOptions& o) { EXPECT_EQ(o.fileName, "C:\\My logs\\$date.kml"); }},
      {"/KML_LOG=\"a b", "", [](const CommandLineOptions& o) { EXPECT_EQ(o.fileName, "a b"); }},
      {"/KML_LOG=a\"b", "", [](const CommandLineOptions& o) { EXPECT_EQ(o.fileName, "a\"b"); }},
      {"/KML_LOG=\"\"", "Missing log file name"},
      // cuts: keyword 10, pilot and glider ID 20; a file name beyond 260 characters is refused
      // under the action's caption, never cut
      {"/KML_LOGGERS=x", "Unrecognized command"},
      {"/IGC2KMLXXXX=a", "Unrecognized command"},
      {"/KML_LOG=" + std::string(260, 'a'), "",
       [](const CommandLineOptions& o) { EXPECT_EQ(o.fileName, std::string(260, 'a')); }},
      {"/KML_LOG=" + std::string(261, 'a'), "Too long file name", nullptr, "Download track log"},
      {"/KML_LOG=\"" + std::string(150, 'b') + " " + std::string(150, 'c') + "\"", "Too long file name", nullptr,
       "Download track log"},
      {"/OZI_LOG=" + std::string(270, 'o') + ".plt", "Too long file name", nullptr, "Download track log"},
      {"/IGC_LOG=" + std::string(274, 'i'), "Too long file name", nullptr, "Save IGC log"},
      {"/RD_WPT=" + std::string(261, 'w'), "Too long file name", nullptr, "Download waypoints"},
      {"/GPS=IQCOMPEO /WR_WPT2=" + std::string(261, 'w'), "Too long file name", nullptr, "Upload waypoints"},
      {"/IGC2KML=" + std::string(261, 'f'), "Too long file name", nullptr, "Reading IGC log file"},
      {"/DAT2KML=\"" + std::string(300, 'd') + "\"", "Too long file name", nullptr, "Reading .dat log file"},
      {"/KML_LOG=" + std::string(300, 'a') + " /KML_LOG=short.kml", "Too long file name", nullptr, "Download track log"},
      {"/PILOT=\"Anne-Marie Lindqvist Berg\" /ID=" + std::string(25, 'G') + " /PILOT= /ID /KML_LOG=x", "",
       [](const CommandLineOptions& o) {
         EXPECT_EQ(o.pilotName, "Anne-Marie Lindqvist");
         EXPECT_EQ(o.gliderId, std::string(20, 'G'));
       }},
      // unknown keywords
      {"/FOO=1 /KML_LOG=x", "Unrecognized command"},
      {"/KML_LOG=x /", "Unrecognized command"},
      {"/KML_LOG=x /GPS=GARMIN\t", "Bad GPS type"},
      // missing values
      {"/KML_LOG", "Missing log file name"},
      {"/MPS_LOG=", "Missing log file name"},
      {"/OZI_LOG", "Missing log file name"},
      {"/RD_LOG", "Missing log file name"},
      {"/IGC_LOG=", "Missing log file directory name"},
      {"/RD_WPT", "Missing wpt file name"},
      {"/WR_WPT=", "Missing wpt file name"},
      {"/WR_WPT2", "Missing wpt file name"},
      {"/IGC2KML", "Missing IGC/KML file name"},
      {"/DAT2KML=", "Missing DAT/KML file name"},
      // a later action replaces an earlier one; RD_LOG is OZI_LOG
      {"/KML_LOG=a /RD_LOG=b", "",
       [](const CommandLineOptions& o) {
         EXPECT_EQ(o.action, CommandLineAction::OziLog);
         EXPECT_EQ(o.fileName, "b");
       }},
      {"/WR_WPT=w /WR_WPT2=v /GPS=IQCOMPEO", "",
       [](const CommandLineOptions& o) { EXPECT_EQ(o.action, CommandLineAction::WriteWaypointsIdName); }},
      // window
      {"/WIN=3 /KML_LOG=x", "Bad window size"},
      {"/WIN=01 /KML_LOG=x", "Bad window size"},
      {"/WIN=0 /KML_LOG=x", "", [](const CommandLineOptions& o) { EXPECT_EQ(o.showState, ShowState::Hide); }},
      {"/WIN=1 /KML_LOG=x", "", [](const CommandLineOptions& o) { EXPECT_EQ(o.showState, ShowState::Minimize); }},
      {"/WIN=2 /KML_LOG=x", "", [](const CommandLineOptions& o) { EXPECT_EQ(o.showState, ShowState::Show); }},
      // combinations
      {"/EXIT", "Bad command/value combination"},
      {"   ", "Bad command/value combination"},
      {"/USB /GPS=GARMIN /COM=2", "Bad command/value combination"},
      {"/USB /KML_LOG=x", "", [](const CommandLineOptions& o) { EXPECT_TRUE(o.useUsb); }},
      {"/USB /GPS=MLR /KML_LOG=x", "USB is not supported"},
      {"/USB /GPS=LOGIT /MPS_LOG=x", "USB is not supported"},
      {"/GPS=TOPNAV /OZI_LOG=x", ""},
      {"/GPS=GRAVITER /MPS_LOG=x", ""},
      {"/USB /GPS=IQCOMPEO /IGC_LOG=C:\\", "USB is not supported"},
      {"/GPS=TOPNAV /IGC_LOG=C:\\", "Unsupported GPS for IGC track log download"},
      {"/GPS=GRAVITER /IGC_LOG=C:\\", "Unsupported GPS for IGC track log download"},
      {"/GPS=MAGELLAN /IGC_LOG=C:\\", ""},
      {"/GPS=LOGIT /IGC_LOG=C:\\", ""},
      {"/USB /GPS=MLR /RD_WPT=x.wpt", "USB is not supported"},
      {"/GPS=MAGELLAN /RD_WPT=x.wpt", "Unsupported GPS for waypoint download"},
      {"/GPS=IQCOMPEO /RD_WPT=x.wpt", ""},
      {"/USB /GPS=IQCOMPEO /WR_WPT=x.wpt", "USB is not supported"},
      {"/GPS=TOPNAV /WR_WPT=x.wpt", "Unsupported GPS for track log upload"},
      {"/GPS=XCTRAINER /WR_WPT2=x.wpt", "Unsupported GPS for track log upload"},
      {"/USB /WR_WPT=x.wpt", ""},
      // the conversions ignore the GPS settings
      {"/USB /GPS=MLR /IGC2KML=x", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    RecordingUi ui;
    CommandLineOptions options;
    int result = TokenizeCommandLine(c.text, options, ui);
    if (result == 0) result = ValidateCommandLine(options, ui);
    if (c.message.empty()) {
      EXPECT_EQ(result, 0);
      EXPECT_TRUE(ui.shown.empty()) << ui.shown.front().text;
      if (c.check) c.check(options);
    } else {
      EXPECT_EQ(result, -1);
      ui.ExpectOnly(c.caption, c.message);
    }
  }
}

TEST(CommandLine, ParseGivesOptionsForTransfersAndNoneForAnEmptyLine) {
  RecordingUi ui;
  ParsedCommandLine empty = ParseCommandLine("", ui);
  EXPECT_EQ(empty.result, 0);
  EXPECT_EQ(empty.options, nullptr);

  ParsedCommandLine run = ParseCommandLine("/GPS=MLR /KML_LOG=x /WIN=0", ui);
  EXPECT_EQ(run.result, 0);
  ASSERT_NE(run.options, nullptr);
  EXPECT_EQ(run.options->showState, ShowState::Hide);

  ParsedCommandLine refused = ParseCommandLine("/EXIT", ui);
  EXPECT_EQ(refused.result, -1);
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_EQ(refused.options, nullptr);
  ui.ExpectOnly(kParsingCaption, "Bad command/value combination");
}

TEST(CommandLine, ProtocolsOfTheGpsTypes) {
  EXPECT_EQ(ProtocolFor(GpsType::Garmin, false), 0);
  EXPECT_EQ(ProtocolFor(GpsType::Garmin, true), 8);
  EXPECT_EQ(ProtocolFor(GpsType::XctMxp, false), 10);
  EXPECT_EQ(GpsTypeInfoOf(GpsType::XctMxp).speed, 57600);
  EXPECT_EQ(GpsTypeInfoOf(GpsType::LogIt).speed, 57600);
  EXPECT_EQ(ProtocolFor(GpsType::IqCompeo, false), 4);
  for (size_t i = 0; i < kGpsTypes.size(); ++i) EXPECT_EQ(static_cast<size_t>(kGpsTypes[i].type), i);
}

TEST(CommandLine, JoinedArgumentsKeepValuesWithBlanksTogether) {
  struct JoinCase {
    std::vector<const char*> args;
    std::string joined;
  };
  const std::vector<JoinCase> cases = {
      {{"/GPS=GARMIN", "/KML_LOG=/home/me/My logs/$date.kml"}, "/GPS=GARMIN /KML_LOG=\"/home/me/My logs/$date.kml\""},
      {{"/PILOT=Ann Berg", "/EXIT"}, "/PILOT=\"Ann Berg\" /EXIT"},
      {{"/KML_LOG=/a /dir/x"}, "/KML_LOG=\"/a /dir/x\""},
      // a whole command line as one argument, and one already quoted, are taken as they are
      {{"/GPS=GARMIN /kml_log=x.kml /EXIT"}, "/GPS=GARMIN /kml_log=x.kml /EXIT"},
      {{"/KML_LOG=\"a b\""}, "/KML_LOG=\"a b\""},
      {{"/OVERWRITE", "/IGC2KML=f"}, "/OVERWRITE /IGC2KML=f"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = {"tarnvik"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(JoinCommandLineArguments(static_cast<int>(argv.size()), argv.data()), c.joined);
  }
  std::vector<const char*> argv = {"tarnvik", "/GPS=GARMIN", "/KML_LOG=/home/me/My logs/$date.kml"};
  RecordingUi ui;
  ParsedCommandLine parsed = ParseCommandLine(JoinCommandLineArguments(3, argv.data()), ui);
  ASSERT_NE(parsed.options, nullptr);
  EXPECT_EQ(parsed.options->fileName, "/home/me/My logs/$date.kml");
}

}  // namespace
}  // namespace tarnvik::app
