#include "app/commands.h"

#include <gtest/gtest.h>

#include <set>
#include <string_view>

#include "analysis/statistics_text.h"

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

TEST(CommandTable, IdsAreUniqueAndAcceleratorsAndButtonsNameExistingCommands) {
  std::set<int> ids;
  for (const CommandInfo& c : CommandTable()) EXPECT_TRUE(ids.insert(c.id).second) << c.id;
  for (const Accelerator& a : Accelerators()) EXPECT_NE(FindCommand(a.commandId), nullptr) << a.key;
  for (const CommandButton& b : CommandButtons()) EXPECT_NE(FindCommand(b.commandId), nullptr) << b.text;
  EXPECT_EQ(CommandForAccelerator('s'), 1315);
  EXPECT_EQ(CommandForAccelerator('V'), 40073);
  EXPECT_EQ(CommandForAccelerator('B'), std::nullopt);
  EXPECT_EQ(FindCommand(40117)->text, "&Open log\tCtrl+O");
  EXPECT_EQ(FindCommand(99999), nullptr);
}

// Every Read command of the Logs menu starts a track log download with its device and speed.
TEST(CommandTable, ReadCommandsStartTheirDeviceAtTheirSpeed) {
  struct Case {
    int id;
    int protocol;
    int speed;
  };
  const Case cases[] = {{40029, 0, 0},  {40075, 8, 0},      {40054, 4, 0},     {40085, 4, 0},     {40119, 11, 0},
                        {40120, 11, 0}, {40091, 10, 57600}, {40071, 7, 0},     {40090, 9, 57600}, {40039, 2, 0},
                        {40069, 3, 115200}, {40010, 3, 57600}, {40011, 3, 38400}, {40012, 3, 19200},
                        {40004, 1, 0},  {40058, 5, 0},      {40056, 5, 0},     {40065, 6, 0}};
  for (const Case& c : cases) {
    testing::RecordingUi ui;
    testing::FakeClock clock;
    CountingGate gate;
    Session session(ui, clock, gate, "/home/pilot");
    session.Initialise(nullptr);
    EXPECT_EQ(DispatchCommand(session, c.id), CommandOutcome::Done);
    ASSERT_EQ(gate.requests.size(), 1u) << c.id;
    EXPECT_EQ(gate.requests[0].accessType, access::kAccessDownloadTrackLog) << c.id;
    EXPECT_EQ(gate.requests[0].protocol, c.protocol) << c.id;
    EXPECT_EQ(gate.requests[0].speed, c.speed) << c.id;
    EXPECT_TRUE(session.busy);
  }
  // The waypoint downloads of the Wpts menu.
  const std::pair<int, int> waypointCases[] = {{40027, 0}, {40078, 8}, {40055, 4}, {40086, 4},
                                               {40033, 1}, {40066, 6}, {40053, 2}, {40076, 7}};
  for (auto [id, protocol] : waypointCases) {
    testing::RecordingUi ui;
    testing::FakeClock clock;
    CountingGate gate;
    Session session(ui, clock, gate, "/home/pilot");
    DispatchCommand(session, id);
    ASSERT_EQ(gate.requests.size(), 1u) << id;
    EXPECT_EQ(gate.requests[0].accessType, access::kAccessDownloadWaypoints);
    EXPECT_EQ(gate.requests[0].protocol, protocol) << id;
  }
}

TEST(CommandTable, CommandsWithoutTheirDialogSayNotAvailableAndShowNothing) {
  testing::RecordingUi ui;
  testing::FakeClock clock;
  CountingGate gate;
  Session session(ui, clock, gate, "/home/pilot");
  for (int id : {40043, 40072, 40115, 1315, 40038, 40030, 40083, 40032, 40104, 40105, 40121}) {
    EXPECT_EQ(DispatchCommand(session, id), CommandOutcome::NotAvailable) << id;
  }
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(DispatchCommand(session, 12345), CommandOutcome::Unknown);
  DispatchCommand(session, 40005);
  ui.ExpectOnly("About Tarnvik", "Version 4.06");
  DispatchCommand(session, 1102);  // abort with nothing running does nothing
  EXPECT_TRUE(ui.shown.empty());
}

core::Waypoint Named(const char* id, int altitude) {
  core::Waypoint w;
  std::string_view(id).copy(w.id, sizeof w.id - 1);  // the record's last byte stays the NUL
  w.altitude = altitude;
  return w;
}

TEST(WaypointCommands, NewAsksBeforeReplacingASameIdAndEditReplacesInPlace) {
  testing::RecordingUi ui;
  testing::FakeClock clock;
  CountingGate gate;
  Session session(ui, clock, gate, "/home/pilot");
  session.Initialise(nullptr);
  session.waypoints.waypoints = {Named("VOSS", 1), Named("HANGUR", 2), Named("VOSS", 3)};
  core::Waypoint next = Named("VOSS", 9);
  session.dialogs.waypointEdit = [&](WaypointEditForm& form) {
    form.waypoint = next;
    return true;
  };
  ui.answers = {Answer::No, Answer::Yes};  // keep the first VOSS, replace the second
  DispatchCommand(session, 40038);
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[0].caption, "Insert waypoint");
  EXPECT_EQ(ui.shown[0].text, "Waypoint VOSS already exists, overwrite ?");
  ASSERT_EQ(session.waypoints.waypoints.size(), 3u);
  EXPECT_EQ(session.waypoints.waypoints[0].altitude, 1);
  EXPECT_EQ(session.waypoints.waypoints[2].altitude, 9);
  ui.shown.clear();
  DispatchCommand(session, 40038);  // No twice (the default): appended
  EXPECT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(session.waypoints.waypoints.size(), 4u);
  EXPECT_EQ(session.waypoints.shownCount, 4);

  ui.shown.clear();
  DispatchCommand(session, 40024);
  DispatchCommand(session, 40030);
  ui.ExpectOnly("Edit waypoint", "No waypoint selected");
  session.SetSelection({1, 3});
  next = Named("TOP", 5);
  DispatchCommand(session, 40030);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_STREQ(session.waypoints.waypoints[1].id, "TOP");
  EXPECT_EQ(session.waypoints.waypoints[3].altitude, 9);
  EXPECT_EQ(session.selection(), (std::vector<size_t>{1, 3}));
  session.waypoints.waypoints.clear();
  DispatchCommand(session, 40030);
  ui.ExpectOnly("Edit waypoint", "No waypoints in list");
}

TEST(TrackCommands, CopyTrackPutsTheSelectedPointsOnTheClipboard) {
  testing::RecordingUi ui;
  testing::FakeClock clock;
  CountingGate gate;
  Session session(ui, clock, gate, "/home/pilot");
  session.Initialise(nullptr);
  std::vector<std::string> clipboard;
  session.dialogs.clipboard = [&](const std::string& text) {
    clipboard.push_back(text);
    return true;
  };
  session.ReplaceTrackLog(std::vector<core::TrackPoint>(3), 0, 0);
  DispatchCommand(session, 40083);
  ui.ExpectOnly("Copy track to clip board", "No position(s) selected");
  session.SetSelection({0, 2});
  DispatchCommand(session, 40083);
  ASSERT_EQ(clipboard.size(), 1u);
  EXPECT_EQ(clipboard[0], analysis::TrackClipboardText(std::vector<core::TrackPoint>(2)));

  DispatchCommand(session, 40080);  // clear, then dump: nothing to save
  DispatchCommand(session, 40079);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].text, "Buffer is empty");
}

TEST(PortCommands, SetComPortOffersTheSessionPortFirstAndShowsTheChoiceInTheTitle) {
  testing::RecordingUi ui;
  testing::FakeClock clock;
  CountingGate gate;
  Session session(ui, clock, gate, "/home/pilot");
  session.Initialise(nullptr);
  std::vector<std::string> ports;
  session.dialogs.listSerialPorts = [&] { return ports; };
  DispatchCommand(session, 40006);
  ui.ExpectOnly("Select COM port", "No COM ports available");

  ports = {"/dev/serial/by-id/usb-FTDI-if00", "/dev/ttyUSB0", "/dev/ttyS0"};
  session.portName = "/dev/ttyUSB0";
  ui.choices = {0};  // the preselected entry
  DispatchCommand(session, 40006);
  EXPECT_EQ(session.portName, "/dev/ttyUSB0");
  ui.choices = {2};
  DispatchCommand(session, 40006);
  EXPECT_EQ(session.portName, "/dev/ttyS0");
  EXPECT_EQ(session.settings.Text(core::SettingId::PortName), "/dev/ttyS0");
  EXPECT_EQ(session.TitleText(), "Tarnvik 4.06, /dev/ttyS0");
  DispatchCommand(session, 40006);  // cancelled: nothing changes
  EXPECT_EQ(session.portName, "/dev/ttyS0");

  // The owner name goes to the LogIt with the session's port.
  EXPECT_EQ(DispatchCommand(session, 40015), CommandOutcome::NotAvailable);
  std::vector<int> askedFor;
  session.dialogs.ownerName = [&askedFor](int protocol) {
    askedFor.push_back(protocol);
    return std::optional<std::string>("KARI");
  };
  DispatchCommand(session, 40015);
  ASSERT_EQ(gate.requests.size(), 1u);
  EXPECT_EQ(gate.requests[0].accessType, access::kAccessWriteOwnerName);
  EXPECT_EQ(gate.requests[0].protocol, 3);
  EXPECT_EQ(gate.requests[0].portName, "/dev/ttyS0");
  EXPECT_EQ(gate.requests[0].data.text, "KARI");
  EXPECT_EQ(askedFor, std::vector<int>{access::kProtocolLogIt});  // the dialog of LogIt's name field
}

}  // namespace
}  // namespace tarnvik::app

namespace tarnvik::app {
namespace {

// The Flytec/Brauniger upload commands send the comment rule's names; the Garmin one the list.
TEST(WaypointCommands, FlytecUploadsSendTheirNameRule) {
  struct Case {
    int id;
    const char* first;
    const char* second;
  } cases[] = {{40018, "LAUNCH", "KEEP"}, {40023, "LAUNCH", "KEEP"}, {40096, "LAUNCH ", "LZ KEEP"},
               {40097, "LAUNCH ", "LZ KEEP"}};
  for (const Case& c : cases) {
    testing::RecordingUi ui;
    testing::FakeClock clock;
    CountingGate gate;
    Session session(ui, clock, gate, "/home/pilot");
    session.Initialise(nullptr);
    core::Waypoint a, b;
    std::string("LAUNCH").copy(a.id, 6);
    std::string("LZ").copy(b.id, 6);
    std::string("KEEP").copy(b.comment, 40);
    session.waypoints.waypoints = {a, b};
    session.ChangeView(ViewMode::Waypoints, true);
    session.SelectAll();
    EXPECT_EQ(DispatchCommand(session, c.id), CommandOutcome::Done) << c.id;
    ASSERT_EQ(gate.requests.size(), 1u) << c.id;
    const auto& sent = gate.requests[0].data.waypoints;
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_STREQ(sent[0].comment, c.first) << c.id;
    EXPECT_STREQ(sent[1].comment, c.second) << c.id;
    EXPECT_EQ(gate.requests[0].protocol, 4);
    // The session's own list is unchanged.
    EXPECT_STREQ(session.waypoints.waypoints[0].comment, "");
  }
}

}  // namespace
}  // namespace tarnvik::app
