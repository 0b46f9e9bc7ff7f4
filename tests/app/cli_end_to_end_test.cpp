// Runs the built tarnvik program as a user or a script would: exit statuses, the messages on
// the error stream, and the files it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "core/file_io.h"
#include "formats/igc.h"
#include "formats/kml_reader.h"
#include "tests/fakes/recording_ui.h"
#include "sim/garmin/garmin_device.h"
#include "sim/memory_link.h"
#include "tests/fakes/pty_pair.h"
#include "tests/formats/dat_file_builder.h"

namespace tarnvik {
namespace {

namespace fs = std::filesystem;

const std::string kBinary = TARNVIK_BINARY_DIR "/app/tarnvik";
const std::string kIgcData = TARNVIK_TEST_DATA "/igc/";

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted.push_back(c);
  }
  return quoted + "'";
}

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

class CliEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kBinary)) << kBinary << " is not built";
    dir_ = fs::temp_directory_path() / ("tarnvik_cli_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs tarnvik with the arguments in the test's folder.
  ProgramRun Tarnvik(const std::vector<std::string>& args) {
    std::string command = "cd " + ShellQuote(dir_.string()) + " && " + ShellQuote(kBinary);
    for (const auto& a : args) {
      command += ' ';
      command += ShellQuote(a);
    }
    command += " >";
    command += ShellQuote((dir_ / ".out").string());
    command += " 2>";
    command += ShellQuote((dir_ / ".err").string());
    ProgramRun run;
    int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(dir_ / ".out");
    run.err = ReadText(dir_ / ".err");
    fs::remove(dir_ / ".out");
    fs::remove(dir_ / ".err");
    return run;
  }

  fs::path dir_;
};

TEST_F(CliEndToEnd, HelpVersionAndRefusedCommandLines) {
  ProgramRun help = Tarnvik({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("/PORT=path"), std::string::npos);
  EXPECT_EQ(help.err, "");
  ProgramRun version = Tarnvik({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "Tarnvik 4.06\n");

  struct Refused {
    std::vector<std::string> args;
    std::string err;
  };
  for (const Refused& r : std::vector<Refused>{
           {{"/EXIT"}, "Parsing command line: Bad command/value combination\n"},
           {{"/GPS=Garmin2", "/KML_LOG=x"}, "Parsing command line: Bad GPS type\n"},
           {{"x"}, "Parsing command line: Error at position 1\n"},
           {{"/GPS=TOPNAV /IGC_LOG=C:\\"}, "Parsing command line: Unsupported GPS for IGC track log download\n"},
           {{"/KML_LOGGERS=x"}, "Parsing command line: Unrecognized command\n"},
           {{"/IGC2KML=missing"}, "Error opening file: No such file or directory\n"},
           {{"/WR_WPT=/nonexistent/x.wpt"}, "Error opening waypoint file: No such file or directory\n"},
       }) {
    ProgramRun run = Tarnvik(r.args);
    EXPECT_EQ(run.status, 1) << r.args[0];
    EXPECT_EQ(run.err, r.err);
    EXPECT_EQ(run.out, "");
  }
}

// The fixes of a KML file written by the program, as its reader gives them back.
formats::TrackParseResult ReadKml(const fs::path& path) {
  testing::RecordingUi ui;
  formats::TrackParseResult parsed = formats::ReadKmlLog(ui, ReadText(path));
  EXPECT_TRUE(ui.shown.empty()) << ui.shown.front().caption << ": " << ui.shown.front().text;
  return parsed;
}

// Fix by fix: the same times, positions within the KML's six decimals of a degree (12
// semicircles), heights in whole metres.
void ExpectSameFixes(const std::vector<core::TrackPoint>& kml, const std::vector<core::TrackPoint>& source) {
  ASSERT_EQ(kml.size(), source.size());
  for (size_t i = 0; i < kml.size(); ++i) {
    EXPECT_EQ(kml[i].time, source[i].time) << i;
    EXPECT_NEAR(kml[i].latitude, source[i].latitude, 12) << i;
    EXPECT_NEAR(kml[i].longitude, source[i].longitude, 12) << i;
    EXPECT_NEAR(kml[i].height, source[i].height, 5) << i;
  }
}

TEST_F(CliEndToEnd, IgcToKmlOnRealFlightsReadsBackTheSameFixes) {
  for (const char* name : {"xcs_marcourt.igc", "hack_885B0912.IGC", "igp_2016-11-08-xcs-aaa-02.igc", "gpsb_92HV66G1.igc"}) {
    SCOPED_TRACE(name);
    const std::string igc = ReadText(kIgcData + name);
    ASSERT_EQ(core::WriteFileAtomically((dir_ / "flight.igc").string(), igc), "");
    ProgramRun run = Tarnvik({"/IGC2KML=flight"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    formats::TrackParseResult back = ReadKml(dir_ / "flight.kml");
    EXPECT_EQ(back.signatureFlag, 0);  // a converted IGC file is not signed
    ExpectSameFixes(back.fixes, formats::ParseIgcLog(igc).fixes);
    fs::remove(dir_ / "flight.kml");
  }
  // A file the reader refuses: its message, and no KML file.
  ASSERT_EQ(core::WriteFileAtomically((dir_ / "nodate.igc").string(),
                                      "AXXX001\r\nB1157274518573N00553456EA0151301653\r\n"),
            "");
  ProgramRun refused = Tarnvik({"/IGC2KML=nodate"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "Reading IGC log file: Missing date line\n");
  EXPECT_FALSE(fs::exists(dir_ / "nodate.kml"));
}

TEST_F(CliEndToEnd, ExistingKmlIsLeftAloneWithoutOverwrite) {
  ASSERT_EQ(core::WriteFileAtomically((dir_ / "f.igc").string(), ReadText(kIgcData + "xcs_marcourt.igc")), "");
  ASSERT_EQ(core::WriteFileAtomically((dir_ / "f.kml").string(), "mine"), "");
  ProgramRun kept = Tarnvik({"/IGC2KML=f"});
  EXPECT_EQ(kept.status, 1);
  EXPECT_EQ(kept.err, "Write GoogleEarth file: File already exists\n");
  EXPECT_EQ(ReadText(dir_ / "f.kml"), "mine");
  ProgramRun replaced = Tarnvik({"/OVERWRITE", "/IGC2KML=f"});
  EXPECT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(ReadKml(dir_ / "f.kml").fixes.size(), 221u);
}

TEST_F(CliEndToEnd, DatToKmlCarriesTheValidationAsSignature) {
  for (bool validated : {true, false}) {
    auto content = testing::SampleDatFlight(validated, validated);
    ASSERT_EQ(core::WriteFileAtomically((dir_ / "old.dat").string(), testing::BuildDatFile(content)), "");
    ProgramRun run = Tarnvik({"/OVERWRITE", "/DAT2KML=old"});
    ASSERT_EQ(run.status, 0) << run.err;
    formats::TrackParseResult back = ReadKml(dir_ / "old.kml");
    ASSERT_EQ(back.fixes.size(), 5u);
    EXPECT_EQ(back.fixes[0].time, content.fixes[0].time);
    ProgramRun verify = Tarnvik({"--verify", (dir_ / "old.kml").string()});
    EXPECT_EQ(verify.status, validated ? 0 : 1);
    EXPECT_EQ(verify.out, (dir_ / "old.kml").string() + ": track 1, 2008-06-08   12:00:00: " +
                              (validated ? "Signature OK" : "NO signature") + "\n");
  }
}

TEST_F(CliEndToEnd, DamagedDatFileIsRefusedWithItsMessage) {
  auto words = testing::BuildDatWords(testing::SampleDatFlight(true, true));
  words.back() += 1;
  ASSERT_EQ(core::WriteFileAtomically((dir_ / "old.dat").string(), testing::DatBytes(words)), "");
  ProgramRun run = Tarnvik({"/DAT2KML=old"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Decoding track log file: Data validation failed\n");
  EXPECT_FALSE(fs::exists(dir_ / "old.kml"));
}

TEST_F(CliEndToEnd, VerifyChecksIgcFilesWithoutAWindow) {
  ProgramRun run = Tarnvik({"--verify", kIgcData + "igl_no_time_increment.igc", kIgcData + "xcs_marcourt.igc"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, kIgcData + "igl_no_time_increment.igc: No security record\n" + kIgcData +
                         "xcs_marcourt.igc: Security check FAILED\n");
}

// A Garmin receiver simulated behind a pseudo-terminal; tarnvik reaches it by /PORT=.
class SimulatedGarmin {
 public:
  explicit SimulatedGarmin(const std::string& igcFile) {
    std::string error;
    EXPECT_GT(sim::garmin::LoadIgcIntoDevice(ReadText(igcFile), device_, error), 0) << error;
    server_ = std::jthread([this](std::stop_token stop) {
      sim::ServeDevice(pty_.instrument(), device_, core::SystemClock(), stop);
    });
  }
  bool ok() const { return pty_.ok(); }
  const std::string& path() const { return pty_.hostPath(); }
  const sim::garmin::GarminDevice& device() const { return device_; }

 private:
  testing::PtyPair pty_;
  sim::garmin::GarminDevice device_;
  std::jthread server_;
};

TEST_F(CliEndToEnd, GarminIgcDownloadIntoAFolderAndItsFlightNumbers) {
  SimulatedGarmin garmin(kIgcData + "xcs_marcourt.igc");
  ASSERT_TRUE(garmin.ok());
  const std::vector<std::string> args = {"/PORT=" + garmin.path(), "/GPS=GARMIN", "/IGC_LOG=" + dir_.string() + "/",
                                         "/PILOT=Ann Berg", "/EXIT"};
  ProgramRun first = Tarnvik(args);
  ASSERT_EQ(first.status, 0) << first.err;
  const fs::path written = dir_ / "2021-03-06-xtv-000-01.igc";
  ASSERT_TRUE(fs::exists(written)) << first.err;
  const std::string text = ReadText(written);
  EXPECT_EQ(formats::VerifyIgcBytes(text).outcome, formats::IgcCheck::Passed);
  EXPECT_NE(text.find("HOPLTPILOT: Ann Berg\r\n"), std::string::npos);
  formats::IgcParseResult original = formats::ParseIgcLog(ReadText(kIgcData + "xcs_marcourt.igc"));
  formats::IgcParseResult back = formats::ParseIgcLog(text);
  ASSERT_EQ(back.count, original.count) << back.error;
  for (int i = 0; i < back.count; ++i) {
    EXPECT_EQ(back.fixes[i].time, original.fixes[i].time) << i;
    EXPECT_NEAR(back.fixes[i].latitude, original.fixes[i].latitude, 200) << i;
    EXPECT_NEAR(back.fixes[i].longitude, original.fixes[i].longitude, 200) << i;
  }
  // A second download the same day takes flight number 2; the first file stays.
  ProgramRun second = Tarnvik(args);
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_TRUE(fs::exists(dir_ / "2021-03-06-xtv-000-02.igc"));
  EXPECT_EQ(ReadText(written), text);
}

TEST_F(CliEndToEnd, GarminKmlDownloadWithDateInAQuotedNameAndNoOverwrite) {
  SimulatedGarmin garmin(kIgcData + "xcs_marcourt.igc");
  ASSERT_TRUE(garmin.ok());
  fs::create_directories(dir_ / "My logs");
  // No /EXIT: a run without a window still ends when its file is written.
  const std::vector<std::string> args = {"/PORT=" + garmin.path(), "/KML_LOG=" + (dir_ / "My logs").string() + "/$date.kml"};
  ProgramRun run = Tarnvik(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const fs::path written = dir_ / "My logs" / "20210306.kml";
  formats::TrackParseResult back = ReadKml(written);
  EXPECT_EQ(back.signatureFlag, formats::kKmlSignatureValid);  // downloaded from an instrument
  EXPECT_EQ(back.fixes.size(), 221u);

  const std::string before = ReadText(written);
  ProgramRun again = Tarnvik(args);
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err, "File creation: File already exists, overwrite ? -> Cancel\n");
  EXPECT_EQ(ReadText(written), before);

  // 259 characters that "$date" would take to 262: refused, not cut.
  std::string name = (dir_ / "My logs").string() + "/$date";
  name += std::string(259 - name.size() - 4, 'k') + ".kml";
  ProgramRun tooLong = Tarnvik({"/PORT=" + garmin.path(), "/KML_LOG=" + name});
  EXPECT_EQ(tooLong.status, 1);
  EXPECT_EQ(tooLong.err, "Download track log: Too long file name\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "My logs"), fs::directory_iterator()), 1);
}

TEST_F(CliEndToEnd, TransferToAPortThatIsNotThereFailsWithStatusOne) {
  const std::string port = "/tmp/tarnvik-no-port-" + std::to_string(::getpid());
  ProgramRun run = Tarnvik({"/PORT=" + port, "/IGC_LOG=" + dir_.string() + "/"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Opening the COM port: No such file or directory (" + port + ")\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 0);
}

}  // namespace
}  // namespace tarnvik
