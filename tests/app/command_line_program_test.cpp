#include "app/command_line_program.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "app/command_line.h"
#include "core/file_io.h"
#include "core/text_buffer.h"
#include "formats/igc_writer.h"
#include "formats/kml_writer.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

namespace fs = std::filesystem;

uint32_t TimeOf(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute) {
  return *core::CalendarToTime({year, month, 0, day, hour, minute, 0, 0});
}

std::vector<core::TrackPoint> Fixes(uint32_t start) {
  std::vector<core::TrackPoint> fixes;
  for (int i = 0; i < 8; ++i) {
    core::TrackPoint p;
    p.flags = i == 0;
    p.time = start + 4 * i;
    p.latitude = *core::LatitudeFromDegrees(61.2 + 0.001 * i);
    p.longitude = *core::LongitudeFromDegrees(7.1 - 0.002 * i);
    p.height = 9000 + 30 * i;
    fixes.push_back(p);
  }
  return fixes;
}

std::string Trip(uint32_t start, bool sign) {
  core::FlightSummary s;
  s.fixes = Fixes(start);
  s.startTime = s.fixes.front().time;
  s.finishTime = s.fixes.back().time;
  s.duration = s.finishTime - s.startTime;
  s.signFlag = sign;
  s.utcFlag = 1;
  core::TextBuffer buffer;
  EXPECT_EQ(formats::BuildKmlTripFolder(buffer, s, "a flight"), 0);
  return buffer.Text();
}

class VerifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tarnvik_verify_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = (dir_ / name).string();
    EXPECT_EQ(core::WriteFileAtomically(path, bytes), "");
    return path;
  }
  fs::path dir_;
};

TEST_F(VerifyTest, IgcAndKmlFilesAtTheLogCollectionDesk) {
  formats::IgcHeader header;
  header.serial = "000";
  const auto fixes = Fixes(TimeOf(2019, 6, 15, 11, 57));
  std::string igc = formats::FormatIgcLog(fixes, 1, header, {2019, 6, 0, 15, 14, 0, 0, 0}, formats::IgcGRecord::Always);
  const std::string good = Write("good.igc", igc);
  igc[igc.find("\nB") + 10] ^= 1;  // one digit of the first fix
  const std::string bad = Write("bad.igc", igc);
  const std::string both = Write("both.kml", std::string(formats::kKmlHeader) + Trip(TimeOf(2007, 6, 1, 10, 0), true) +
                                                 Trip(TimeOf(2008, 7, 2, 11, 22), false) +
                                                 std::string(formats::kKmlFooter));
  const std::string one = Write("one.kml", std::string(formats::kKmlHeader) + Trip(TimeOf(2009, 8, 3, 9, 5), true) +
                                               std::string(formats::kKmlFooter));

  std::ostringstream out;
  EXPECT_EQ(VerifyFiles({good, one}, out), 0);
  EXPECT_EQ(out.str(), good + ": Security check PASSED\n" + one + ": track 1, 2009-08-03   09:05:00: Signature OK\n");

  out.str("");
  EXPECT_EQ(VerifyFiles({bad}, out), 1);
  EXPECT_EQ(out.str(), bad + ": Security check FAILED\n");

  out.str("");
  EXPECT_EQ(VerifyFiles({both}, out), 1);
  EXPECT_EQ(out.str(), both + ": track 1, 2007-06-01   10:00:00: Signature OK\n" + both +
                           ": track 2, 2008-07-02   11:22:00: NO signature\n");

  out.str("");
  EXPECT_EQ(VerifyFiles({(dir_ / "missing.igc").string()}, out), 1);
  EXPECT_EQ(out.str(), (dir_ / "missing.igc").string() + ": No such file or directory\n");
}

TEST(Program, HelpVersionAndRefusals) {
  testing::RecordingUi ui;
  std::ostringstream out;
  const char* help[] = {"tarnvik", "--help"};
  EXPECT_EQ(RunProgram(2, help, out, ui), 0);
  for (std::string word : {"/COM=", "/PORT=", "/USB", "/GPS=", "/KML_LOG=", "/MPS_LOG=", "/OZI_LOG=", "/RD_LOG=",
                           "/IGC_LOG=", "/PILOT=", "/ID=", "/RD_WPT=", "/WR_WPT=", "/WR_WPT2=", "/EXIT",
                           "/OVERWRITE", "/WIN=", "/IGC2KML=", "/DAT2KML=", "GARMIN", "MLR", "TOPNAV", "LOGIT",
                           "IQCOMPEO", "GRAVITER", "MAGELLAN", "XCTRAINER", "XCT_MXP", "--verify"}) {
    EXPECT_NE(out.str().find(word), std::string::npos) << word;
  }
  // Actions whose formats or links this build lacks are named as such.
  const std::string usage = out.str();
  const size_t notYet = usage.find("Not yet in this build");
  ASSERT_NE(notYet, std::string::npos);
  const std::string section = usage.substr(notYet, usage.find("\n\n", notYet) - notYet);
  EXPECT_NE(section.find("/USB"), std::string::npos);
  // Every file action has its format.
  for (std::string word : {"KML_LOG", "IGC_LOG", "RD_WPT", "WR_WPT", "MPS_LOG", "OZI_LOG"}) {
    EXPECT_EQ(section.find(word), std::string::npos) << word;
  }
  out.str("");
  const char* version[] = {"tarnvik", "--version"};
  EXPECT_EQ(RunProgram(2, version, out, ui), 0);
  EXPECT_EQ(out.str(), "Tarnvik 4.06\n");
  EXPECT_TRUE(ui.shown.empty());

  const char* refused[] = {"tarnvik", "/COM=9", "/KML_LOG=x"};
  EXPECT_EQ(RunProgram(3, refused, out, ui), 1);
  ui.ExpectOnly("Parsing command line", "Bad COM port");
}

// Every example of the usage text, run through a POSIX shell as a user would paste it, reaches
// the tokenizer with its values intact ("$date" stays for the program to replace).
TEST(Program, HelpExamplesSurviveAPosixShell) {
  const std::string usage = UsageText();
  const size_t examples = usage.find("Examples:\n");
  ASSERT_NE(examples, std::string::npos);
  std::istringstream lines(usage.substr(examples, usage.find("\n\n", examples) - examples));
  std::string line;
  int seen = 0;
  while (std::getline(lines, line)) {
    const std::string prefix = "  tarnvik ";
    if (line.rfind(prefix, 0) != 0) continue;
    ++seen;
    SCOPED_TRACE(line);
    std::string arguments = line.substr(prefix.size());
    arguments = arguments.substr(0, arguments.find("   "));  // the description follows after blanks
    const fs::path script = fs::temp_directory_path() / ("tarnvik_help_" + std::to_string(::getpid()) + ".sh");
    ASSERT_EQ(core::WriteFileAtomically(script.string(), "printf '%s\\n' " + arguments + "\n"), "");
    FILE* shell = ::popen(("sh " + script.string()).c_str(), "r");
    ASSERT_NE(shell, nullptr);
    std::string printed;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, shell)) printed += buffer;
    EXPECT_EQ(::pclose(shell), 0);
    fs::remove(script);

    std::vector<std::string> words;
    std::istringstream split(printed);
    for (std::string word; std::getline(split, word);) words.push_back(word);
    std::vector<const char*> argv = {"tarnvik"};
    for (const std::string& w : words) argv.push_back(w.c_str());
    testing::RecordingUi ui;
    CommandLineOptions options;
    ASSERT_EQ(TokenizeCommandLine(JoinCommandLineArguments(static_cast<int>(argv.size()), argv.data()), options, ui), 0);
    EXPECT_EQ(ValidateCommandLine(options, ui), 0);
    EXPECT_TRUE(ui.shown.empty());
    if (arguments.find("$date") != std::string::npos) {
      EXPECT_NE(options.fileName.find("$date"), std::string::npos) << options.fileName;
    }
  }
  EXPECT_GE(seen, 2);
}

}  // namespace
}  // namespace tarnvik::app
