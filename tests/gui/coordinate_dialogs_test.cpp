// The coordinate tools and the waypoint edit dialog as a pilot uses them: positions typed into the
// fields, the buttons clicked, the results and messages read back. The expected lengths come from
// the WGS 84 meridian arc integrated here numerically, apart from the program's own geodesy.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/gui/coordinate_dialogs.h"
#include "tests/gui/gui_rig.h"

namespace tarnvik::gui::testing {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Types a whole text into a field as the keyboard would (textEdited, not only setText).
void Type(QLineEdit* field, const char* text) {
  ASSERT_NE(field, nullptr);
  const QString value = QString::fromUtf8(text);
  field->setText(value);
  emit field->textEdited(value);
}

// Length of the WGS 84 meridian from the equator to latitude `degrees`: Simpson's rule over the
// meridian radius of curvature a(1-e^2)/(1-e^2 sin^2 phi)^(3/2).
double MeridianArc(double degrees) {
  const double a = 6378137.0;
  const double f = 1 / 298.257223563;
  const double e2 = f * (2 - f);
  const double end = degrees * kPi / 180;
  const int n = 20000;  // even
  const double h = end / n;
  auto radius = [&](double phi) {
    const double s = std::sin(phi);
    return a * (1 - e2) / std::pow(1 - e2 * s * s, 1.5);
  };
  double sum = radius(0) + radius(end);
  for (int i = 1; i < n; ++i) sum += radius(i * h) * (i % 2 ? 4 : 2);
  return sum * h / 3;
}

int32_t Semicircles(double degrees) { return static_cast<int32_t>(std::lround(degrees / 180 * 2147483648.0)); }

// A "N 45 00 00.00000" text: its hemisphere, whole degrees and minutes as given, and seconds
// within 0.0001 of zero (3 mm on the ground).
void ExpectDms(const std::string& text, char hemisphere, int degrees) {
  char h = 0;
  int d = -1, m = -1;
  double s = -1;
  ASSERT_EQ(std::sscanf(text.c_str(), "%c %d %d %lf", &h, &d, &m, &s), 4) << text;
  EXPECT_EQ(h, hemisphere) << text;
  EXPECT_EQ(d, degrees) << text;
  EXPECT_EQ(m, 0) << text;
  EXPECT_NEAR(s, 0.0, 0.0001) << text;
  EXPECT_EQ(text.size(), std::string(hemisphere == 'N' ? "N 45 00 00.00000" : "E 009 00 00.00000").size()) << text;
}

class CoordinateDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallCoordinateDialogs(rig.session(), rig.ui(), &rig.window());
    rig.window().UpdateCommandStates();
  }
  GuiRig rig;
};

TEST_F(CoordinateDialogsTest, DistanceBetweenTwoTypedPositionsIsTheMeridianArc) {
  bool shown = false;
  std::string distance;
  rig.ui().driveDialog = [&](QDialog& dialog) {
    auto& tool = dynamic_cast<DistanceDialog&>(dialog);
    shown = true;
    ASSERT_FALSE(tool.utmBox()->isChecked());
    const PositionWidgets& from = tool.position(app::DistanceEnd::From);
    const PositionWidgets& to = tool.position(app::DistanceEnd::To);
    Type(from.field(app::PositionField::First), "N 45");
    Type(from.field(app::PositionField::Second), "E 7");
    Type(to.field(app::PositionField::First), "4x6");
    Type(to.field(app::PositionField::Second), "E 7");
    const QString before = tool.distance()->text();
    tool.calculateButton()->click();
    // A bad TO latitude: its message, and the distance shown stays as it was.
    EXPECT_TRUE(rig.Shown("Reading TO latitude", "Bad latitude input")) << rig.BoxTexts();
    EXPECT_EQ(tool.distance()->text(), before);
    Type(to.field(app::PositionField::First), "N 46");
    tool.calculateButton()->click();
    distance = tool.distance()->text().toStdString();
    dialog.reject();
  };
  rig.window().RunCommand(40028);  // Calculate distance
  ASSERT_TRUE(shown) << rig.BoxTexts();
  ASSERT_FALSE(distance.empty());
  const double expected = MeridianArc(46) - MeridianArc(45);  // about 111 141 m
  EXPECT_NEAR(std::stod(distance), expected, 0.006) << distance;
  EXPECT_EQ(distance.find('.'), distance.size() - 3) << distance;  // two decimals
  // The positions read are kept for the next opening.
  EXPECT_EQ(rig.session().distanceTool.from.latitude, Semicircles(45));
  EXPECT_EQ(rig.session().distanceTool.to.latitude, Semicircles(46));
}

TEST_F(CoordinateDialogsTest, ConversionOnTheCentralMeridianRoundTrips) {
  bool shown = false;
  rig.ui().driveDialog = [&](QDialog& dialog) {
    auto& tool = dynamic_cast<ConversionDialog&>(dialog);
    shown = true;
    using F = app::ConversionField;
    // 9 E is the central meridian of zone 32: easting 500 km, northing 0.9996 times the arc.
    Type(tool.field(F::Latitude), "N 45 00 00");
    Type(tool.field(F::Longitude), "E 009 00 00");
    tool.toUtmButton()->click();
    EXPECT_TRUE(rig.boxes.empty()) << rig.BoxTexts();
    EXPECT_EQ(tool.field(F::Zone)->text().toStdString(), "32T");
    EXPECT_NEAR(tool.field(F::Easting)->text().toDouble(), 500000.0, 0.001) << tool.field(F::Easting)->text().toStdString();
    EXPECT_NEAR(tool.field(F::Northing)->text().toDouble(), 0.9996 * MeridianArc(45), 0.005)
        << tool.field(F::Northing)->text().toStdString();
    EXPECT_EQ(tool.field(F::Northing)->text().size(), 12);  // "%012.4f"

    // And back: the degrees come from zone, easting and northing alone.
    Type(tool.field(F::Latitude), "");
    Type(tool.field(F::Longitude), "");
    tool.toDegreesButton()->click();
    EXPECT_TRUE(rig.boxes.empty()) << rig.BoxTexts();
    // Within a few millimetres (the UTM text keeps 0.1 mm; the series round trip adds a little).
    ExpectDms(tool.field(F::Latitude)->text().toStdString(), 'N', 45);
    ExpectDms(tool.field(F::Longitude)->text().toStdString(), 'E', 9);

    // A zone beyond 60: the message, nothing changed, the dialog still open.
    Type(tool.field(F::Zone), "99Z");
    Type(tool.field(F::Latitude), "");
    tool.toDegreesButton()->click();
    EXPECT_TRUE(rig.Shown("Decoding zone string", "Bad input")) << rig.BoxTexts();
    EXPECT_TRUE(tool.field(F::Latitude)->text().isEmpty());
    EXPECT_TRUE(dialog.isVisible());
    dialog.reject();
  };
  rig.window().RunCommand(40032);  // Convert Position
  ASSERT_TRUE(shown) << rig.BoxTexts();
}

TEST_F(CoordinateDialogsTest, EditWaypointRefusesABadHeightThenChangesTheSessionsWaypoint) {
  core::Waypoint voss;
  std::strcpy(voss.id, "VOSS");
  std::strcpy(voss.comment, "OLD TAKEOFF");
  voss.altitude = 100;
  voss.latitude = Semicircles(60.5);
  voss.longitude = Semicircles(6.4);
  rig.session().waypoints.waypoints = {voss};
  rig.session().waypoints.shownCount = 1;
  rig.session().ChangeView(app::ViewMode::Waypoints, true);
  rig.session().SetSelection({0});
  rig.window().UpdateCommandStates();

  bool shown = false;
  int result = -1;
  rig.ui().driveDialog = [&](QDialog& dialog) {
    auto& edit = dynamic_cast<WaypointEditDialog&>(dialog);
    shown = true;
    ASSERT_FALSE(edit.utmBox()->isChecked());
    EXPECT_EQ(edit.field(app::WaypointEditField::Id)->text().toStdString(), "VOSS");
    Type(edit.field(app::WaypointEditField::Height), "12a");
    edit.okButton()->click();
    EXPECT_TRUE(rig.Shown("Edit waypoint", "Bad height")) << rig.BoxTexts();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(rig.session().waypoints.waypoints[0].altitude, 100);

    Type(edit.field(app::WaypointEditField::Height), "1234");
    Type(edit.field(app::WaypointEditField::Comment), "LANDING");
    Type(edit.position().field(app::PositionField::First), "N 60 40 30");
    edit.okButton()->click();
    result = dialog.result();
  };
  rig.window().RunCommand(40030);  // Edit waypoint
  ASSERT_TRUE(shown) << rig.BoxTexts();
  EXPECT_EQ(result, QDialog::Accepted) << rig.BoxTexts();
  ASSERT_EQ(rig.session().waypoints.waypoints.size(), 1u);
  const core::Waypoint& changed = rig.session().waypoints.waypoints[0];
  EXPECT_STREQ(changed.id, "VOSS");
  EXPECT_STREQ(changed.comment, "LANDING");
  EXPECT_EQ(changed.altitude, 1234);
  EXPECT_EQ(changed.latitude, Semicircles(60 + 40 / 60.0 + 30 / 3600.0));
  EXPECT_EQ(changed.longitude, voss.longitude);  // the untouched field keeps the exact position
}

}  // namespace
}  // namespace tarnvik::gui::testing
