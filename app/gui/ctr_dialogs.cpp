#include "app/gui/ctr_dialogs.h"

#include <utility>

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ctr_commands.h"
#include "app/gui/qt_ui.h"

namespace tarnvik::gui {

// ---- Edit CTR -------------------------------------------------------------------------------

CtrEditDialog::CtrEditDialog(app::CtrEditForm& form, core::Ui& ui, airspace::CtrWarningNotifier notify,
                             QWidget* parent)
    : QDialog(parent), form_(form), ui_(ui), notify_(std::move(notify)) {
  setObjectName(QStringLiteral("EditCtr"));
  setWindowTitle(QStringLiteral("Edit CTR"));
  auto* layout = new QVBoxLayout(this);
  text_ = new QPlainTextEdit(this);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  // The zone's text has no length limit: the box takes any.
  text_->setPlainText(QString::fromStdString(form_.text));
  const QFontMetrics metrics(text_->font());
  text_->setMinimumSize(metrics.horizontalAdvance(QLatin1Char('M')) * 50, metrics.lineSpacing() * 16);
  layout->addWidget(text_, 1);
  auto* formLayout = new QFormLayout;
  distance_ = new QLineEdit(QString::fromStdString(form_.warningDistance), this);
  auto* label = new QLabel(QStringLiteral("&Warning distance (m)"), this);
  label->setBuddy(distance_);
  formLayout->addRow(label, distance_);
  layout->addLayout(formLayout);
  auto* box = new QDialogButtonBox(this);
  ok_ = box->addButton(QDialogButtonBox::Ok);
  box->addButton(QDialogButtonBox::Cancel);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(ok_, &QPushButton::clicked, this, &CtrEditDialog::OnOk);
  layout->addWidget(box);
}

void CtrEditDialog::OnOk() {
  form_.text = text_->toPlainText().toStdString();
  form_.warningDistance = distance_->text().toStdString();
  // A failed check has shown its message; the dialog stays open for a correction.
  if (form_.Check(ui_, notify_)) accept();
}

// ---- the hooks ------------------------------------------------------------------------------

void InstallCtrDialogs(app::Session& session, QtUi& ui, QWidget* parent) {
  session.dialogs.ctrEdit = [&session, &ui, parent](app::CtrEditForm& form) {
    CtrEditDialog dialog(form, ui, app::SessionCtrNotifier(session), parent);
    return ui.Exec(dialog) == QDialog::Accepted;
  };
  session.dialogs.ctrNotification = [&ui, parent](app::CtrNotificationForm& form) {
    CtrNotificationDialog dialog(form, parent);
    // A dialog that never ran (no answer) skips nothing either.
    form.skipFurther = false;
    ui.Exec(dialog);
  };
}

}  // namespace tarnvik::gui
