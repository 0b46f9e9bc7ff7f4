// The dialogs of competition mode, each a thin form over its toolkit-free model
// (app/competition_mode.h): typing goes into the model's fields, the buttons call the model,
// and every check and message runs there.
#pragma once

#include <QDialog>

#include "app/competition_mode.h"
#include "app/session.h"
#include "core/ports.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarnvik::gui {

class QtUi;

// "Set Competition Time": date and time in UTC.
class CompTimeDialog final : public QDialog {
  Q_OBJECT

 public:
  CompTimeDialog(app::CompTimeForm& form, core::Ui& ui, QWidget* parent = nullptr);
  QLineEdit* dateField() const { return date_; }
  QLineEdit* timeField() const { return time_; }
  QPushButton* okButton() const { return ok_; }

 private:
  QLineEdit* date_ = nullptr;
  QLineEdit* time_ = nullptr;
  QPushButton* ok_ = nullptr;
};

// "Set competition ID": the two IDs and the list button.
class PilotIdsDialog final : public QDialog {
  Q_OBJECT

 public:
  PilotIdsDialog(app::PilotIdsForm& form, core::Ui& ui, QWidget* parent = nullptr);
  QLineEdit* competitionField() const { return competition_; }
  QLineEdit* civlField() const { return civl_; }
  QPushButton* listButton() const { return list_; }
  QPushButton* okButton() const { return ok_; }

 private:
  QLineEdit* competition_ = nullptr;
  QLineEdit* civl_ = nullptr;
  QPushButton* list_ = nullptr;
  QPushButton* ok_ = nullptr;
};

// "Save competition log": IDs, name, the pilot list with its file and "B&rowse...", the track
// log folder with "&Browse...".
class SavePilotDialog final : public QDialog {
  Q_OBJECT

 public:
  SavePilotDialog(app::SavePilotForm& form, core::Ui& ui, QWidget* parent = nullptr);
  QLineEdit* competitionField() const { return competition_; }
  QLineEdit* civlField() const { return civl_; }
  QLineEdit* nameField() const { return name_; }
  QComboBox* pilotList() const { return list_; }
  QLineEdit* folderField() const { return folder_; }
  QPushButton* okButton() const { return ok_; }

 private:
  void ShowFields();
  void FillList();

  app::SavePilotForm& form_;
  QLineEdit* competition_ = nullptr;
  QLineEdit* civl_ = nullptr;
  QLineEdit* name_ = nullptr;
  QComboBox* list_ = nullptr;
  QLabel* listFile_ = nullptr;
  QLineEdit* folder_ = nullptr;
  QPushButton* ok_ = nullptr;
};

// Gives the session its competition state with these dialogs, parented to `parent`.
void InstallCompetitionDialogs(app::Session& session, QtUi& ui, QWidget* parent);

}  // namespace tarnvik::gui
