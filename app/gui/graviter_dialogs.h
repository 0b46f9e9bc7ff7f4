// Graviter's "No log positions" notice over its toolkit-free form (app/graviter_forms.h): the
// text, the check box "&Skip further notifications" (unticked when shown) and OK. "Write GPS
// name" is the session's name dialog (dialogs.cpp), sized by the instrument's protocol.
#pragma once

#include "app/graviter_forms.h"
#include "app/gui/notice_dialog.h"
#include "app/session.h"

namespace tarnvik::gui {

class QtUi;

class NoLogPositionsDialog final : public NoticeDialog {
 public:
  explicit NoLogPositionsDialog(app::NoLogPositionsForm& form, QWidget* parent = nullptr)
      : NoticeDialog("NoLogPositions", app::kNoLogPositionsCaption, form.text, form.skipFurther, form.skipFurther,
                     parent) {}
};

// Sets the session's "No log positions" hook to the dialog (parented to `parent`).
void InstallGraviterDialogs(app::Session& session, QtUi& ui, QWidget* parent);

}  // namespace tarnvik::gui
