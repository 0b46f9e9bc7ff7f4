// The dialogs of the session's commands, each a thin form over its toolkit-free model: every
// check, message and save runs in the model; these only show fields and forward clicks.
#pragma once

#include <QDialog>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "access/serial_ports.h"
#include "analysis/statistics_model.h"
#include "app/igc_forms.h"
#include "app/session.h"
#include "core/ports.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace tarnvik::gui {

class QtUi;

// "Flight statistics" over analysis::StatisticsModel: the 19-line block, the log description
// (at most 8000 characters), the status field with a busy bar while the searches run, and
// "Halt computation", "&Save", "Copy to Clipboard", "E&xit".
class StatisticsDialog final : public QDialog {
  Q_OBJECT

 public:
  StatisticsDialog(app::FlightStatisticsRun& run, QtUi& ui, core::Clock& clock, QWidget* parent = nullptr);
  ~StatisticsDialog() override;

  // The opening checks; false (after their message) when the dialog is not to be shown.
  bool Open();
  bool Finished() const { return model_->Finished(); }
  QPushButton* haltButton() const { return halt_; }
  QPushButton* saveButton() const { return save_; }
  QPushButton* copyButton() const { return copy_; }
  QPushButton* exitButton() const { return exit_; }
  QPlainTextEdit* description() const { return description_; }
  QLabel* statusField() const { return status_; }
  QPlainTextEdit* linesField() const { return lines_; }

 protected:
  void done(int result) override;

 private:
  // The model's status port: texts and the end of the search come on the worker thread and are
  // shown on the GUI thread.
  class StatusPort;
  void Refresh();
  void OnSave();
  void OnCopy();

  app::FlightStatisticsRun& run_;
  QtUi& ui_;
  std::shared_ptr<StatusPort> port_;
  QPlainTextEdit* lines_ = nullptr;
  QPlainTextEdit* description_ = nullptr;
  QLabel* status_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* halt_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* copy_ = nullptr;
  QPushButton* exit_ = nullptr;
  // Declared last: destroyed (its worker joined) first.
  std::unique_ptr<analysis::StatisticsModel> model_;
};

// "IGC File Format": the seven fields, the two file-name boxes and the G record box; "&Save"
// runs the check and closes only when it passed.
class IgcFormatDialog final : public QDialog {
  Q_OBJECT

 public:
  IgcFormatDialog(app::IgcFormatForm& form, core::Ui& ui, QWidget* parent = nullptr);
  QLineEdit* field(app::IgcField field) const;
  QCheckBox* longNameBox() const { return long_; }
  QCheckBox* shortNameBox() const { return short_; }
  QCheckBox* signatureBox() const { return signature_; }
  QPushButton* saveButton() const { return save_; }

 private:
  void ShowBoxes();
  void OnSave();

  app::IgcFormatForm& form_;
  core::Ui& ui_;
  QLineEdit* fields_[std::size(app::kIgcFormatFields)] = {};
  QCheckBox* long_ = nullptr;
  QCheckBox* short_ = nullptr;
  QCheckBox* signature_ = nullptr;
  QPushButton* save_ = nullptr;
};

// "Save IGC track log from GPS": the flight number and the two file-name boxes.
class RawIgcSaveDialog final : public QDialog {
  Q_OBJECT

 public:
  RawIgcSaveDialog(app::RawIgcSaveForm& form, core::Ui& ui, QWidget* parent = nullptr);
  QLineEdit* flightNumber() const { return flightNumber_; }
  QPushButton* saveButton() const { return save_; }

 private:
  void ShowBoxes();
  void OnSave();

  app::RawIgcSaveForm& form_;
  core::Ui& ui_;
  QLineEdit* flightNumber_ = nullptr;
  QCheckBox* long_ = nullptr;
  QCheckBox* short_ = nullptr;
  QPushButton* save_ = nullptr;
};

// "Select COM port": the ports that exist in an editable list (a device path can be typed), the
// session's port preselected, and under it the permission hint for a port this user cannot open.
class ComPortDialog final : public QDialog {
  Q_OBJECT

 public:
  ComPortDialog(const access::ComPortChoice& choice, QWidget* parent = nullptr);
  std::string port() const;
  QComboBox* ports() const { return ports_; }
  QLabel* hint() const { return hint_; }

 private:
  QComboBox* ports_ = nullptr;
  QLabel* hint_ = nullptr;
};

// Sets the session's dialog hooks to these dialogs (parented to `parent`), the clipboard and
// the port list of "Set COM port".
void InstallWindowDialogs(app::Session& session, QtUi& ui, QWidget* parent);

}  // namespace tarnvik::gui
