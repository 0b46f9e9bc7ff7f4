#include "app/gui/stop_signals.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tarnvik::gui {
namespace {

int wakeFds[2] = {-1, -1};

// Only an async-signal-safe write: the GUI thread reads the pipe and closes the window.
void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] ssize_t written = ::write(wakeFds[1], &byte, 1);
}

}  // namespace

void StopOnSignals(QWidget& window) {
  if (wakeFds[0] < 0) {
    if (::pipe(wakeFds) != 0) return;
    for (int fd : wakeFds) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(wakeFds[1], F_SETFL, O_NONBLOCK);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
  }
  auto* notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, &window);
  QPointer<QWidget> target(&window);
  QObject::connect(notifier, &QSocketNotifier::activated, &window, [target] {
    char buffer[16];
    [[maybe_unused]] ssize_t got = ::read(wakeFds[0], buffer, sizeof buffer);
    if (target) target->close();
  });
}

}  // namespace tarnvik::gui
