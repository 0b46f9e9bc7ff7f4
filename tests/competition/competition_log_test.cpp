#include "competition/competition_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/analysis/track_builder.h"
#include "core/file_io.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"
#include "formats/kml_reader.h"

namespace tarnvik::competition {
namespace {

using testing::FakeClock;
using testing::RecordingUi;

const core::SystemTime kNow = {2024, 7, 0, 14, 15, 4, 5, 0};

TEST(CompetitionLogName, BuildsTheNameFromPilotIdsAndTime) {
  struct Case {
    CompetitionPilot pilot;
    const char* name;
  };
  const Case cases[] = {
      {{"Anna Alp", 1234567, 42}, "Anna Alp.1234567.42.20240714 150405.kml"},
      {{"", -1, -1}, "[pilot name].[COMPID].[CIVLID].20240714 150405.kml"},
      {{"a/b\\c:d*e?f\"g<h>i|j\tk", 99999999, -1}, "a_b_c_d_e_f_g_h_i_j_k.99999999.[CIVLID].20240714 150405.kml"},
      {{"Ünal Øre", -1, 7}, "Ünal Øre.[COMPID].7.20240714 150405.kml"},
  };
  for (const Case& c : cases) {
    const std::string path = CompetitionLogPath("/logs", c.pilot, kNow);
    EXPECT_EQ(path, std::string("/logs/") + c.name);
  }
  EXPECT_EQ(CompetitionLogPath("/logs/", cases[0].pilot, kNow), std::string("/logs/") + cases[0].name);
}

TEST(CompetitionLogWorkingSet, LeavesOutFixesWithoutTimeOrBeforeTheStart) {
  std::vector<core::TrackPoint> fixes = testing::StraightTrack(8, 5, 1000);
  fixes[1].time = 0;
  fixes[2].time = 0x7FFFFFFF;
  fixes[3].time = 0xFFFFFFFF;
  const std::vector<core::TrackPoint> kept = CompetitionWorkingSet(fixes, 1005);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_EQ(kept[0].time, 1005u);
  EXPECT_EQ(kept[2].time, 1007u);
}

class CompetitionSave : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tarnvik_complog_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    request_.folder = dir_.string();
    request_.pilot = {"Anna", 1234567, 42};
    request_.instrumentName = "eTrex Legend";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
  CompetitionLogRequest request_;
  FakeClock clock_{kNow};
};

TEST_F(CompetitionSave, WritesASignedLogFromTheCompetitionTimeOnWithPilotIds) {
  const std::vector<core::TrackPoint> track = testing::StraightTrack(200, 8);
  request_.fixes = track;
  request_.competitionTime = testing::kMorning + 50;
  request_.sourceKind = 1;
  RecordingUi ui;
  CompetitionLogResult result;
  ASSERT_EQ(SaveCompetitionLog(ui, clock_, request_, result), 0);
  EXPECT_EQ(result.path, (dir_ / "Anna.1234567.42.20240714 150405.kml").string());
  EXPECT_EQ(result.written, 150u);
  ui.ExpectOnly(kSaveLogCaption, result.path + "\r\nFile saved, signature OK");

  const core::FileBytes file = core::ReadWholeFile(result.path);
  const std::string text(file.begin(), file.size);
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Document>\r\n<open>1</open>\r\n", 0), 0u);
  EXPECT_NE(text.find(kCompetitionDescription), std::string::npos);
  EXPECT_NE(text.find("1234567"), std::string::npos);
  const formats::TrackParseResult back = formats::ReadKmlLog(ui, text);
  ASSERT_EQ(back.result, 150);
  EXPECT_EQ(back.signatureFlag, formats::kKmlSignatureValid);
  EXPECT_EQ(back.fixes.front().time, request_.competitionTime);

  // Saved again at the same second: replaced without a question.
  ASSERT_EQ(SaveCompetitionLog(ui, clock_, request_, result), 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), std::filesystem::directory_iterator()), 1);
}

TEST_F(CompetitionSave, UnsignedSourcesSayNoSignature) {
  const std::vector<core::TrackPoint> track = testing::StraightTrack(30, 8);
  request_.fixes = track;
  request_.sourceKind = 9;
  RecordingUi ui;
  CompetitionLogResult result;
  ASSERT_EQ(SaveCompetitionLog(ui, clock_, request_, result), 0);
  EXPECT_FALSE(result.signature);
  ui.ExpectOnly(kSaveLogCaption, result.path + "\r\nFile saved, NO signature");
}

TEST_F(CompetitionSave, FailuresWriteNothing) {
  const std::vector<core::TrackPoint> track = testing::StraightTrack(30, 8);
  struct Case {
    const char* what;
    size_t fixes;
    uint32_t competitionTime;
    std::string folder;
    std::string name;
    const char* message;
  };
  const std::string folder = dir_.string();
  const Case cases[] = {
      {"nothing after the start", 30, testing::kMorning + 1000, folder, "Anna", "No positions selected/found"},
      {"too few", 30, testing::kMorning + 21, folder, "Anna", "Too few positions for statistics analysis"},
      {"no folder", 30, 0, (dir_ / "missing").string(), "Anna", "File write error"},
      {"too long", 30, 0, folder, std::string(260, 'x'), "Too long filename"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    request_.fixes = std::span(track).first(c.fixes);
    request_.competitionTime = c.competitionTime;
    request_.folder = c.folder;
    request_.pilot.name = c.name;
    RecordingUi ui;
    CompetitionLogResult result;
    EXPECT_EQ(SaveCompetitionLog(ui, clock_, request_, result), -1);
    ui.ExpectOnly(kSaveLogCaption, c.message);
    EXPECT_TRUE(result.path.empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir_));
  }
}

}  // namespace
}  // namespace tarnvik::competition
