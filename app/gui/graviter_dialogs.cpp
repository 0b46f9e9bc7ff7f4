#include "app/gui/graviter_dialogs.h"

#include "app/gui/qt_ui.h"

namespace tarnvik::gui {

void InstallGraviterDialogs(app::Session& session, QtUi& ui, QWidget* parent) {
  session.dialogs.noLogPositions = [&ui, parent](app::NoLogPositionsForm& form) {
    NoLogPositionsDialog dialog(form, parent);
    // A notice that never ran (no answer) skips nothing either.
    form.skipFurther = false;
    ui.Exec(dialog);
  };
}

}  // namespace tarnvik::gui
