// "Calculate distance" without a toolkit: the distance on WGS 84 between a FROM and a TO
// position, each typed in degrees or UTM or taken from the waypoint list. A dialog shows the
// two waypoint lists with the name of the chosen waypoint beside each, the position fields with
// the labels of the "&UTM" box, and the distance beside "Distance (m):"; it forwards the choices,
// the box and "&Calculate" here.
//
// The command runs without the busy guard, so a waypoint download may replace the session's list
// while the dialog is open: the form copies IDs, names and positions when it opens and never
// refers to the session's list again.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/position_fields.h"
#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::app {

constexpr std::string_view kDistanceCaption = "Calculate distance";
constexpr std::string_view kDistanceLabel = "Distance (m):";
constexpr std::string_view kCalculateButton = "&Calculate";

// What the dialog keeps while the program runs (held by the session): the "&UTM" box and the
// FROM and TO positions.
struct DistanceToolState {
  bool utm = false;
  core::SemicirclePair from;
  core::SemicirclePair to;
};

// One waypoint as the lists offer it, copied at opening.
struct DistanceChoice {
  std::string id;    // the list entry
  std::string name;  // the comment, shown beside the list
  core::SemicirclePair position;
};

enum class DistanceEnd { From, To };

struct DistanceForm {
  DistanceToolState state;  // the session's copy; the command stores it back when the dialog ends
  std::vector<DistanceChoice> choices;
  int fromChoice = -1;  // index into choices, -1 when the list is empty
  int toChoice = -1;
  PositionFields from;
  PositionFields to;
  std::string distance;  // the text beside "Distance (m):"

  PositionFields& Fields(DistanceEnd end) { return end == DistanceEnd::From ? from : to; }
  // The name shown beside a list ("" when none is chosen).
  std::string ChosenName(DistanceEnd end) const;
};

// Opening: a non-empty list chooses its first waypoint in both lists (which become the stored
// FROM and TO positions, so the distance shows 0.00); an empty list shows the stored positions.
// The fields follow the stored "&UTM" box and the distance is computed from the positions.
DistanceForm OpenDistanceForm(const DistanceToolState& state, const core::WaypointList& list);

// Choosing a waypoint in the FROM or TO list: its position becomes that end's stored position
// and fills its fields, then the distance is calculated as "&Calculate" does (a bad text typed
// at the other end shows its message). An index outside the list changes nothing.
void ChooseDistanceWaypoint(core::Ui& ui, DistanceForm& form, DistanceEnd end, int index);

// The "&UTM" box: the fields are cleared and refilled in the new notation from the chosen
// waypoints (from the stored positions when the list is empty), and the distance shown anew.
void SetDistanceUtm(DistanceForm& form, bool utm);

// "&Calculate": reads FROM and TO in the form's notation, showing the first failure under its
// caption ("Reading FROM latitude", ...). On success the two positions read become the stored
// FROM and TO positions and the distance reads "%.2f" metres, or "Error" when the iteration did
// not converge; 0. -1 after a message, nothing changed.
int CalculateDistance(core::Ui& ui, DistanceForm& form);

}  // namespace tarnvik::app
