#include "tests/gui/gui_rig.h"

#include <QAction>
#include <QCoreApplication>

#include <atomic>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "access/access_engine.h"
#include "app/gui/dialogs.h"
#include "core/settings.h"
#include "formats/igc.h"
#include "sim/memory_link.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::gui::testing {
namespace {

// Waits before each answer, as a slow line or a slow unit would.
class SlowDevice final : public sim::Device {
 public:
  SlowDevice(sim::Device& inner, int delayMs) : inner_(inner), delayMs_(delayMs) {}
  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) override {
    if (delayMs_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
    inner_.Receive(bytes, count, out);
  }
  void Tick(int64_t nowMs, std::vector<uint8_t>& out) override { inner_.Tick(nowMs, out); }

 private:
  sim::Device& inner_;
  int delayMs_;
};

// The serial port of one transfer: a fresh simulated unit on the far end of an in-memory line,
// served on its own thread until the port goes.
class SimulatedPort final : public access::Transport {
 public:
  SimulatedPort(const std::vector<sim::garmin::SimTrackRecord>& track, int delayMs)
      : device_(UnitWith(track)),
        slow_(device_, delayMs),
        server_([this](std::stop_token stop) { sim::ServeDevice(pipe_.device(), slow_, core::SystemClock(), stop); }) {}
  ~SimulatedPort() override {
    server_.request_stop();
    if (server_.joinable()) server_.join();
  }
  int SetSpeed(int baud, bool xonXoff) override { return pipe_.host().SetSpeed(baud, xonXoff); }
  int Read(uint8_t* buffer, size_t size, int maxWaitMs) override { return pipe_.host().Read(buffer, size, maxWaitMs); }
  int Write(const uint8_t* bytes, size_t count) override { return pipe_.host().Write(bytes, count); }
  void Purge() override { pipe_.host().Purge(); }
  void Close() override { pipe_.host().Close(); }

 private:
  static sim::garmin::GarminDevice UnitWith(const std::vector<sim::garmin::SimTrackRecord>& track) {
    sim::garmin::GarminDevice unit;
    unit.track = track;
    return unit;
  }

  sim::MemoryPipe pipe_;
  sim::garmin::GarminDevice device_;
  SlowDevice slow_;
  std::jthread server_;  // last: stopped and joined first
};

std::filesystem::path FreshFolder() {
  static std::atomic<int> counter{0};
  std::filesystem::path p = std::filesystem::temp_directory_path() /
                            ("tarnvik_gui_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
  std::filesystem::remove_all(p);
  std::filesystem::create_directories(p);
  return p;
}

}  // namespace

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  QCoreApplication::processEvents();
  return true;
}

std::vector<sim::garmin::SimTrackRecord> SimTrack(const std::vector<core::TrackPoint>& points) {
  std::vector<sim::garmin::SimTrackRecord> track;
  sim::garmin::SimTrackRecord header;
  header.header = true;
  header.name = "ACTIVE LOG";
  track.push_back(header);
  for (const core::TrackPoint& p : points) {
    sim::garmin::SimTrackRecord r;
    r.point = p;
    r.altitudeM = static_cast<float>(p.height) / 10.0f;
    track.push_back(r);
  }
  return track;
}

std::vector<core::TrackPoint> SyntheticPoints(int n) {
  std::vector<core::TrackPoint> points;
  for (int i = 0; i < n; ++i) {
    core::TrackPoint p;
    p.time = 1000000000u + static_cast<uint32_t>(i);
    p.latitude = 553000000 + i * 1000;
    p.longitude = 123000000 - i * 700;
    p.height = 10000 + i * 10;
    p.flags = i == 0 ? 1 : 0;
    points.push_back(p);
  }
  return points;
}

std::vector<core::TrackPoint> RealFlight(const std::string& fileName) {
  tarnvik::testing::RecordingUi ui;
  std::string base = std::string(TARNVIK_TEST_DATA) + "/igc/" + fileName;
  base.resize(base.size() - 4);  // ReadIgcFile adds ".igc"
  formats::TrackParseResult parsed = formats::ReadIgcFile(ui, base);
  return parsed.fixes;
}

GuiRig::GuiRig(std::vector<core::TrackPoint> unitTrack, int delayMs) : folder(FreshFolder()) {
  ui_.answerBox = [this](const MessageBoxCall& call) -> std::optional<core::Answer> {
    boxes.push_back(call);
    if (call.question && !answers.empty()) {
      core::Answer a = answers.front();
      answers.pop_front();
      return a;
    }
    return std::nullopt;
  };
  ui_.chooseFile = [this](core::FileRequest&, bool) -> std::optional<std::string> {
    if (files.empty()) return std::nullopt;
    std::string f = files.front();
    files.pop_front();
    return f;
  };
  ui_.chooseItem = [](const std::string&, const std::vector<std::string>&) { return 0; };

  auto track = std::make_shared<std::vector<sim::garmin::SimTrackRecord>>(SimTrack(unitTrack));
  access::AccessEnvironment environment;
  environment.ui = &ui_;
  environment.openSerial = [track, delayMs](const std::string&, std::string&, std::string&) {
    return std::unique_ptr<access::Transport>(std::make_unique<SimulatedPort>(*track, delayMs));
  };
  gate_ = app::MakeEngineGate(environment);
  session_ = std::make_unique<app::Session>(ui_, core::SystemClock(), *gate_, folder.string());
  window_ = std::make_unique<MainWindow>(*session_, ui_);
  InstallWindowDialogs(*session_, ui_, window_.get());
  window_->UpdateCommandStates();
  core::SettingsFileLocation location;
  location.userFile = (folder / "tarnvik.ini").string();
  EXPECT_EQ(session_->Initialise(core::MakeIniSettingsBackend(location)), 0);
  session_->portName = "/dev/simulated";
  session_->UpdateTitle();
  window_->show();
}

GuiRig::~GuiRig() {
  if (window_ && !session_->exitFlag) window_->close();
  window_.reset();
  session_.reset();
  gate_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

bool GuiRig::Shown(const std::string& caption, const std::string& text) const {
  for (const MessageBoxCall& b : boxes) {
    if (b.caption == caption && b.text == text) return true;
  }
  return false;
}

std::string GuiRig::BoxTexts() const {
  std::ostringstream out;
  for (const MessageBoxCall& b : boxes) out << '[' << b.caption << ": " << b.text << "] ";
  return out.str();
}

void GuiRig::StartDownload() {
  QAction* read = window_->actionFor(40029);
  ASSERT_NE(read, nullptr);
  read->trigger();
  ASSERT_TRUE(session_->busy) << BoxTexts();
}

bool GuiRig::WaitIdle(std::chrono::milliseconds limit) {
  return WaitFor([this] { return !session_->busy; }, limit);
}

}  // namespace tarnvik::gui::testing
