#include "formats/igc_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
// GCC 12 with -fsanitize=address reports a false -Wmaybe-uninitialized inside <regex>'s own
// automaton code (GCC bug 105616), wherever a std::regex is built; it is silenced for that header only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include "core/file_io.h"
#include "formats/igc.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::formats {
namespace {

// A fix as a logger wrote it, on 2001-07-16.
core::TrackPoint Fix(const char* bRecord, int32_t heightDm) {
  core::TrackPoint p;
  EXPECT_EQ(ParseIgcFix(bRecord, p), 0) << bRecord;
  p.time += *core::CalendarToTime(core::SystemTime{2001, 7, 0, 16, 0, 0, 0, 0});
  p.height = heightDm;
  return p;
}

std::vector<core::TrackPoint> GoldenFixes() {
  return {Fix("1602405407121N00249342WA0028000421", -3), Fix("1602455107126S00149300EA0028800429", 14),
          Fix("1602505107134N00149283WA0029000432", 15), Fix("1602555107140N00149221WA0029000430", 4210)};
}

IgcHeader GoldenHeader() {
  IgcHeader h;
  h.pilot = "Kari Nordmann";
  h.gliderType = "Ozone Rush";
  h.competitionClass = "Sport";
  h.site = "Hamar";
  h.serial = "ABC";
  return h;
}

// The signature was computed independently (zlib's CRC-32 and a separate fold and permutation)
// for these exact hashed lines; it also pins the salt byte: a change breaks every signed file.
const char* const kGolden =
    "AXTVABC \r\n"
    "HFDTE160701\r\n"
    "HOPLTPILOT: Kari Nordmann\r\n"
    "HOGTYGLIDERTYPE: Ozone Rush\r\n"
    "HOGTYGLIDERID: \r\n"
    "HODTM100GPSDATUM: WGS-84\r\n"
    "HOCCLCOMPETITION CLASS: Sport\r\n"
    "HOSITSite: Hamar\r\n"
    "B1602405407121N00249342WA0000000000\r\n"
    "B1602455107126S00149300EA0000000001\r\n"
    "B1602505107134N00149283WA0000000002\r\n"
    "B1602555107140N00149221WA0000000421\r\n"
    "LXTV Tarnvik version 4.06\r\n"
    "LXTV Downloaded 2024-07-14  12:30:00\r\n"
    "GBAE8AF7D0A73B39A\r\n";

std::string Golden(IgcGRecord g = IgcGRecord::Always, int sourceKind = 1) {
  testing::FakeClock clock;
  return FormatIgcLog(GoldenFixes(), sourceKind, GoldenHeader(), clock.UtcNow(), g);
}

TEST(IgcWriter, WritesEveryLineAndTheSignature) {
  EXPECT_EQ(Golden(), kGolden);
  EXPECT_EQ(VerifyIgcBytes(Golden()).message, "Security check PASSED");
}

TEST(IgcWriter, GRecordOnlyForLogsFromAnInstrument) {
  const std::string unsigned_ = std::string(kGolden).substr(0, std::string(kGolden).find("GBAE"));
  for (int kind = 0; kind <= 9; ++kind) {
    const bool signs = (kind >= 1 && kind <= 6) || kind == 8;
    EXPECT_EQ(IgcSourceMaySign(kind), signs) << kind;
    EXPECT_EQ(Golden(IgcGRecord::IfFromInstrument, kind), signs ? kGolden : unsigned_) << kind;
    EXPECT_EQ(Golden(IgcGRecord::Always, kind), kGolden) << kind;
    EXPECT_EQ(Golden(IgcGRecord::None, kind), unsigned_) << kind;
  }
}

TEST(IgcWriter, InstrumentNameFollowsTheSerial) {
  IgcHeader h = GoldenHeader();
  h.aRecordText = "Flytec 6030";
  const std::string text = FormatIgcLog(GoldenFixes(), 5, h, core::SystemTime{}, IgcGRecord::None);
  EXPECT_EQ(text.substr(0, text.find('\n') + 1), "AXTVABC Flytec 6030\r\n");
}

// Outside text never breaks a record: a line break in the instrument name would otherwise put a
// forged B record under the signature. Every control character becomes a blank; the file keeps
// its lines, the signature still verifies and the parser sees the same fixes.
TEST(IgcWriter, ControlCharactersInOutsideTextBecomeBlanks) {
  IgcHeader h = GoldenHeader();
  h.aRecordText = "Flytec\r\nB1602405407121N00249342WA0028000421\r\n6030";
  h.pilot = std::string("Kari\nNord\tmann\x7f") + '\0' + "x";
  h.gliderType = "\x1b[2JRush";
  h.gliderId = "\r";
  h.competitionClass = "Sport\n";
  h.site = "Ha\x01mar";
  h.serial = "A\nC";
  testing::FakeClock clock;
  const std::string text = FormatIgcLog(GoldenFixes(), 1, h, clock.UtcNow(), IgcGRecord::Always);
  const std::vector<std::string> expectedLines = {
      "AXTVA C Flytec  B1602405407121N00249342WA0028000421  6030",
      "HFDTE160701",
      "HOPLTPILOT: Kari Nord mann  x",
      "HOGTYGLIDERTYPE:  [2JRush",
      "HOGTYGLIDERID:  ",
      "HODTM100GPSDATUM: WGS-84",
      "HOCCLCOMPETITION CLASS: Sport ",
      "HOSITSite: Ha mar",
  };
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find("\r\n", at);
    ASSERT_NE(end, std::string::npos);
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  ASSERT_EQ(lines.size(), expectedLines.size() + GoldenFixes().size() + 3);  // + 2 L + G
  for (size_t i = 0; i < expectedLines.size(); ++i) EXPECT_EQ(lines[i], expectedLines[i]) << i;
  for (const std::string& line : lines) {
    for (char c : line) EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) << line;
  }
  EXPECT_EQ(VerifyIgcBytes(text).outcome, IgcCheck::Passed);
  EXPECT_EQ(ParseIgcLog(text).count, static_cast<int>(GoldenFixes().size()));
}

// Every fix of real flights comes back as the logger wrote its time and position.
TEST(IgcWriter, RealFlightFixesRoundTrip) {
  for (const char* name : {"igc/gpsb_92HV66G1.igc", "igc/igp_2016-11-08-xcs-aaa-02.igc"}) {
    core::FileBytes file = core::ReadWholeFile(std::string(TARNVIK_TEST_DATA) + "/" + name);
    const std::string original(file.begin(), file.size);
    IgcParseResult parsed = ParseIgcLog(original);
    ASSERT_GT(parsed.count, 0) << parsed.error;
    const std::string written =
        FormatIgcLog(parsed.fixes, 0, GoldenHeader(), core::SystemTime{}, IgcGRecord::None);
    std::vector<std::string> before, after;
    std::regex bRecord("\nB([0-9]{6}[0-9]{7}[NS][0-9]{8}[EW])[AV][0-9-]{5}([0-9]{5})");
    for (auto* list : {&before, &after}) {
      const std::string& text = list == &before ? original : written;
      for (std::sregex_iterator i(text.begin(), text.end(), bRecord), e; i != e; ++i) {
        list->push_back((*i)[1].str() + (*i)[2].str());
      }
    }
    EXPECT_EQ(before.size(), static_cast<size_t>(parsed.count)) << name;
    EXPECT_EQ(before, after) << name;
    IgcParseResult again = ParseIgcLog(written);
    ASSERT_EQ(again.count, parsed.count);
    EXPECT_EQ(again.fixes.back().time, parsed.fixes.back().time);  // across midnight too
  }
}

TEST(IgcFileName, LongShortAndRawNames) {
  const uint32_t date = *core::CalendarToTime(core::SystemTime{2007, 12, 0, 31, 10, 0, 0, 0});
  EXPECT_EQ(MakeIgcFileName(date, "ABC", 1, false), "2007-12-31-XTV-ABC-01.igc");
  EXPECT_EQ(MakeIgcFileName(date, "ABC", 35, false), "2007-12-31-XTV-ABC-35.igc");
  EXPECT_EQ(MakeIgcFileName(date, "ABC", 1, true), "7CVXABC1.igc");
  EXPECT_EQ(MakeIgcFileName(date, "ABC", 10, true), "7CVXABCA.igc");
  EXPECT_EQ(MakeIgcFileName(date, "ABC", 35, true), "7CVXABCZ.igc");
  const uint32_t early = *core::CalendarToTime(core::SystemTime{2010, 1, 0, 9, 0, 0, 0, 0});
  EXPECT_EQ(MakeIgcFileName(early, "007", 12, true), "019X007C.igc");

  IgcBuffer buffer;
  buffer.firstFixTime = date;
  std::snprintf(buffer.manufacturer, sizeof buffer.manufacturer, "FLY");
  std::snprintf(buffer.serial, sizeof buffer.serial, "080");
  EXPECT_EQ(MakeRawIgcFileName(buffer, 3, false), "2007-12-31-FLY-080-03.igc");
  EXPECT_EQ(MakeRawIgcFileName(buffer, 3, true), "7CVX0803.igc");
}

// ---- verification of what we write ---------------------------------------------------------

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(IgcVerify, OutcomesOfEditedFiles) {
  const std::string g = kGolden;
  const std::string body = g.substr(0, g.find("GBAE"));
  const std::string gLine = "GBAE8AF7D0A73B39A\r\n";
  struct Case {
    std::string name;
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"as written", g, "Security check PASSED"},
      {"pilot changed", Replace(g, "Kari Nordmann", "Ola"), "Security check PASSED"},
      {"site emptied", Replace(g, "Hamar", ""), "Security check PASSED"},
      {"HP line added", Replace(g, "HOSIT", "HPGPSRECEIVER: x\r\nHOSIT"), "Security check PASSED"},
      {"L line added", Replace(g, "LXTV D", "LCMT note\r\nLXTV D"), "Security check PASSED"},
      {"empty lines after a skipped line", Replace(g, "HOSIT", "HOX\r\n\r\n\n\rHOSIT"), "Security check PASSED"},
      {"line ends after G", g + "\r\n\n\r", "Security check PASSED"},
      {"G without line end", g.substr(0, g.size() - 2), "Security check PASSED"},
      {"B digit changed", Replace(g, "5107134N", "5107135N"), "Security check FAILED"},
      {"A changed", Replace(g, "AXTVABC", "AXTVABD"), "Security check FAILED"},
      {"date changed", Replace(g, "HFDTE160701", "HFDTE170701"), "Security check FAILED"},
      {"LX changed", Replace(g, "4.06", "4.07"), "Security check FAILED"},
      {"line end changed", Replace(g, "0000000421\r\n", "0000000421\n"), "Security check FAILED"},
      {"HF line added", Replace(g, "HOPLT", "HFPLTPILOT: x\r\nHOPLT"), "Security check FAILED"},
      {"B line removed", Replace(g, "B1602555107140N00149221WA0000000421\r\n", ""), "Security check FAILED"},
      {"I record", Replace(g, "B16024", "I013638TAS\r\nB16024"), "Security check FAILED"},
      {"empty line after B", Replace(g, "0000000421\r\n", "0000000421\r\n\r\n"), "Security check FAILED"},
      {"blank-led line", Replace(g, "HOSIT", " HOSIT"), "Security check FAILED"},
      {"second G", g + gLine, "Security check FAILED"},
      {"lower-case G", Replace(g, "GBAE8AF7D0A73B39A", "Gbae8af7d0a73b39a"), "Security check FAILED"},
      {"short G", body + "GBAE8AF7D", "Security check FAILED"},
      {"text after G", Replace(g, "B39A\r\n", "B39A \r\n"), "Security check FAILED"},
      {"NUL and fixes after G", g + std::string(1, '\0') + "B1602555107140N00149221WA0000000421\r\n",
       "Security check FAILED"},
      {"NUL inside", Replace(g, "HOSIT", std::string(1, '\0') + "HOSIT"), "Security check FAILED"},
      {"ends inside a B line", body.substr(0, 300), "Security check FAILED"},
      {"ends inside a skipped line", "AXTVABC \r\nHOPLTPILOT: x", "Security check FAILED"},
      {"no G", body, "No security record"},
      {"empty", "", "No security record"},
  };
  for (const auto& c : cases) {
    IgcVerification v = VerifyIgcBytes(c.text);
    EXPECT_EQ(v.message, c.message) << c.name;
    EXPECT_EQ(v.icon, c.message == "Security check FAILED" ? core::Icon::Error : core::Icon::None) << c.name;
  }
}

// ---- files ---------------------------------------------------------------------------------

class IgcWriterFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tarnvik_igcw_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Read(const std::string& path) {
    core::FileBytes f = core::ReadWholeFile(path);
    return std::string(f.begin(), f.size);
  }
  size_t FileCount() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir_), {}));
  }
  std::filesystem::path dir_;
};

TEST_F(IgcWriterFiles, CreatesNewAsksBeforeReplacing) {
  testing::RecordingUi ui;
  const std::string path = Path("7CVXABC1.igc");
  EXPECT_EQ(SaveIgcFileBytes(ui, path, "first"), 0);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(Read(path), "first");

  EXPECT_EQ(SaveIgcFileBytes(ui, path, "second"), 1);  // the default answer keeps the old file
  ui.ExpectOnly("File creation", "File already exists, overwrite ?");
  EXPECT_EQ(Read(path), "first");

  ui.answers.push_back(core::Answer::Ok);
  EXPECT_EQ(SaveIgcFileBytes(ui, path, "second"), 0);
  ui.ExpectOnly("File creation", "File already exists, overwrite ?");
  EXPECT_EQ(Read(path), "second");
  EXPECT_EQ(FileCount(), 1u);  // no temporary file left behind
}

TEST_F(IgcWriterFiles, FailedWriteLeavesNoFile) {
  testing::RecordingUi ui;
  EXPECT_EQ(SaveIgcFileBytes(ui, Path("missing/x.igc"), "text"), -1);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "File write error");
  EXPECT_FALSE(ui.shown[0].text.empty());
  EXPECT_EQ(FileCount(), 0u);
}

// A write that fails part-way (here: the file size limit is hit) leaves the older file as it
// was and no partial or temporary file beside it.
TEST_F(IgcWriterFiles, FailedReplaceKeepsTheOlderFile) {
  const std::string path = Path("flight.igc");
  testing::RecordingUi ui;
  ASSERT_EQ(SaveIgcFileBytes(ui, path, kGolden), 0);

  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  ui.answers.push_back(core::Answer::Ok);
  const int result = SaveIgcFileBytes(ui, path, std::string(5000, 'B'));
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(result, -1);
  ASSERT_FALSE(ui.shown.empty());
  EXPECT_EQ(ui.shown.back().caption, "File write error");
  EXPECT_EQ(Read(path), kGolden);
  EXPECT_EQ(FileCount(), 1u);
}

// gpsbabel, an independent IGC reader, sees the same fixes in what we write.
TEST_F(IgcWriterFiles, GpsbabelReadsOurFiles) {
  if (std::system("gpsbabel -V > /dev/null 2>&1") != 0) GTEST_SKIP() << "gpsbabel not installed";
  core::FileBytes file = core::ReadWholeFile(std::string(TARNVIK_TEST_DATA) + "/igc/igp_2016-11-08-xcs-aaa-02.igc");
  IgcParseResult flight = ParseIgcLog(std::string_view(file.begin(), file.size));
  ASSERT_GT(flight.count, 0);
  struct Written {
    std::string name;
    std::vector<core::TrackPoint> fixes;
  };
  const Written files[] = {{"golden.igc", GoldenFixes()}, {"flight.igc", flight.fixes}};
  for (const auto& w : files) {
    testing::RecordingUi ui;
    const std::string path = Path(w.name);
    const std::string text = FormatIgcLog(w.fixes, 1, GoldenHeader(), core::SystemTime{2024, 7, 0, 14, 12, 30, 0, 0},
                                          IgcGRecord::IfFromInstrument);
    ASSERT_EQ(SaveIgcFileBytes(ui, path, text), 0);
    const std::string gpx = Path(w.name + ".gpx");
    ASSERT_EQ(std::system(("gpsbabel -i igc -f '" + path + "' -o gpx -F '" + gpx + "'").c_str()), 0);
    const std::string out = Read(gpx);
    // gpsbabel leaves out an elevation of 0.
    std::regex point("<trkpt lat=\"([-0-9.]+)\" lon=\"([-0-9.]+)\">\\s*(?:<ele>([-0-9.]+)</ele>\\s*)?<time>"
                     "(\\d+)-(\\d+)-(\\d+)T(\\d+):(\\d+):(\\d+)Z</time>");
    size_t i = 0;
    for (std::sregex_iterator m(out.begin(), out.end(), point), e; m != e; ++m, ++i) {
      ASSERT_LT(i, w.fixes.size()) << w.name;
      const core::TrackPoint& fix = w.fixes[i];
      const double scale = 180.0 / 2147483648.0;
      EXPECT_NEAR(std::stod((*m)[1]), fix.latitude * scale, 1e-5) << w.name << " " << i;
      EXPECT_NEAR(std::stod((*m)[2]), fix.longitude * scale, 1e-5) << w.name << " " << i;
      const int metres = fix.height >= 0 ? (fix.height + 5) / 10 : 0;
      EXPECT_DOUBLE_EQ((*m)[3].matched ? std::stod((*m)[3]) : 0.0, metres) << w.name << " " << i;
      core::SystemTime t{static_cast<uint16_t>(std::stoi((*m)[4])), static_cast<uint16_t>(std::stoi((*m)[5])), 0,
                         static_cast<uint16_t>(std::stoi((*m)[6])), static_cast<uint16_t>(std::stoi((*m)[7])),
                         static_cast<uint16_t>(std::stoi((*m)[8])), static_cast<uint16_t>(std::stoi((*m)[9])), 0};
      EXPECT_EQ(core::CalendarToTime(t), fix.time) << w.name << " " << i;
    }
    EXPECT_EQ(i, w.fixes.size()) << w.name;
  }
}

}  // namespace
}  // namespace tarnvik::formats
