// The Flytec/Brauniger track dialogs as a worker thread meets them: its question goes through
// the window's Ui to the GUI thread, the dialog shows the instrument's entries, and the
// button pressed is the answer the worker gets back.
#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include <future>
#include <string>
#include <thread>
#include <vector>

#include "app/gui/track_list_dialogs.h"
#include "app/track_list_forms.h"
#include "tests/gui/gui_rig.h"

namespace tarnvik::gui::testing {
namespace {

const std::vector<std::string> kEntries = {
    "00   05.10.07   11:02:10   01:12:40",
    "01   04.10.07   14:31:00   00:45:03",
    "02   29.09.07   12:00:59   03:01:00",
};

// Asks on a worker thread, as a download's question does, and waits (processing events) for
// the answer to come back there.
template <class T, class F>
T AskFromWorker(F ask) {
  std::promise<T> promise;
  std::future<T> answer = promise.get_future();
  std::thread worker([&] { promise.set_value(ask()); });
  const bool answered =
      WaitFor([&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
  worker.join();
  EXPECT_TRUE(answered);
  return answer.get();
}

TEST(TrackListDialogsTest, TheTrackChosenInTheListReachesTheWorker) {
  GuiRig rig;
  InstallTrackListDialogs(rig.ui(), &rig.window());
  rig.ui().chooseItem = nullptr;  // the dialogs, not the rig's fixed answer
  struct Case {
    int row;  // the row the user picks; -1 leaves the preselected one
    bool ok;
    int answer;
  };
  for (const Case& test : {Case{2, true, 2}, Case{-1, true, 0}, Case{1, false, -1}}) {
    std::vector<std::string> columns;
    rig.ui().driveDialog = [&](QDialog& dialog) {
      auto& list = dynamic_cast<TrackListDialog&>(dialog);
      EXPECT_EQ(list.windowTitle(), QStringLiteral("Track list"));
      ASSERT_EQ(list.entries()->topLevelItemCount(), 3);
      EXPECT_EQ(list.entries()->currentItem(), list.entries()->topLevelItem(0)) << "the first entry is selected";
      for (int c = 0; c < 4; ++c) columns.push_back(list.entries()->topLevelItem(1)->text(c).toStdString());
      if (test.row >= 0) list.entries()->setCurrentItem(list.entries()->topLevelItem(test.row));
      if (test.ok) list.okButton()->click();
    };
    const int answer = AskFromWorker<int>(
        [&] { return rig.ui().ChooseItem("Track list", app::TrackChoiceForm::kPrompt, kEntries); });
    EXPECT_EQ(answer, test.answer) << test.row << test.ok;
    EXPECT_EQ(columns, (std::vector<std::string>{"01", "04.10.07", "14:31:00", "00:45:03"}));
  }
}

TEST(TrackListDialogsTest, TheTracksChosenForTheLogbookReachTheWorker) {
  GuiRig rig;
  InstallTrackListDialogs(rig.ui(), &rig.window());
  rig.ui().chooseItem = nullptr;  // the dialogs, not the rig's fixed answer
  enum class Press { Ok, All, Close };
  struct Case {
    std::vector<int> rows;
    Press press;
    std::vector<int> answer;
  };
  for (const Case& test : {Case{{2, 0}, Press::Ok, {0, 2}}, Case{{1}, Press::All, {0, 1, 2}},
                           Case{{1}, Press::Close, {}}, Case{{}, Press::Ok, {}}}) {
    rig.ui().driveDialog = [&](QDialog& dialog) {
      auto& list = dynamic_cast<TrackMultiListDialog&>(dialog);
      EXPECT_EQ(list.windowTitle(), QStringLiteral("Track List"));
      ASSERT_EQ(list.entries()->count(), 3);
      for (int row : test.rows) list.entries()->item(row)->setSelected(true);
      if (test.press == Press::Ok) list.okButton()->click();
      if (test.press == Press::All) list.allButton()->click();
    };
    const std::vector<int> answer = AskFromWorker<std::vector<int>>(
        [&] { return rig.ui().ChooseItems("Track List", app::TrackMultiChoiceForm::kPrompt, kEntries); });
    EXPECT_EQ(answer, test.answer);
  }
}

}  // namespace
}  // namespace tarnvik::gui::testing
