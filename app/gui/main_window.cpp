#include "app/gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

#include <atomic>
#include <mutex>

#include "access/access_engine.h"
#include "app/gui/flight_view.h"
#include "app/gui/list_model.h"
#include "app/gui/qt_ui.h"
#include "app/transfer_progress.h"
#include "app/views.h"

namespace tarnvik::gui {
namespace {

using K = app::CommandKind;

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The menus of the window, in menu-bar order.
enum class Menu { Logs, Waypoints, Ctr, Tools, View, Help, None };
constexpr const char* kMenuTitles[] = {"&Logs", "&Wpts.", "&CTR", "&Tools", "&View", "&Help"};

Menu MenuOf(const app::CommandInfo& c) {
  // The buttons and the check box are not menu items; the copy command is a shortcut only.
  if (c.text.empty() || c.id < 40000) return Menu::None;
  switch (c.kind) {
    case K::SaveKml: case K::SaveLogAs: case K::OpenLog: case K::SaveIgc: case K::SaveIgcFromGps:
    case K::VerifyIgc: case K::DownloadTrackLog: case K::EraseTrack: case K::WriteOwnerName:
    case K::ReadProductData: case K::OlcIgcBuffer: case K::OlcSelected: case K::TrackLogFilter: case K::Exit:
      return Menu::Logs;
    case K::OpenWaypoints: case K::SaveWaypointsAs: case K::NewWaypoint: case K::EditWaypoint:
    case K::DeleteWaypoints: case K::DownloadWaypoints: case K::UploadWaypoints: case K::UploadWaypointNames:
    case K::UploadWaypointIdNames: case K::UploadWaypointsAsLog: case K::SelectAll:
      return Menu::Waypoints;
    case K::UploadCtrs: case K::DownloadCtrs: case K::ReadCtrFile: case K::WriteCtrFile: case K::EditCtr:
    case K::NewCtr: case K::DeleteCtrs: case K::ShowCtrAsWaypoints:
      return Menu::Ctr;
    case K::ConvertPosition: case K::CalculateDistance: case K::SetComPort: case K::CompetitionMode:
    case K::CompetitionModeAndList:
      return Menu::Tools;
    case K::ViewTracklog: case K::ViewWaypoints: case K::ViewCtr: return Menu::View;
    case K::About: case K::DumpDebug: case K::ClearDebug: return Menu::Help;
    default: return Menu::None;
  }
}

// The menu text without its tab-separated shortcut (the shortcut comes from the accelerators).
QString MenuText(std::string_view text) {
  if (size_t tab = text.find('\t'); tab != std::string_view::npos) text = text.substr(0, tab);
  return Q(text);
}

// A button's text: "\r\n" breaks the line.
QString ButtonText(std::string_view text) {
  QString q = Q(text);
  q.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return q;
}

// The accelerator of a command: its own, or that of a command of the same kind whose only
// entry is a button (Ctrl+S belongs to the "Save log" button and does what its menu item does).
std::optional<char> AcceleratorOf(const app::CommandInfo& c) {
  for (const app::Accelerator& a : app::Accelerators()) {
    if (a.commandId == c.id) return a.key;
    const app::CommandInfo* target = app::FindCommand(a.commandId);
    if (target && target->id < 40000 && target->kind == c.kind) return a.key;
  }
  return std::nullopt;
}

constexpr int kTextIntervalMs = 50;

}  // namespace

// Wakes the window from any thread. The window detaches itself before it goes, so a worker
// that posts late reaches nothing.
struct MainWindow::Waker {
  std::mutex mutex;
  MainWindow* window = nullptr;
  std::atomic<bool> pending{false};
};

MainWindow::MainWindow(app::Session& session, QtUi& ui)
    : session_(session), ui_(ui), waker_(std::make_shared<Waker>()) {
  setObjectName(QStringLiteral("MainWindow"));
  ui_.SetParent(this);
  waker_->window = this;
  session_.queue().SetWakeUp([waker = waker_] {
    if (waker->pending.exchange(true)) return;
    std::lock_guard lock(waker->mutex);
    if (waker->window) {
      QMetaObject::invokeMethod(waker->window, [w = waker->window] { w->DrainQueue(); }, Qt::QueuedConnection);
    }
  });
  textTimer_.setSingleShot(true);
  textTimer_.setInterval(kTextIntervalMs);
  connect(&textTimer_, &QTimer::timeout, this, &MainWindow::FlushTexts);

  model_ = new ListModel(session_, this);
  BuildMenus();
  setCentralWidget(BuildCentral());
  session_.SetFrontEnd(this);
  setWindowTitle(Q(session_.TitleText()));
  ApplyColumnWidths();
  UpdateCommandStates();
  resize(760, 560);
}

MainWindow::~MainWindow() {
  {
    std::lock_guard lock(waker_->mutex);
    waker_->window = nullptr;
  }
  session_.queue().SetWakeUp(nullptr);
  session_.SetFrontEnd(nullptr);
  if (ui_.parent() == this) ui_.SetParent(nullptr);
}

void MainWindow::BuildMenus() {
  QMenu* menus[6];
  for (int i = 0; i < 6; ++i) {
    menus[i] = menuBar()->addMenu(QString::fromLatin1(kMenuTitles[i]));
    connect(menus[i], &QMenu::aboutToShow, this, &MainWindow::UpdateCommandStates);
  }
  for (const app::CommandInfo& c : app::CommandTable()) {
    Menu menu = MenuOf(c);
    QAction* action = nullptr;
    if (menu != Menu::None) {
      action = menus[static_cast<int>(menu)]->addAction(MenuText(c.text));
    } else if (c.text.empty()) {
      // A command reached only through its shortcut (Ctrl+C, copy the selected points).
      action = new QAction(this);
      addAction(action);
    } else {
      continue;
    }
    action->setData(c.id);
    if (std::optional<char> key = AcceleratorOf(c)) {
      action->setShortcut(QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_A + (*key - 'A'))));
      action->setShortcutContext(Qt::WindowShortcut);
    }
    if (c.kind == K::TrackLogFilter) {
      action->setCheckable(true);
      filter_ = action;
    }
    if (c.kind == K::CompetitionMode) {
      action->setCheckable(true);
      competition_ = action;
    }
    const int id = c.id;
    connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    actions_.emplace_back(action, &c);
  }
  flightView_ = InstallFlightView(this, menus[static_cast<int>(Menu::View)]);
  connect(flightView_, &FlightView::fixPicked, this, &MainWindow::FlightFixPicked);
}

QWidget* MainWindow::BuildCentral() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);

  auto* lines = new QGridLayout;
  auto addLine = [&](int row, const char* label, QLabel*& line) {
    lines->addWidget(new QLabel(QString::fromLatin1(label), central), row, 0);
    line = new QLabel(central);
    line->setFrameShape(QFrame::StyledPanel);
    line->setFrameShadow(QFrame::Sunken);
    line->setTextFormat(Qt::PlainText);
    line->setMinimumWidth(200);
    lines->addWidget(line, row, 1);
  };
  addLine(0, "Product", product_);
  addLine(1, "Status", status_);
  product_->setObjectName(QStringLiteral("productLine"));
  status_->setObjectName(QStringLiteral("statusLine"));
  progress_ = new QProgressBar(central);
  progress_->setObjectName(QStringLiteral("transferProgress"));
  progress_->setMaximumWidth(160);
  QSizePolicy keepPlace = progress_->sizePolicy();
  keepPlace.setRetainSizeWhenHidden(true);
  progress_->setSizePolicy(keepPlace);
  progress_->hide();
  lines->addWidget(progress_, 1, 2);
  lines->setColumnStretch(1, 1);
  layout->addLayout(lines);

  list_ = new QTableView(central);
  list_->setObjectName(QStringLiteral("list"));
  list_->setModel(model_);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSortingEnabled(false);
  list_->setWordWrap(false);
  list_->setShowGrid(false);
  list_->verticalHeader()->hide();
  list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 4);
  list_->horizontalHeader()->setSectionsClickable(false);
  list_->horizontalHeader()->setHighlightSections(false);
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &MainWindow::ListSelectionChanged);
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &MainWindow::ListSelectionChanged,
            Qt::UniqueConnection);
  });
  layout->addWidget(list_, 1);

  // The shortcut buttons of the common downloads, two rows.
  auto* buttons = new QGridLayout;
  int index = 0;
  for (const app::CommandButton& b : app::CommandButtons()) {
    auto* button = new QPushButton(ButtonText(b.text), central);
    const int id = b.commandId;
    connect(button, &QPushButton::clicked, this, [this, id] { RunCommand(id); });
    buttons->addWidget(button, index / 4, index % 4);
    buttons_.emplace_back(button, app::FindCommand(id));
    ++index;
  }
  auto* bottom = new QHBoxLayout;
  bottom->addLayout(buttons, 1);
  auto* side = new QGridLayout;
  auto addButton = [&](int id, int row, int column) {
    const app::CommandInfo* c = app::FindCommand(id);
    auto* button = new QPushButton(ButtonText(c->text), central);
    connect(button, &QPushButton::clicked, this, [this, id] { RunCommand(id); });
    side->addWidget(button, row, column);
    buttons_.emplace_back(button, c);
    return button;
  };
  QPushButton* save = addButton(1315, 0, 0);
  save->setObjectName(QStringLiteral("saveLogButton"));
  addButton(1102, 0, 1)->setObjectName(QStringLiteral("abortButton"));
  utm_ = new QCheckBox(ButtonText(app::FindCommand(1018)->text), central);
  utm_->setObjectName(QStringLiteral("utmBox"));
  connect(utm_, &QCheckBox::clicked, this, [this] { RunCommand(1018); });
  side->addWidget(utm_, 1, 0);
  addButton(1010, 1, 1)->setObjectName(QStringLiteral("exitButton"));
  bottom->addLayout(side);
  layout->addLayout(bottom);
  return central;
}

app::CommandOutcome MainWindow::RunCommand(int id) {
  const app::CommandInfo* command = app::FindCommand(id);
  // An abort waits for the worker to stop (at most about a second) on this thread.
  const bool waits = command && command->kind == K::Abort && session_.busy;
  if (waits) QApplication::setOverrideCursor(Qt::WaitCursor);
  const app::CommandOutcome outcome = app::DispatchCommand(session_, id);
  if (waits) QApplication::restoreOverrideCursor();
  if (utm_) utm_->setChecked(session_.utmChecked);
  if (!session_.busy) progress_->hide();
  if (!session_.exitFlag) UpdateCommandStates();
  return outcome;
}

void MainWindow::UpdateCommandStates() {
  const access::AccessRoutineTable& routines = access::DefaultAccessRoutines();
  for (auto& [action, c] : actions_) action->setEnabled(app::CommandAvailable(session_, *c, routines));
  for (auto& [button, c] : buttons_) button->setEnabled(app::CommandAvailable(session_, *c, routines));
}

QAction* MainWindow::actionFor(int commandId) const {
  for (auto& [action, c] : actions_) {
    if (c->id == commandId) return action;
  }
  return nullptr;
}

QPushButton* MainWindow::buttonFor(int commandId) const {
  for (auto& [button, c] : buttons_) {
    if (c->id == commandId) return button;
  }
  return nullptr;
}

void MainWindow::DrainQueue() {
  waker_->pending.store(false);
  session_.queue().Drain();
}

void MainWindow::ApplyColumnWidths() {
  // Widths are counted in character widths of the list's font. A digit is as wide as the
  // widest cell characters (dates, times, coordinates), so it is the unit when the font's
  // average is narrower; the cell's own margins come on top, and a header never gets cut.
  const QFontMetrics metrics = list_->fontMetrics();
  const int unit = std::max({metrics.averageCharWidth(), metrics.horizontalAdvance(QLatin1Char('0')), 1});
  const int margins = 2 * (list_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list_) + 2);
  const QFontMetrics headerMetrics = list_->horizontalHeader()->fontMetrics();
  auto columns = app::ViewColumns(model_->mode(), model_->utm());
  for (size_t i = 0; i < columns.size(); ++i) {
    const int header = headerMetrics.horizontalAdvance(Q(columns[i].header)) + 2 * margins;
    list_->setColumnWidth(static_cast<int>(i), std::max(columns[i].widthChars * unit + margins, header));
  }
}

void MainWindow::ViewLoaded() {
  model_->Reload();
  ApplyColumnWidths();
  if (!session_.busy) progress_->hide();
  if (utm_) utm_->setChecked(session_.utmChecked);
  UpdateFlightView(true);
}

void MainWindow::SelectionChanged() {
  // The session chose the rows (Select all): the list shows them, as runs of rows.
  applyingSelection_ = true;
  QItemSelection selection;
  const auto& rows = session_.selection();
  const int lastColumn = model_->columnCount() - 1;
  for (size_t i = 0; i < rows.size();) {
    size_t j = i;
    while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
    selection.select(model_->index(static_cast<int>(rows[i]), 0), model_->index(static_cast<int>(rows[j]), lastColumn));
    i = j + 1;
  }
  list_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  applyingSelection_ = false;
  UpdateFlightView(false);
}

void MainWindow::RowChanged(size_t row) {
  // The row's cells are asked again; the selection stays as it is.
  const int r = static_cast<int>(row);
  if (r >= model_->rowCount()) return;
  emit model_->dataChanged(model_->index(r, 0), model_->index(r, model_->columnCount() - 1));
}

void MainWindow::ListSelectionChanged() {
  if (applyingSelection_) return;
  std::vector<size_t> rows;
  for (const QItemSelectionRange& range : list_->selectionModel()->selection()) {
    for (int row = range.top(); row <= range.bottom(); ++row) rows.push_back(static_cast<size_t>(row));
  }
  session_.SetSelection(std::move(rows));
  UpdateFlightView(false);
}

void MainWindow::UpdateFlightView(bool reloaded) {
  if (!flightView_) return;
  if (reloaded) {
    flightView_->SetTrack(session_.track.present ? session_.track.log.points : std::vector<core::TrackPoint>{});
    flightView_->SetAirspace(session_.ctrs);
  }
  const bool tracklog = session_.viewMode == app::ViewMode::Tracklog;
  flightView_->SetSelection(tracklog ? session_.selection() : std::vector<size_t>{});
}

void MainWindow::FlightFixPicked(qint64 index) {
  // The picked fix becomes the list's selection (the track log shown first).
  if (session_.viewMode != app::ViewMode::Tracklog) {
    for (const app::CommandInfo& c : app::CommandTable())
      if (c.kind == K::ViewTracklog) RunCommand(c.id);
  }
  if (session_.viewMode != app::ViewMode::Tracklog || index < 0 || index >= model_->rowCount()) return;
  QModelIndex row = model_->index(static_cast<int>(index), 0);
  list_->selectionModel()->select(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  list_->setCurrentIndex(row);
  list_->scrollTo(row, QAbstractItemView::PositionAtCenter);
}

void MainWindow::StatusText(const std::string& text) {
  pendingStatus_ = text;
  statusPending_ = true;
  if (!textTimer_.isActive()) textTimer_.start();
}

void MainWindow::ProductText(const std::string& text) {
  pendingProduct_ = text;
  productPending_ = true;
  if (!textTimer_.isActive()) textTimer_.start();
}

void MainWindow::FlushTexts() {
  textTimer_.stop();
  if (productPending_) {
    product_->setText(QString::fromStdString(pendingProduct_));
    productPending_ = false;
  }
  if (statusPending_) {
    status_->setText(QString::fromStdString(pendingStatus_));
    statusPending_ = false;
    std::optional<app::TransferProgress> progress = session_.busy ? app::ProgressOfStatus(pendingStatus_) : std::nullopt;
    if (progress) {
      progress_->setRange(0, progress->total > INT32_MAX ? INT32_MAX : static_cast<int>(progress->total));
      progress_->setValue(static_cast<int>(std::min<int64_t>(progress->done, progress_->maximum())));
      progress_->show();
    } else {
      progress_->hide();
    }
  }
  if (!session_.busy) progress_->hide();
}

void MainWindow::Title(const std::string& text) {
  setWindowTitle(QString::fromStdString(text));
  // The title follows every change of the mode, and so does the menu check.
  if (competition_) competition_->setChecked(session_.competitionMode);
}

void MainWindow::FilterChecked(bool checked) {
  if (filter_) filter_->setChecked(checked);
}

void MainWindow::EndDialog(int code) {
  endCode_ = code;
  textTimer_.stop();
  hide();
  QCoreApplication::exit(code < 0 ? 1 : 0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!session_.exitFlag) {
    // The close handler waits for a running transfer to stop (at most about a second).
    QApplication::setOverrideCursor(Qt::WaitCursor);
    session_.Close();
    QApplication::restoreOverrideCursor();
  }
  event->accept();
}

}  // namespace tarnvik::gui
