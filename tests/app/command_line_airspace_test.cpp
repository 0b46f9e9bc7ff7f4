// tarnvik --airspace FILE [OUT] through RunProgram: the count on the output stream, every
// warning and error as a message, the zones written back and the exit status.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/command_line_program.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status = 0;
  std::string out;
  std::vector<std::string> messages;  // "caption: text"
};

Result Airspace(const std::vector<std::string>& arguments) {
  std::vector<const char*> argv = {"tarnvik", "--airspace"};
  for (const std::string& a : arguments) argv.push_back(a.c_str());
  std::ostringstream out;
  testing::RecordingUi ui;
  Result r;
  r.status = RunProgram(static_cast<int>(argv.size()), argv.data(), out, ui);
  r.out = out.str();
  for (const auto& m : ui.shown) r.messages.push_back(m.caption + ": " + m.text);
  return r;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class AirspaceCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tarnvik-airspace-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
  const std::string data_ = std::string(TARNVIK_TEST_DATA) + "/openair/";
};

TEST_F(AirspaceCommand, ReadsCountsWarnsAndWritesZonesThatReadBackTheSame) {
  const std::string out = (dir_ / "out.txt").string();
  Result first = Airspace({data_ + "xcsoar-openair.txt", out});
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.out, data_ + "xcsoar-openair.txt: 25 zones\n");
  EXPECT_EQ(first.messages, std::vector<std::string>{"CTR error notification: CTR at line 30:  DA record (not implemented)"});
  const std::string again = (dir_ / "again.txt").string();
  Result second = Airspace({out, again});
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(second.out, out + ": 25 zones\n");
  EXPECT_TRUE(second.messages.empty());
  EXPECT_EQ(ReadText(again), ReadText(out));

  struct Case {
    const char* file;
    int zones;
    size_t warnings;
  } cases[] = {{"aerofiles-sample.txt", 15, 9}, {"openaip-airway.txt", 0, 1}, {"MW-ASP-National-XCSoar.txt", 17, 0}};
  for (const Case& c : cases) {
    Result r = Airspace({data_ + c.file});
    EXPECT_EQ(r.status, 0) << c.file;
    EXPECT_EQ(r.out, data_ + c.file + ": " + std::to_string(c.zones) + " zones\n");
    EXPECT_EQ(r.messages.size(), c.warnings) << c.file;
  }
}

TEST_F(AirspaceCommand, RefusalsExitWithOne) {
  Result none = Airspace({data_ + "openaip-airway.txt", (dir_ / "none.txt").string()});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.messages.back(), "Write CTR: No CTR(s) selected");
  EXPECT_FALSE(fs::exists(dir_ / "none.txt"));

  std::ofstream(dir_ / "lower.txt") << "AN Zone\nDP 1:00 N 1:00 E\nan Next\n";
  Result lower = Airspace({(dir_ / "lower.txt").string()});
  EXPECT_EQ(lower.status, 1);
  EXPECT_EQ(lower.messages, std::vector<std::string>{"Parsing CTR buffer: Unknown record type on line 3"});
  EXPECT_EQ(lower.out, "");

  std::ofstream(dir_ / "empty.txt") << "";
  EXPECT_EQ(Airspace({(dir_ / "empty.txt").string()}).messages, std::vector<std::string>{"Reading CTR file: File is empty"});
  EXPECT_EQ(Airspace({(dir_ / "missing.txt").string()}).status, 1);
  EXPECT_EQ(Airspace({}).status, 1);
  // OUT in a folder that does not exist: not written, exit 1.
  Result unwritable = Airspace({data_ + "MW-ASP-National-XCSoar.txt", (dir_ / "no" / "out.txt").string()});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_EQ(unwritable.messages.size(), 1u);
}

TEST(AirspaceCommandHelp, IsListed) { EXPECT_NE(UsageText().find("--airspace FILE [OUT]"), std::string::npos); }

}  // namespace
}  // namespace tarnvik::app
