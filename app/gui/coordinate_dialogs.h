// The dialogs of the coordinate tools and of waypoint editing, each a thin form over its
// toolkit-free model (app/distance_form.h, app/conversion_form.h, app/waypoint_edit_form.h):
// typing goes straight into the model's fields, the buttons call the model, and every check and
// message runs there; these only show the model again.
#pragma once

#include <QDialog>

#include "app/distance_form.h"
#include "app/conversion_form.h"
#include "app/session.h"
#include "app/waypoint_edit_form.h"
#include "core/ports.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarnvik::gui {

class QtUi;

// The zone, first and second fields of one position with their labels.
struct PositionWidgets {
  QLabel* labels[3] = {};
  QLineEdit* fields[3] = {};
  QLineEdit* field(app::PositionField f) const { return fields[static_cast<int>(f)]; }
  QLabel* label(app::PositionField f) const { return labels[static_cast<int>(f)]; }
};

// "Calculate distance": FROM and TO lists of the waypoints with the chosen one's name beside
// each, the position fields, "&UTM", "&Calculate" and the distance beside "Distance (m):".
class DistanceDialog final : public QDialog {
  Q_OBJECT

 public:
  DistanceDialog(app::DistanceForm& form, core::Ui& ui, QWidget* parent = nullptr);
  QComboBox* list(app::DistanceEnd end) const { return end == app::DistanceEnd::From ? fromList_ : toList_; }
  QLabel* name(app::DistanceEnd end) const { return end == app::DistanceEnd::From ? fromName_ : toName_; }
  const PositionWidgets& position(app::DistanceEnd end) const { return end == app::DistanceEnd::From ? from_ : to_; }
  QCheckBox* utmBox() const { return utm_; }
  QPushButton* calculateButton() const { return calculate_; }
  QLabel* distance() const { return distance_; }

 private:
  void Show();

  app::DistanceForm& form_;
  core::Ui& ui_;
  QComboBox* fromList_ = nullptr;
  QComboBox* toList_ = nullptr;
  QLabel* fromName_ = nullptr;
  QLabel* toName_ = nullptr;
  PositionWidgets from_;
  PositionWidgets to_;
  QCheckBox* utm_ = nullptr;
  QPushButton* calculate_ = nullptr;
  QLabel* distance_ = nullptr;
};

// "Coordinate conversion": latitude, longitude, zone, easting and northing, "To &degrees",
// "To &UTM/UPS" and the WGS 84 note. The dialog stays open whatever a button found.
class ConversionDialog final : public QDialog {
  Q_OBJECT

 public:
  ConversionDialog(app::ConversionForm& form, core::Ui& ui, QWidget* parent = nullptr);
  QLineEdit* field(app::ConversionField field) const { return fields_[static_cast<int>(field)]; }
  QPushButton* toDegreesButton() const { return toDegrees_; }
  QPushButton* toUtmButton() const { return toUtm_; }

 private:
  void Show();

  app::ConversionForm& form_;
  core::Ui& ui_;
  QLineEdit* fields_[5] = {};
  QPushButton* toDegrees_ = nullptr;
  QPushButton* toUtm_ = nullptr;
};

// "Edit Waypoint": ID, name (the comment), height, "&UTM" and the position fields; OK runs the
// model's check and closes only when it passed.
class WaypointEditDialog final : public QDialog {
  Q_OBJECT

 public:
  WaypointEditDialog(app::WaypointEditForm& form, core::Ui& ui, QWidget* parent = nullptr);
  QLineEdit* field(app::WaypointEditField field) const { return fields_[static_cast<int>(field)]; }
  const PositionWidgets& position() const { return position_; }
  QCheckBox* utmBox() const { return utm_; }
  QPushButton* okButton() const { return ok_; }

 private:
  void ShowPosition();

  app::WaypointEditForm& form_;
  core::Ui& ui_;
  QLineEdit* fields_[3] = {};
  PositionWidgets position_;
  QCheckBox* utm_ = nullptr;
  QPushButton* ok_ = nullptr;
};

// Sets the session's hooks of "&New waypoint"/"&Edit waypoint", "Convert &Position" and
// "&Calculate distance" to these dialogs, parented to `parent`.
void InstallCoordinateDialogs(app::Session& session, QtUi& ui, QWidget* parent);

}  // namespace tarnvik::gui
