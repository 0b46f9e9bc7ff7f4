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
  EXPECT_EQ(ui.ChooseItem("Track list", "Select one of the following tracks:", {"00   a", "01   b"}), 0);
  EXPECT_EQ(ui.ChooseItem("Track list", "Select one of the following tracks:", {}), -1);
  EXPECT_EQ(out.str(),
            "Parsing command line: Bad COM port\n"
            "Security check: Line one Line two\n"
            "File creation: File already exists, overwrite ? -> Cancel\n"
            "Insert waypoint: Waypoint A already exists, overwrite ? -> Yes\n"
            "Read track log: no file can be chosen without a window -> Cancel\n"
            "Track list: Select one of the following tracks: -> 00   a\n"
            "Track list: Select one of the following tracks: -> Cancel\n");
  EXPECT_EQ(ui.MessageCount(), 2);
}

}  // namespace
}  // namespace tarnvik::app
