// Renders the window as a pilot sees it after opening a real flight, and the flight statistics
// of that flight, into PNG files (scripts/screenshot runs it on the offscreen platform).
//   tarnvik-screenshot FLIGHT.igc MAIN.png STATISTICS.png [FLIGHT-VIEW.png]
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDockWidget>
#include <QItemSelectionModel>
#include <QCoreApplication>
#include <QDialog>
#include <QTableView>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "access/access_engine.h"
#include "analysis/olc_search.h"
#include "app/gui/dialogs.h"
#include "app/gui/flight_view.h"
#include "app/gui/main_window.h"
#include "app/gui/qt_ui.h"
#include "app/instrument_families.h"
#include "app/session.h"
#include "app/transfer.h"
#include "core/settings.h"

namespace {

void Settle(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
}

bool Save(QWidget& widget, const char* path) {
  if (!widget.grab().save(QString::fromLocal8Bit(path))) {
    std::fprintf(stderr, "tarnvik-screenshot: cannot write %s\n", path);
    return false;
  }
  return true;
}

// The window widened with its flight view docked beside the list: the log with its contest
// legs (searched here, as the view's check box would) and a stretch of fixes selected.
bool SaveFlightView(tarnvik::gui::MainWindow& window, tarnvik::app::Session& session, const char* path) {
  tarnvik::gui::FlightView* view = window.flightView();
  auto* toggle = window.findChild<QAction*>(QStringLiteral("flightViewAction"));
  if (!view || !toggle) return false;
  window.resize(1400, 760);
  if (!toggle->isChecked()) toggle->trigger();
  if (auto* dock = window.findChild<QDockWidget*>(QStringLiteral("flightDock")))
    window.resizeDocks({dock}, {760}, Qt::Horizontal);
  const auto& fixes = session.track.log.points;
  tarnvik::analysis::OlcResult result;
  if (tarnvik::analysis::RunOlcSearch(fixes, nullptr, nullptr, result) == 0)
    view->SetContest(tarnvik::app::ContestShapes(fixes, view->plane(), result));
  view->contestBox()->setChecked(true);
  const int first = static_cast<int>(fixes.size() / 2), last = first + static_cast<int>(fixes.size() / 20);
  auto* list = window.list();
  list->selectionModel()->select(QItemSelection(list->model()->index(first, 0), list->model()->index(last, 0)),
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  list->scrollTo(list->model()->index(first, 0));
  Settle(300);
  return Save(window, path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: tarnvik-screenshot FLIGHT.igc MAIN.png STATISTICS.png [FLIGHT-VIEW.png]\n");
    return 2;
  }
  QApplication application(argc, argv);
  tarnvik::app::RegisterInstrumentFamilies(tarnvik::access::DefaultAccessRoutines());
  tarnvik::gui::QtUi ui;
  bool ok = true;
  // Nothing waits on a box: a message is printed instead.
  ui.answerBox = [&](const tarnvik::gui::MessageBoxCall& call) -> std::optional<tarnvik::core::Answer> {
    std::fprintf(stderr, "%s: %s\n", call.caption.c_str(), call.text.c_str());
    return std::nullopt;
  };
  const std::string flight = argv[1];
  ui.chooseFile = [&](tarnvik::core::FileRequest& request, bool save) -> std::optional<std::string> {
    if (save) return std::nullopt;
    request.filterIndex = 7;  // "IGC files"
    return flight;
  };

  tarnvik::access::AccessEnvironment environment;
  environment.ui = &ui;
  auto gate = tarnvik::app::MakeEngineGate(environment);
  tarnvik::app::Session session(ui, tarnvik::core::SystemClock(), *gate, "/home/pilot");
  tarnvik::gui::MainWindow window(session, ui);
  tarnvik::gui::InstallWindowDialogs(session, ui, &window);
  session.Initialise(nullptr);  // the built-in settings: the picture shows no one's own
  session.portName = "/dev/ttyUSB0";
  session.UpdateTitle();
  window.resize(820, 600);
  window.show();

  window.RunCommand(40117);  // Open log
  window.RunCommand(40042);  // Select all
  window.list()->scrollToTop();
  Settle(300);
  window.FlushTexts();
  Settle(100);
  ok = Save(window, argv[2]) && ok;

  bool statisticsShown = false;
  ui.driveDialog = [&](QDialog& dialog) {
    auto& statistics = dynamic_cast<tarnvik::gui::StatisticsDialog&>(dialog);
    statisticsShown = true;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!statistics.Finished() && std::chrono::steady_clock::now() < end) Settle(50);
    Settle(200);
    ok = Save(dialog, argv[3]) && ok;
    dialog.accept();
  };
  window.RunCommand(1315);  // Save log (Flight Data): the statistics
  if (!statisticsShown) {
    std::fprintf(stderr, "tarnvik-screenshot: the statistics dialog did not open\n");
    ok = false;
  }
  if (argc == 5) ok = SaveFlightView(window, session, argv[4]) && ok;
  window.close();
  return ok ? 0 : 1;
}
