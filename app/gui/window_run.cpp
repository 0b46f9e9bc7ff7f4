#include "app/gui/window_run.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cstdlib>

#include "access/access_engine.h"
#include "app/command_line_run.h"
#include "app/gui/competition_dialogs.h"
#include "app/gui/coordinate_dialogs.h"
#include "app/gui/ctr_dialogs.h"
#include "app/gui/dialogs.h"
#include "app/gui/graviter_dialogs.h"
#include "app/gui/main_window.h"
#include "app/gui/olc_dialog.h"
#include "app/gui/qt_ui.h"
#include "app/gui/stop_signals.h"
#include "app/gui/track_list_dialogs.h"
#include "app/session.h"
#include "app/transfer.h"
#include "core/settings.h"

namespace tarnvik::gui {

bool DisplayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

const char* NoDisplayMessage() {
  return "tarnvik: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set); "
         "run a transfer without the window with /WIN=0 (see tarnvik --help)";
}

namespace {

// The icon when the installed one is not found (a run from the build folder): the same wing
// over a dotted track as packaging/tarnvik.svg.
QIcon DrawnIcon() {
  QPixmap pixmap(64, 64);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x5f, 0x8b));
  painter.drawRoundedRect(2, 2, 60, 60, 11, 11);
  painter.setPen(QPen(QColor(0xff, 0xd2, 0x3f), 3, Qt::DotLine, Qt::RoundCap));
  QPainterPath track(QPointF(7, 46));
  track.cubicTo(17, 35, 25, 49, 34, 37);
  track.cubicTo(42, 28, 50, 28, 57, 20);
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(track);
  QPainterPath wing(QPointF(11, 23));
  wing.quadTo(32, 7, 53, 23);
  wing.quadTo(32, 17, 11, 23);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawPath(wing);
  return QIcon(pixmap);
}

}  // namespace

int RunWindow(const char* programPath, std::unique_ptr<app::CommandLineOptions> options) {
  // Qt sees only the program name: the command line is ours (a "/..." keyword is no Qt option).
  int qtArgc = 1;
  char* qtArgv[] = {const_cast<char*>(programPath), nullptr};
  QApplication application(qtArgc, qtArgv);
  QApplication::setApplicationName(QStringLiteral("Tarnvik"));
  QApplication::setDesktopFileName(QStringLiteral("tarnvik"));
  QIcon icon = QIcon::fromTheme(QStringLiteral("tarnvik"));
  QApplication::setWindowIcon(icon.isNull() ? DrawnIcon() : icon);

  QtUi ui;
  access::AccessEnvironment environment;
  environment.ui = &ui;
  std::unique_ptr<app::TransferGate> gate = app::MakeEngineGate(environment);
  app::Session session(ui, core::SystemClock(), *gate, core::PlatformFolderDefault());

  app::ShowState show = app::ShowState::Show;
  std::string portOnly;
  std::shared_ptr<const bool> outcome;
  if (options) {
    show = options->showState;
    if (options->action == app::CommandLineAction::None) {
      // Only a port (or /WIN): an interactive window on that port, not a command-line run that
      // would close the window after its first transfer.
      portOnly = options->portName;
    } else {
      auto driver = std::make_unique<app::CommandLineDriver>(std::move(options), false);
      outcome = driver->Outcome();
      session.SetCommandLineRun(std::move(driver));
    }
  }

  MainWindow window(session, ui);
  InstallWindowDialogs(session, ui, &window);
  InstallCoordinateDialogs(session, ui, &window);
  InstallOlcDialog(session, ui, &window);
  InstallCtrDialogs(session, ui, &window);
  InstallGraviterDialogs(session, ui, &window);
  InstallTrackListDialogs(ui, &window);
  InstallCompetitionDialogs(session, ui, &window);
  window.UpdateCommandStates();
  StopOnSignals(window);
  if (show == app::ShowState::Minimize) {
    window.showMinimized();
  } else {
    window.show();
  }
  if (session.Initialise(core::MakePlatformSettingsBackend()) < 0) return 1;
  if (!portOnly.empty()) {
    session.portName = portOnly;
    session.UpdateTitle();
  }
  if (!session.exitFlag) QApplication::exec();
  if (!session.exitFlag) session.Close();
  if (outcome) return *outcome ? 0 : 1;
  return window.endCode() < 0 ? 1 : 0;
}

}  // namespace tarnvik::gui
