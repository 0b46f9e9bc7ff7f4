#include "app/gui/track_list_dialogs.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/gui/qt_ui.h"

namespace tarnvik::gui {

// ---- Track list (one track) -----------------------------------------------------------------

TrackListDialog::TrackListDialog(app::TrackChoiceForm& form, QWidget* parent) : QDialog(parent), form_(form) {
  setObjectName(QStringLiteral("TrackList"));
  setWindowTitle(QString::fromLatin1(app::TrackChoiceForm::kCaption));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromLatin1(app::TrackChoiceForm::kPrompt), this));
  entries_ = new QTreeWidget(this);
  entries_->setRootIsDecorated(false);
  entries_->setSelectionMode(QAbstractItemView::SingleSelection);
  QStringList headers;
  for (const char* column : app::TrackChoiceForm::kColumns) headers << QString::fromLatin1(column);
  entries_->setHeaderLabels(headers);
  for (const std::string& entry : form_.entries) {
    QStringList cells;
    for (const std::string& cell : app::TrackEntryColumns(entry)) cells << QString::fromStdString(cell);
    entries_->addTopLevelItem(new QTreeWidgetItem(cells));
  }
  entries_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  if (QTreeWidgetItem* row = entries_->topLevelItem(form_.selected)) entries_->setCurrentItem(row);
  connect(entries_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    form_.selected = item ? entries_->indexOfTopLevelItem(item) : -1;
  });
  connect(entries_, &QTreeWidget::itemDoubleClicked, this, [this] {
    answer_ = form_.Ok();
    accept();
  });
  layout->addWidget(entries_, 1);
  auto* box = new QDialogButtonBox(this);
  ok_ = box->addButton(QDialogButtonBox::Ok);
  box->addButton(QDialogButtonBox::Cancel);
  connect(ok_, &QPushButton::clicked, this, [this] {
    answer_ = form_.Ok();
    accept();
  });
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(box);
  resize(480, 320);
}

// ---- Track List (several tracks) ------------------------------------------------------------

TrackMultiListDialog::TrackMultiListDialog(app::TrackMultiChoiceForm& form, QWidget* parent)
    : QDialog(parent), form_(form) {
  setObjectName(QStringLiteral("TrackMultiList"));
  setWindowTitle(QString::fromLatin1(app::TrackMultiChoiceForm::kCaption));
  auto* layout = new QVBoxLayout(this);
  entries_ = new QListWidget(this);
  auto* prompt = new QLabel(QString::fromLatin1(app::TrackMultiChoiceForm::kPrompt), this);
  prompt->setBuddy(entries_);
  layout->addWidget(prompt);
  entries_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  for (const std::string& entry : form_.entries) entries_->addItem(QString::fromStdString(entry));
  connect(entries_, &QListWidget::itemSelectionChanged, this, [this] {
    for (int i = 0; i < entries_->count() && static_cast<size_t>(i) < form_.selected.size(); ++i) {
      form_.selected[static_cast<size_t>(i)] = entries_->item(i)->isSelected();
    }
  });
  layout->addWidget(entries_, 1);
  auto* box = new QDialogButtonBox(this);
  ok_ = box->addButton(QDialogButtonBox::Ok);
  all_ = box->addButton(QStringLiteral("&All"), QDialogButtonBox::ActionRole);
  box->addButton(QStringLiteral("&Cancel"), QDialogButtonBox::RejectRole);
  connect(ok_, &QPushButton::clicked, this, [this] {
    answer_ = form_.Ok();
    accept();
  });
  connect(all_, &QPushButton::clicked, this, [this] {
    answer_ = form_.All();
    accept();
  });
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(box);
  resize(480, 320);
}

// ---- the hooks ------------------------------------------------------------------------------

void InstallTrackListDialogs(QtUi& ui, QWidget* parent) {
  ui.itemDialogs[app::TrackChoiceForm::kCaption] = [&ui, parent](const std::vector<std::string>& items) {
    app::TrackChoiceForm form(items);
    TrackListDialog dialog(form, parent);
    ui.Exec(dialog);
    return dialog.answer();
  };
  ui.itemsDialogs[app::TrackMultiChoiceForm::kCaption] = [&ui, parent](const std::vector<std::string>& items) {
    app::TrackMultiChoiceForm form(items);
    TrackMultiListDialog dialog(form, parent);
    ui.Exec(dialog);
    return dialog.answer();
  };
}

}  // namespace tarnvik::gui
