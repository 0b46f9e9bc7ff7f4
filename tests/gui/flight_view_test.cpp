// The flight view on the offscreen platform: a real flight painted into an image, a click that
// picks a fix, and the dock in the window following the downloaded log.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QImage>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>
#include <QTableView>

#include "app/gui/flight_view.h"
#include "tests/gui/gui_rig.h"

namespace tarnvik::gui::testing {
namespace {

int InkPixels(const QImage& image, const QRect& area) {
  int ink = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (image.pixel(x, y) != qRgb(255, 255, 255)) ++ink;
  return ink;
}

void Click(QWidget* widget, QPointF at) {
  QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &press);
  QCoreApplication::sendEvent(widget, &release);
}

TEST(FlightViewTest, PaintsARealFlightAndPicksTheClickedFix) {
  std::vector<core::TrackPoint> fixes = RealFlight("igp_20211015.igc");
  ASSERT_GT(fixes.size(), 100u);
  FlightView view;
  view.resize(900, 640);
  view.SetTrack(fixes);
  view.show();
  QCoreApplication::processEvents();
  QWidget* canvas = view.canvas();
  const QSize size = canvas->size();
  QImage image(size, QImage::Format_RGB32);
  {
    QPainter painter(&image);
    view.Render(painter, size);
  }
  // The take-off fix lies inside the plan and is painted there.
  const app::Viewport& v = view.viewport();
  const geo::TmPoint& start = view.plane().points[view.plane().takeoff];
  QPoint takeoff(static_cast<int>(v.PixelX(start.x)), static_cast<int>(v.PixelY(start.y)));
  ASSERT_TRUE(QRect(QPoint(0, 0), size).contains(takeoff));
  EXPECT_NE(image.pixel(takeoff), qRgb(255, 255, 255));
  // Both the plan (upper part) and the barogram (lower part) carry a drawing.
  const int planBottom = static_cast<int>(size.height() * 0.68);
  EXPECT_GT(InkPixels(image, QRect(0, 0, size.width(), planBottom)), 2000);
  EXPECT_GT(InkPixels(image, QRect(0, planBottom + 10, size.width(), size.height() - planBottom - 10)), 2000);

  // A click next to a fix of the track picks the fix the model finds there.
  qint64 picked = -1;
  QObject::connect(&view, &FlightView::fixPicked, [&](qint64 index) { picked = index; });
  const size_t target = fixes.size() / 3;
  const geo::TmPoint& p = view.plane().points[target];
  // Whole pixels, as a mouse gives them.
  QPointF at(std::round(v.PixelX(p.x)) + 1, std::round(v.PixelY(p.y)) + 1);
  Click(canvas, at);
  EXPECT_EQ(picked, app::PickPlanFix(view.plane(), v, at.x(), at.y()));
  EXPECT_GE(picked, 0);
}

TEST(FlightViewTest, TickingContestLegsSearchesBesideTheWindowAndANewLogDropsThem) {
  std::vector<core::TrackPoint> fixes = RealFlight("igp_20211015.igc");
  FlightView view;
  view.SetTrack(fixes);
  view.contestBox()->setChecked(true);
  ASSERT_TRUE(WaitFor([&] { return !view.contest().empty(); }, std::chrono::seconds(120)));
  EXPECT_EQ(view.contest().front().name, "Free distance");
  EXPECT_EQ(view.contest().front().points.size(), 5u);
  // Another log: the legs of the first one go; a search for the new one starts (the box stays
  // ticked) and its result belongs to the new log only.
  std::vector<core::TrackPoint> shorter(fixes.begin(), fixes.begin() + static_cast<long>(fixes.size() / 2));
  view.SetTrack(shorter);
  EXPECT_TRUE(view.contest().empty());
  ASSERT_TRUE(WaitFor([&] { return !view.contest().empty(); }, std::chrono::seconds(120)));
  const app::FlightPlane& plane = view.plane();
  for (const geo::TmPoint& p : view.contest().front().points) {
    EXPECT_GE(p.x, plane.minX - 1);
    EXPECT_LE(p.x, plane.maxX + 1);
  }
}

TEST(FlightViewTest, DockFollowsTheLogAndAPickSelectsTheRow) {
  GuiRig rig(SyntheticPoints(300));
  MainWindow& w = rig.window();
  auto* toggle = w.findChild<QAction*>(QStringLiteral("flightViewAction"));
  ASSERT_NE(toggle, nullptr);
  EXPECT_EQ(toggle->shortcut(), QKeySequence(Qt::Key_F8));
  auto* dock = w.findChild<QDockWidget*>(QStringLiteral("flightDock"));
  ASSERT_NE(dock, nullptr);
  w.show();
  toggle->trigger();
  EXPECT_TRUE(dock->isVisible());

  rig.StartDownload();
  ASSERT_TRUE(rig.WaitIdle()) << rig.BoxTexts();
  FlightView* view = w.flightView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->plane().points.size(), rig.session().track.log.points.size());
  EXPECT_EQ(view->plane().points.size(), 300u);

  emit view->fixPicked(123);
  QModelIndexList rows = w.list()->selectionModel()->selectedRows();
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows.front().row(), 123);
  EXPECT_EQ(rig.session().selection(), std::vector<size_t>{123});
}

}  // namespace
}  // namespace tarnvik::gui::testing
