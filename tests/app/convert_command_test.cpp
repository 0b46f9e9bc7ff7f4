// "tarnvik --convert": every output type from a real flight and back, the signature rules, the
// track choice of a logbook, waypoint layouts and the refusals.
#include "app/convert_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "app/google_earth_export.h"
#include "core/file_io.h"
#include "formats/gpx.h"
#include "formats/igc.h"
#include "formats/kml_logbook.h"
#include "formats/kml_reader.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/recording_ui.h"
#include "tests/formats/dat_file_builder.h"

namespace tarnvik::app {
namespace {

namespace fs = std::filesystem;

const std::string kFlight = std::string(TARNVIK_TEST_DATA) + "/formats/xctrack-2022-04-07.igc";

class ConvertCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tarnvik_convert_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // Runs the command; out receives stdout, ui the messages.
  int Convert(std::vector<std::string> args) {
    out.str("");
    return RunConvertCommand(args, out, ui, clock);
  }
  formats::TrackParseResult ReadKml(const std::string& path) {
    core::FileBytes f = core::ReadWholeFile(path);
    testing::RecordingUi quiet;
    return formats::ReadKmlLog(quiet, std::string_view(f.begin(), f.size));
  }

  fs::path dir_;
  std::ostringstream out;
  testing::RecordingUi ui;
  testing::FakeClock clock;
};

TEST_F(ConvertCommand, ARealFlightToEveryOutputTypeAndBack) {
  core::FileBytes source = core::ReadWholeFile(kFlight);
  formats::IgcBuffer buffer;
  testing::RecordingUi quiet;
  const formats::TrackParseResult flight =
      formats::ReadIgcFileBuffer(quiet, std::string_view(source.begin(), source.size), buffer);
  ASSERT_GT(flight.result, 100);
  const std::string written = std::to_string(flight.fixes.size()) + " positions written\n";
  for (const char* type : {".kml", ".igc", ".gpx", ".plt", ".csv", ".mps"}) {
    SCOPED_TRACE(type);
    const std::string there = Path(std::string("there") + type);
    const std::string back = Path(std::string("back") + type + ".gpx");
    ASSERT_EQ(Convert({kFlight, there}), 0) << (ui.shown.empty() ? "" : ui.shown[0].text);
    EXPECT_EQ(out.str(), written);
    ASSERT_EQ(Convert({there, back}), 0) << (ui.shown.empty() ? "" : ui.shown[0].text);
    EXPECT_EQ(out.str(), written);
    EXPECT_TRUE(ui.shown.empty());
    core::FileBytes gpx = core::ReadWholeFile(back);
    const formats::TrackParseResult round = formats::ReadGpxTrack(quiet, std::string_view(gpx.begin(), gpx.size));
    ASSERT_EQ(round.fixes.size(), flight.fixes.size());
    for (size_t i = 0; i < flight.fixes.size(); ++i) {
      EXPECT_EQ(round.fixes[i].time, flight.fixes[i].time) << i;
      EXPECT_NEAR(round.fixes[i].latitude, flight.fixes[i].latitude, 120) << i;  // 1e-6 degree
      EXPECT_NEAR(round.fixes[i].longitude, flight.fixes[i].longitude, 120) << i;
    }
  }
}

TEST_F(ConvertCommand, NoConversionSignsAFilesDataButASignedLogStaysSigned) {
  // A validated old-logbook file gives a signed KML, as DAT2KML does.
  const std::string dat = Path("valid.dat");
  ASSERT_EQ(core::WriteFileAtomically(dat, testing::BuildDatFile(testing::SampleDatFlight(true, true))), "");
  ASSERT_EQ(Convert({dat, Path("signed.kml")}), 0);
  EXPECT_EQ(ReadKml(Path("signed.kml")).signatureFlag, formats::kKmlSignatureValid);
  ASSERT_EQ(Convert({Path("signed.kml"), Path("again.kml")}), 0);
  EXPECT_EQ(ReadKml(Path("again.kml")).signatureFlag, formats::kKmlSignatureValid);
  // An unsigned IGC file stays unsigned, and an IGC written here carries no G record.
  ASSERT_EQ(Convert({kFlight, Path("plain.kml")}), 0);
  EXPECT_NE(ReadKml(Path("plain.kml")).signatureFlag, formats::kKmlSignatureValid);
  ASSERT_EQ(Convert({Path("signed.kml"), Path("out.igc")}), 0);
  core::FileBytes igc = core::ReadWholeFile(Path("out.igc"));
  const std::string text(igc.begin(), igc.size);
  EXPECT_EQ(text.find("\nG"), std::string::npos);
  EXPECT_NE(text.find("\nB"), std::string::npos);
}

TEST_F(ConvertCommand, ALogbookWithSeveralTracksNeedsTrack) {
  core::FileBytes source = core::ReadWholeFile(kFlight);
  formats::IgcBuffer buffer;
  testing::RecordingUi quiet;
  formats::TrackParseResult flight =
      formats::ReadIgcFileBuffer(quiet, std::string_view(source.begin(), source.size), buffer);
  std::vector<core::TrackPoint> second(flight.fixes.begin(), flight.fixes.begin() + 50);
  for (auto& f : second) f.time += 86400;
  std::string one, two;
  ASSERT_EQ(BuildGoogleEarthKml(quiet, flight.fixes, 0, 0, "", one), 0);
  ASSERT_EQ(BuildGoogleEarthKml(quiet, second, 0, 0, "", two), 0);
  const formats::LogbookFolders a = formats::FindLogbookFolders(one);
  const formats::LogbookFolders b = formats::FindLogbookFolders(two);
  ASSERT_EQ(a.code, 0);
  ASSERT_EQ(b.code, 0);
  const std::string logbook = one.substr(0, a.end) + two.substr(b.begin, b.end - b.begin) + one.substr(a.end);
  ASSERT_EQ(core::WriteFileAtomically(Path("book.kml"), logbook), "");

  EXPECT_EQ(Convert({Path("book.kml"), Path("x.gpx")}), 1);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Convert");
  EXPECT_EQ(ui.shown[0].text, "2 tracks, give --track=N: 1 2022-04-07   11:34:50; 2 2022-04-08   11:34:50");
  EXPECT_FALSE(fs::exists(Path("x.gpx")));
  ui.shown.clear();
  ASSERT_EQ(Convert({"--track=2", Path("book.kml"), Path("x.gpx")}), 0);
  EXPECT_EQ(out.str(), "50 positions written\n");
  EXPECT_EQ(Convert({"--track=3", Path("book.kml"), Path("y.gpx")}), 1);
  EXPECT_EQ(ui.shown.size(), 1u);
}

TEST_F(ConvertCommand, WaypointLayouts) {
  const std::string ozi = std::string(TARNVIK_TEST_DATA) + "/formats/ozi.wpt";
  const struct {
    std::vector<std::string> options;
    const char* output;
    const char* start;
  } cases[] = {
      {{}, "w.wpt", "OziExplorer Waypoint File Version 1.0\r\n"},
      {{"--type=UTM"}, "u.wpt", "$FormatUTM\r\n"},
      {{"--type=Geographical"}, "g.wpt", "$FormatGEO\r\n"},
      {{}, "w.mps", "MsRcd"},
      {{}, "w.cup", "Title,Code,Country"},
      {{}, "w.gpx", "<?xml"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    std::vector<std::string> args = {"--waypoints"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(ozi);
    args.push_back(Path(c.output));
    ASSERT_EQ(Convert(args), 0) << (ui.shown.empty() ? "" : ui.shown[0].text);
    EXPECT_EQ(out.str(), "9 waypoints written\n");
    core::FileBytes f = core::ReadWholeFile(Path(c.output));
    EXPECT_TRUE(std::string_view(f.begin(), f.size).starts_with(c.start));
    // And back: the layout is recognised from the bytes.
    ASSERT_EQ(Convert({"--waypoints", Path(c.output), Path(std::string(c.output) + ".cup")}), 0);
    EXPECT_EQ(out.str(), "9 waypoints written\n");
  }
}

TEST_F(ConvertCommand, RefusalsAreOneLineAndWriteNothing) {
  ASSERT_EQ(core::WriteFileAtomically(Path("exists.gpx"), "old"), "");
  ASSERT_EQ(core::WriteFileAtomically(Path("log.tnc"), "x"), "");
  const std::string cup = std::string(TARNVIK_TEST_DATA) + "/formats/xcsoar-waypoints.cup";
  const struct {
    std::vector<std::string> args;
    const char* caption;
    const char* text;
  } cases[] = {
      {{"in.xyz", "out.kml"}, "Convert", "Unknown input file type \".xyz\""},
      {{kFlight, "out.txt"}, "Convert", "Unknown output file type \".txt\""},
      {{"log.tnc", "out.kml"}, "Convert", "Reading TopNavigator files is not supported by this version"},
      {{kFlight, "exists.gpx"}, "Convert", "\"exists.gpx\" already exists (--overwrite replaces it)"},
      {{kFlight}, "Convert", "Give one input and one output file"},
      {{"--track=0", kFlight, "a.gpx"}, "Convert", "Bad track number \"0\""},
      {{"--type=UTM", kFlight, "a.gpx"}, "Convert", "--type applies to waypoint files only"},
      {{"--waypoints", cup, "w.wpt"}, "Decoding waypoint file", "Bad line 2"},
      {{"--waypoints", "--type=Polar", cup, "w.wpt"}, "Convert", "Unknown waypoint file type \"Polar\""},
      {{"--fast", kFlight, "a.gpx"}, "Convert", "Unknown option \"--fast\""},
  };
  const fs::path previous = fs::current_path();
  fs::current_path(dir_);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Convert(c.args), 1);
    EXPECT_EQ(out.str(), "");
    ui.ExpectOnly(c.caption, c.text);
  }
  EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(dir_), fs::directory_iterator()).size(), 2u);
  core::FileBytes kept = core::ReadWholeFile(Path("exists.gpx"));
  EXPECT_EQ(std::string(kept.begin(), kept.size), "old");
  EXPECT_EQ(Convert({"--overwrite", kFlight, "exists.gpx"}), 0);
  fs::current_path(previous);
}

}  // namespace
}  // namespace tarnvik::app
