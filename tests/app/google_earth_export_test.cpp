#include "app/google_earth_export.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/file_io.h"
#include "formats/igc.h"
#include "formats/kml_reader.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::app {
namespace {

using testing::RecordingUi;

std::vector<core::TrackPoint> Flight(const char* name) {
  core::FileBytes bytes = core::ReadWholeFile(std::string(TARNVIK_TEST_DATA) + "/igc/" + name);
  formats::IgcParseResult igc = formats::ParseIgcLog(std::string_view(bytes.begin(), bytes.size));
  EXPECT_GT(igc.count, 0) << igc.error;
  return igc.fixes;
}

std::string FileText(const std::string& path) {
  core::FileBytes bytes = core::ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.size);
}

class GoogleEarthExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("google_earth_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(GoogleEarthExportTest, IgcFlightBecomesAOneTripFileThatReadsBack) {
  const auto fixes = Flight("xcs_marcourt.igc");
  const std::string base = (dir_ / "marcourt").string();
  RecordingUi ui;
  ASSERT_EQ(WriteGoogleEarthKml(ui, base, false, fixes, 0, 0), 0);
  EXPECT_TRUE(ui.shown.empty());
  const std::string text = FileText(base + ".kml");
  EXPECT_NE(text.find("<description><![CDATA[2021-03-06\r\n<pre>\r\nFlight statistics\r\nDate                 2021-03-06\r\n"
                      "Start/finish         10:34:11 - 10:37:51\r\n"),
            std::string::npos);
  EXPECT_EQ(text.find("downloaded="), std::string::npos);
  EXPECT_EQ(text.find("hash="), std::string::npos);
  EXPECT_EQ(std::system(("xmllint --noout '" + base + ".kml'").c_str()), 0);

  formats::TrackParseResult back = formats::ReadKmlLog(ui, text);
  ASSERT_EQ(back.result, static_cast<int>(fixes.size()));
  EXPECT_EQ(back.signatureFlag, 0);
  EXPECT_EQ(back.fixes.back().time, fixes.back().time);
}

// The statistics and searches ran: the distance placemarks name fixes of this flight in track
// order and the total distance is not zero.
TEST_F(GoogleEarthExportTest, DocumentCarriesTheFlightsStatisticsAndSignature) {
  const auto fixes = Flight("igl_no_time_increment.igc");
  RecordingUi ui;
  std::string document;
  ASSERT_EQ(BuildGoogleEarthKml(ui, fixes, 1, 1, "Flytec 5030", document), 0);
  int a, b, c, d, e;
  ASSERT_EQ(std::sscanf(document.c_str() + document.find("<FsInfo track_idx=\"") + 19, "%d %d %d %d %d", &a, &b, &c, &d, &e), 5);
  EXPECT_TRUE(0 <= a && a < b && b < c && c < d && d < e && e < static_cast<int>(fixes.size()));
  EXPECT_EQ(document.find("Total distance       0.00 km"), std::string::npos);
  EXPECT_NE(document.find("instrument=\"Flytec 5030\""), std::string::npos);
  formats::TrackParseResult back = formats::ReadKmlLog(ui, document);
  EXPECT_EQ(back.signatureFlag, formats::kKmlSignatureValid);
  EXPECT_EQ(back.extra, 1);
}

TEST_F(GoogleEarthExportTest, Refusals) {
  const auto fixes = Flight("xcs_marcourt.igc");
  const std::string base = (dir_ / "x").string();
  ASSERT_EQ(core::WriteFileAtomically(base + ".kml", "old"), "");
  RecordingUi ui;
  EXPECT_EQ(WriteGoogleEarthKml(ui, base, false, fixes, 0, 0), -1);
  ui.ExpectOnly(kGoogleEarthCaption, "File already exists");
  EXPECT_EQ(FileText(base + ".kml"), "old");
  EXPECT_EQ(WriteGoogleEarthKml(ui, base, true, fixes, 0, 0), 0);
  EXPECT_NE(FileText(base + ".kml"), "old");

  EXPECT_EQ(WriteGoogleEarthKml(ui, base, true, std::span(fixes).first(4), 0, 0), -1);
  ui.ExpectOnly(kGoogleEarthCaption, "Too few track positions");
  EXPECT_EQ(WriteGoogleEarthKml(ui, std::string(257, 'n'), true, fixes, 0, 0), -1);
  ui.ExpectOnly(kGoogleEarthCaption, "File name too long");
  EXPECT_EQ(WriteGoogleEarthKml(ui, (dir_ / "missing" / "x").string(), true, fixes, 0, 0), -1);
  ui.ExpectOnly(kGoogleEarthCaption, "File creation error");
}

}  // namespace
}  // namespace tarnvik::app
