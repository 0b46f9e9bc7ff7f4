#include "competition/pilot_forms.h"

#include <gtest/gtest.h>

#include "tests/fakes/recording_ui.h"

namespace tarnvik::competition {
namespace {

using testing::RecordingUi;

TEST(PilotIdsForm, RefusesBadOrUncarriableIdsAndAsksWhenBothAreEmpty) {
  struct Case {
    const char* competition;
    const char* civl;
    const char* message;
  };
  const Case cases[] = {{"12x", "", "Bad comp. ID"},     {"-3", "", "Bad comp. ID"},
                        {"18000000", "", "Bad comp. ID"}, {"1", "18000000", "Bad CIVL ID"},
                        {"", "4 2", "Bad CIVL ID"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.competition) + "/" + c.civl);
    RecordingUi ui;
    int32_t competition = 5, civl = 6;
    EXPECT_FALSE(AcceptPilotIds(ui, c.competition, c.civl, competition, civl));
    ui.ExpectOnly("Check ID", c.message);
    EXPECT_EQ(competition, 5);
  }
  RecordingUi ui;
  int32_t competition = 5, civl = 6;
  ui.answers = {core::Answer::No};
  EXPECT_FALSE(AcceptPilotIds(ui, "", " ", competition, civl));  // No: back to the dialog
  ui.ExpectOnly("Check ID", "Both IDs missing. Exit ?");
  ui.answers = {core::Answer::Yes};
  EXPECT_TRUE(AcceptPilotIds(ui, "", "", competition, civl));
  EXPECT_EQ(competition, -1);
  EXPECT_EQ(civl, -1);
  ui.shown.clear();
  EXPECT_TRUE(AcceptPilotIds(ui, "17999999", "", competition, civl));
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(competition, 17999999);
  EXPECT_EQ(civl, -1);
}

TEST(SavePilotForm, KeepsLargeIdsAndRefusesNonNumbers) {
  RecordingUi ui;
  CompetitionPilot pilot{"old", 1, 2};
  EXPECT_FALSE(AcceptSavePilot(ui, "1.5", "", "new", pilot));
  ui.ExpectOnly("Pilot parameter check", "Bad comp. pilot ID");
  EXPECT_FALSE(AcceptSavePilot(ui, "", "x", "new", pilot));
  ui.ExpectOnly("Pilot parameter check", "Bad CIVL pilot ID");
  EXPECT_EQ(pilot.name, "old");
  ASSERT_TRUE(AcceptSavePilot(ui, "99999999", "", std::string(70, 'p'), pilot));
  EXPECT_EQ(pilot.competitionId, 99999999);
  EXPECT_EQ(pilot.civlId, -1);
  EXPECT_EQ(pilot.name.size(), kCurrentPilotNameLength);
}

TEST(PilotForms, ListTextsAndTypedIdSelection) {
  const std::vector<PilotEntry> pilots = {{"A", 1, 7}, {"B", 2, -1}, {"C", 7, 2}};  // name, CIVL ID, comp. ID
  EXPECT_EQ(SelectPilotButtonText(0), "&Select pilot from list");
  EXPECT_EQ(SelectPilotButtonText(3), "&Select pilot from list (3 pilots)");
  EXPECT_EQ(EntryForTypedId(pilots, "2", false), 2);
  EXPECT_EQ(EntryForTypedId(pilots, "2", true), 1);
  EXPECT_EQ(EntryForTypedId(pilots, "7", true), 2);
  EXPECT_EQ(EntryForTypedId(pilots, "", false), -1);
  EXPECT_EQ(EntryForTypedId(pilots, "8", false), -1);
  EXPECT_EQ(IdFieldText(-1), "");
  EXPECT_EQ(IdFieldText(42), "42");
}

TEST(PilotForms, AConfirmationWithOtherIdsNeverKeepsThePreviousName) {
  const std::vector<PilotEntry> pilots = {{"Anna", 100, 10}, {"Bea", 200, 20}, {"Cleo", 300, -1}};
  const CompetitionPilot anna{"Anna", 10, 100};
  struct Case {
    int32_t competition, civl;
    const char* name;
  };
  const Case cases[] = {{10, 100, "Anna"}, {20, 100, "Bea"}, {99, 300, "Cleo"}, {99, 98, ""}, {-1, -1, ""}};
  for (const Case& c : cases) {
    const CompetitionPilot next = PilotForConfirmedIds(anna, pilots, c.competition, c.civl);
    EXPECT_EQ(next.name, c.name);
    EXPECT_EQ(next.competitionId, c.competition);
    EXPECT_EQ(next.civlId, c.civl);
  }
  const CompetitionPilot typed{"Typed name", 55, -1};  // kept between saves with the same IDs
  EXPECT_EQ(PilotForConfirmedIds(typed, pilots, 55, -1).name, "Typed name");
}

}  // namespace
}  // namespace tarnvik::competition
