// "OLC statistics": a thin form over analysis::OlcModel (the search on its worker, Halt,
// progress, the results) and the claim form of app/olc_claim.h (the pilot's data and the two
// saves). Every check, text and save runs in those models; this dialog shows fields and
// forwards clicks. The worker's news reaches the widgets only through queued calls.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

#include "analysis/olc_model.h"
#include "app/olc_claim.h"
#include "app/session.h"
#include "core/settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace tarnvik::gui {

class QtUi;

class OlcDialog final : public QDialog {
  Q_OBJECT

 public:
  // lastFlightNumber: the flight number kept for this run of the program; closing the dialog
  // leaves the field's text there.
  OlcDialog(app::OlcStatisticsRun& run, QtUi& ui, core::Settings& settings, std::string& lastFlightNumber,
            QWidget* parent = nullptr);
  ~OlcDialog() override;

  // Starts the search; false (after the model's message) when the dialog is not to be shown.
  bool Open();
  bool Finished() const { return model_->Finished(); }
  // The worker ended (finished, halted or failed).
  bool WorkerEnded() const { return model_->WorkerResult() != 1; }
  bool Saveable() const { return model_->Saveable(); }

  QLineEdit* field(app::OlcField field) const { return fields_[static_cast<size_t>(field)]; }
  QComboBox* classList() const { return class_; }
  QComboBox* regionList() const { return region_; }
  QCheckBox* longNameBox() const { return long_; }
  QPlainTextEdit* resultsField() const { return results_; }
  QLabel* statusField() const { return status_; }
  QLabel* progressField() const { return progress_; }
  QPushButton* haltButton() const { return halt_; }
  QPushButton* saveOlcButton() const { return saveOlc_; }
  QPushButton* saveIgcButton() const { return saveIgc_; }
  QPushButton* exitButton() const { return exit_; }

 protected:
  void done(int result) override;

 private:
  class StatusPort;
  void Refresh();
  void PollProgress();
  void ReadForm();
  void OnSave(bool withIgc);

  app::OlcStatisticsRun& run_;
  QtUi& ui_;
  core::Settings& settings_;
  std::string& lastFlightNumber_;
  app::OlcForm form_;
  std::shared_ptr<StatusPort> port_;
  QLineEdit* fields_[7] = {};
  QComboBox* class_ = nullptr;
  QComboBox* region_ = nullptr;
  QCheckBox* long_ = nullptr;
  QPlainTextEdit* results_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* progress_ = nullptr;
  QPushButton* halt_ = nullptr;
  QPushButton* saveOlc_ = nullptr;
  QPushButton* saveIgc_ = nullptr;
  QPushButton* exit_ = nullptr;
  QTimer* timer_ = nullptr;
  // Declared last: destroyed (its worker joined) first.
  std::unique_ptr<analysis::OlcModel> model_;
};

// Sets the session's "OLC statistics" hook to this dialog (parented to `parent`).
void InstallOlcDialog(app::Session& session, QtUi& ui, QWidget* parent);

}  // namespace tarnvik::gui
