// The CTR list's dialogs over their toolkit-free forms (app/ctr_forms.h): "Edit CTR" (the zone
// as OpenAir text and its warning distance; the form's check runs on OK) and "CTR error
// notification" (a reader warning with "&Skip further notifications").
#pragma once

#include <QDialog>

#include "airspace/openair.h"
#include "app/ctr_forms.h"
#include "app/gui/notice_dialog.h"
#include "app/session.h"
#include "core/ports.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tarnvik::gui {

class QtUi;

class CtrEditDialog final : public QDialog {
  Q_OBJECT

 public:
  // notify: where the reader's warnings go while the text is checked.
  CtrEditDialog(app::CtrEditForm& form, core::Ui& ui, airspace::CtrWarningNotifier notify, QWidget* parent = nullptr);
  QPlainTextEdit* textField() const { return text_; }
  QLineEdit* warningDistance() const { return distance_; }
  QPushButton* okButton() const { return ok_; }

 private:
  void OnOk();

  app::CtrEditForm& form_;
  core::Ui& ui_;
  airspace::CtrWarningNotifier notify_;
  QPlainTextEdit* text_ = nullptr;
  QLineEdit* distance_ = nullptr;
  QPushButton* ok_ = nullptr;
};

// Ticked when shown.
class CtrNotificationDialog final : public NoticeDialog {
 public:
  explicit CtrNotificationDialog(app::CtrNotificationForm& form, QWidget* parent = nullptr)
      : NoticeDialog("CtrErrorNotification", airspace::kNotificationCaption, form.text, true, form.skipFurther,
                     parent) {}
};

// Sets the session's "Edit CTR" and "CTR error notification" hooks to these dialogs.
void InstallCtrDialogs(app::Session& session, QtUi& ui, QWidget* parent);

}  // namespace tarnvik::gui
