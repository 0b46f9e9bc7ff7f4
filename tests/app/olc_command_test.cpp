// Runs "tarnvik --olc" as a script would: its six lines on the output stream, its exit status,
// and its failures as "caption: text" on the error stream with nothing on the output.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "analysis/olc_search.h"
#include "analysis/olc_text.h"
#include "core/file_io.h"
#include "formats/igc.h"
#include "formats/igc_writer.h"

namespace tarnvik {
namespace {

namespace fs = std::filesystem;

const std::string kBinary = TARNVIK_BINARY_DIR "/app/tarnvik";
const std::string kIgcData = TARNVIK_TEST_DATA "/igc/";

struct OlcRun {
  int status = -1;
  std::string out, err;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class OlcCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kBinary)) << kBinary << " is not built";
    dir_ = fs::temp_directory_path() / ("tarnvik_olc_cli_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  OlcRun Olc(const std::string& file) {
    const std::string command = "'" + kBinary + "' --olc '" + file + "' >'" + (dir_ / "out").string() + "' 2>'" +
                                (dir_ / "err").string() + "'";
    int raw = std::system(command.c_str());
    return OlcRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(dir_ / "out"), ReadText(dir_ / "err")};
  }

  // An IGC file of these fixes, written by our own writer.
  std::string WriteFlight(const std::string& name, const std::vector<core::TrackPoint>& fixes) {
    formats::IgcHeader header;
    header.serial = "000";
    std::string text = formats::FormatIgcLog(fixes, 0, header, core::TimeToCalendar(fixes.front().time),
                                             formats::IgcGRecord::None);
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  fs::path dir_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST_F(OlcCommand, EveryRealFlightGivesSixLines) {
  const std::regex forms[] = {
      std::regex(R"(Max\. distance: \d+\.\d\d km)"),
      std::regex(R"(Free distance: \d+\.\d\d km, \d+\.\d\d points)"),
      std::regex(R"(Out-and-return: (\d+\.\d\d km|none))"),
      std::regex(R"(Free triangle: (\d+\.\d\d km \(perimeter \d+\.\d\d km, gap \d+\.\d\d km\), \d+\.\d\d points|none))"),
      std::regex(R"(FAI triangle: (\d+\.\d\d km \(perimeter \d+\.\d\d km, gap \d+\.\d\d km\), \d+\.\d\d points|none))"),
      std::regex(R"(Best result is (free distance|free triangle|FAI triangle) with \d+\.\d\d points)"),
  };
  for (const auto& entry : fs::directory_iterator(kIgcData)) {
    std::string ext = entry.path().extension().string();
    if (ext != ".igc" && ext != ".IGC") continue;
    SCOPED_TRACE(entry.path().filename().string());
    OlcRun run = Olc(entry.path().string());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 6u) << run.out;
    for (size_t k = 0; k < 6; ++k) EXPECT_TRUE(std::regex_match(lines[k], forms[k])) << lines[k];

    // The same figures as the search on the same parse.
    core::FileBytes file = core::ReadWholeFile(entry.path().string());
    formats::IgcParseResult parsed = formats::ParseIgcLog(std::string_view(file.begin(), file.size));
    analysis::OlcResult result;
    ASSERT_EQ(analysis::RunOlcSearch(parsed.fixes, nullptr, nullptr, result), 0);
    std::vector<std::string> expected = analysis::OlcSummaryLines(result);
    EXPECT_EQ(lines, expected);
  }
}

TEST_F(OlcCommand, HandBuiltTriangleAndStraightFlight) {
  // Fixes every ~100 m; an equilateral FAI triangle of ~10 km legs closing within ~250 m.
  auto at = [](double east, double north, uint32_t time) {
    core::TrackPoint p;
    p.time = time;
    p.latitude = core::LatitudeFromDegrees(46 + north / 111195.0).value();
    p.longitude = core::LongitudeFromDegrees(8 + east / 77240.0).value();
    return p;
  };
  const uint32_t start = 1089849600 + 36000;
  const double corners[4][2] = {{0, 0}, {10000, 0}, {5000, 8660}, {0, 250}};
  std::vector<core::TrackPoint> triangle;
  uint32_t time = start;
  for (int k = 0; k < 3; ++k)
    for (int s = 0; s < 100; ++s)
      triangle.push_back(at(corners[k][0] + (corners[k + 1][0] - corners[k][0]) * s / 100.0,
                            corners[k][1] + (corners[k + 1][1] - corners[k][1]) * s / 100.0, time += 4));
  triangle.push_back(at(0, 250, time += 4));
  OlcRun run = Olc(WriteFlight("triangle.igc", triangle));
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[5].rfind("Best result is FAI triangle with ", 0), 0u) << lines[5];
  EXPECT_NE(lines[2], "Out-and-return: none");

  std::vector<core::TrackPoint> straight;
  for (int i = 0; i < 40; ++i) straight.push_back(at(i * 500.0, 0, start + 20 * i));  // fixes 500 m apart
  run = Olc(WriteFlight("straight.igc", straight));
  ASSERT_EQ(run.status, 0) << run.err;
  lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[2], "Out-and-return: none");
  EXPECT_EQ(lines[3], "Free triangle: none");
  EXPECT_EQ(lines[4], "FAI triangle: none");
  EXPECT_EQ(lines[5].rfind("Best result is free distance with ", 0), 0u);
}

TEST_F(OlcCommand, FailuresGoToTheErrorStreamOnly) {
  std::ofstream(dir_ / "notes.igc") << "just some notes\r\nnothing here\r\n";
  const std::string fourFixes = "AXXX000\r\nHFDTE140724\r\n"
                                "B1000004600000N00800000EA0000000000\r\nB1000104600100N00800000EA0000000000\r\n"
                                "B1000204600200N00800000EA0000000000\r\nB1000304600300N00800000EA0000000000\r\n";
  std::ofstream(dir_ / "four.igc", std::ios::binary) << fourFixes;
  struct Case {
    std::string file;
    std::string errStart;
  };
  for (const Case& test : {Case{(dir_ / "missing.igc").string(), "Error opening track log file: "},
                           Case{(dir_ / "notes.igc").string(), "Initialize OLC statistics: "},
                           Case{(dir_ / "four.igc").string(),
                                "Initialize OLC statistics: Number of positions must be 5 or more\n"}}) {
    OlcRun run = Olc(test.file);
    EXPECT_EQ(run.status, 1) << test.file;
    EXPECT_EQ(run.out, "") << test.file;
    EXPECT_EQ(run.err.rfind(test.errStart, 0), 0u) << run.err;
  }
  const std::string command = "'" + kBinary + "' --help";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string help;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) help.append(buffer, got);
  ::pclose(pipe);
  EXPECT_NE(help.find("--olc FILE.igc"), std::string::npos);
}

}  // namespace
}  // namespace tarnvik
