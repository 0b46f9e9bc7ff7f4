// Competition mode end to end: the session over the real access engine and serial code, the
// simulated Garmin unit behind a pseudo-terminal holding a real flight and the pilot's
// COMPID/CIVLID waypoints, the confirmation answered by a scripted front end, and the signed
// log checked as "--verify" checks it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "access/serial_port.h"
#include "app/command_line_program.h"
#include "app/commands.h"
#include "app/competition_mode.h"
#include "app/session.h"
#include "app/transfer.h"
#include "competition/id_waypoints.h"
#include "core/competition_id.h"
#include "core/file_io.h"
#include "core/settings.h"
#include "devices/flytec/flytec_transfers.h"
#include "devices/garmin/garmin_transfers.h"
#include "sim/flytec/flytec_device.h"
#include "formats/kml_reader.h"
#include "sim/garmin/garmin_device.h"
#include "sim/pty_device.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

namespace fs = std::filesystem;

constexpr int kReadGarmin = 40029;
constexpr int kSendGarmin = 40021;

class CompetitionEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tarnvik_compe2e_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "logs");
    std::ifstream igc(std::string(TARNVIK_TEST_DATA) + "/igc/gpsb_92HV66G1.igc", std::ios::binary);
    std::stringstream text;
    text << igc.rdbuf();
    std::string why;
    ASSERT_GT(sim::garmin::LoadIgcIntoDevice(text.str(), device_, why), 0) << why;
    competition::AppendIdWaypoints(device_.waypoints, 1234567, 42);
    pty_ = sim::PtyDevice::Create(device_, "", error_);
    ASSERT_TRUE(pty_) << error_;
    pty_->Start();

    devices::garmin::RegisterGarminSerialRoutines(routines_);
    access::AccessEnvironment env;
    env.ui = &ui_;
    env.routines = &routines_;
    env.openSerial = [path = pty_->hostPath()](const std::string&, std::string& caption, std::string& text) {
      return access::OpenSerialPort(path, caption, text);
    };
    gate_ = MakeEngineGate(env);
    session_ = std::make_unique<Session>(ui_, core::SystemClock(), *gate_, "/home/pilot");
    session_->Initialise(nullptr);

    std::ofstream(dir_ / "pilots.xml", std::ios::binary)
        << "<?xml version=\"1.0\"?>\n<Fs><FsParticipants>\n"
           "<FsParticipant name=\"Charles Petersen\" id=\"1234567\"><FsCivlPilot id=\"42\"/></FsParticipant>\n"
           "</FsParticipants></Fs>\n";
    auto state = std::make_shared<CompetitionState>();
    state->dialogs.competitionTime = [](CompTimeForm& form) {
      form.date = "2019-02-17";
      form.clock = "18:00:00";
      testing::RecordingUi quiet;
      return form.Check(quiet);
    };
    state->dialogs.pilotIds = [this](PilotIdsForm& form) {
      shownIds.push_back(form.competitionText + "/" + form.civlText);
      if (!confirm) return false;
      if (typed) {
        form.competitionText = typed->first;
        form.civlText = typed->second;
      }
      return form.Check(ui_);
    };
    state->dialogs.savePilot = [](SavePilotForm&) { return false; };
    InstallCompetitionMode(*session_, state);
    state_ = state.get();
    session_->settings.SetText(core::SettingId::CompDir, (dir_ / "logs").string());
    ui_.files = {(dir_ / "pilots.xml").string()};
    ASSERT_EQ(DispatchCommand(*session_, 40122), CommandOutcome::Done);
    ASSERT_TRUE(session_->competitionMode);
    ASSERT_EQ(state_->list.entries.size(), 1u);
    ui_.shown.clear();
  }
  void TearDown() override {
    if (session_) session_->Close();
    fs::remove_all(dir_);
  }

  void Run(int command) {
    ASSERT_EQ(DispatchCommand(*session_, command), CommandOutcome::Done);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (session_->busy && std::chrono::steady_clock::now() < deadline) {
      session_->queue().Drain();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    session_->queue().Drain();
    ASSERT_FALSE(session_->busy);
  }

  std::vector<fs::path> Logs() {
    std::vector<fs::path> out;
    for (const auto& entry : fs::directory_iterator(dir_ / "logs")) out.push_back(entry.path());
    return out;
  }

  fs::path dir_;
  sim::garmin::GarminDevice device_;
  std::unique_ptr<sim::PtyDevice> pty_;
  std::string error_;
  testing::RecordingUi ui_;
  access::AccessRoutineTable routines_;
  std::unique_ptr<TransferGate> gate_;
  std::unique_ptr<Session> session_;
  CompetitionState* state_ = nullptr;
  std::vector<std::string> shownIds;
  bool confirm = true;
  std::optional<std::pair<std::string, std::string>> typed;
};

TEST_F(CompetitionEndToEnd, AConfirmedGarminDownloadIsSavedSignedUnderThePilotsNameAndIds) {
  Run(kReadGarmin);
  ASSERT_EQ(shownIds, std::vector<std::string>{"1234567/42"});
  const std::vector<fs::path> logs = Logs();
  ASSERT_EQ(logs.size(), 1u) << ::testing::PrintToString(ui_.Texts());
  const std::string name = logs[0].filename().string();
  EXPECT_EQ(name.rfind("Charles Petersen.1234567.42.", 0), 0u) << name;
  ASSERT_EQ(ui_.shown.size(), 1u) << ::testing::PrintToString(ui_.Texts());
  EXPECT_EQ(ui_.shown[0].text, logs[0].string() + "\r\nFile saved, signature OK");
  EXPECT_TRUE(session_->track.saved);

  const core::FileBytes file = core::ReadWholeFile(logs[0].string());
  const std::string text(file.begin(), file.size);
  const formats::TrackParseResult back = formats::ReadKmlLog(ui_, text);
  ASSERT_GT(back.result, 10);
  core::SystemTime start{2019, 2, 0, 17, 18, 0, 0, 0};
  const uint32_t competitionTime = core::CalendarToTime(start).value();
  EXPECT_GE(back.fixes.front().time, competitionTime);
  EXPECT_LT(static_cast<size_t>(back.result), session_->track.log.points.size());
  std::ostringstream verified;
  EXPECT_EQ(VerifyFiles({logs[0].string()}, verified), 0) << verified.str();
  EXPECT_NE(verified.str().find("Signature OK"), std::string::npos) << verified.str();
}

TEST_F(CompetitionEndToEnd, CancelAtTheConfirmationReadsNoTrackAndWritesNothing) {
  confirm = false;
  Run(kReadGarmin);
  EXPECT_EQ(shownIds.size(), 1u);
  EXPECT_FALSE(session_->track.present);
  EXPECT_TRUE(Logs().empty());
}

TEST_F(CompetitionEndToEnd, AnUploadSendsTheConfirmedIdsAsWaypoints) {
  core::Waypoint start;
  std::strcpy(start.id, "START");
  session_->waypoints.waypoints = {start};
  session_->waypoints.shownCount = 1;
  session_->ChangeView(ViewMode::Waypoints, true);
  session_->SetSelection({0});
  typed = std::make_pair(std::string("17999999"), std::string(""));
  Run(kSendGarmin);
  const std::vector<core::Waypoint>& sent = device_.uploads().waypoints;
  ASSERT_EQ(sent.size(), 2u) << ::testing::PrintToString(ui_.Texts());
  EXPECT_STREQ(sent[0].id, "START");
  EXPECT_STREQ(sent[1].id, "COMPID");
  EXPECT_EQ(core::DecodeIdPosition(sent[1].latitude, sent[1].longitude), 17999999);
}

// The Flytec/Brauniger unit: its log is source kind 9 (not signed by the instrument), and its
// waypoints are keyed by name, so a second ID upload replaces the first pair.
TEST(CompetitionFlytecEndToEnd, TheLogIsSavedWithoutSignatureAndIdsReplaceThePairStored) {
  const fs::path dir = fs::temp_directory_path() / "tarnvik_compe2e_flytec";
  fs::remove_all(dir);
  fs::create_directories(dir);
  sim::flytec::FlytecDeviceConfig config;
  config.competitionId = 1234567;
  config.civlId = 42;
  sim::flytec::FlytecDevice device(config);
  std::ifstream igc(std::string(TARNVIK_TEST_DATA) + "/igc/xcs_marcourt.igc", std::ios::binary);
  std::stringstream text;
  text << igc.rdbuf();
  device.tracks = {text.str()};
  testing::RecordingUi ui;
  access::AccessRoutineTable routines;
  devices::flytec::RegisterFlytecRoutines(routines);
  std::string error;
  std::unique_ptr<sim::PtyDevice> pty;
  auto path = std::make_shared<std::string>();
  auto reopen = [&] {
    pty.reset();
    pty = sim::PtyDevice::Create(device, "", error);
    if (!pty) return false;
    pty->Start();
    *path = pty->hostPath();
    return true;
  };
  ASSERT_TRUE(reopen()) << error;
  access::AccessEnvironment env;
  env.ui = &ui;
  env.routines = &routines;
  env.openSerial = [path](const std::string&, std::string& caption, std::string& why) {
    return access::OpenSerialPort(*path, caption, why);
  };
  std::unique_ptr<TransferGate> gate = MakeEngineGate(env);
  Session session(ui, core::SystemClock(), *gate, "/home/pilot");
  session.Initialise(nullptr);
  auto state = std::make_shared<CompetitionState>();
  std::vector<std::string> shown;
  std::string typedCivl;
  state->dialogs.competitionTime = [](CompTimeForm&) { return false; };
  state->dialogs.pilotIds = [&](PilotIdsForm& form) {
    shown.push_back(form.competitionText + "/" + form.civlText);
    if (!typedCivl.empty()) form.civlText = typedCivl;
    return form.Check(ui);
  };
  state->dialogs.savePilot = [](SavePilotForm&) { return false; };
  InstallCompetitionMode(session, state);
  session.settings.SetText(core::SettingId::CompDir, dir.string());
  session.competitionMode = true;
  auto run = [&](int command) {
    ASSERT_EQ(DispatchCommand(session, command), CommandOutcome::Done);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (session.busy && std::chrono::steady_clock::now() < deadline) {
      session.queue().Drain();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    session.queue().Drain();
    ASSERT_FALSE(session.busy);
  };

  ui.choices = {0};  // the one track the unit lists
  run(40054);
  ASSERT_EQ(shown, std::vector<std::string>{"1234567/42"});
  std::vector<fs::path> logs;
  for (const auto& entry : fs::directory_iterator(dir)) logs.push_back(entry.path());
  ASSERT_EQ(logs.size(), 1u) << ::testing::PrintToString(ui.Texts());
  EXPECT_EQ(logs[0].filename().string().rfind("[pilot name].1234567.42.", 0), 0u) << logs[0];
  EXPECT_NE(std::find(ui.Texts().begin(), ui.Texts().end(), logs[0].string() + "\r\nFile saved, NO signature"),
            ui.Texts().end())
      << ::testing::PrintToString(ui.Texts());

  core::Waypoint start;
  std::strcpy(start.id, "START");
  std::strcpy(start.comment, "START");
  session.waypoints.waypoints = {start};
  session.waypoints.shownCount = 1;
  session.ChangeView(ViewMode::Waypoints, true);
  for (const char* civl : {"77", "78"}) {
    typedCivl = civl;
    ASSERT_TRUE(reopen()) << error;
    session.SetSelection({0});
    run(40018);
  }
  const auto& uploads = device.uploads();
  size_t civlCount = 0;
  for (const auto& [name, waypoint] : uploads) {
    if (name.rfind("CIVLID", 0) == 0) {
      ++civlCount;
      EXPECT_EQ(core::DecodeIdPosition(core::LatitudeFromDegrees(waypoint.latitude).value(),
                                       core::LongitudeFromDegrees(waypoint.longitude).value()),
                78);
    }
  }
  EXPECT_EQ(civlCount, 1u) << uploads.size();
  session.Close();
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tarnvik::app
