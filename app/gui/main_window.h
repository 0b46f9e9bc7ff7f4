// The main window: the session's front end. Menus from the command table (mnemonics, Ctrl
// shortcuts from the accelerator table, the track log filter checkable), the shortcut button
// row, the "Product" and "Status" lines with a progress bar, the list, the "UTM" check box,
// "Abort transfer", "Save log" and "Exit". Every command goes through DispatchCommand; a command
// this build cannot run is greyed out, and comes alive as soon as its dialog or instrument
// family is there (the states are read again whenever a menu opens and after each command).
//
// The session's queue wakes the window with a queued call (at most one pending); the GUI thread
// drains it. Status and product texts are shown at most once per 50 ms, the last one winning.
#pragma once

#include <QMainWindow>
#include <QTimer>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/commands.h"
#include "app/session.h"

class QAction;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;

namespace tarnvik::gui {

class FlightView;
class ListModel;
class QtUi;

class MainWindow final : public QMainWindow, public app::SessionFrontEnd {
  Q_OBJECT

 public:
  // Becomes the session's front end and the owner of its queue's wake-up.
  MainWindow(app::Session& session, QtUi& ui);
  ~MainWindow() override;

  // ---- SessionFrontEnd ----
  void ViewLoaded() override;
  void SelectionChanged() override;
  void RowChanged(size_t row) override;
  void StatusText(const std::string& text) override;
  void ProductText(const std::string& text) override;
  void Title(const std::string& text) override;
  void FilterChecked(bool checked) override;
  void EndDialog(int code) override;

  // Runs a command as its menu item, button or shortcut does.
  app::CommandOutcome RunCommand(int id);
  // Enables what this build can run, greys out the rest.
  void UpdateCommandStates();
  // Shows the pending status and product texts now (the coalescing timer calls it).
  void FlushTexts();

  int endCode() const { return endCode_; }
  // For tests and the screenshot script: the widgets as the user sees them.
  QAction* actionFor(int commandId) const;
  QPushButton* buttonFor(int commandId) const;
  QTableView* list() const { return list_; }
  FlightView* flightView() const { return flightView_; }
  ListModel* model() const { return model_; }
  QCheckBox* utmBox() const { return utm_; }
  QLabel* statusLine() const { return status_; }
  QLabel* productLine() const { return product_; }
  QProgressBar* progressBar() const { return progress_; }
  const std::vector<std::pair<QAction*, const app::CommandInfo*>>& actions() const { return actions_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Waker;
  void BuildMenus();
  QWidget* BuildCentral();
  void DrainQueue();
  void ListSelectionChanged();
  void ApplyColumnWidths();
  // Hands the selection to the flight view, and after a reload the log and the CTR list.
  void UpdateFlightView(bool reloaded);
  void FlightFixPicked(qint64 index);

  app::Session& session_;
  QtUi& ui_;
  std::shared_ptr<Waker> waker_;
  ListModel* model_ = nullptr;
  QTableView* list_ = nullptr;
  FlightView* flightView_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* product_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QCheckBox* utm_ = nullptr;
  QAction* filter_ = nullptr;
  QAction* competition_ = nullptr;  // "Competition &Mode", checked while the mode is on
  std::vector<std::pair<QAction*, const app::CommandInfo*>> actions_;
  std::vector<std::pair<QPushButton*, const app::CommandInfo*>> buttons_;
  QTimer textTimer_;
  std::string pendingStatus_;
  std::string pendingProduct_;
  bool statusPending_ = false;
  bool productPending_ = false;
  bool applyingSelection_ = false;
  int endCode_ = 0;
};

}  // namespace tarnvik::gui
