#include "formats/igc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/file_io.h"
#include "formats/igc_writer.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::formats {
namespace {

uint32_t Time(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  core::SystemTime t;
  t.year = static_cast<uint16_t>(y);
  t.month = static_cast<uint16_t>(mo);
  t.day = static_cast<uint16_t>(d);
  t.hour = static_cast<uint16_t>(h);
  t.minute = static_cast<uint16_t>(mi);
  t.second = static_cast<uint16_t>(s);
  return *core::CalendarToTime(t);
}

double Degrees(int32_t semicircles) { return semicircles * (180.0 / 2147483648.0); }

std::string ReadData(const std::string& relative) {
  core::FileBytes file = core::ReadWholeFile(std::string(TARNVIK_TEST_DATA) + "/" + relative);
  EXPECT_EQ(file.error, core::ReadError::None) << relative;
  return std::string(file.begin(), file.size);
}

// ---- one fix -------------------------------------------------------------------------------

TEST(IgcFix, ReadsTimePositionAndHeight) {
  core::TrackPoint point;
  ASSERT_EQ(ParseIgcFix("1602405407121N00249342WA0028000421020509950", point), 0);
  EXPECT_EQ(point.time, (16u * 60 + 2) * 60 + 40);
  // 54 deg 7.121' N, 2 deg 49.342' W, against the exact factor (the ten-digit one is within 1).
  EXPECT_NEAR(point.latitude, (54 + 7.121 / 60) * 2147483648.0 / 180, 1.0);
  EXPECT_NEAR(point.longitude, -(2 + 49.342 / 60) * 2147483648.0 / 180, 1.0);
  EXPECT_EQ(point.height, 4210);
  EXPECT_EQ(point.flags, 0u);

  // The extremes: 89 deg 60.000' and 179 deg 60.000' are accepted; 180 deg is the -180 meridian.
  ASSERT_EQ(ParseIgcFix("2359598960000S17960000EV0000099999", point), 0);
  EXPECT_EQ(point.time, 86399u);
  EXPECT_EQ(point.latitude, -1073741824);
  EXPECT_EQ(point.longitude, INT32_MIN);
  EXPECT_EQ(point.height, 999990);
}

TEST(IgcFix, ErrorNumberPerField) {
  struct Case {
    const char* text;
    int error;
  };
  const Case cases[] = {
      {"x602405407121N00249342WA0028000421", -1},  {"2402405407121N00249342WA0028000421", -2},
      {"16x2405407121N00249342WA0028000421", -3},  {"1660405407121N00249342WA0028000421", -4},
      {"16024x5407121N00249342WA0028000421", -5},  {"1602605407121N00249342WA0028000421", -6},
      {"160240x407121N00249342WA0028000421", -7},  {"1602409007121N00249342WA0028000421", -8},
      {"16024054071x1N00249342WA0028000421", -9},  {"1602405460001N00249342WA0028000421", -10},
      {"1602405407121X00249342WA0028000421", -11}, {"1602405407121N0x249342WA0028000421", -12},
      {"1602405407121N18049342WA0028000421", -13}, {"1602405407121N002493 2WA0028000421", -14},
      {"1602405407121N00260001WA0028000421", -15}, {"1602405407121N00249342wA0028000421", -16},
      {"1602405407121N00249342WA0028", -17},       {"1602405407121N00249342WA0028000", -18},
      {"1602405407121N00249342WA00280-0421", -18}, {"1602405407121N00249342WA002800-421", -18},
      {"", -1},                                    {"16024054", -9},
  };
  for (const auto& c : cases) {
    core::TrackPoint point;
    EXPECT_EQ(ParseIgcFix(c.text, point), c.error) << c.text;
  }
}

TEST(IgcDate, ShortAndLongForms) {
  struct Case {
    const char* text;
    int64_t seconds;
  };
  const Case cases[] = {
      {"160701", Time(2001, 7, 16)},
      {"311299", Time(2099, 12, 31)},
      {"DATE:200223,03", Time(2023, 2, 20)},  // the long form current loggers write
      {"DATE:070422", Time(2022, 4, 7)},
      {"DATE:070422,01,extra", Time(2022, 4, 7)},
      {"16070", -1},
      {"1607011", -1},
      {"160701,01", -1},  // the short form takes nothing after the digits
      {"160701 ", -1},
      {"000101", -1},
      {"320101", -1},
      {"010001", -1},
      {"011301", -1},
      {"DATE:20022", -1},
      {"DATE:2002233", -1},
      {"DATE 200223", -1},
      {"date:200223", -1},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseIgcDate(c.text), c.seconds) << c.text;
}

// ---- whole logs ----------------------------------------------------------------------------

const char* const kFix1 = "B1602405407121N00249342WA0028000421\r\n";
const char* const kFix2 = "B1602455107126N00149300WA0028800429\r\n";

std::string Log(const std::string& body) { return "AXTVabc extra\r\nHFDTE160701\r\n" + body; }

TEST(IgcLog, ReadsFixesLoggerIdentityAndDate) {
  IgcParseResult r = ParseIgcLog(Log(std::string("HOPLTPILOT: x\r\nI013638TAS\r\n") + kFix1 +
                                     "LXXX note\r\n" + kFix2 + "G0123\r\n"));
  ASSERT_EQ(r.count, 2) << r.error;
  EXPECT_STREQ(r.manufacturer, "XTV");
  EXPECT_STREQ(r.serial, "abc");
  EXPECT_EQ(r.fixes[0].flags, 1u);
  EXPECT_EQ(r.fixes[1].flags, 0u);
  EXPECT_EQ(r.fixes[0].time, Time(2001, 7, 16, 16, 2, 40));
  EXPECT_EQ(r.fixes[1].time, Time(2001, 7, 16, 16, 2, 45));
  EXPECT_EQ(r.fixes[1].height, 4290);
}

TEST(IgcLog, FailureMessages) {
  struct Case {
    std::string text;
    std::string error;
  };
  const Case cases[] = {
      {"", "No A-record found"},
      {"HFDTE160701\r\nnothing else\r\n", "No A-record found"},
      {"AXTVABC\r\nHFDTE160701\r\n", "No positions found"},
      {Log("HFDTE170701\r\n"), "Multiple date lines"},
      {Log("HFDTEDATE:170701,02\r\n"), "Multiple date lines"},
      {Log("HFDTExx\r\n"), "Multiple date lines"},
      {"AXTVABC\r\nHFDTE16070\r\n", "Date error 1 on line 2"},
      {"AXTVABC\r\nHFDTE\r\n", "Date error 1 on line 2"},
      {Log("AXTVDEF\r\n"), "Multiple A-records"},
      {"AXT\r\n", "Too short A-record"},
      {"AXT\rV\r\n", "Too short A-record"},  // a CR ends the line's text
      {"AXTVAB\r\nHFDTE160701\r\n", "No positions found"},  // a short serial is kept
      {"AX-VABC\r\n", "Bad IGC manufacturer found in the A-record"},
      {"AXT VABC\r\n", "Bad IGC manufacturer found in the A-record"},
      {std::string("AXTVABC\r\n") + kFix1, "Missing date line"},
      {Log(std::string(kFix1) + "B1602455107126N00149300WA00288-0429\r\n"), "Pos. error 18 on line 4"},
      {Log("\r\n\r\nB16024\r\n"), "Pos. error 5 on line 5"},
  };
  for (const auto& c : cases) {
    IgcParseResult r = ParseIgcLog(c.text);
    EXPECT_EQ(r.count, 0) << c.text;
    EXPECT_TRUE(r.fixes.empty()) << c.text;
    EXPECT_EQ(r.error, c.error) << c.text;
  }
}

TEST(IgcLog, AcceptsWhatLoggersWrite) {
  struct Case {
    std::string text;
    int count;
  };
  const Case cases[] = {
      {"axtvabc\nHFDTE160701\n" + std::string(kFix1), 1},  // no A record (lower-case "a"): unknown logger
      {"AXtvAb1\nHFDTE160701\nB1602405407121N00249342WA0028000421\n", 1},  // LF only, lower case
      {"AXTVABC\r\nHFDTEDATE:160701,01\r\nHFDTE160701\r\n" + std::string(kFix1), 1},  // date twice
      {Log(std::string(kFix1) + "HFDTE160701\r\n" + kFix2), 2},  // the same date again, later
      {Log("B1602405407121N00249342WA0028000421" + std::string(60, '9') + "\r\n"), 1},  // > 80
  };
  for (const auto& c : cases) {
    IgcParseResult r = ParseIgcLog(c.text);
    EXPECT_EQ(r.count, c.count) << c.text << " -> " << r.error;
  }
}

TEST(IgcLog, LastLineWithoutLineFeedIsRead) {
  std::string text = Log(std::string(kFix1) + "B1602455107126N00149300WA0028800429");
  IgcParseResult r = ParseIgcLog(text);
  ASSERT_EQ(r.count, 2) << r.error;
  EXPECT_EQ(r.fixes[1].time, Time(2001, 7, 16, 16, 2, 45));
  // A faulty last line is reported with its number like any other.
  r = ParseIgcLog(Log(std::string(kFix1) + "B16024551071"));
  EXPECT_EQ(r.error, "Pos. error 9 on line 4");
}

TEST(IgcLog, FlightAcrossMidnightGetsTheNextDay) {
  IgcParseResult r = ParseIgcLog(Log("B2359585407121N00249342WA0028000421\r\n"
                                     "B0000035407121N00249342WA0028000421\r\n"
                                     "B0000015407121N00249342WA0028000421\r\n"    // glitch: 2 s back
                                     "B1300005407121N00249342WA0028000421\r\n"
                                     "B0100005407121N00249342WA0028000421\r\n"));  // 12 h back: same day
  ASSERT_EQ(r.count, 5) << r.error;
  EXPECT_EQ(r.fixes[0].time, Time(2001, 7, 16, 23, 59, 58));
  EXPECT_EQ(r.fixes[1].time, Time(2001, 7, 17, 0, 0, 3));
  EXPECT_EQ(r.fixes[2].time, Time(2001, 7, 17, 0, 0, 1));
  EXPECT_EQ(r.fixes[3].time, Time(2001, 7, 17, 13, 0, 0));
  EXPECT_EQ(r.fixes[4].time, Time(2001, 7, 17, 1, 0, 0));
}

TEST(IgcLog, FixBlockStartsAt800AndDoubles) {
  std::string body;
  for (int i = 0; i < 801; ++i) body += kFix1;
  IgcParseResult r = ParseIgcLog(Log(body));
  ASSERT_EQ(r.count, 801);
  EXPECT_EQ(r.fixes.capacity(), 1600u);
}

// ---- real files ----------------------------------------------------------------------------

struct RealFile {
  const char* path;
  int fixes;
  uint32_t first;
  uint32_t last;
  double latitude;  // of the first fix, degrees
  double longitude;
};

TEST(IgcLog, RealFlightsReadAsTheManifestSays) {
  const RealFile files[] = {
      {"igc/gpsb_92HV66G1.igc", 2470, Time(2019, 2, 17, 17, 32, 57), Time(2019, 2, 17, 19, 34, 25), 28.41, -81.84},
      {"igc/hack_885B0912.IGC", 2001, Time(2018, 8, 5, 12, 12, 25), Time(2018, 8, 5, 13, 25, 29), 52.56, -3.47},
      {"igc/igl_no_time_increment.igc", 200, Time(2003, 2, 1, 10, 16, 48), Time(2003, 2, 1, 10, 24, 3), 53.77, 20.42},
      {"igc/igp_2016-11-08-xcs-aaa-02.igc", 6752, Time(2016, 11, 8, 22, 43, 17), Time(2016, 11, 9, 4, 43, 1), -44.49, 169.99},
      {"igc/igp_20211015.igc", 4886, Time(2021, 4, 17, 8, 39, 20), Time(2021, 4, 17, 10, 0, 45), 46.38, 8.03},
      {"igc/igp_lad_lod_extensions.igc", 424, Time(2023, 2, 20, 16, 46, 59), Time(2023, 2, 20, 16, 54, 18), 44.97, 5.83},
      {"igc/xcs_discontinuity.igc", 4708, Time(2019, 3, 20, 13, 12, 26), Time(2019, 3, 20, 15, 41, 48), 44.46, 1.37},
      {"igc/xcs_marcourt.igc", 221, Time(2021, 3, 6, 10, 34, 11), Time(2021, 3, 6, 10, 37, 51), 50.22, 5.52},
      {"igc/xcs_tri.igc", 4514, Time(2019, 6, 15, 11, 57, 27), Time(2019, 6, 15, 13, 12, 43), 45.31, 5.89},
      {"formats/igc2.igc", 9, Time(2001, 7, 16, 16, 2, 40), Time(2001, 7, 16, 16, 2, 52), 54.1187, -2.8224},
      {"formats/xctrack-2022-04-07.igc", 294, Time(2022, 4, 7, 11, 34, 50), Time(2022, 4, 7, 11, 39, 43), 45.6394, 12.9449},
  };
  for (const auto& f : files) {
    IgcParseResult r = ParseIgcLog(ReadData(f.path));
    ASSERT_EQ(r.count, f.fixes) << f.path << ": " << r.error;
    EXPECT_EQ(r.fixes.front().time, f.first) << f.path;
    EXPECT_EQ(r.fixes.back().time, f.last) << f.path;
    EXPECT_NEAR(Degrees(r.fixes.front().latitude), f.latitude, 0.006) << f.path;
    EXPECT_NEAR(Degrees(r.fixes.front().longitude), f.longitude, 0.006) << f.path;
    for (size_t i = 1; i < r.fixes.size(); ++i) {
      ASSERT_GE(r.fixes[i].time + 60, r.fixes[i - 1].time) << f.path << " fix " << i;
    }
  }
}

// Syride loggers write the A record as the manufacturer code alone; the flight must still read.
TEST(IgcLog, SyrideFlightWithoutLoggerSerial) {
  std::string text = ReadData("igc/xcs_tri.igc");
  ASSERT_EQ(text.compare(0, 6, "AXSR\r\n"), 0);
  IgcParseResult r = ParseIgcLog(text);
  ASSERT_EQ(r.count, 4514) << r.error;
  EXPECT_STREQ(r.manufacturer, "XSR");
  EXPECT_STREQ(r.serial, "");
  EXPECT_EQ(r.fixes.front().time, Time(2019, 6, 15, 11, 57, 27));
  EXPECT_EQ(r.fixes.back().time, Time(2019, 6, 15, 13, 12, 43));
  EXPECT_NEAR(Degrees(r.fixes.front().latitude), 45.31, 0.006);
  EXPECT_NEAR(Degrees(r.fixes.front().longitude), 5.89, 0.006);
  EXPECT_EQ(ParseIgcLog(std::string("AXS\r\n") + text.substr(6)).error, "Too short A-record");
}

// Loggers without IGC approval write free text after the manufacturer code, and some write no
// A record at all: the serial is the letters and digits (up to three) after the code, the rest
// of the line is ignored; without an A record the fixes read with an unknown logger.
TEST(IgcLog, ARecordsOfLoggersWithoutApproval) {
  const std::string body = std::string("HFDTE160701\r\n") + kFix1 + kFix2;
  struct Case {
    std::string aLine;
    const char* manufacturer;
    const char* serial;
  };
  const Case cases[] = {
      {"AXLL LiveTrack24\r\n", "XLL", ""},
      {"AXGD Flymaster F1, V1.5, S/N 236\r\n", "XGD", ""},
      {"AXSR.\r\n", "XSR", ""},
      {"AXTVA C\r\n", "XTV", "A"},
      {"AXCT7f3c2e19aa0b\r\n", "XCT", "7f3"},
      {"AFLA0M9 FLARM\r\n", "FLA", "0M9"},
      {"", kIgcUnknownManufacturer, ""},
  };
  for (const Case& c : cases) {
    IgcParseResult r = ParseIgcLog(c.aLine + body);
    ASSERT_EQ(r.count, 2) << c.aLine << r.error;
    EXPECT_STREQ(r.manufacturer, c.manufacturer) << c.aLine;
    EXPECT_STREQ(r.serial, c.serial) << c.aLine;
    EXPECT_EQ(r.fixes[1].time, Time(2001, 7, 16, 16, 2, 45)) << c.aLine;
  }
  EXPECT_STREQ(kIgcUnknownManufacturer, "XXX");
  // The rules for present records stay: a second A record, or fixes before the date.
  EXPECT_EQ(ParseIgcLog("AXLL LiveTrack24\r\n" + body + "AXLL again\r\n").error, "Multiple A-records");
  EXPECT_EQ(ParseIgcLog(std::string(kFix1) + body).error, "Missing date line");
}

// A raw save of a log without an A record names the unknown logger.
TEST(IgcRead, LogWithoutARecordKeepsItsRawBytesUnderAnUnknownLogger) {
  IgcBuffer buffer;
  testing::RecordingUi ui;
  const std::string text = std::string("HFDTE160701\r\n") + kFix1 + kFix2;
  EXPECT_EQ(ReadIgcFileBuffer(ui, text, buffer).result, 2);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(buffer.bytes, text);
  EXPECT_STREQ(buffer.manufacturer, "XXX");
  EXPECT_EQ(MakeRawIgcFileName(buffer, 1, false), "2001-07-16-XXX--01.igc");
}

// ---- readers -------------------------------------------------------------------------------

TEST(IgcRead, FileBufferReaderKeepsTheRawLogOnSuccessOnly) {
  IgcBuffer buffer;
  buffer.bytes = "old";
  testing::RecordingUi ui;
  TrackParseResult bad = ReadIgcFileBuffer(ui, "AXTVABC\r\n", buffer);
  EXPECT_EQ(bad.result, 0);
  ui.ExpectOnly("Reading IGC log file", "No positions found");
  EXPECT_EQ(buffer.bytes, "old");

  const std::string text = Log(std::string(kFix1) + kFix2);
  TrackParseResult good = ReadIgcFileBuffer(ui, text, buffer);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(good.result, 2);
  EXPECT_EQ(good.fixes.size(), 2u);
  EXPECT_EQ(good.signatureFlag, 0);
  EXPECT_EQ(good.extra, 0);
  EXPECT_EQ(buffer.bytes, text);
  EXPECT_EQ(buffer.Length(), text.size());
  EXPECT_EQ(buffer.firstFixTime, Time(2001, 7, 16, 16, 2, 40));
  EXPECT_STREQ(buffer.manufacturer, "XTV");
  EXPECT_STREQ(buffer.serial, "abc");
}

class IgcFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tarnvik_igc_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }
  std::filesystem::path dir_;
};

TEST_F(IgcFiles, CommandLineReader) {
  Write("flight.igc", Log(kFix1));
  Write("empty.igc", "");
  Write("broken.igc", "AXTVABC\r\n");
  testing::RecordingUi ui;
  EXPECT_EQ(ReadIgcFile(ui, Path("flight")).result, 1);
  EXPECT_TRUE(ui.shown.empty());

  EXPECT_EQ(ReadIgcFile(ui, Path("empty")).result, 0);
  ui.ExpectOnly("Reading IGC log file", "File is empty");
  EXPECT_EQ(ReadIgcFile(ui, Path("broken")).result, 0);
  ui.ExpectOnly("Reading IGC log file", "No positions found");
  EXPECT_EQ(ReadIgcFile(ui, Path("missing")).result, 0);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Error opening file");
  EXPECT_EQ(ui.shown[0].icon, core::Icon::Information);
  ui.shown.clear();
  EXPECT_EQ(ReadIgcFile(ui, std::string(257, 'x')).result, 0);
  ui.ExpectOnly("Reading IGC log file", "File name too long");
}

// A file larger than memory can hold is refused by its 64-bit size before anything is read.
TEST_F(IgcFiles, HugeFilesAreRefusedNotWrapped) {
  std::ofstream(Path("huge.igc")).close();
  std::filesystem::resize_file(Path("huge.igc"), (uint64_t{1} << 32) + 10);  // sparse
  testing::RecordingUi ui;
  EXPECT_EQ(ReadIgcFile(ui, Path("huge")).result, 0);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Memory allocation error");
  ui.shown.clear();

  std::string folder = dir_.string();
  ui.files.push_back(Path("huge.igc"));
  EXPECT_EQ(VerifyIgcFile(ui, folder), std::nullopt);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "File buffer memory allocation");
}

TEST_F(IgcFiles, VerifyCommandChoosesReadsAndReports) {
  Write("unsigned.igc", Log(kFix1));
  Write("empty.igc", "");
  std::string folder = dir_.string();
  testing::RecordingUi ui;
  EXPECT_EQ(VerifyIgcFile(ui, folder), std::nullopt);  // cancelled: nothing shown
  EXPECT_TRUE(ui.shown.empty());
  ASSERT_EQ(ui.fileRequests.size(), 1u);
  EXPECT_EQ(ui.fileRequests[0].title, "Read track log");
  ASSERT_EQ(ui.fileRequests[0].filters.size(), 1u);
  EXPECT_EQ(ui.fileRequests[0].filters[0].description, "IGC track log files");
  EXPECT_EQ(ui.fileRequests[0].folder, dir_.string());

  ui.files = {Path("unsigned.igc"), Path("empty.igc"), Path("missing.igc")};
  EXPECT_EQ(VerifyIgcFile(ui, folder), IgcCheck::NoSecurityRecord);
  ui.ExpectOnly("Security check", "No security record");
  EXPECT_EQ(VerifyIgcFile(ui, folder), std::nullopt);
  ui.ExpectOnly("Reading track log file", "File is empty");
  EXPECT_EQ(VerifyIgcFile(ui, folder), std::nullopt);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Error opening track log file");
}

// Other loggers' G records are not ours: their files fail, without reading out of bounds.
TEST(IgcVerifyReal, ForeignSignaturesFail) {
  for (const char* name : {"igc/xcs_tri.igc", "igc/igp_20211015.igc", "formats/igc2.igc"}) {
    EXPECT_EQ(VerifyIgcBytes(ReadData(name)).outcome, IgcCheck::Failed) << name;
  }
  // An A record, one H record and fixes: no G record at all.
  EXPECT_EQ(VerifyIgcBytes(ReadData("igc/igl_no_time_increment.igc")).outcome, IgcCheck::NoSecurityRecord);
}

}  // namespace
}  // namespace tarnvik::formats
