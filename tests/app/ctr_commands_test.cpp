// The CTR menu through the command dispatch: selection, uploads (names and sizes the instrument
// cannot hold), the editor and new zones, delete, show as waypoints, file read and write.
#include "app/ctr_commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "app/commands.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

using core::Answer;

class CountingGate : public TransferGate {
 public:
  std::vector<access::AccessRequest> requests;
  void Init() override {}
  int Start(access::AccessRequest request, uint64_t& jobId) override {
    requests.push_back(std::move(request));
    jobId = requests.size();
    return 0;
  }
  int Abort() override { return 0; }
  void Shutdown() override {}
};

constexpr int kSendCompeo = 40098;
constexpr int kSendGarmin = 40106;
constexpr int kReadCompeo = 40109;
constexpr int kReadFile = 40100;
constexpr int kWriteFile = 40108;
constexpr int kEdit = 40104;
constexpr int kNew = 40105;
constexpr int kDelete = 40111;
constexpr int kShow = 40112;

struct Rig {
  Rig() {
    session.Initialise(nullptr);
    session.ChangeView(ViewMode::Ctr);
  }
  void Zones(const std::string& text) {
    testing::RecordingUi quiet;
    ASSERT_GE(airspace::ParseOpenAir(quiet, text, session.ctrs, {}), 0);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> out;
    for (const core::CtrRecord& z : session.ctrs) out.push_back(z.name);
    return out;
  }
  testing::RecordingUi ui;
  testing::FakeClock clock;
  CountingGate gate;
  Session session{ui, clock, gate, "/home/pilot"};
};

TEST(CtrCommands, UploadChecksNamesAndSizesForTheInstrumentOnly) {
  Rig rig;
  rig.Zones("AN Nineteen chars lo A\nDP 1.0 N 1.0 E\nAN Nineteen chars lo B\nDP 2.0 N 2.0 E\nAN Short\nDP 3.0 N 3.0 E\n"
            "AN Big\nV X=1.0 N 1.0 E\nDC 60\n");
  DispatchCommand(rig.session, kSendCompeo);
  rig.ui.ExpectOnly("Upload CTR", "No CTR(s) selected");
  rig.session.SetSelection({1, 0});
  DispatchCommand(rig.session, kSendCompeo);
  rig.ui.ExpectOnly("Upload CTR",
                    "One or more of the selected CTRs have equal\r\nnames after limiting the length to fit the GPS");
  EXPECT_TRUE(rig.gate.requests.empty());
  // The same zones go to a Garmin as tracks.
  DispatchCommand(rig.session, kSendGarmin);
  ASSERT_EQ(rig.gate.requests.size(), 1u);
  EXPECT_EQ(rig.gate.requests[0].accessType, access::kAccessUploadCtrs);
  EXPECT_EQ(rig.gate.requests[0].protocol, 0);
  ASSERT_EQ(rig.gate.requests[0].data.ctrs.size(), 2u);
  EXPECT_TRUE(rig.gate.requests[0].data.ctrs.front().selected);
  EXPECT_TRUE(rig.ui.shown.empty());
  rig.session.busy = false;

  rig.session.SetSelection({2, 3});
  DispatchCommand(rig.session, kSendCompeo);
  rig.ui.ExpectOnly("Upload CTR", "Circle too large for the GPS in CTR Big");
  rig.session.SetSelection({2});
  DispatchCommand(rig.session, kSendCompeo);
  ASSERT_EQ(rig.gate.requests.size(), 2u);
  EXPECT_EQ(rig.gate.requests[1].protocol, 4);
  EXPECT_STREQ(rig.gate.requests[1].data.ctrs.front().name, "Short");
}

TEST(CtrCommands, EqualShortNamesHaveTheirOwnMessage) {
  Rig rig;
  rig.Zones("AN Same\nDP 1.0 N 1.0 E\nAN Same\nDP 2.0 N 2.0 E\n");
  rig.session.SetSelection({0, 1});
  DispatchCommand(rig.session, kSendCompeo);
  rig.ui.ExpectOnly("Upload CTR", "One or more of the selected CTRs have equal names");
}

TEST(CtrCommands, DownloadRefusedWhileBusyAndTheListReplacedOnCompletion) {
  Rig rig;
  rig.session.ChangeView(ViewMode::Tracklog);
  DispatchCommand(rig.session, kReadCompeo);  // any view
  ASSERT_EQ(rig.gate.requests.size(), 1u);
  EXPECT_EQ(rig.gate.requests[0].accessType, access::kAccessDownloadCtrs);
  DispatchCommand(rig.session, kReadCompeo);
  rig.ui.ExpectOnly("Download CTR", "Busy GPS driver");
  // The list must not change while a job runs: no new zone either.
  bool opened = false;
  rig.session.dialogs.ctrEdit = [&](CtrEditForm&) { return opened = true; };
  DispatchCommand(rig.session, kNew);
  rig.ui.ExpectOnly("Edit CTR", "Busy GPS driver");
  EXPECT_FALSE(opened);
}

TEST(CtrCommands, EditReplacesInPlaceAndNewComesFirst) {
  Rig rig;
  rig.Zones("AN First\nDP 1.0 N 1.0 E\nAN Second\nDP 2.0 N 2.0 E\n");
  std::vector<CtrEditForm> seen;
  std::string replacement;
  std::string distance = "350";
  rig.session.dialogs.ctrEdit = [&](CtrEditForm& form) {
    seen.push_back(form);
    form.text = replacement;
    form.warningDistance = distance;
    return form.Check(rig.ui, {});
  };
  DispatchCommand(rig.session, kEdit);
  rig.ui.ExpectOnly("Edit CTR", "No CTR selected");
  rig.session.SetSelection({1});
  // Two zones in the text: only the first is kept. The text is not limited in length.
  replacement = "AN Edited\n" + std::string(12000, '*') + "\nDP 5.0 N 5.0 E\nAN Dropped\nDP 6.0 N 6.0 E\n";
  DispatchCommand(rig.session, kEdit);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_NE(seen[0].text.find("AN Second\r\n"), std::string::npos);
  EXPECT_EQ(seen[0].warningDistance, "200");
  EXPECT_EQ(rig.Names(), (std::vector<std::string>{"First", "Edited"}));
  EXPECT_EQ(rig.session.ctrs.back().warningDistance, 350);

  replacement = airspace::kNewCtrTemplate + std::string("DP 7.0 N 7.0 E\n");
  distance = "0";
  DispatchCommand(rig.session, kNew);
  EXPECT_EQ(seen.back().text, airspace::kNewCtrTemplate);
  EXPECT_EQ(rig.Names(), (std::vector<std::string>{"Put airspace name here", "First", "Edited"}));
  EXPECT_TRUE(rig.ui.shown.empty());
}

TEST(CtrCommands, EditorFormChecks) {
  struct Case {
    const char* text;
    const char* distance;
    const char* caption;
    const char* message;
  } cases[] = {
      {"AN A\nDP 1.0 N 1.0 E\n", "", "Edit CTR", "Missing warning distance input"},
      {"AN A\nDP 1.0 N 1.0 E\n", "12a", "Edit CTR", "Bad warning distance format"},
      {"AN A\nDP 1.0 N 1.0 E\n", "-5", "Edit CTR", "Bad warning distance format"},
      {"AN A\nDP 1.0 N 1.0 E\n", "10000", "Edit CTR", "Bad warning distance format"},
      {"* nothing\n", "200", "Edit CTR", "Missing airspace name"},
      {"AN A\nAL x\n", "200", "Parsing CTR buffer", "No segments in airspace (line 2)"},
  };
  for (const Case& c : cases) {
    testing::RecordingUi ui;
    CtrEditForm form;
    form.text = c.text;
    form.warningDistance = c.distance;
    EXPECT_FALSE(form.Check(ui, {}));
    ui.ExpectOnly(c.caption, c.message);
  }
  testing::RecordingUi ui;
  CtrEditForm form;
  form.text = "AN A\nDP 1.0 N 1.0 E\n";
  form.warningDistance = "9999";
  EXPECT_TRUE(form.Check(ui, {}));
  EXPECT_EQ(form.zone.warningDistance, 9999);
}

TEST(CtrCommands, DeleteAndShowAsWaypoints) {
  Rig rig;
  rig.Zones("AN A\nDP 1.0 N 1.0 E\nDP 1.1 N 1.0 E\nDP 1.1 N 1.1 E\nAN B\nV X=1.0 N 1.0 E\nDC 2\nAN C\nDP 2.0 N 2.0 E\n");
  DispatchCommand(rig.session, kDelete);
  rig.ui.ExpectOnly("Edit CTR", "No CTR(s) selected");
  rig.session.SetSelection({2, 0});
  DispatchCommand(rig.session, kDelete);
  EXPECT_EQ(rig.Names(), std::vector<std::string>{"B"});
  rig.session.SetSelection({0});
  DispatchCommand(rig.session, kShow);
  EXPECT_EQ(rig.session.viewMode, ViewMode::Waypoints);
  ASSERT_EQ(rig.session.waypoints.waypoints.size(), 33u);
  EXPECT_STREQ(rig.session.waypoints.waypoints[32].id, "C32");
  EXPECT_TRUE(rig.ui.shown.empty());
}

TEST(CtrCommands, EqualNamesGetNumbersWithinFiftyBytes) {
  core::CtrList zones;
  testing::RecordingUi ui;
  const std::string long_name(50, 'L');
  ASSERT_EQ(airspace::ParseOpenAir(ui,
                                   "AN X\nDP 1.0 N 1.0 E\nAN Y\nDP 1.0 N 1.0 E\nAN X\nDP 1.0 N 1.0 E\nAN X\nDP 1.0 N 1.0 E\n"
                                   "AN Y\nDP 1.0 N 1.0 E\nAN " + long_name + "\nDP 1.0 N 1.0 E\nAN " + long_name +
                                       "\nDP 1.0 N 1.0 E\n",
                                   zones, {}),
            7);
  EXPECT_TRUE(HasEqualCtrNames(zones));
  NumberEqualCtrNames(zones);
  std::vector<std::string> names;
  for (const core::CtrRecord& z : zones) names.push_back(z.name);
  EXPECT_EQ(names, (std::vector<std::string>{"X", "Y", "X(1)", "X(2)", "Y(1)", long_name, std::string(47, 'L') + "(1)"}));
  EXPECT_EQ(zones.back().nameLength, 50);
  EXPECT_FALSE(HasEqualCtrNames(zones));
}

class CtrFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("tarnvik-ctr-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  void Write(const char* name, const std::string& text) const { std::ofstream(Path(name), std::ios::binary) << text; }
  std::filesystem::path dir_;
};

TEST_F(CtrFiles, ReadKeepsOrReplacesTheListAndNumbersEqualNames) {
  Rig rig;
  std::vector<CtrNotificationForm> notes;
  rig.session.dialogs.ctrNotification = [&](CtrNotificationForm& form) {
    notes.push_back(form);
    // the user leaves the box ticked: no further notification
  };
  Write("a.txt", "AN One\nDP 1.0 N 1.0 E\nAN Gone\nV X=1.0 N 1.0 E\nDA 1,2,3\nAN Two\nDY 1.0 N 1.0 E\n");
  rig.ui.files.push_back(Path("a.txt"));
  DispatchCommand(rig.session, kReadFile);
  EXPECT_EQ(rig.Names(), std::vector<std::string>{"One"});
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].text, "CTR at line 3:  DA record (not implemented)");
  EXPECT_TRUE(notes[0].skipFurther);
  EXPECT_EQ(rig.session.statusLine, "1 CTRs read");
  EXPECT_EQ(rig.ui.fileRequests.back().title, "Read CTR");
  EXPECT_EQ(rig.session.settings.Text(core::SettingId::CtrDir), dir_.string());

  Write("b.txt", "AN One\nDP 2.0 N 2.0 E\nAN Three\nDP 3.0 N 3.0 E\n");
  rig.ui.files.push_back(Path("b.txt"));
  rig.ui.answers = {Answer::Yes, Answer::Yes};
  DispatchCommand(rig.session, kReadFile);
  EXPECT_EQ(rig.Names(), (std::vector<std::string>{"One", "Three", "One(1)"}));
  EXPECT_EQ(rig.ui.Texts(), (std::vector<std::string>{"Keep current CTR list ?", "Fix name by appending number ?"}));
  rig.ui.shown.clear();

  // No zone in the file: the list stays.
  Write("c.txt", "* nothing here\n");
  rig.ui.files.push_back(Path("c.txt"));
  DispatchCommand(rig.session, kReadFile);
  EXPECT_EQ(rig.session.statusLine, "0 CTRs read");
  EXPECT_EQ(rig.session.ctrs.size(), 3u);
  EXPECT_TRUE(rig.ui.shown.empty());

  // A parse error leaves the list as it was.
  Write("d.txt", "AN Bad\nDP 91:00 N 1:00 E\n");
  rig.ui.files.push_back(Path("d.txt"));
  DispatchCommand(rig.session, kReadFile);
  rig.ui.ExpectOnly("Parsing CTR buffer", "Bad position format on line 2");
  EXPECT_EQ(rig.session.ctrs.size(), 3u);

  rig.ui.answers = {Answer::No};
  rig.ui.files.push_back(Path("b.txt"));
  DispatchCommand(rig.session, kReadFile);
  EXPECT_EQ(rig.Names(), (std::vector<std::string>{"One", "Three"}));
}

TEST_F(CtrFiles, WriteSavesTheSelectedZonesAsTheyReadBack) {
  Rig rig;
  rig.Zones("AN One\nAL SFC\nDP 1.0 N 1.0 E\nAN Two\nV X=1.0 N 1.0 E\nDC 5\nAN Three\nDP 3.0 N 3.0 E\n");
  DispatchCommand(rig.session, kWriteFile);
  rig.ui.ExpectOnly("Write CTR", "No CTR(s) selected");
  rig.session.SetSelection({0, 1});
  rig.ui.files.push_back(Path("out"));
  DispatchCommand(rig.session, kWriteFile);
  EXPECT_EQ(rig.ui.fileRequests.back().title, "Save CTR(s)");
  std::ifstream in(Path("out.txt"), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "AN One\r\nAL SFC\r\nAH \r\nDP 1:00:00.0 N   1:00:00.0 E\r\n\r\n"
            "AN Two\r\nAL \r\nAH \r\nV X = 1:00:00.0 N   1:00:00.0 E\r\nDC 5.000\r\n");
}

}  // namespace
}  // namespace tarnvik::app
