#include "app/commands.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

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
  for (int id : {40043, 40072, 40115, 1315, 40038, 40032, 40100}) {
    EXPECT_EQ(DispatchCommand(session, id), CommandOutcome::NotAvailable) << id;
  }
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(DispatchCommand(session, 12345), CommandOutcome::Unknown);
  DispatchCommand(session, 40005);
  ui.ExpectOnly("About Tarnvik", "Version 4.06");
  DispatchCommand(session, 1102);  // abort with nothing running does nothing
  EXPECT_TRUE(ui.shown.empty());
}

}  // namespace
}  // namespace tarnvik::app
