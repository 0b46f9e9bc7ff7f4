#include "app/gui/plot_image.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/gui/flight_view.h"
#include "app/gui/window_run.h"
#include "core/file_io.h"

namespace tarnvik::gui {

namespace {

// The error stream carries this program's "caption: text" lines; Qt's own notes of the
// offscreen start (no runtime folder and the like) are left out, its errors kept.
void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

}  // namespace

std::string WriteFlightPicture(const std::vector<core::TrackPoint>& fixes, const std::string& path) {
  // The flight view is a widget, so a widget application is needed; it never shows a window.
  std::unique_ptr<QApplication> owned;
  if (!QCoreApplication::instance()) {
    if (!DisplayAvailable()) {
#ifdef _WIN32
      _putenv_s("QT_QPA_PLATFORM", "offscreen");
#else
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
    }
    qInstallMessageHandler(QuietQtMessages);
    static int argc = 1;
    static char name[] = "tarnvik";
    static char* argv[] = {name, nullptr};
    owned = std::make_unique<QApplication>(argc, argv);
  }
  QImage image(kPlotWidth, kPlotHeight, QImage::Format_RGB32);
  {
    FlightView view;
    view.SetTrack(fixes);
    QPainter painter(&image);
    view.Render(painter, image.size());
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return "the picture could not be encoded as PNG";
  return core::WriteFileAtomically(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

}  // namespace tarnvik::gui
