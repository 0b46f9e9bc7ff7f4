#include "app/track_list_forms.h"

namespace tarnvik::app {

std::array<std::string, 4> TrackEntryColumns(const std::string& entry) {
  std::array<std::string, 4> columns;
  size_t from = 0;
  for (size_t i = 0; i < columns.size() && from <= entry.size(); ++i) {
    // The last column takes the rest, separators included.
    const size_t at = i + 1 < columns.size() ? entry.find("   ", from) : std::string::npos;
    columns[i] = entry.substr(from, at == std::string::npos ? std::string::npos : at - from);
    if (at == std::string::npos) break;
    from = at + 3;
  }
  return columns;
}

std::vector<int> TrackMultiChoiceForm::Ok() const {
  std::vector<int> chosen;
  for (size_t i = 0; i < entries.size() && i < selected.size(); ++i) {
    if (selected[i]) chosen.push_back(static_cast<int>(i));
  }
  return chosen;
}

std::vector<int> TrackMultiChoiceForm::All() const {
  std::vector<int> all;
  for (size_t i = 0; i < entries.size(); ++i) all.push_back(static_cast<int>(i));
  return all;
}

}  // namespace tarnvik::app
