// The Flytec/Brauniger track dialogs over their toolkit-free forms (app/track_list_forms.h):
// "Track list" (one track, the first entry selected) and "Track List" (several, with "&All").
// Installed as the Qt Ui's item dialogs for those captions, so the worker's question gets the
// answer of the button pressed.
#pragma once

#include <QDialog>

#include <vector>

#include "app/track_list_forms.h"

class QListWidget;
class QPushButton;
class QTreeWidget;

namespace tarnvik::gui {

class QtUi;

class TrackListDialog final : public QDialog {
  Q_OBJECT

 public:
  TrackListDialog(app::TrackChoiceForm& form, QWidget* parent = nullptr);
  QTreeWidget* entries() const { return entries_; }
  QPushButton* okButton() const { return ok_; }
  // The answer of the button pressed (Cancel until OK was).
  int answer() const { return answer_; }

 private:
  app::TrackChoiceForm& form_;
  QTreeWidget* entries_ = nullptr;
  QPushButton* ok_ = nullptr;
  int answer_ = app::TrackChoiceForm::Cancel();
};

class TrackMultiListDialog final : public QDialog {
  Q_OBJECT

 public:
  TrackMultiListDialog(app::TrackMultiChoiceForm& form, QWidget* parent = nullptr);
  QListWidget* entries() const { return entries_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* allButton() const { return all_; }
  std::vector<int> answer() const { return answer_; }

 private:
  app::TrackMultiChoiceForm& form_;
  QListWidget* entries_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* all_ = nullptr;
  std::vector<int> answer_ = app::TrackMultiChoiceForm::Cancel();
};

// Registers both dialogs (parented to `parent`) as the Ui's item dialogs for their captions.
void InstallTrackListDialogs(QtUi& ui, QWidget* parent);

}  // namespace tarnvik::gui
