// "Edit waypoint" without a toolkit: a new waypoint or a change of one, its position typed in
// degrees or UTM. A dialog shows the fields with the labels of the "&UTM" box and calls the check
// on OK, staying open on a failure; the command then inserts or replaces the waypoint.
#pragma once

#include <string>
#include <string_view>

#include "app/position_fields.h"
#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::app {

constexpr std::string_view kWaypointEditCaption = "Edit waypoint";

// What the dialog keeps while the program runs (held by the session): the last waypoint it
// accepted and its "&UTM" box.
struct WaypointEditState {
  core::Waypoint buffer;
  bool utm = false;
};

enum class WaypointEditField { Id, Comment, Height };

struct WaypointEditForm {
  bool isNew = false;  // "&New waypoint" rather than "&Edit waypoint"
  bool utm = false;    // the "&UTM" box
  // The waypoint being edited; a passing check writes the result here.
  core::Waypoint waypoint;
  std::string id;       // at most 6 characters
  std::string comment;  // at most 40
  std::string height;   // at most 40
  PositionFields position;
  // The texts the form itself put in the position fields, which stand for waypoint's position
  // exactly (the texts are rounded to 0.01 second or to whole metres).
  PositionFields shownPosition;

  // Sets a field as its edit box would: cut to its length.
  void SetField(WaypointEditField field, std::string_view text);
  void SetPositionField(PositionField field, std::string_view text);
};

// The waypoint "&New waypoint" starts from: the buffer's position and height, no ID, no comment.
core::Waypoint NewWaypointFrom(const core::Waypoint& buffer);

// Opening: ID, comment, height "%d" and the position as the Waypoints view shows it.
WaypointEditForm OpenWaypointEditForm(const core::Waypoint& waypoint, bool utm, bool isNew);

// The "&UTM" box: the position fields are cleared and refilled from the waypoint in the new
// notation.
void SetWaypointEditUtm(WaypointEditForm& form, bool utm);

// OK, caption "Edit waypoint", first failure only: ID ("Missing ID input", "Bad ID"), comment
// (normalised), height ("Missing height input", "Bad height" for anything but an optional sign
// and digits within 32 bits), then latitude and longitude ("Missing latitude input", "Bad
// latitude input", ...) or zone, easting 0-1000000 and northing 0-20000000 ("Missing zone
// input", "Bad zone input", "Missing easting input", "Bad easting character", "Easting value out
// of range", and the same for the northing, which also answers for a position beyond the pole).
// A position field that still holds the text the form put there keeps the waypoint's own
// semicircles, so OK without typing never moves the waypoint; a typed position is converted and
// rounded half away from zero. 0 with form.waypoint set, or -1 after a message.
int CheckWaypointEdit(core::Ui& ui, WaypointEditForm& form);

}  // namespace tarnvik::app
