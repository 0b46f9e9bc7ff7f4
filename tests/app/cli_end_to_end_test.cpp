// Runs the built tarnvik program as a user or a script would: exit statuses, the messages on
// the error stream, and the files it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include "core/file_io.h"
#include "formats/igc.h"
#include "formats/kml_reader.h"
#include "tests/fakes/recording_ui.h"
#include "sim/garmin/garmin_device.h"
#include "sim/memory_link.h"
#include "tests/fakes/program_run.h"
#include "tests/fakes/pty_pair.h"
#include "tests/fakes/unprivileged.h"
#include "tests/formats/dat_file_builder.h"

namespace tarnvik {
namespace {

namespace fs = std::filesystem;

using testing::ProgramRun;
using testing::ReadText;
using testing::ShellQuote;

const std::string kBinary = TARNVIK_BINARY_DIR "/app/tarnvik";
const std::string kIgcData = TARNVIK_TEST_DATA "/igc/";

formats::TrackParseResult ReadKml(const fs::path& path);

// The lines of the error stream that are messages ("caption: text"), without the progress
// lines of a transfer (whose number depends on timing).
std::string Messages(const std::string& err) {
  std::istringstream lines(err);
  std::string kept;
  for (std::string line; std::getline(lines, line);) {
    if (line.find(": ") != std::string::npos) kept += line + "\n";
  }
  return kept;
}

class CliEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kBinary)) << kBinary << " is not built";
    dir_ = fs::temp_directory_path() / ("tarnvik_cli_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    // The program's own settings and home folder: a developer's settings never leak in.
    home_ = fs::temp_directory_path() / ("tarnvik_home_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(home_);
    fs::create_directories(home_);
    environment_ = "HOME=" + ShellQuote(home_.string()) + " XDG_CONFIG_HOME=" + ShellQuote((home_ / "config").string()) +
                   " XDG_CONFIG_DIRS=" + ShellQuote((home_ / "xdg").string());
  }
  void TearDown() override {
    fs::remove_all(dir_);
    fs::remove_all(home_);
  }

  struct How {
    std::string prefix;       // runs the program through this (setpriv ...)
    std::string errorStream;  // the error stream goes here instead of a file (a terminal)
    std::string environment;  // replaces HOME and XDG_CONFIG_HOME of the test
  };

  // Runs tarnvik with the arguments in the test's folder, with the test's own HOME and
  // XDG_CONFIG_HOME.
  static bool IsTransferRun(const std::vector<std::string>& args) {
    bool transfer = false;
    for (const auto& a : args) {
      if (a.rfind("/WIN", 0) == 0 || a.rfind("/IGC2KML", 0) == 0 || a.rfind("/DAT2KML", 0) == 0) return false;
      if (a.rfind("/PORT=", 0) == 0 || a.rfind("/GPS=", 0) == 0 || a.find("_LOG=") != std::string::npos ||
          a.find("_WPT") != std::string::npos) {
        transfer = true;
      }
    }
    return transfer;
  }

  ProgramRun Tarnvik(const std::vector<std::string>& args, const How& how = {}) {
    std::string command = "cd " + ShellQuote(dir_.string()) + " && env " +
                          (how.environment.empty() ? environment_ : how.environment) + " " + how.prefix +
                          ShellQuote(kBinary);
    for (const auto& a : args) {
      command += ' ';
      command += ShellQuote(a);
    }
    // Transfer runs here are the headless ones: without /WIN=0 a transfer opens the window,
    // which the window's own tests cover.
    if (IsTransferRun(args)) command += " /WIN=0";
    const fs::path out = home_ / ".out";
    const fs::path err = home_ / ".err";
    command += " >" + ShellQuote(out.string());
    command += " 2>" + ShellQuote(how.errorStream.empty() ? err.string() : how.errorStream);
    ProgramRun run;
    int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = ReadText(out);
    run.err = ReadText(err);
    fs::remove(out);
    fs::remove(err);
    return run;
  }

  fs::path dir_;
  fs::path home_;
  std::string environment_;
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
           {{"/IGC2KML=missing"}, "Error opening file: No such file or directory (missing.igc or missing.IGC)\n"},
           {{"/IGC2KML=missing.IGC"}, "Error opening file: No such file or directory (missing.IGC)\n"},
           // a value beyond 260 characters is refused, not cut, before anything is downloaded
           {{"/PORT=/dev/null", "/KML_LOG=" + std::string(270, 'k') + ".kml"}, "Download track log: Too long file name\n"},
           {{"/PORT=/dev/null", "/IGC_LOG=" + std::string(261, 'i')}, "Save IGC log: Too long file name\n"},
           {{"/WR_WPT=/nonexistent/x.wpt"}, "Error opening waypoint file: No such file or directory\n"},
       }) {
    ProgramRun run = Tarnvik(r.args);
    EXPECT_EQ(run.status, 1) << r.args[0];
    EXPECT_EQ(run.err, r.err);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_TRUE(fs::is_empty(dir_));  // nothing written
}

// Loggers write ".IGC" as often as ".igc": the conversion finds either, and a name given with
// its extension (any case) is the file itself.
TEST_F(CliEndToEnd, IgcToKmlTakesEitherCaseOfTheExtension) {
  const std::string igc = ReadText(kIgcData + "xcs_marcourt.igc");
  struct Case {
    const char* file;
    const char* value;
    const char* kml;
  } cases[] = {
      {"upper.IGC", "upper", "upper.kml"},
      {"lower.igc", "lower.igc", "lower.kml"},
      {"Mixed.Igc", "Mixed.Igc", "Mixed.kml"},
      {"named.IGC", "named.IGC", "named.kml"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ASSERT_EQ(core::WriteFileAtomically((dir_ / c.file).string(), igc), "");
    ProgramRun run = Tarnvik({std::string("/IGC2KML=") + c.value});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadKml(dir_ / c.kml).fixes.size(), 221u);
  }
  EXPECT_FALSE(fs::exists(dir_ / "lower.igc.kml"));
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

// Passes the device's bytes on until it has sent afterBytes, then cuts the line: the
// instrument side of the pseudo-terminal closes, as a cable pulled mid-transfer.
class CutOffDevice final : public sim::Device {
 public:
  CutOffDevice(sim::Device& inner, size_t afterBytes, std::function<void()> cut)
      : inner_(inner), afterBytes_(afterBytes), cut_(std::move(cut)) {}
  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) override {
    if (done_) return;
    inner_.Receive(bytes, count, out);
    sent_ += out.size();
    if (afterBytes_ > 0 && sent_ > afterBytes_) {
      out.clear();
      done_ = true;
      cut_();
    }
  }
  void Tick(int64_t nowMs, std::vector<uint8_t>& out) override {
    if (!done_) inner_.Tick(nowMs, out);
  }
  void LineChanged(int baud, bool xonXoff) override { inner_.LineChanged(baud, xonXoff); }
  void HostClosed() override { inner_.HostClosed(); }

 private:
  sim::Device& inner_;
  size_t afterBytes_;
  std::function<void()> cut_;
  size_t sent_ = 0;
  bool done_ = false;
};

// A Garmin receiver simulated behind a pseudo-terminal; tarnvik reaches it by /PORT=. With
// cutAfterBytes the line is cut once the receiver has sent that many bytes.
class SimulatedGarmin {
 public:
  explicit SimulatedGarmin(const std::string& igcFile, size_t cutAfterBytes = 0)
      : cutOff_(device_, cutAfterBytes, [this] { pty_.instrument().Close(); }) {
    std::string error;
    EXPECT_GT(sim::garmin::LoadIgcIntoDevice(ReadText(igcFile), device_, error), 0) << error;
    server_ = std::jthread([this](std::stop_token stop) {
      sim::ServeDevice(pty_.instrument(), cutOff_, core::SystemClock(), stop);
    });
  }
  bool ok() const { return pty_.ok(); }
  const std::string& path() const { return pty_.hostPath(); }

 private:
  testing::PtyPair pty_;
  sim::garmin::GarminDevice device_;
  CutOffDevice cutOff_;
  std::jthread server_;
};

TEST_F(CliEndToEnd, GarminIgcDownloadIntoAFolderAndItsFlightNumbers) {
  SimulatedGarmin garmin(kIgcData + "xcs_marcourt.igc");
  ASSERT_TRUE(garmin.ok());
  const std::vector<std::string> args = {"/PORT=" + garmin.path(), "/GPS=GARMIN", "/IGC_LOG=" + dir_.string() + "/",
                                         "/PILOT=Ann Berg", "/EXIT", "/WIN=0"};
  ProgramRun first = Tarnvik(args);
  ASSERT_EQ(first.status, 0) << first.err;
  const fs::path written = dir_ / "2021-03-06-xtv-000-01.igc";
  ASSERT_TRUE(fs::exists(written)) << first.err;
  EXPECT_EQ(first.out, written.string() + ": 221 positions written\n");
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
  // A second download the same day takes flight number 2; the first file stays. The folder
  // is named without its trailing separator this time.
  ProgramRun second = Tarnvik({"/PORT=" + garmin.path(), "/IGC_LOG=" + dir_.string()});
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_TRUE(fs::exists(dir_ / "2021-03-06-xtv-000-02.igc"));
  EXPECT_EQ(ReadText(written), text);
  // A file that cannot be created: the system's reason beside the message.
  ProgramRun failed = Tarnvik({"/PORT=" + garmin.path(), "/IGC_LOG=" + (dir_ / "missing" / "x.igc").string()});
  EXPECT_EQ(failed.status, 1);
  EXPECT_EQ(Messages(failed.err), "Save IGC log: File open error: No such file or directory\n");
  EXPECT_EQ(failed.out, "");
}

TEST_F(CliEndToEnd, GarminKmlDownloadWithDateInAQuotedNameAndNoOverwrite) {
  SimulatedGarmin garmin(kIgcData + "xcs_marcourt.igc");
  ASSERT_TRUE(garmin.ok());
  fs::create_directories(dir_ / "My logs");
  // No /EXIT: a run without a window still ends when its file is written.
  const std::vector<std::string> args = {"/PORT=" + garmin.path(), "/KML_LOG=" + (dir_ / "My logs").string() + "/$date.kml",
                                         "/WIN=0"};
  ProgramRun run = Tarnvik(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const fs::path written = dir_ / "My logs" / "20210306.kml";
  formats::TrackParseResult back = ReadKml(written);
  EXPECT_EQ(back.signatureFlag, formats::kKmlSignatureValid);  // downloaded from an instrument
  EXPECT_EQ(back.fixes.size(), 221u);

  const std::string before = ReadText(written);
  ProgramRun again = Tarnvik(args);
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(Messages(again.err), "File creation: File already exists, overwrite ? -> Cancel\n");
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(ReadText(written), before);

  // 259 characters that "$date" would take to 262: refused, not cut.
  std::string name = (dir_ / "My logs").string() + "/$date";
  name += std::string(259 - name.size() - 4, 'k') + ".kml";
  ProgramRun tooLong = Tarnvik({"/PORT=" + garmin.path(), "/KML_LOG=" + name, "/WIN=0"});
  EXPECT_EQ(tooLong.status, 1);
  EXPECT_EQ(Messages(tooLong.err), "Download track log: Too long file name\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "My logs"), fs::directory_iterator()), 1);
}

// Not on a terminal (a log file): the transfer's status and product texts, one line per
// change and at most one a second, the last state at the end; the file and count on the
// output stream.
TEST_F(CliEndToEnd, DownloadProgressAndResultWithoutATerminal) {
  SimulatedGarmin garmin(kIgcData + "xcs_marcourt.igc");
  ASSERT_TRUE(garmin.ok());
  const auto started = std::chrono::steady_clock::now();
  ProgramRun run = Tarnvik({"/PORT=" + garmin.path(), "/KML_LOG=flight.kml"});
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "flight.kml: 221 positions written\n");
  EXPECT_EQ(run.err.find('\r'), std::string::npos);
  EXPECT_EQ(run.err.find('\x1b'), std::string::npos);
  std::vector<std::string> lines;
  std::istringstream split(run.err);
  for (std::string line; std::getline(split, line);) lines.push_back(line);
  ASSERT_GE(lines.size(), 3u) << run.err;
  EXPECT_EQ(lines.front(), "Requesting product information");  // the first status at once
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Tarnvik Sim GPS Software Version 3.50"), lines.end());
  EXPECT_EQ(lines.back(), "221 positions written");
  const auto records = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.rfind("Track log record", 0) == 0;
  });
  EXPECT_LE(records, seconds.count() + 1) << run.err;
}

// On a terminal: the status is one line rewritten in place, with a percentage.
TEST_F(CliEndToEnd, DownloadProgressInPlaceOnATerminal) {
  SimulatedGarmin garmin(kIgcData + "xcs_marcourt.igc");
  ASSERT_TRUE(garmin.ok());
  testing::PtyPair terminal;
  ASSERT_TRUE(terminal.ok()) << terminal.error();
  std::string screen;
  std::atomic<bool> ended{false};
  std::thread reader([&] {
    // Read while the program writes: a full terminal would stop it.
    while (!ended) {
      std::vector<uint8_t> bytes = terminal.ReadExactly(4096, 50);
      screen.append(bytes.begin(), bytes.end());
    }
    std::vector<uint8_t> rest = terminal.ReadExactly(1 << 16, 200);
    screen.append(rest.begin(), rest.end());
  });
  ProgramRun run = Tarnvik({"/PORT=" + garmin.path(), "/KML_LOG=flight.kml"}, {"", terminal.hostPath(), ""});
  ended = true;
  reader.join();
  ASSERT_EQ(run.status, 0) << screen;
  EXPECT_EQ(run.out, "flight.kml: 221 positions written\n");
  EXPECT_EQ(screen.rfind("\rRequesting product information\x1b[K", 0), 0u) << screen;
  EXPECT_NE(screen.find("Tarnvik Sim GPS Software Version 3.50\x1b[K\n"), std::string::npos) << screen;
  // The record counts overwrite each other on one line, each with its percentage.
  const size_t first = screen.find("\rTrack log record ");
  const size_t last = screen.rfind("\rTrack log record ");
  ASSERT_NE(first, std::string::npos) << screen;
  ASSERT_LT(first, last) << screen;
  EXPECT_EQ(screen.substr(first, last - first).find('\n'), std::string::npos);
  EXPECT_NE(screen.find("%)\x1b[K", last), std::string::npos) << screen;
  EXPECT_NE(screen.find("221 positions written\x1b[K\n"), std::string::npos) << screen;
}

// A download that fails part-way (the line is cut mid-log) leaves the file already there as
// it was, even with /OVERWRITE.
TEST_F(CliEndToEnd, TransferFailingPartWayLeavesTheExistingFileUntouched) {
  SimulatedGarmin garmin(kIgcData + "xcs_marcourt.igc", 1500);
  ASSERT_TRUE(garmin.ok());
  ASSERT_EQ(core::WriteFileAtomically((dir_ / "flight.kml").string(), "my old flight"), "");
  ProgramRun run = Tarnvik({"/PORT=" + garmin.path(), "/OVERWRITE", "/KML_LOG=flight.kml"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Track log record"), std::string::npos) << run.err;  // it was under way
  EXPECT_NE(Messages(run.err).find("Read GPS track log: E2"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(ReadText(dir_ / "flight.kml"), "my old flight");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

// A normal user downloads twice in a row from the same port (root ignores the exclusive-use
// flag, so this runs unprivileged).
TEST_F(CliEndToEnd, TwoDownloadsInARowAsANormalUser) {
  std::string why;
  std::optional<std::string> prefix = testing::UnprivilegedCommandPrefix(why);
  if (!prefix) GTEST_SKIP() << why;
  SimulatedGarmin garmin(kIgcData + "xcs_marcourt.igc");
  ASSERT_TRUE(garmin.ok());
  ASSERT_TRUE(testing::HandOverToUnprivileged(garmin.path()));
  ASSERT_TRUE(testing::HandOverToUnprivileged(dir_.string()));
  ASSERT_TRUE(testing::HandOverToUnprivileged(home_.string()));
  for (int flight = 1; flight <= 2; ++flight) {
    SCOPED_TRACE(flight);
    ProgramRun run = Tarnvik({"/PORT=" + garmin.path(), "/IGC_LOG=" + dir_.string() + "/"}, {*prefix, "", ""});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Messages(run.err), "");
    EXPECT_TRUE(fs::exists(dir_ / ("2021-03-06-xtv-000-0" + std::to_string(flight) + ".igc")));
  }
}

// A command-line run never saves settings, so it never reports a settings file it cannot
// use: neither a missing home folder nor an unreadable file is worth a word.
TEST_F(CliEndToEnd, TransferRunsSayNothingAboutTheSettingsFile) {
  fs::create_directories(home_ / "config" / "tarnvik" / "tarnvik.ini");  // a folder: unreadable as a file
  const std::string port = "/tmp/tarnvik-no-port-" + std::to_string(::getpid());
  const std::string expected = "Opening the COM port: No such file or directory (" + port + ")\n";
  for (const std::string& environment : {environment_, std::string("-u HOME -u XDG_CONFIG_HOME")}) {
    SCOPED_TRACE(environment);
    ProgramRun run = Tarnvik({"/PORT=" + port, "/KML_LOG=x.kml"}, {"", "", environment});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, expected);
  }
}

TEST_F(CliEndToEnd, TransferToAPortThatIsNotThereFailsWithStatusOne) {
  const std::string port = "/tmp/tarnvik-no-port-" + std::to_string(::getpid());
  ProgramRun run = Tarnvik({"/PORT=" + port, "/IGC_LOG=" + dir_.string() + "/", "/WIN=0"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "Opening the COM port: No such file or directory (" + port + ")\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 0);
}

}  // namespace
}  // namespace tarnvik
