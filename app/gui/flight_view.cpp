#include "app/gui/flight_view.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenu>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "analysis/olc_search.h"

namespace tarnvik::gui {

namespace {

QColor ClimbColour(app::ClimbClass c) {
  switch (c) {
    case app::ClimbClass::StrongSink: return QColor(30, 60, 170);
    case app::ClimbClass::Sink: return QColor(70, 140, 230);
    case app::ClimbClass::Level: return QColor(120, 120, 120);
    case app::ClimbClass::Climb: return QColor(240, 150, 20);
    case app::ClimbClass::StrongClimb: return QColor(215, 30, 30);
  }
  return Qt::black;
}

QString Q(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Halts the contest search once the view no longer wants its result (another log, the view
// gone); it shows nothing and asks nothing.
class SearchHalt final : public core::Operation {
 public:
  explicit SearchHalt(std::shared_ptr<std::atomic<bool>> alive) : alive_(std::move(alive)) {}
  bool IsCancelled() const override { return !alive_->load(); }
  void Status(const std::string&) override {}
  void Product(const std::string&) override {}
  void Fail(const std::string&, const std::string&) override {}
  core::Answer Ask(const std::string&, const std::string&, core::Buttons, core::Answer answer) override {
    return answer;
  }
  int ChooseItem(const std::string&, const std::string&, const std::vector<std::string>&) override { return -1; }

 private:
  std::shared_ptr<std::atomic<bool>> alive_;
};

constexpr int kBaroLeft = 60;   // room for the height labels
constexpr int kBaroRight = 48;  // room for the speed labels
constexpr int kBaroBottom = 20;

}  // namespace

// The drawing surface: forwards paint and mouse to the view.
class FlightCanvas final : public QWidget {
 public:
  explicit FlightCanvas(FlightView* view) : QWidget(view), view_(view) {
    setObjectName(QStringLiteral("flightCanvas"));
    setMinimumSize(320, 260);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    view_->Render(painter, size());
  }
  void mousePressEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    pressAt_ = lastAt_ = event->position().toPoint();
    dragging_ = false;
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    QPoint at = event->position().toPoint();
    if (event->buttons() & Qt::LeftButton) {
      if ((at - pressAt_).manhattanLength() > 4) dragging_ = true;
      if (dragging_ && view_->PlanRect(size()).contains(pressAt_)) view_->Drag(at - lastAt_);
      lastAt_ = at;
      return;
    }
    // Names of the airspace under the cursor.
    if (!view_->airspaceBox_->isChecked() || !view_->PlanRect(size()).contains(at)) return;
    QStringList names;
    const app::Viewport& v = view_->view_;
    for (const app::AirspaceOutline& zone : view_->airspace_) {
      QPolygonF polygon;
      for (const geo::TmPoint& p : zone.points) polygon << QPointF(v.PixelX(p.x), v.PixelY(p.y));
      if (polygon.containsPoint(QPointF(at), Qt::OddEvenFill)) names << Q(zone.name);
    }
    if (names.isEmpty())
      QToolTip::hideText();
    else
      QToolTip::showText(event->globalPosition().toPoint(), names.join(QLatin1Char('\n')), this);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && !dragging_) view_->Click(event->position().toPoint(), size());
    dragging_ = false;
  }
  void wheelEvent(QWheelEvent* event) override {
    view_->Wheel(event->position().toPoint(), size(), event->angleDelta().y() / 120.0);
  }
  void resizeEvent(QResizeEvent*) override {
    if (!view_->fitted_) return;
    // Keep the scale and centre; only the picture's size changes.
    QRect plan = view_->PlanRect(size());
    view_->view_.width = std::max(plan.width(), 1);
    view_->view_.height = std::max(plan.height(), 1);
  }

 private:
  FlightView* view_;
  QPoint pressAt_, lastAt_;
  bool dragging_ = false;
};

FlightView::FlightView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("flightView"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  auto* controls = new QHBoxLayout;
  contestBox_ = new QCheckBox(tr("Contest legs"), this);
  contestBox_->setObjectName(QStringLiteral("flightContest"));
  airspaceBox_ = new QCheckBox(tr("Airspace"), this);
  airspaceBox_->setObjectName(QStringLiteral("flightAirspace"));
  airspaceBox_->setChecked(true);
  fitButton_ = new QPushButton(tr("Fit flight"), this);
  fitButton_->setObjectName(QStringLiteral("flightFit"));
  controls->addWidget(contestBox_);
  controls->addWidget(airspaceBox_);
  controls->addStretch(1);
  controls->addWidget(fitButton_);
  layout->addLayout(controls);
  canvas_ = new FlightCanvas(this);
  layout->addWidget(canvas_, 1);
  connect(fitButton_, &QPushButton::clicked, this, &FlightView::FitToFlight);
  connect(airspaceBox_, &QCheckBox::toggled, canvas_, [this] { canvas_->update(); });
  connect(contestBox_, &QCheckBox::toggled, this, [this](bool on) {
    if (on && contest_.empty()) StartContestSearch();
    canvas_->update();
  });
}

FlightView::~FlightView() { StopContestSearch(); }

void FlightView::StopContestSearch() {
  if (searchAlive_) searchAlive_->store(false);
  searchAlive_.reset();
  // The search polls the flag between its steps, so the join is short.
  if (search_.joinable()) search_.join();
}

void FlightView::SetTrack(std::vector<core::TrackPoint> fixes) {
  // The window hands the log over on every reload of its list: an unchanged log keeps its
  // plane, zoom and contest legs.
  if (fixes.size() == fixes_.size() && !fixes_.empty() &&
      std::memcmp(fixes.data(), fixes_.data(), fixes.size() * sizeof(core::TrackPoint)) == 0)
    return;
  StopContestSearch();
  fixes_ = std::move(fixes);
  plane_ = app::BuildFlightPlane(fixes_);
  selected_.assign(fixes_.size(), 0);
  contest_.clear();
  airspace_ = app::AirspaceNearTrack(zones_, plane_);
  fitted_ = false;
  if (contestBox_->isChecked()) StartContestSearch();
  canvas_->update();
}

void FlightView::SetSelection(const std::vector<size_t>& fixes) {
  std::fill(selected_.begin(), selected_.end(), 0);
  for (size_t i : fixes)
    if (i < selected_.size()) selected_[i] = 1;
  canvas_->update();
}

void FlightView::SetContest(std::vector<app::ContestShape> shapes) {
  contest_ = std::move(shapes);
  canvas_->update();
}

void FlightView::SetAirspace(const core::CtrList& zones) {
  zones_ = zones;
  airspace_ = app::AirspaceNearTrack(zones_, plane_);
  canvas_->update();
}

QWidget* FlightView::canvas() const { return canvas_; }

void FlightView::FitToFlight() {
  fitted_ = false;
  canvas_->update();
}

void FlightView::StartContestSearch() {
  if (fixes_.size() < 5) return;
  StopContestSearch();
  auto alive = std::make_shared<std::atomic<bool>>(true);
  searchAlive_ = alive;
  QPointer<FlightView> self(this);
  // The search takes a moment on long logs: it runs beside the window and hands its legs back
  // on the window's thread, unless the log changed meanwhile.
  search_ = std::thread([alive, self, fixes = fixes_, plane = plane_] {
    analysis::OlcResult result;
    SearchHalt halt(alive);
    if (analysis::RunOlcSearch(fixes, &halt, nullptr, result) != 0) return;
    std::vector<app::ContestShape> shapes = app::ContestShapes(fixes, plane, result);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [alive, self, shapes = std::move(shapes)]() mutable {
          if (self && alive->load()) self->SetContest(std::move(shapes));
        },
        Qt::QueuedConnection);
  });
}

QRect FlightView::PlanRect(QSize size) const {
  return QRect(0, 0, size.width(), static_cast<int>(size.height() * 0.68));
}

QRect FlightView::BaroRect(QSize size) const {
  int top = static_cast<int>(size.height() * 0.68) + 8;
  return QRect(kBaroLeft, top, std::max(size.width() - kBaroLeft - kBaroRight, 1),
               std::max(size.height() - top - kBaroBottom, 1));
}

void FlightView::EnsureViewport(QSize size) {
  QRect plan = PlanRect(size);
  if (!fitted_) {
    view_ = app::FitFlight(plane_, plan.width(), plan.height(), 24);
    fitted_ = true;
  }
}

void FlightView::Click(QPoint at, QSize size) {
  int64_t fix = -1;
  if (PlanRect(size).contains(at)) {
    fix = app::PickPlanFix(plane_, view_, at.x(), at.y());
  } else {
    QRect baro = BaroRect(size);
    if (at.y() >= baro.top() && at.x() >= baro.left() && at.x() <= baro.right()) {
      app::BarogramFrame frame = app::FitBarogram(plane_, baro.left(), baro.top(), baro.width(), baro.height());
      fix = app::PickBarogramFix(fixes_, frame, at.x());
    }
  }
  if (fix >= 0) emit fixPicked(fix);
}

void FlightView::Wheel(QPoint at, QSize size, double steps) {
  if (!PlanRect(size).contains(at) || steps == 0) return;
  app::ZoomAt(view_, at.x(), at.y(), std::pow(1.25, steps));
  canvas_->update();
}

void FlightView::Drag(QPoint delta) {
  app::PanBy(view_, delta.x(), delta.y());
  canvas_->update();
}

void FlightView::Render(QPainter& painter, QSize size) {
  painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  painter.setRenderHint(QPainter::Antialiasing, true);
  if (plane_.empty()) {
    painter.setPen(Qt::gray);
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, tr("No track log"));
    return;
  }
  EnsureViewport(size);
  const QRect plan = PlanRect(size);
  const app::Viewport& v = view_;
  auto at = [&](const geo::TmPoint& p) { return QPointF(v.PixelX(p.x), v.PixelY(p.y)); };

  // ---- plan ----
  painter.save();
  painter.setClipRect(plan);
  QFont small = painter.font();
  small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.8));
  painter.setFont(small);
  painter.setPen(QPen(QColor(215, 215, 215), 1));
  for (const app::GridLine& line : app::GridLines(plane_, v)) {
    QPolygonF polyline;
    for (size_t k = 0; k + 1 < line.pixels.size(); k += 2) polyline << QPointF(line.pixels[k], line.pixels[k + 1]);
    painter.drawPolyline(polyline);
    // Labels where the line leaves the picture: meridians at the bottom, parallels at the left.
    QPointF anchor = polyline.isEmpty() ? QPointF() : (line.meridian ? polyline.front() : polyline.front());
    painter.setPen(QColor(150, 150, 150));
    if (line.meridian)
      painter.drawText(QPointF(std::clamp(anchor.x() + 2, 2.0, plan.width() - 60.0), plan.bottom() - 3), Q(line.label));
    else
      painter.drawText(QPointF(3, std::clamp(anchor.y() - 2, 12.0, plan.bottom() - 4.0)), Q(line.label));
    painter.setPen(QPen(QColor(215, 215, 215), 1));
  }
  if (airspaceBox_->isChecked()) {
    painter.setPen(QPen(QColor(160, 40, 160), 1.5));
    painter.setBrush(QColor(160, 40, 160, 25));
    for (const app::AirspaceOutline& zone : airspace_) {
      QPolygonF polygon;
      for (const geo::TmPoint& p : zone.points) polygon << at(p);
      painter.drawPolygon(polygon);
    }
    painter.setBrush(Qt::NoBrush);
  }
  app::DecimatedPath path = app::DecimatePlan(fixes_, plane_, v);
  for (size_t k = 1; k < path.indices.size(); ++k) {
    if (path.breakBefore[k]) continue;
    uint32_t a = path.indices[k - 1], b = path.indices[k];
    painter.setPen(QPen(ClimbColour(plane_.climb[b]), 1.6));
    painter.drawLine(at(plane_.points[a]), at(plane_.points[b]));
  }
  // Selected fixes on top.
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0, 160, 255, 160));
  int lastColumn = -2, lastRow = -2;
  for (size_t i = 0; i < selected_.size(); ++i) {
    if (!selected_[i]) continue;
    QPointF p = at(plane_.points[i]);
    int c = static_cast<int>(p.x()), r = static_cast<int>(p.y());
    if (c == lastColumn && r == lastRow) continue;
    lastColumn = c, lastRow = r;
    painter.drawEllipse(p, 2.5, 2.5);
  }
  if (contestBox_->isChecked()) {
    for (size_t s = 0; s < contest_.size(); ++s) {
      const app::ContestShape& shape = contest_[s];
      QColor colour = s == 0 ? QColor(0, 120, 0) : s == 1 ? QColor(180, 90, 0) : QColor(200, 0, 120);
      painter.setPen(QPen(colour, 2));
      painter.setBrush(Qt::NoBrush);
      QPolygonF legs;
      if (shape.closingGap && shape.points.size() == 5) {
        legs << at(shape.points[1]) << at(shape.points[2]) << at(shape.points[3]) << at(shape.points[1]);
        painter.drawPolyline(legs);
        painter.setPen(QPen(colour, 1.5, Qt::DashLine));
        painter.drawLine(at(shape.points[0]), at(shape.points[4]));
      } else {
        for (const geo::TmPoint& p : shape.points) legs << at(p);
        painter.drawPolyline(legs);
      }
      painter.setPen(colour);
      for (size_t k = 0; k < shape.points.size() && k < shape.labels.size(); ++k) {
        QPointF p = at(shape.points[k]);
        painter.drawEllipse(p, 3, 3);
        painter.drawText(p + QPointF(5, -5 - 11.0 * s), Q(shape.labels[k]));
      }
    }
  }
  // Take-off and landing.
  auto marker = [&](size_t index, QColor colour, const QString& text) {
    QPointF p = at(plane_.points[index]);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(colour);
    painter.drawRect(QRectF(p.x() - 4, p.y() - 4, 8, 8));
    painter.drawText(p + QPointF(6, 12), text);
  };
  marker(plane_.takeoff, QColor(0, 200, 0), tr("Take-off"));
  marker(plane_.landing, QColor(230, 0, 0), tr("Landing"));
  // Scale bar and legend.
  app::ScaleBar bar = app::ComputeScaleBar(v);
  painter.setPen(QPen(Qt::black, 2));
  const double barY = plan.bottom() - 18, barX = plan.right() - 16 - bar.pixels;
  painter.drawLine(QPointF(barX, barY), QPointF(barX + bar.pixels, barY));
  painter.drawLine(QPointF(barX, barY - 4), QPointF(barX, barY + 4));
  painter.drawLine(QPointF(barX + bar.pixels, barY - 4), QPointF(barX + bar.pixels, barY + 4));
  painter.drawText(QPointF(barX, barY - 6), Q(bar.label));
  painter.drawText(QPointF(plan.right() - 16, 14), QStringLiteral("N"));
  int legendY = 16;
  for (int c = app::kClimbClassCount - 1; c >= 0; --c) {
    auto cls = static_cast<app::ClimbClass>(c);
    painter.fillRect(QRectF(plan.right() - 130, legendY - 8, 14, 8), ClimbColour(cls));
    painter.setPen(Qt::black);
    painter.drawText(QPointF(plan.right() - 112, legendY), QString::fromUtf8(app::ClimbClassLabel(cls)));
    legendY += 12;
  }
  painter.restore();
  painter.setPen(QColor(180, 180, 180));
  painter.drawLine(plan.bottomLeft(), plan.bottomRight());

  // ---- barogram ----
  const QRect baro = BaroRect(size);
  app::BarogramFrame frame = app::FitBarogram(plane_, baro.left(), baro.top(), baro.width(), baro.height());
  painter.save();
  painter.setFont(small);
  painter.setPen(QColor(225, 225, 225));
  for (const app::Tick& t : app::HeightTicks(frame)) {
    painter.setPen(QColor(225, 225, 225));
    painter.drawLine(QPointF(baro.left(), t.pixel), QPointF(baro.right(), t.pixel));
    painter.setPen(Qt::black);
    painter.drawText(QRectF(0, t.pixel - 7, kBaroLeft - 4, 14), Qt::AlignRight | Qt::AlignVCenter, Q(t.label));
  }
  for (const app::Tick& t : app::SpeedTicks(frame)) {
    painter.setPen(QColor(60, 60, 160));
    painter.drawText(QRectF(baro.right() + 4, t.pixel - 7, kBaroRight - 4, 14), Qt::AlignLeft | Qt::AlignVCenter,
                     Q(t.label));
  }
  painter.drawText(QRectF(baro.right() + 4, baro.top() - 16, kBaroRight, 14), Qt::AlignLeft, tr("km/h"));
  for (const app::Tick& t : app::TimeTicks(frame)) {
    painter.setPen(QColor(225, 225, 225));
    painter.drawLine(QPointF(t.pixel, baro.top()), QPointF(t.pixel, baro.bottom()));
    painter.setPen(Qt::black);
    painter.drawText(QRectF(t.pixel - 30, baro.bottom() + 2, 60, kBaroBottom - 2), Qt::AlignHCenter | Qt::AlignTop,
                     Q(t.label));
  }
  painter.setClipRect(baro.adjusted(0, -2, 1, 2));
  app::DecimatedPath speed = app::DecimateBarogram(fixes_, plane_, frame, true);
  painter.setPen(QPen(QColor(60, 60, 160, 150), 0.8));
  for (size_t k = 1; k < speed.indices.size(); ++k) {
    if (speed.breakBefore[k]) continue;
    uint32_t a = speed.indices[k - 1], b = speed.indices[k];
    painter.drawLine(QPointF(frame.PixelX(fixes_[a].time), frame.SpeedPixelY(plane_.speedKmh[a])),
                     QPointF(frame.PixelX(fixes_[b].time), frame.SpeedPixelY(plane_.speedKmh[b])));
  }
  app::DecimatedPath heights = app::DecimateBarogram(fixes_, plane_, frame);
  for (size_t k = 1; k < heights.indices.size(); ++k) {
    if (heights.breakBefore[k]) continue;
    uint32_t a = heights.indices[k - 1], b = heights.indices[k];
    painter.setPen(QPen(ClimbColour(plane_.climb[b]), 1.6));
    painter.drawLine(QPointF(frame.PixelX(fixes_[a].time), frame.PixelY(fixes_[a].height / 10.0)),
                     QPointF(frame.PixelX(fixes_[b].time), frame.PixelY(fixes_[b].height / 10.0)));
  }
  painter.setPen(QColor(0, 160, 255, 90));
  double lastX = -1e9;
  for (size_t i = 0; i < selected_.size(); ++i) {
    if (!selected_[i]) continue;
    double x = frame.PixelX(fixes_[i].time);
    if (x - lastX < 1) continue;
    lastX = x;
    painter.drawLine(QPointF(x, baro.top()), QPointF(x, baro.bottom()));
  }
  painter.restore();
  painter.setPen(QColor(150, 150, 150));
  painter.drawRect(baro);
}

FlightView* InstallFlightView(QMainWindow* window, QMenu* viewMenu) {
  auto* dock = new QDockWidget(FlightView::tr("Flight view"), window);
  dock->setObjectName(QStringLiteral("flightDock"));
  auto* view = new FlightView(dock);
  dock->setWidget(view);
  window->addDockWidget(Qt::RightDockWidgetArea, dock);
  dock->hide();
  QAction* toggle = dock->toggleViewAction();
  toggle->setObjectName(QStringLiteral("flightViewAction"));
  toggle->setShortcut(QKeySequence(Qt::Key_F8));
  toggle->setShortcutContext(Qt::WindowShortcut);
  if (viewMenu) {
    viewMenu->addSeparator();
    viewMenu->addAction(toggle);
  } else {
    window->addAction(toggle);
  }
  return view;
}

}  // namespace tarnvik::gui
