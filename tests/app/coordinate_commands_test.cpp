// The waypoint commands and the coordinate tools through DispatchCommand, with the dialog hooks
// driving the form models as a dialog would.
#include <gtest/gtest.h>

#include <cstring>

#include "app/commands.h"
#include "app/views.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

using core::Answer;

class StartingGate : public TransferGate {
 public:
  int starts = 0;
  void Init() override {}
  int Start(access::AccessRequest, uint64_t& jobId) override {
    jobId = static_cast<uint64_t>(++starts);
    return 0;
  }
  int Abort() override { return 0; }
  void Shutdown() override {}
};

class RowFrontEnd : public SessionFrontEnd {
 public:
  int viewLoads = 0;
  std::vector<size_t> changedRows;
  void ViewLoaded() override { ++viewLoads; }
  void RowChanged(size_t row) override { changedRows.push_back(row); }
};

core::Waypoint Named(const char* id, int altitude) {
  core::Waypoint w;
  std::strncpy(w.id, id, sizeof w.id - 1);
  w.altitude = altitude;
  w.latitude = *core::LatitudeFromDegrees(45.0 + altitude / 100.0);
  w.longitude = *core::LongitudeFromDegrees(7.0);
  return w;
}

class CoordinateCommands : public ::testing::Test {
 protected:
  CoordinateCommands() { session.Initialise(nullptr); }
  testing::RecordingUi ui;
  testing::FakeClock clock;
  StartingGate gate;
  Session session{ui, clock, gate, "/home/pilot"};
};

TEST_F(CoordinateCommands, NewStartsFromTheLastPositionAndHeightAndAsksBeforeReplacingASameId) {
  std::vector<WaypointEditForm> opened;
  // What the user types in the next dialog; an empty ID cancels.
  struct Typing {
    const char* id;
    const char* height;
    PositionFields position;
  };
  std::vector<Typing> typing;
  session.dialogs.waypointEdit = [&](WaypointEditForm& form) {
    opened.push_back(form);
    Typing t = typing.front();
    typing.erase(typing.begin());
    if (!*t.id) return false;
    form.SetField(WaypointEditField::Id, t.id);
    if (*t.height) form.SetField(WaypointEditField::Height, t.height);
    if (!t.position.first.empty()) form.position = t.position;
    return CheckWaypointEdit(session.ui(), form) == 0;
  };
  typing = {{"voss", "660", {"", "N 60 39", "E 6 22 48"}}};
  ASSERT_EQ(DispatchCommand(session, 40038), CommandOutcome::Done);
  ASSERT_EQ(session.waypoints.waypoints.size(), 1u);
  EXPECT_TRUE(opened[0].isNew);
  EXPECT_EQ(opened[0].id, "");
  EXPECT_EQ(opened[0].height, "0");
  const core::Waypoint voss = session.waypoints.waypoints[0];
  EXPECT_STREQ(voss.id, "VOSS");
  EXPECT_EQ(voss.latitude, *core::LatitudeFromDegrees(60.65));

  // The next new waypoint keeps position and height and clears ID and comment. The same ID asks;
  // Yes replaces.
  std::strcpy(session.waypointEditor.buffer.comment, "TAKEOFF");
  typing = {{"VOSS", "700", {}}};
  ui.answers = {Answer::Yes};
  DispatchCommand(session, 40038);
  EXPECT_EQ(opened[1].id, "");
  EXPECT_EQ(opened[1].comment, "");
  EXPECT_EQ(opened[1].height, "660");
  EXPECT_EQ(opened[1].position.first, "N 60  39  00.00");
  EXPECT_EQ(opened[1].waypoint.longitude, voss.longitude);
  ui.ExpectOnly("Insert waypoint", "Waypoint VOSS already exists, overwrite ?");
  ASSERT_EQ(session.waypoints.waypoints.size(), 1u);
  EXPECT_EQ(session.waypoints.waypoints[0].altitude, 700);
  EXPECT_EQ(session.waypoints.waypoints[0].latitude, voss.latitude);

  // No keeps the old one and appends the new.
  typing = {{"VOSS", "800", {}}};
  ui.answers = {Answer::No};
  DispatchCommand(session, 40038);
  ui.ExpectOnly("Insert waypoint", "Waypoint VOSS already exists, overwrite ?");
  ASSERT_EQ(session.waypoints.waypoints.size(), 2u);
  EXPECT_EQ(session.waypoints.waypoints[0].altitude, 700);
  EXPECT_EQ(session.waypoints.waypoints[1].altitude, 800);

  // A cancelled dialog inserts nothing, but the "&UTM" box it ticked is kept.
  session.dialogs.waypointEdit = [&](WaypointEditForm& form) {
    SetWaypointEditUtm(form, true);
    return false;
  };
  DispatchCommand(session, 40038);
  EXPECT_EQ(session.waypoints.waypoints.size(), 2u);
  EXPECT_TRUE(session.waypointEditor.utm);
  session.dialogs.waypointEdit = [&](WaypointEditForm& form) {
    opened.push_back(form);
    return false;
  };
  DispatchCommand(session, 40038);
  EXPECT_TRUE(opened.back().utm);
  EXPECT_EQ(opened.back().position.zone, "32V");
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(CoordinateCommands, EditReplacesTheRowInPlaceKeepsItSelectedAndTheUtmViewShowsTheNewPosition) {
  RowFrontEnd frontEnd;
  session.SetFrontEnd(&frontEnd);
  session.waypoints.waypoints = {Named("A", 1), Named("B", 2), Named("C", 3), Named("D", 4)};
  session.SetUtmChecked(true);
  DispatchCommand(session, 40024);
  ASSERT_TRUE(session.utmView);
  session.SetSelection({1, 3});
  const int loads = frontEnd.viewLoads;
  std::vector<WaypointEditForm> opened;
  session.dialogs.waypointEdit = [&](WaypointEditForm& form) {
    opened.push_back(form);
    SetWaypointEditUtm(form, true);
    form.position = {"32V", "0400000", "6700000"};
    return CheckWaypointEdit(session.ui(), form) == 0;
  };
  ASSERT_EQ(DispatchCommand(session, 40030), CommandOutcome::Done);
  EXPECT_TRUE(ui.shown.empty());
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_FALSE(opened[0].isNew);
  EXPECT_EQ(opened[0].id, "B");
  EXPECT_EQ(opened[0].height, "2");
  const auto& list = session.waypoints.waypoints;
  EXPECT_STREQ(list[1].id, "B");
  EXPECT_EQ(WaypointCellText(list[1], 1, true), "32V");
  EXPECT_EQ(WaypointCellText(list[1], 2, true), "0400000");
  EXPECT_EQ(WaypointCellText(list[1], 3, true), "6700000");
  EXPECT_EQ(list[3].latitude, Named("D", 4).latitude);
  EXPECT_EQ(session.selection(), (std::vector<size_t>{1, 3}));
  EXPECT_EQ(frontEnd.changedRows, (std::vector<size_t>{1}));
  EXPECT_EQ(frontEnd.viewLoads, loads);  // no reload, which would clear the selection
  // The edited waypoint is where the next new one starts.
  EXPECT_EQ(session.waypointEditor.buffer.latitude, list[1].latitude);

  // A cancelled edit changes nothing.
  session.dialogs.waypointEdit = [](WaypointEditForm& form) {
    form.waypoint.altitude = 99;
    return false;
  };
  DispatchCommand(session, 40030);
  EXPECT_EQ(list[1].altitude, 2);
  EXPECT_EQ(frontEnd.changedRows.size(), 1u);

  // Delete keeps the order of the rest and clears the selection.
  DispatchCommand(session, 40031);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_STREQ(list[0].id, "A");
  EXPECT_STREQ(list[1].id, "C");
  EXPECT_TRUE(session.selection().empty());
  session.SetFrontEnd(nullptr);
}

TEST_F(CoordinateCommands, ToolsNeedTheirHooksButNoBusyGuardAndKeepWhatTheyStore) {
  EXPECT_EQ(DispatchCommand(session, 40028), CommandOutcome::NotAvailable);
  EXPECT_EQ(DispatchCommand(session, 40032), CommandOutcome::NotAvailable);
  const access::AccessRoutineTable noRoutines;
  EXPECT_FALSE(CommandAvailable(session, *FindCommand(40028), noRoutines));

  session.waypoints.waypoints = {Named("A", 1), Named("B", 2)};
  ASSERT_EQ(session.DownloadWaypoints(0, 0), 0);  // a download runs while the tool is used
  ASSERT_TRUE(session.busy);
  int shown = 0;
  session.dialogs.distanceTool = [&](DistanceForm& form) {
    ++shown;
    EXPECT_EQ(form.distance, "0.00");
    // The download delivers a new list while the dialog is open: the form has its own copy.
    session.waypoints.waypoints.clear();
    ChooseDistanceWaypoint(session.ui(), form, DistanceEnd::To, 1);
    SetDistanceUtm(form, true);
  };
  EXPECT_TRUE(CommandAvailable(session, *FindCommand(40028), noRoutines));
  ASSERT_EQ(DispatchCommand(session, 40028), CommandOutcome::Done);
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_TRUE(session.distanceTool.utm);
  EXPECT_EQ(session.distanceTool.to.latitude, Named("B", 2).latitude);
  EXPECT_EQ(session.distanceTool.from.latitude, Named("A", 1).latitude);

  // With the list gone, the next opening shows the stored positions in the stored notation.
  session.dialogs.distanceTool = [&](DistanceForm& form) {
    EXPECT_EQ(form.choices.size(), 0u);
    EXPECT_EQ(form.to, FormatPositionFields({Named("B", 2).latitude, Named("B", 2).longitude}, true));
    EXPECT_NE(form.distance, "0.00");
  };
  DispatchCommand(session, 40028);

  session.dialogs.conversionTool = [&](ConversionForm& form) {
    form.SetField(ConversionField::Latitude, "N 60");
    form.SetField(ConversionField::Longitude, "E 5");
    EXPECT_EQ(ConvertToUtm(session.ui(), form), 0);
    EXPECT_EQ(form.zone, "32V");
    form.SetField(ConversionField::Northing, "");
    EXPECT_EQ(ConvertToDegrees(session.ui(), form), -1);
  };
  ASSERT_EQ(DispatchCommand(session, 40032), CommandOutcome::Done);
  ui.ExpectOnly("Decoding northing string", "Missing input");
}

}  // namespace
}  // namespace tarnvik::app
