// SIGTERM and SIGINT in a running window close it as the window manager's close does: the
// close handler aborts a transfer, waits for it and saves the settings.
#pragma once

class QWidget;

namespace tarnvik::gui {

// Installs the handlers (once per process); the window is closed on the GUI thread.
void StopOnSignals(QWidget& window);

}  // namespace tarnvik::gui
