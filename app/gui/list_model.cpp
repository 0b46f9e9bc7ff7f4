#include "app/gui/list_model.h"

namespace tarnvik::gui {

ListModel::ListModel(const app::Session& session, QObject* parent) : QAbstractTableModel(parent), session_(session) {
  Reload();
}

void ListModel::Reload() {
  beginResetModel();
  mode_ = session_.viewMode;
  utm_ = session_.utmView;
  rows_.Load(session_);
  endResetModel();
}

int ListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.Count());
}

int ListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(app::ViewColumns(mode_, utm_).size());
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  return QString::fromStdString(rows_.CellText(static_cast<size_t>(index.row()), static_cast<size_t>(index.column())));
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  auto columns = app::ViewColumns(mode_, utm_);
  if (section < 0 || static_cast<size_t>(section) >= columns.size()) return {};
  const std::string_view header = columns[static_cast<size_t>(section)].header;
  return QString::fromUtf8(header.data(), static_cast<qsizetype>(header.size()));
}

}  // namespace tarnvik::gui
