#include "app/console_ui.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/fakes/fake_clock.h"

namespace tarnvik::app {
namespace {

TEST(ConsoleUi, MessagesAreOneLineAndQuestionsTakeThePreselectedAnswer) {
  std::ostringstream out;
  ConsoleUi ui(out);
  ui.ShowMessage("Parsing command line", "Bad COM port", core::Icon::Error);
  ui.ShowMessage("Security check", "Line one\r\nLine two\n", core::Icon::None);
  EXPECT_EQ(ui.Ask("File creation", "File already exists, overwrite ?", core::Buttons::OkCancel,
                   core::Answer::Cancel),
            core::Answer::Cancel);
  EXPECT_EQ(ui.Ask("Insert waypoint", "Waypoint A already exists, overwrite ?", core::Buttons::YesNo,
                   core::Answer::Yes),
            core::Answer::Yes);
  core::FileRequest request;
  request.title = "Read track log";
  EXPECT_FALSE(ui.ChooseOpenFile(request).has_value());
  // A list's preselected entry is its first: the run takes it and says which.
  EXPECT_EQ(ui.ChooseItem("Read IQ tracks", "Choose a track", {"2024-07-14 12:30", "2024-07-13 09:10"}), 0);
  EXPECT_EQ(ui.ChooseItem("Read IQ tracks", "Choose a track", {}), -1);
  EXPECT_EQ(out.str(),
            "Parsing command line: Bad COM port\n"
            "Security check: Line one Line two\n"
            "File creation: File already exists, overwrite ? -> Cancel\n"
            "Insert waypoint: Waypoint A already exists, overwrite ? -> Yes\n"
            "Read track log: no file can be chosen without a window -> Cancel\n"
            "Read IQ tracks: Choose a track -> 2024-07-14 12:30\n"
            "Read IQ tracks: Choose a track -> Cancel\n");
  EXPECT_EQ(ui.MessageCount(), 2);
}

TEST(ConsoleUi, PercentageWhereTheTextGivesTheTotal) {
  const struct {
    const char* text;
    const char* shown;
  } cases[] = {
      {"Track log record 5 of 200 received", "Track log record 5 of 200 received (2%)"},
      {"Track log record 200 of 200 received", "Track log record 200 of 200 received (100%)"},
      {"Waypoint 0 of 3 sent", "Waypoint 0 of 3 sent (0%)"},
      {"Track 2 of 3, record 50 of 400", "Track 2 of 3, record 50 of 400 (12%)"},  // the last pair
      {"Record 7 of 0", "Record 7 of 0"},
      {"Record 9 of 4", "Record 9 of 4"},
      {"Track log record 12 received", "Track log record 12 received"},
      {"one of many", "one of many"},
      {"Record 1 of 99999999999", "Record 1 of 99999999999"},
  };
  for (const auto& c : cases) EXPECT_EQ(StatusWithPercentage(c.text), c.shown);
}

// Not on a terminal: one line per change, at most one a second; what the second held back
// comes when it has passed, and the last status at the end.
TEST(ConsoleUi, ProgressLinesAtMostOneASecond) {
  std::ostringstream out;
  testing::FakeClock clock;
  ConsoleUi ui(out, ConsoleUi::ProgressMode::Lines, clock);
  ui.Status("Requesting product information");
  ui.Product("eTrex Vista Software Version 3.30");
  ui.Status("Track log record 1 of 4 received");  // same second: held back
  ui.Status("Track log record 2 of 4 received");
  ui.FlushProgress();
  clock.Advance(999);
  ui.FlushProgress();
  EXPECT_EQ(out.str(), "Requesting product information\neTrex Vista Software Version 3.30\n");
  clock.Advance(1);
  ui.FlushProgress();  // its second has passed: the latest held text
  ui.Status("Track log record 2 of 4 received");  // no change: nothing
  clock.Advance(5000);
  ui.Status("Track log record 3 of 4 received");  // more than a second later: at once
  ui.Status("Track log record 4 of 4 received");
  ui.ShowMessage("Read GPS track log", "E205 COM port error", core::Icon::Error);
  ui.EndProgress();
  EXPECT_EQ(out.str(),
            "Requesting product information\n"
            "eTrex Vista Software Version 3.30\n"
            "Track log record 2 of 4 received (50%)\n"
            "Track log record 3 of 4 received (75%)\n"
            "Track log record 4 of 4 received (100%)\n"  // before the message that came after it
            "Read GPS track log: E205 COM port error\n");
}

// On a terminal: one status line rewritten in place; the product and messages get lines of
// their own above it, and the end closes it.
TEST(ConsoleUi, ProgressInPlaceOnATerminal) {
  std::ostringstream out;
  testing::FakeClock clock;
  ConsoleUi ui(out, ConsoleUi::ProgressMode::InPlace, clock);
  ui.Status("Requesting product information");
  ui.Product("eTrex Vista");
  ui.Status("Track log record 1 of 2 received");
  ui.Status("Track log record 2 of 2 received");
  ui.ShowMessage("Download track log", "No positions", core::Icon::Error);
  ui.Status("Transfer aborted");
  ui.EndProgress();
  ui.EndProgress();
  EXPECT_EQ(out.str(),
            "\rRequesting product information\x1b[K"
            "\reTrex Vista\x1b[K\nRequesting product information\x1b[K"
            "\rTrack log record 1 of 2 received (50%)\x1b[K"
            "\rTrack log record 2 of 2 received (100%)\x1b[K"
            "\nDownload track log: No positions\n"
            "\rTransfer aborted\x1b[K\n");
}

TEST(ConsoleUi, TheWaypointIdQuestionPrintsItsAnswer) {
  std::ostringstream out;
  ConsoleUi ui(out);
  EXPECT_EQ(ui.Ask("Modify waypoint ID", "abc\n\nModify (-> uppercase or truncate) this ID ?",
                   core::Buttons::YesYesToAllNoCancel, core::Answer::YesToAll),
            core::Answer::YesToAll);
  EXPECT_EQ(out.str(), "Modify waypoint ID: abc Modify (-> uppercase or truncate) this ID ? -> Yes to All\n");
}

}  // namespace
}  // namespace tarnvik::app
