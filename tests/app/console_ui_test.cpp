#include "app/console_ui.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tarnvik::app {
namespace {

TEST(ConsoleUi, MessagesAreOneLineAndQuestionsTakeTheirDefault) {
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
  EXPECT_EQ(ui.ChooseItem("Read IQ tracks", "Choose a track", {"a", "b"}), -1);
  EXPECT_EQ(out.str(),
            "Parsing command line: Bad COM port\n"
            "Security check: Line one Line two\n"
            "File creation: File already exists, overwrite ? -> Cancel\n"
            "Insert waypoint: Waypoint A already exists, overwrite ? -> Yes\n"
            "Read track log: no file can be chosen without a window -> Cancel\n"
            "Read IQ tracks: Choose a track -> Cancel\n");
  EXPECT_EQ(ui.MessageCount(), 2);
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
