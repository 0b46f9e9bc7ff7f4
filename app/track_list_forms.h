// The two track dialogs of the Flytec/Brauniger downloads as toolkit-free forms: "Track list"
// (one track, the first entry selected) and "Track List" (several tracks, with "&All"). A front
// end shows the entries and calls the answer of the button pressed; the answers are what the
// worker's question returns (Ui::ChooseItem, Ui::ChooseItems).
#pragma once

#include <array>
#include <string>
#include <vector>

namespace tarnvik::app {

// The columns of a track list entry "NN   date   time   duration": "No.", "Date", "Time",
// "Duration". Missing parts are empty; a part with blanks of its own stays whole.
std::array<std::string, 4> TrackEntryColumns(const std::string& entry);

struct TrackChoiceForm {
  static constexpr const char* kCaption = "Track list";
  static constexpr const char* kPrompt = "Select one of the following tracks:";
  static constexpr std::array<const char*, 4> kColumns = {"No.", "Date", "Time", "Duration"};

  explicit TrackChoiceForm(std::vector<std::string> entries) : entries(std::move(entries)) {}
  std::vector<std::string> entries;
  int selected = 0;  // the first entry is selected when the dialog opens

  // "OK": the selected entry's index, or -1 when there is none.
  int Ok() const { return selected >= 0 && selected < static_cast<int>(entries.size()) ? selected : -1; }
  // "Cancel" or closing the dialog.
  static int Cancel() { return -1; }
};

struct TrackMultiChoiceForm {
  static constexpr const char* kCaption = "Track List";
  static constexpr const char* kPrompt = "&Select track(s):";

  explicit TrackMultiChoiceForm(std::vector<std::string> entries)
      : entries(std::move(entries)), selected(this->entries.size(), false) {}
  std::vector<std::string> entries;
  std::vector<bool> selected;

  // "OK": the selected indices, ascending (empty when nothing is selected).
  std::vector<int> Ok() const;
  // "&All": every entry.
  std::vector<int> All() const;
  // "&Cancel" or closing the dialog: nothing.
  static std::vector<int> Cancel() { return {}; }
};

}  // namespace tarnvik::app
