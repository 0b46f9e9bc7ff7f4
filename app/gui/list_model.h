// The list of the main window as a table model: it asks the session's views for each cell as
// the view draws it (no copy of the records), so a log of any length scrolls at once.
#pragma once

#include <QAbstractTableModel>

#include "app/session.h"
#include "app/views.h"

namespace tarnvik::gui {

class ListModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ListModel(const app::Session& session, QObject* parent = nullptr);

  // The session loaded a view (or its records changed): columns and rows anew.
  void Reload();
  app::ViewMode mode() const { return mode_; }
  bool utm() const { return utm_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 private:
  const app::Session& session_;
  app::ListRows rows_;
  app::ViewMode mode_ = app::ViewMode::Tracklog;
  bool utm_ = false;
};

}  // namespace tarnvik::gui
