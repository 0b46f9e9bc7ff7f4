// The Flytec/Brauniger track dialogs as a download meets them: the worker's question goes
// through the window's Ui to the GUI thread, the dialog shows the instrument's entries, and the
// button pressed is the answer the worker gets back; over a real session and engine, the track
// picked is the one a simulated Compeo+ sends, and the tracks picked are the logbook's.
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
      : device_(device), server_([this](std::stop_token stop) {
          sim::ServeDevice(pipe_.device(), device_, core::SystemClock(), stop);
        }) {}
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

// A window over a real session and engine whose serial port is a Compeo+ holding three real
// flights; boxes are recorded, not shown.
class CompeoWindow {
 public:
  CompeoWindow()
      : unit_(Config()),
        folder(std::filesystem::temp_directory_path() / ("tarnvik-track-list-" + std::to_string(::getpid()))) {
    for (const char* file : {"xcs_marcourt.igc", "igl_no_time_increment.igc", "igp_lad_lod_extensions.igc"}) {
      unit_.tracks.push_back(ReadText(std::string(TARNVIK_TEST_DATA) + "/igc/" + file));
    }
    std::filesystem::create_directories(folder);
    ui.answerBox = [this](const MessageBoxCall& call) -> std::optional<core::Answer> {
      boxes += "[" + call.caption + ": " + call.text + "] ";
      return std::nullopt;
    };
    access::AccessEnvironment environment;
    environment.ui = &ui;
    environment.openSerial = [this](const std::string&, std::string&, std::string&) {
      return std::unique_ptr<access::Transport>(std::make_unique<FlytecPort>(unit_));
    };
    gate_ = app::MakeEngineGate(environment);
    session = std::make_unique<app::Session>(ui, core::SystemClock(), *gate_, folder.string());
    window = std::make_unique<MainWindow>(*session, ui);
    InstallTrackListDialogs(ui, window.get());
    window->UpdateCommandStates();
    core::SettingsFileLocation location;
    location.userFile = (folder / "tarnvik.ini").string();
    EXPECT_EQ(session->Initialise(core::MakeIniSettingsBackend(location)), 0);
    session->portName = "/dev/simulated";
    window->show();
  }
  ~CompeoWindow() {
    if (!session->exitFlag) window->close();
    window.reset();
    session.reset();
    gate_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  const sim::flytec::FlytecDevice& unit() const { return unit_; }
  // Runs a command and waits until its transfer ended.
  bool Run(int command) {
    window->actionFor(command)->trigger();
    return WaitFor([&] { return !session->busy; }, std::chrono::seconds(60));
  }

 private:
  static sim::flytec::FlytecDeviceConfig Config() {
    sim::flytec::FlytecDeviceConfig config;
    config.name = "COMPEO+";  // always offers its list
    return config;
  }
  sim::flytec::FlytecDevice unit_;

 public:
  std::filesystem::path folder;
  QtUi ui;
  std::string boxes;
  std::unique_ptr<app::TransferGate> gate_;
  std::unique_ptr<app::Session> session;
  std::unique_ptr<MainWindow> window;
};

TEST(TrackListDialogsTest, TheTrackChosenInTheWindowIsTheOneTheInstrumentSends) {
  CompeoWindow compeo;
  int shown = 0;
  compeo.ui.driveDialog = [&](QDialog& dialog) {
    auto& list = dynamic_cast<TrackListDialog&>(dialog);
    ++shown;
    EXPECT_EQ(list.entries()->topLevelItemCount(), 3);
    list.entries()->setCurrentItem(list.entries()->topLevelItem(1));
    list.okButton()->click();
  };
  ASSERT_TRUE(compeo.Run(40054));  // Read IQ-Compeo/Competino
  EXPECT_EQ(shown, 1) << compeo.boxes;
  // The second entry is track 01: its IGC file, byte for byte.
  const std::vector<uint8_t>& raw = compeo.session->track.rawIgc;
  EXPECT_EQ(std::string(raw.begin(), raw.end()), compeo.unit().ServedIgc(1)) << compeo.boxes;
  EXPECT_FALSE(compeo.session->track.log.points.empty());
}

TEST(TrackListDialogsTest, TheTracksChosenForTheLogbookAreTheOnesItHolds) {
  CompeoWindow compeo;
  const std::string logbook = (compeo.folder / "logbook.kml").string();
  compeo.ui.chooseFile = [&](core::FileRequest&, bool save) -> std::optional<std::string> {
    if (!save) return std::nullopt;
    return logbook;
  };
  compeo.ui.driveDialog = [&](QDialog& dialog) {
    auto& list = dynamic_cast<TrackMultiListDialog&>(dialog);
    list.entries()->item(0)->setSelected(true);
    list.entries()->item(2)->setSelected(true);
    list.okButton()->click();
  };
  ASSERT_TRUE(compeo.Run(40119));  // Read IQ Tracks
  const std::string document = ReadText(logbook);
  ASSERT_FALSE(document.empty()) << compeo.boxes;
  // One trip folder per chosen track, each described by its list entry.
  size_t trips = 0;
  const std::string trip = "type=\"trip\"";
  for (size_t at = document.find(trip); at != std::string::npos; at = document.find(trip, at + 1)) ++trips;
  EXPECT_EQ(trips, 2u);
  EXPECT_NE(document.find("<![CDATA[00   06.03.21"), std::string::npos);
  EXPECT_EQ(document.find("<![CDATA[01   "), std::string::npos);
  EXPECT_NE(document.find("<![CDATA[02   "), std::string::npos);
  // The current log stays as it was: the logbook download replaces nothing.
  EXPECT_FALSE(compeo.session->track.present);
}

}  // namespace
}  // namespace tarnvik::gui::testing
