// The flight view: the current track log drawn in plan (north up, one scale for x and y, grid,
// scale bar, climb colours, take-off and landing) and as a barogram with ground speed, with the
// contest legs and the airspace near the track. It paints what app/flight_view_model computes;
// wheel zooms around the cursor, dragging pans, a click picks the nearest fix.
#pragma once

#include <QPoint>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "app/flight_view_model.h"
#include "core/records.h"

class QCheckBox;
class QMainWindow;
class QMenu;
class QPainter;
class QPushButton;

namespace tarnvik::gui {

class FlightCanvas;

class FlightView final : public QWidget {
  Q_OBJECT

 public:
  explicit FlightView(QWidget* parent = nullptr);
  ~FlightView() override;

  // A new log (fits the view to it; contest legs of an earlier log are dropped).
  void SetTrack(std::vector<core::TrackPoint> fixes);
  // Fix indices to highlight.
  void SetSelection(const std::vector<size_t>& fixes);
  void SetContest(std::vector<app::ContestShape> shapes);
  void SetAirspace(const core::CtrList& zones);
  void FitToFlight();
  // Paints plan and barogram into `size` (the canvas's paint, also used for pictures).
  void Render(QPainter& painter, QSize size);

  const app::FlightPlane& plane() const { return plane_; }
  const app::Viewport& viewport() const { return view_; }
  const std::vector<app::ContestShape>& contest() const { return contest_; }
  QWidget* canvas() const;
  QCheckBox* contestBox() const { return contestBox_; }
  QCheckBox* airspaceBox() const { return airspaceBox_; }

 signals:
  // A click on the track or the barogram chose this fix.
  void fixPicked(qint64 index);

 private:
  friend class FlightCanvas;
  void StartContestSearch();
  void StopContestSearch();
  QRect PlanRect(QSize size) const;
  QRect BaroRect(QSize size) const;
  void EnsureViewport(QSize size);
  void Click(QPoint at, QSize size);
  void Wheel(QPoint at, QSize size, double steps);
  void Drag(QPoint delta);

  std::vector<core::TrackPoint> fixes_;
  app::FlightPlane plane_;
  app::Viewport view_;
  bool fitted_ = false;
  std::vector<uint8_t> selected_;  // per fix
  std::vector<app::ContestShape> contest_;
  std::vector<app::AirspaceOutline> airspace_;
  core::CtrList zones_;
  std::shared_ptr<std::atomic<bool>> searchAlive_;
  // The contest search of the current log; halted through searchAlive_ and joined before a new
  // one starts and before the view goes, so it never outlives the application.
  std::thread search_;
  FlightCanvas* canvas_ = nullptr;
  QCheckBox* contestBox_ = nullptr;
  QCheckBox* airspaceBox_ = nullptr;
  QPushButton* fitButton_ = nullptr;
};

// A dock with the flight view at the right of `window`, hidden at first, toggled by the
// "Flight view" item appended to `viewMenu` (shortcut F8).
FlightView* InstallFlightView(QMainWindow* window, QMenu* viewMenu);

}  // namespace tarnvik::gui
