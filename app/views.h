// The three list views as data: the column sets of the Tracklog, Waypoints and CTR views (with
// their UTM variants) and the text of each cell. A list model of a window only asks these.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/session.h"
#include "core/records.h"

namespace tarnvik::app {

struct ViewColumn {
  std::string_view header;
  int widthChars;  // in average character widths of the list's font
};

// The columns of a view; utm selects the UTM set (the CTR view has only one).
std::span<const ViewColumn> ViewColumns(ViewMode mode, bool utm);

// Longest text of any cell (a list's cell buffer holds 80 bytes).
constexpr size_t kCellTextLimit = 79;

// Cell texts of one record, column by column as ViewColumns lists them.
std::string TrackCellText(std::span<const core::TrackPoint> points, size_t row, size_t column, bool utm);
std::string WaypointCellText(const core::Waypoint& waypoint, size_t column, bool utm);
std::string CtrCellText(const core::CtrRecord& zone, size_t column);

// Height in decimetres as metres and tenths: "%d.%d", "-%d.%d" for negatives.
std::string HeightDmText(int32_t heightDm);

// The rows of the session's current view, as the list shows them. Built when the view is
// loaded (the CTR list is linked, so its rows are indexed once here).
class ListRows {
 public:
  void Load(const Session& session);
  size_t Count() const { return count_; }
  std::string CellText(size_t row, size_t column) const;
  // The CTR records in row order (for commands that work on the selected rows).
  const std::vector<const core::CtrRecord*>& ctrRows() const { return ctrRows_; }

 private:
  const Session* session_ = nullptr;
  ViewMode mode_ = ViewMode::Tracklog;
  bool utm_ = false;
  size_t count_ = 0;
  std::vector<const core::CtrRecord*> ctrRows_;
};

}  // namespace tarnvik::app
