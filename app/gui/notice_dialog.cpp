#include "app/gui/notice_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/graviter_forms.h"

namespace tarnvik::gui {

NoticeDialog::NoticeDialog(const char* objectName, const char* caption, const std::string& text, bool ticked,
                           bool& skipFurther, QWidget* parent)
    : QDialog(parent), skipFurther_(skipFurther) {
  setObjectName(QString::fromLatin1(objectName));
  setWindowTitle(QString::fromLatin1(caption));
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(QString::fromStdString(text), this);
  text_->setWordWrap(true);
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(text_);
  skip_ = new QCheckBox(QString::fromLatin1(app::kSkipNotificationsLabel), this);
  skip_->setChecked(ticked);
  layout->addWidget(skip_);
  auto* box = new QDialogButtonBox(this);
  ok_ = box->addButton(QDialogButtonBox::Ok);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(box);
}

void NoticeDialog::done(int result) {
  skipFurther_ = result == QDialog::Accepted && skip_->isChecked();
  QDialog::done(result);
}

}  // namespace tarnvik::gui
