#include "app/gui/competition_dialogs.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/gui/qt_ui.h"
#include "competition/pilot_forms.h"

namespace tarnvik::gui {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

// OK and Cancel in a row; OK is the default button.
QPushButton* AddOkCancel(QDialog* dialog, QBoxLayout* layout) {
  auto* row = new QHBoxLayout;
  auto* ok = new QPushButton(QStringLiteral("OK"), dialog);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
  ok->setDefault(true);
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(cancel);
  layout->addLayout(row);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  return ok;
}

}  // namespace

CompTimeDialog::CompTimeDialog(app::CompTimeForm& form, core::Ui& ui, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Set Competition Time"));
  auto* layout = new QVBoxLayout(this);
  auto* fields = new QFormLayout;
  date_ = new QLineEdit(Q(form.date), this);
  time_ = new QLineEdit(Q(form.clock), this);
  fields->addRow(QStringLiteral("Date (UTC, yyyy-mm-dd):"), date_);
  fields->addRow(QStringLiteral("Time (UTC, hh:mm:ss):"), time_);
  layout->addLayout(fields);
  ok_ = AddOkCancel(this, layout);
  connect(ok_, &QPushButton::clicked, this, [this, &form, &ui] {
    form.date = S(date_->text());
    form.clock = S(time_->text());
    if (form.Check(ui)) accept();
  });
}

PilotIdsDialog::PilotIdsDialog(app::PilotIdsForm& form, core::Ui& ui, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(competition::kSetIdTitle));
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(QString::fromUtf8(competition::kSetIdText), this);
  text->setWordWrap(true);
  layout->addWidget(text);
  auto* fields = new QFormLayout;
  competition_ = new QLineEdit(Q(form.competitionText), this);
  civl_ = new QLineEdit(Q(form.civlText), this);
  fields->addRow(QStringLiteral("C&omp. ID"), competition_);
  fields->addRow(QStringLiteral("CI&VL ID"), civl_);
  layout->addLayout(fields);
  list_ = new QPushButton(Q(form.ButtonText()), this);
  list_->setEnabled(!form.ListTexts().empty());
  layout->addWidget(list_);
  ok_ = AddOkCancel(this, layout);
  connect(list_, &QPushButton::clicked, this, [this, &form, &ui] {
    const int index = ui.ChooseItem(competition::kSetIdTitle, "Select pilot", form.ListTexts());
    if (index < 0) return;
    form.Choose(index);
    competition_->setText(Q(form.competitionText));
    civl_->setText(Q(form.civlText));
  });
  connect(ok_, &QPushButton::clicked, this, [this, &form, &ui] {
    form.competitionText = S(competition_->text());
    form.civlText = S(civl_->text());
    if (form.Check(ui)) accept();
  });
}

SavePilotDialog::SavePilotDialog(app::SavePilotForm& form, core::Ui& ui, QWidget* parent)
    : QDialog(parent), form_(form) {
  setWindowTitle(QString::fromUtf8(competition::kSaveLogTitle));
  auto* layout = new QVBoxLayout(this);
  auto* fields = new QFormLayout;
  competition_ = new QLineEdit(this);
  civl_ = new QLineEdit(this);
  name_ = new QLineEdit(this);
  name_->setMaxLength(static_cast<int>(competition::kCurrentPilotNameLength));
  fields->addRow(QStringLiteral("C&omp. ID"), competition_);
  fields->addRow(QStringLiteral("CI&VL ID"), civl_);
  fields->addRow(QStringLiteral("&Pilot name"), name_);
  layout->addLayout(fields);

  auto* listRow = new QHBoxLayout;
  listFile_ = new QLabel(this);
  auto* reload = new QPushButton(QStringLiteral("B&rowse..."), this);
  listRow->addWidget(listFile_, 1);
  listRow->addWidget(reload);
  layout->addLayout(listRow);
  layout->addWidget(new QLabel(QStringLiteral("&Select pilot from list"), this));
  list_ = new QComboBox(this);
  layout->addWidget(list_);

  auto* folderRow = new QHBoxLayout;
  folder_ = new QLineEdit(this);
  auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
  folderRow->addWidget(new QLabel(QStringLiteral("Track log folder"), this));
  folderRow->addWidget(folder_, 1);
  folderRow->addWidget(browse);
  layout->addLayout(folderRow);
  ok_ = AddOkCancel(this, layout);

  FillList();
  ShowFields();
  connect(list_, &QComboBox::activated, this, [this](int index) {
    form_.Choose(index);
    ShowFields();
  });
  connect(competition_, &QLineEdit::textEdited, this, [this](const QString& text) {
    form_.competitionText = S(text);
    const int index = form_.TypedId(false);
    if (index >= 0) {
      list_->setCurrentIndex(index);
      civl_->setText(Q(form_.civlText));
      name_->setText(Q(form_.name));
    }
  });
  connect(civl_, &QLineEdit::textEdited, this, [this](const QString& text) {
    form_.civlText = S(text);
    const int index = form_.TypedId(true);
    if (index >= 0) {
      list_->setCurrentIndex(index);
      competition_->setText(Q(form_.competitionText));
      name_->setText(Q(form_.name));
    }
  });
  connect(reload, &QPushButton::clicked, this, [this, &ui] {
    if (form_.ReloadList(ui)) FillList();
  });
  connect(browse, &QPushButton::clicked, this, [this, &ui] {
    form_.folder = S(folder_->text());
    if (form_.BrowseFolder(ui)) folder_->setText(Q(form_.folder));
  });
  connect(ok_, &QPushButton::clicked, this, [this, &ui] {
    form_.competitionText = S(competition_->text());
    form_.civlText = S(civl_->text());
    form_.name = S(name_->text());
    form_.folder = S(folder_->text());
    if (form_.Check(ui)) accept();
  });
}

void SavePilotDialog::ShowFields() {
  competition_->setText(Q(form_.competitionText));
  civl_->setText(Q(form_.civlText));
  name_->setText(Q(form_.name));
  folder_->setText(Q(form_.folder));
}

void SavePilotDialog::FillList() {
  list_->clear();
  for (const std::string& text : form_.ListTexts()) list_->addItem(Q(text));
  list_->setCurrentIndex(-1);
  list_->setEnabled(list_->count() > 0);
  listFile_->setText(form_.list != nullptr ? Q(form_.list->path) : QString());
}

void InstallCompetitionDialogs(app::Session& session, QtUi& ui, QWidget* parent) {
  auto state = std::make_shared<app::CompetitionState>();
  state->dialogs.competitionTime = [&ui, parent](app::CompTimeForm& form) {
    CompTimeDialog dialog(form, ui, parent);
    return ui.Exec(dialog) == QDialog::Accepted;
  };
  state->dialogs.pilotIds = [&ui, parent](app::PilotIdsForm& form) {
    PilotIdsDialog dialog(form, ui, parent);
    return ui.Exec(dialog) == QDialog::Accepted;
  };
  state->dialogs.savePilot = [&ui, parent](app::SavePilotForm& form) {
    SavePilotDialog dialog(form, ui, parent);
    return ui.Exec(dialog) == QDialog::Accepted;
  };
  app::InstallCompetitionMode(session, std::move(state));
}

}  // namespace tarnvik::gui
