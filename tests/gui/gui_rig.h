// A window as the program builds it (Qt Ui, access engine, session, main window and its
// dialogs) whose serial port is the Garmin simulator in memory, and whose message boxes are
// recorded and answered instead of shown.
#pragma once

#include <gtest/gtest.h>

#include <QDialog>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/gui/main_window.h"
#include "app/gui/qt_ui.h"
#include "app/session.h"
#include "app/transfer.h"
#include "sim/garmin/garmin_device.h"

namespace tarnvik::gui::testing {

// Processes Qt events (which drain the session's queue) until done() or the time is up.
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(30));

// Points of a track log as the simulated unit delivers them (a track header first).
std::vector<sim::garmin::SimTrackRecord> SimTrack(const std::vector<core::TrackPoint>& points);
// A synthetic log of n points, one per second.
std::vector<core::TrackPoint> SyntheticPoints(int n);
// The fixes of a real flight from the test data.
std::vector<core::TrackPoint> RealFlight(const std::string& fileName);

class GuiRig {
 public:
  // delayMs: how long the unit waits before each answer (a slow line keeps a transfer running).
  explicit GuiRig(std::vector<core::TrackPoint> unitTrack = SyntheticPoints(60), int delayMs = 0);
  ~GuiRig();

  app::Session& session() { return *session_; }
  MainWindow& window() { return *window_; }
  QtUi& ui() { return ui_; }
  // Destroys the window (as the program does after its close).
  void DestroyWindow() { window_.reset(); }

  std::vector<MessageBoxCall> boxes;      // every box and question, in order
  std::deque<core::Answer> answers;       // next answers to questions; empty: the default
  std::deque<std::string> files;          // next file choices; empty: cancelled
  std::filesystem::path folder;           // a fresh folder for settings and files

  bool Shown(const std::string& caption, const std::string& text) const;
  std::string BoxTexts() const;
  // Starts a track download with the "Read Garmin" menu item and waits until it is running.
  void StartDownload();
  // Waits until the running transfer ended.
  bool WaitIdle(std::chrono::milliseconds limit = std::chrono::seconds(60));

 private:
  QtUi ui_;
  std::unique_ptr<app::TransferGate> gate_;
  std::unique_ptr<app::Session> session_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace tarnvik::gui::testing
