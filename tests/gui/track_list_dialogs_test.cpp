// The Flytec/Brauniger track dialogs as a worker thread meets them: its question goes through
// the window's Ui to the GUI thread, the dialog shows the instrument's entries, and the
// button pressed is the answer the worker gets back.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "access/access_engine.h"
#include "app/gui/main_window.h"
#include "app/gui/track_list_dialogs.h"
#include "app/track_list_forms.h"
#include "app/transfer.h"
#include "core/settings.h"
#include "sim/flytec/flytec_device.h"
#include "sim/memory_link.h"
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

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A Compeo+ simulator in memory behind the serial port.
class FlytecPort final : public access::Transport {
 public:
  explicit FlytecPort(const sim::flytec::FlytecDevice& device)
      : device_(device),
        server_([this](std::stop_token stop) { sim::ServeDevice(pipe_.device(), device_, core::SystemClock(), stop); }) {}
  ~FlytecPort() override {
    server_.request_stop();
    if (server_.joinable()) server_.join();
  }
  int SetSpeed(int baud, bool xonXoff) override { return pipe_.host().SetSpeed(baud, xonXoff); }
  int Read(uint8_t* buffer, size_t size, int maxWaitMs) override { return pipe_.host().Read(buffer, size, maxWaitMs); }
  int Write(const uint8_t* bytes, size_t count) override { return pipe_.host().Write(bytes, count); }
  void Purge() override { pipe_.host().Purge(); }
  void Close() override { pipe_.host().Close(); }

 private:
  sim::MemoryPipe pipe_;
  sim::flytec::FlytecDevice device_;
  std::jthread server_;  // last: stopped and joined first
};

TEST(TrackListDialogsTest, TheTrackChosenInTheWindowIsTheOneTheInstrumentSends) {
  sim::flytec::FlytecDeviceConfig config;
  config.name = "COMPEO+";  // always offers its list
  sim::flytec::FlytecDevice unit(config);
  for (const char* file : {"xcs_marcourt.igc", "igl_no_time_increment.igc", "igp_lad_lod_extensions.igc"}) {
    unit.tracks.push_back(ReadText(std::string(TARNVIK_TEST_DATA) + "/igc/" + file));
  }

  QtUi ui;
  std::string boxes;
  ui.answerBox = [&boxes](const MessageBoxCall& call) -> std::optional<core::Answer> {
    boxes += "[" + call.caption + ": " + call.text + "] ";
    return std::nullopt;
  };
  access::AccessEnvironment environment;
  environment.ui = &ui;
  environment.openSerial = [&unit](const std::string&, std::string&, std::string&) {
    return std::unique_ptr<access::Transport>(std::make_unique<FlytecPort>(unit));
  };
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("tarnvik-track-list-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  {
    std::unique_ptr<app::TransferGate> gate = app::MakeEngineGate(environment);
    app::Session session(ui, core::SystemClock(), *gate, folder.string());
    MainWindow window(session, ui);
    InstallTrackListDialogs(ui, &window);
    window.UpdateCommandStates();
    core::SettingsFileLocation location;
    location.userFile = (folder / "tarnvik.ini").string();
    ASSERT_EQ(session.Initialise(core::MakeIniSettingsBackend(location)), 0);
    session.portName = "/dev/simulated";
    window.show();

    int shown = 0;
    ui.driveDialog = [&](QDialog& dialog) {
      auto& list = dynamic_cast<TrackListDialog&>(dialog);
      ++shown;
      EXPECT_EQ(list.entries()->topLevelItemCount(), 3);
      list.entries()->setCurrentItem(list.entries()->topLevelItem(1));
      list.okButton()->click();
    };
    window.actionFor(40054)->trigger();  // Read IQ-Compeo/Competino
    ASSERT_TRUE(WaitFor([&] { return !session.busy; }, std::chrono::seconds(60)));
    EXPECT_EQ(shown, 1) << boxes;
    // The second entry is track 01: its IGC file, byte for byte.
    const std::vector<uint8_t>& raw = session.track.rawIgc;
    EXPECT_EQ(std::string(raw.begin(), raw.end()), unit.ServedIgc(1)) << boxes;
    EXPECT_FALSE(session.track.log.points.empty());
    window.close();
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace tarnvik::gui::testing
