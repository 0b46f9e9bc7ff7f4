#include "app/gui/graviter_dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/qt_ui.h"

namespace tarnvik::gui {

NoLogPositionsDialog::NoLogPositionsDialog(app::NoLogPositionsForm& form, QWidget* parent)
    : QDialog(parent), form_(form) {
  setObjectName(QStringLiteral("NoLogPositions"));
  setWindowTitle(QString::fromLatin1(app::kNoLogPositionsCaption));
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(QString::fromStdString(form_.text), this);
  text_->setWordWrap(true);
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(text_);
  skip_ = new QCheckBox(QString::fromLatin1(app::kSkipNotificationsLabel), this);
  skip_->setChecked(form_.skipFurther);
  layout->addWidget(skip_);
  auto* box = new QDialogButtonBox(this);
  ok_ = box->addButton(QDialogButtonBox::Ok);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(box);
}

void NoLogPositionsDialog::done(int result) {
  // OK takes the box as the user left it; closing the notice skips nothing.
  form_.skipFurther = result == QDialog::Accepted && skip_->isChecked();
  QDialog::done(result);
}

void InstallGraviterDialogs(app::Session& session, QtUi& ui, QWidget* parent) {
  session.dialogs.noLogPositions = [&ui, parent](app::NoLogPositionsForm& form) {
    NoLogPositionsDialog dialog(form, parent);
    // A notice that never ran (no answer) skips nothing either.
    form.skipFurther = false;
    ui.Exec(dialog);
  };
}

}  // namespace tarnvik::gui
