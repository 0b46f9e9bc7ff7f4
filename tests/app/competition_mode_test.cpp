// Competition mode over the session and the real access engine: the toggle and its forms, the
// confirmation of a download on the main thread, the save after it, and the ID waypoints of an
// upload. The instrument is a routine registered in the engine's table that reads the IDs and
// asks for the confirmation as the instrument families do.
#include "app/competition_mode.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "app/commands.h"
#include "app/session.h"
#include "app/transfer.h"
#include "core/competition_id.h"
#include "core/file_io.h"
#include "core/settings.h"
#include "formats/kml_reader.h"
#include "tests/analysis/track_builder.h"
#include "tests/fakes/deadline.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

namespace fs = std::filesystem;

class IdleTransport : public access::Transport {
 public:
  int SetSpeed(int, bool) override { return 0; }
  int Read(uint8_t*, size_t, int maxWaitMs) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(maxWaitMs, 5)));
    return closed_ ? -1 : 0;
  }
  int Write(const uint8_t*, size_t count) override { return static_cast<int>(count); }
  void Purge() override {}
  void Close() override { closed_ = true; }

 private:
  std::atomic<bool> closed_{false};
};

const core::SystemTime kNow = {2024, 7, 0, 14, 16, 30, 0, 0};

class CompetitionModeTest : public ::testing::Test {
 protected:
  CompetitionModeTest() {
    dir_ = fs::temp_directory_path() /
           ("tarnvik_compmode_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "logs");
    access::AccessEnvironment env;
    env.ui = &ui;
    env.clock = &clock;
    env.routines = &routines;
    env.openSerial = [](const std::string&, std::string&, std::string&) {
      return std::unique_ptr<access::Transport>(std::make_unique<IdleTransport>());
    };
    gate = MakeEngineGate(env);
    session = std::make_unique<Session>(ui, clock, *gate, "/home/pilot");
    session->Initialise(nullptr);
    session->settings.SetText(core::SettingId::CompDir, (dir_ / "logs").string());
    auto state = std::make_shared<CompetitionState>();
    state->dialogs.competitionTime = [this](CompTimeForm& form) {
      shownDate = form.date;
      form.date = "2024-07-14";
      form.clock = timeTyped;
      return form.Check(ui);
    };
    state->dialogs.pilotIds = [this](PilotIdsForm& form) {
      ++idDialogs;
      shownIds = form.competitionText + "/" + form.civlText;
      onMainThread = onMainThread && std::this_thread::get_id() == mainThread;
      if (!confirm) return false;
      if (typedIds) {
        form.competitionText = typedIds->first;
        form.civlText = typedIds->second;
      }
      return form.Check(ui);
    };
    state->dialogs.savePilot = [this](SavePilotForm& form) {
      form.Choose(0);
      return form.Check(ui);
    };
    InstallCompetitionMode(*session, state);
    this->state = state.get();
    routines.Register(access::kAccessDownloadTrackLog, access::kProtocolGarminSerial, [this](access::AccessJob& job) {
      if (job.competition) {
        job.competitionId = 1234567;
        job.civlId = 42;
        if (!job.operation().ConfirmCompetition(job.competitionId, job.civlId)) return -1;
      }
      ++tracksRead;
      job.data.points = testing::StraightTrack(120, 9, testing::kMorning);
      job.count = static_cast<int>(job.data.points.size());
      job.origin = 1;
      return 0;
    });
    routines.Register(access::kAccessUploadWaypoints, access::kProtocolGarminSerial, [this](access::AccessJob& job) {
      std::lock_guard lock(sentMutex);
      sent = job.data.waypoints;
      return 0;
    });
  }
  ~CompetitionModeTest() override {
    session->Close();
    fs::remove_all(dir_);
  }

  void WritePilotList() {
    std::ofstream(dir_ / "pilots.xml", std::ios::binary)
        << "<?xml version=\"1.0\"?>\n<Fs><FsParticipants>\n"
           "<FsParticipant name=\"Anna Alp\" id=\"1234567\"><FsCivlPilot id=\"42\"/></FsParticipant>\n"
           "<FsParticipant name=\"Bea Berg\" id=\"7\"/>\n"
           "</FsParticipants></Fs>\n";
  }

  void ModeOnWithList() {
    WritePilotList();
    ui.files = {(dir_ / "pilots.xml").string()};
    ASSERT_EQ(DispatchCommand(*session, 40122), CommandOutcome::Done);
    ASSERT_TRUE(session->competitionMode);
    ASSERT_EQ(state->list.entries.size(), 2u);
  }

  bool Drain() {
    return testing::WaitUntil([&] {
      session->queue().Drain();
      return !session->busy;
    });
  }

  std::vector<fs::path> Logs() {
    std::vector<fs::path> out;
    for (const auto& entry : fs::directory_iterator(dir_ / "logs")) out.push_back(entry.path());
    return out;
  }

  fs::path dir_;
  testing::RecordingUi ui;
  testing::FakeClock clock{kNow};
  access::AccessRoutineTable routines;
  std::unique_ptr<TransferGate> gate;
  std::unique_ptr<Session> session;
  CompetitionState* state = nullptr;
  std::string timeTyped = "10:00:30";
  std::string shownDate;
  std::string shownIds;
  std::optional<std::pair<std::string, std::string>> typedIds;
  bool confirm = true;
  int idDialogs = 0;
  std::thread::id mainThread = std::this_thread::get_id();
  bool onMainThread = true;
  std::atomic<int> tracksRead{0};
  std::mutex sentMutex;
  std::vector<core::Waypoint> sent;
};

TEST_F(CompetitionModeTest, TheToggleSetsTimeListAndTitle) {
  EXPECT_EQ(session->TitleText().find("Competition mode"), std::string::npos);
  ModeOnWithList();
  EXPECT_EQ(shownDate, "1989-12-31");  // the stored time 0, shown in UTC
  EXPECT_EQ(static_cast<uint32_t>(session->settings.Number(core::SettingId::CompTime)), testing::kMorning + 30);
  EXPECT_NE(session->TitleText().find(", Competition mode"), std::string::npos);
  EXPECT_TRUE(ui.shown.empty());
  // A bad time is refused with its message and the stored time stays.
  ASSERT_EQ(DispatchCommand(*session, 40121), CommandOutcome::Done);  // off
  EXPECT_FALSE(session->competitionMode);
  EXPECT_EQ(session->TitleText().find("Competition mode"), std::string::npos);
  timeTyped = "25:00:00";
  ASSERT_EQ(DispatchCommand(*session, 40121), CommandOutcome::Done);
  ui.ExpectOnly("Read comp. time", "Bad time");
  EXPECT_EQ(static_cast<uint32_t>(session->settings.Number(core::SettingId::CompTime)), testing::kMorning + 30);
}

TEST_F(CompetitionModeTest, WithoutItsDialogsTheModeIsNotAvailable) {
  session->competition->dialogs.competitionTime = nullptr;
  EXPECT_EQ(DispatchCommand(*session, 40121), CommandOutcome::NotAvailable);
  EXPECT_FALSE(session->competitionMode);
}

TEST_F(CompetitionModeTest, AConfirmedDownloadIsSavedSignedForThePilotOfTheList) {
  ModeOnWithList();
  ASSERT_EQ(DispatchCommand(*session, 40029), CommandOutcome::Done);
  ASSERT_TRUE(Drain());
  EXPECT_EQ(shownIds, "1234567/42");
  EXPECT_TRUE(onMainThread);
  const std::vector<fs::path> logs = Logs();
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].filename().string(), "Anna Alp.1234567.42.20240714 163000.kml");
  // Only the notice: no question before the automatic save.
  ui.ExpectOnly("Save log for competition", logs[0].string() + "\r\nFile saved, signature OK");
  EXPECT_TRUE(session->track.saved);
  EXPECT_EQ(session->productLine, logs[0].string());
  EXPECT_EQ(session->statusLine, "90 positions written");

  const core::FileBytes file = core::ReadWholeFile(logs[0].string());
  const std::string text(file.begin(), file.size);
  EXPECT_NE(text.find("1234567"), std::string::npos);
  const formats::TrackParseResult back = formats::ReadKmlLog(ui, text);
  ASSERT_EQ(back.result, 90);
  EXPECT_EQ(back.signatureFlag, formats::kKmlSignatureValid);
  EXPECT_GE(back.fixes.front().time, testing::kMorning + 30);
}

TEST_F(CompetitionModeTest, OtherConfirmedIdsNeverSaveUnderThePreviousPilotsName) {
  ModeOnWithList();
  state->pilot = {"Anna Alp", 1234567, 42};
  typedIds = std::make_pair(std::string("7"), std::string(""));
  ASSERT_EQ(DispatchCommand(*session, 40029), CommandOutcome::Done);
  ASSERT_TRUE(Drain());
  const std::vector<fs::path> logs = Logs();
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].filename().string(), "Bea Berg.7.[CIVLID].20240714 163000.kml");
}

TEST_F(CompetitionModeTest, CancelAtTheConfirmationReadsNoTrackAndWritesNoFile) {
  ModeOnWithList();
  confirm = false;
  ASSERT_EQ(DispatchCommand(*session, 40029), CommandOutcome::Done);
  ASSERT_TRUE(Drain());
  EXPECT_EQ(idDialogs, 1);
  EXPECT_EQ(tracksRead.load(), 0);
  EXPECT_FALSE(session->track.present);
  EXPECT_TRUE(Logs().empty());
}

TEST_F(CompetitionModeTest, SaveLogAsksForThePilotAndSavesTheSelection) {
  ModeOnWithList();
  session->ReplaceTrackLog(testing::StraightTrack(60, 9, testing::kMorning + 100), 9, 1);
  session->SelectAll();
  ASSERT_EQ(DispatchCommand(*session, 40115), CommandOutcome::Done);
  const std::vector<fs::path> logs = Logs();
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].filename().string(), "Anna Alp.1234567.42.20240714 163000.kml");
  ui.ExpectOnly("Save log for competition", logs[0].string() + "\r\nFile saved, NO signature");
  EXPECT_EQ(state->pilot.name, "Anna Alp");
}

TEST_F(CompetitionModeTest, AnUploadCarriesTheIdsAsWaypointsAndCancelSendsNothing) {
  ModeOnWithList();
  core::Waypoint waypoint;
  std::strcpy(waypoint.id, "START");
  session->waypoints.waypoints = {waypoint};
  session->waypoints.shownCount = 1;
  session->ChangeView(ViewMode::Waypoints, true);
  session->SetSelection({0});
  typedIds = std::make_pair(std::string(""), std::string("42"));
  ASSERT_EQ(DispatchCommand(*session, 40021), CommandOutcome::Done);
  ASSERT_TRUE(Drain());
  {
    std::lock_guard lock(sentMutex);
    ASSERT_EQ(sent.size(), 2u);  // the unset competition ID is not sent
    EXPECT_STREQ(sent[1].id, "CIVLID");
    EXPECT_EQ(core::DecodeIdPosition(sent[1].latitude, sent[1].longitude), 42);
    sent.clear();
  }
  typedIds = std::make_pair(std::string("1234567"), std::string("42"));
  ASSERT_EQ(DispatchCommand(*session, 40021), CommandOutcome::Done);
  ASSERT_TRUE(Drain());
  {
    std::lock_guard lock(sentMutex);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_STREQ(sent[1].id, "COMPID");
    EXPECT_EQ(core::DecodeIdPosition(sent[1].latitude, sent[1].longitude), 1234567);
    EXPECT_EQ(core::DecodeIdPosition(sent[2].latitude, sent[2].longitude), 42);
    sent.clear();
  }
  confirm = false;
  ASSERT_EQ(DispatchCommand(*session, 40021), CommandOutcome::Done);
  EXPECT_FALSE(session->busy);
  std::lock_guard lock(sentMutex);
  EXPECT_TRUE(sent.empty());
}

}  // namespace
}  // namespace tarnvik::app
