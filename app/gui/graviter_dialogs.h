// Graviter's "No log positions" notice over its toolkit-free form (app/graviter_forms.h): the
// text, the check box "&Skip further notifications" (unticked when shown) and OK. "Write GPS
// name" is the session's name dialog (dialogs.cpp), sized by the instrument's protocol.
#pragma once

#include <QDialog>

#include "app/graviter_forms.h"
#include "app/session.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace tarnvik::gui {

class QtUi;

class NoLogPositionsDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit NoLogPositionsDialog(app::NoLogPositionsForm& form, QWidget* parent = nullptr);
  QLabel* textField() const { return text_; }
  QCheckBox* skipBox() const { return skip_; }
  QPushButton* okButton() const { return ok_; }

 protected:
  void done(int result) override;

 private:
  app::NoLogPositionsForm& form_;
  QLabel* text_ = nullptr;
  QCheckBox* skip_ = nullptr;
  QPushButton* ok_ = nullptr;
};

// Sets the session's "No log positions" hook to the dialog (parented to `parent`).
void InstallGraviterDialogs(app::Session& session, QtUi& ui, QWidget* parent);

}  // namespace tarnvik::gui
