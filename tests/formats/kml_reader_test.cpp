#include "formats/kml_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <numbers>
// GCC 12 with -fsanitize=address reports a false -Wmaybe-uninitialized inside <regex>'s own
// automaton code (GCC bug 105616), wherever a std::regex is built; it is silenced for that header only.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop
#include <string>

#include "core/file_io.h"
#include "formats/igc.h"
#include "formats/kml_writer.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::formats {
namespace {

using core::FlightSummary;
using core::TrackPoint;
using testing::RecordingUi;

uint32_t TimeOf(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute, uint16_t second) {
  return *core::CalendarToTime({year, month, 0, day, hour, minute, second, 0});
}

FlightSummary Trip(int count = 12, uint32_t start = TimeOf(2007, 6, 1, 10, 0, 0)) {
  FlightSummary s;
  for (int i = 0; i < count; ++i) {
    TrackPoint p;
    p.flags = i == 0 ? 1 : 0;
    p.time = start + 3 * i;
    p.latitude = *core::LatitudeFromDegrees(46.5 + 0.0013 * i);
    p.longitude = *core::LongitudeFromDegrees(8.1 - 0.0021 * i);
    p.height = i == 5 ? -16 : 12000 + 37 * i;
    s.fixes.push_back(p);
  }
  s.startTime = s.fixes.front().time;
  s.finishTime = s.fixes.back().time;
  s.duration = s.finishTime - s.startTime;
  s.downloadedTime = static_cast<int32_t>(TimeOf(2024, 7, 14, 12, 30, 0));
  s.signFlag = 1;
  s.utcFlag = 1;
  s.fivePointFixes[1] = 1;
  s.fivePointFixes[2] = 2;
  s.fivePointFixes[3] = 3;
  s.fivePointFixes[4] = 4;
  s.openDistanceFixes[1] = count - 1;
  return s;
}

std::string Folder(const FlightSummary& s, std::string_view instrument = "Flytec 6030") {
  core::TextBuffer buffer;
  EXPECT_EQ(BuildKmlTripFolder(buffer, s, "a flight", instrument), 0);
  return buffer.Text();
}

std::string Document(const std::string& folders) {
  return std::string(kKmlHeader) + folders + std::string(kKmlFooter);
}

// A fix as the writer puts it into the file (6 decimals; whole metres by its rule, which takes
// -1.0 m to 0 m) or as read back (whole metres in decimetres), which must agree.
std::string FixText(const TrackPoint& p, bool read) {
  char text[96];
  std::snprintf(text, sizeof text, "%u %.6f,%.6f,%d", p.time,
                core::SemicircleToRadians(p.longitude) * core::kDegreesPerRadian,
                core::SemicircleToRadians(p.latitude) * core::kDegreesPerRadian,
                read ? p.height / 10 : static_cast<int>((int64_t{p.height} + 5) / 10));
  if (read && p.height % 10 != 0) return "height not whole metres";
  return text;
}

void ExpectSameFixes(const std::vector<TrackPoint>& read, const std::vector<TrackPoint>& written) {
  ASSERT_EQ(read.size(), written.size());
  for (size_t i = 0; i < read.size(); ++i) {
    ASSERT_EQ(FixText(read[i], true), FixText(written[i], false)) << "fix " << i;
    ASSERT_EQ(read[i].flags, i == 0 ? 1u : 0u);
  }
}

// Replaces the last occurrence (the track placemark comes last in a folder).
std::string Replace(std::string text, const std::string& from, const std::string& to) {
  size_t at = text.rfind(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(KmlReaderTest, SignedTripReadsBackWithSignatureAndUtcFlag) {
  const FlightSummary s = Trip();
  RecordingUi ui;
  TrackParseResult r = ReadKmlLog(ui, Document(Folder(s)));
  EXPECT_TRUE(ui.shown.empty());
  ASSERT_EQ(r.result, 12);
  EXPECT_EQ(r.signatureFlag, kKmlSignatureValid);
  EXPECT_EQ(r.extra, 1);
  ExpectSameFixes(r.fixes, s.fixes);
  EXPECT_EQ(r.fixes[5].height, -10);  // -1.6 m is written as -1 m and read back as -1 m, not 0

  FlightSummary unsignedTrip = s;
  unsignedTrip.signFlag = 0;
  r = ReadKmlLog(ui, Document(Folder(unsignedTrip)));
  ASSERT_EQ(r.result, 12);
  EXPECT_EQ(r.signatureFlag, 0);
  EXPECT_EQ(r.extra, 0);
}

// An instrument name that looks like markup or like another attribute still reads back signed.
TEST(KmlReaderTest, OddInstrumentNamesKeepTheSignature) {
  for (const char* name : {"x\" hash=\"ABC", "a>b</FsInfo>", "GPS 'downloaded='1'", "\xB5-Logger & co"}) {
    RecordingUi ui;
    TrackParseResult r = ReadKmlLog(ui, Document(Folder(Trip(), name)));
    ASSERT_EQ(r.result, 12) << name;
    EXPECT_EQ(r.signatureFlag, kKmlSignatureValid) << name;
  }
}

// Any change to the signed data keeps the fixes readable but drops the signature.
TEST(KmlReaderTest, TamperedDataGivesFlagZeroWithTheSameFixesOtherwise) {
  const FlightSummary s = Trip();
  const std::string original = Document(Folder(s));
  struct Case {
    const char* what;
    std::string from, to;
    int changedFix;  // the fix whose values change, -1 for none
  };
  const Case cases[] = {
      {"coordinate digit", "8.100000,46.500000,1200 ", "8.100000,46.500001,1200 ", 0},
      {"time value", "0 3 6 9", "0 3 7 9", 2},
      {"instrument", "instrument=\"Flytec 6030\"", "instrument=\"Flytec 6031\"", -1},
      {"downloaded", "downloaded=\"2024-07-14T12:30:00Z\"", "downloaded=\"2024-07-14T12:30:01Z\"", -1},
      {"time stamp zone", "time_of_first_point=\"2007-06-01T10:00:00Z\"",
       "time_of_first_point=\"2007-06-01T12:00:00+02:00\"", -1},
      {"digit of precision", "8.100000,46.500000,1200 ", "8.1000007,46.500000,1200 ", 0},
  };
  for (const auto& c : cases) {
    RecordingUi ui;
    TrackParseResult r = ReadKmlLog(ui, Replace(original, c.from, c.to));
    EXPECT_TRUE(ui.shown.empty()) << c.what;
    ASSERT_EQ(r.result, 12) << c.what;
    EXPECT_EQ(r.signatureFlag, 0) << c.what;
    EXPECT_EQ(r.extra, 0) << c.what;
    for (size_t i = 0; i < r.fixes.size(); ++i) {
      if (static_cast<int>(i) == c.changedFix) continue;
      EXPECT_EQ(FixText(r.fixes[i], true), FixText(s.fixes[i], false)) << c.what << " fix " << i;
    }
  }
}

// Only the values are signed, as the writer prints them: other blanks, line breaks and tabs in
// the lists, and a trailing zero that leaves the printed value as it was, keep the signature.
TEST(KmlReaderTest, ReindentedListsKeepTheSignature) {
  const std::string original = Document(Folder(Trip(30)));
  std::string reindented = std::regex_replace(original, std::regex(" (\\d)"), "\r\n\t  $1");
  reindented = Replace(reindented, "<coordinates>\r\n", "<coordinates>\n\n\t   ");
  RecordingUi ui;
  TrackParseResult r = ReadKmlLog(ui, reindented);
  ASSERT_EQ(r.result, 30) << (ui.shown.empty() ? "" : ui.shown[0].text);
  EXPECT_EQ(r.signatureFlag, kKmlSignatureValid);

  r = ReadKmlLog(ui, Replace(original, "8.100000,46.500000,1200 ", "8.1000000,46.500000,1200.0 "));
  EXPECT_EQ(r.signatureFlag, kKmlSignatureValid);
}

TEST(KmlReaderTest, TwoTripsOpenTheTrackListAndTheChosenOneIsRead) {
  const FlightSummary first = Trip(12, TimeOf(2007, 6, 1, 10, 0, 0));
  FlightSummary second = Trip(20, TimeOf(2008, 7, 2, 11, 22, 33));
  second.utcFlag = 0;
  const std::string text = Document(Folder(first) + Folder(second));
  RecordingUi ui;
  ui.choices = {1};
  TrackParseResult r = ReadKmlLog(ui, text);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].caption, "Track list");
  EXPECT_EQ(ui.shown[0].text, "Select one of these tracks");
  ASSERT_EQ(r.result, 20);
  EXPECT_EQ(r.signatureFlag, kKmlSignatureValid);
  EXPECT_EQ(r.extra, 0);
  ExpectSameFixes(r.fixes, second.fixes);

  ui.shown.clear();  // no choice left: the list is cancelled, nothing is read or shown beyond it
  r = ReadKmlLog(ui, text);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(ui.shown.size(), 1u);
}

TEST(KmlReaderTest, TrackListLines) {
  struct ListUi : RecordingUi {
    std::vector<std::string> items;
    int ChooseItem(const std::string& c, const std::string& p, const std::vector<std::string>& i) override {
      items = i;
      return RecordingUi::ChooseItem(c, p, i);
    }
  } ui;
  char a[] = "time_of_first_point=\"2008-07-02T13:22:33+02:00\"";
  char b[] = "time_of_first_point=\"2008-13-02T13:22:33\"";
  char c[] = "hash=\"00\"";
  ui.choices = {2};
  EXPECT_EQ(SelectKmlTrack(ui, {a, b, c, nullptr}), 2);
  EXPECT_EQ(ui.items, (std::vector<std::string>{"2008-07-02   11:22:33", "Bad track time", "Missing track time",
                                                "Missing track time"}));
}

TEST(KmlReaderTest, RefusedDocuments) {
  const std::string trip = Folder(Trip(12));
  auto twoTrackMetadata = Replace(trip, "      <name>Tracklog</name>",
                                  "      <Metadata type=\"track\"></Metadata>\r\n      <name>Tracklog</name>");
  const std::string trackPlacemark = trip.substr(trip.rfind("    <Placemark>"),
                                                 trip.rfind("  </Folder>") - trip.rfind("    <Placemark>"));
  struct Case {
    std::string text, message;
  };
  const Case cases[] = {
      {Document(twoTrackMetadata), "Multiple tracks in one <Placemark> element"},
      {Document(Replace(trip, "  </Folder>", trackPlacemark + "  </Folder>")),
       "Multiple tracks in one <Folder> element"},
      {Document(Replace(trip, "0 3 6 9", "0 3 9 6")), "Bad <SecondsFromTimeOfFirstPoint> data"},
      {Document(Replace(trip, "0 3 6 9", "0 3 6x 9")), "Bad <SecondsFromTimeOfFirstPoint> data"},
      // First-fix time plus offset beyond 32 bits: refused, never wrapped onto 1990.
      {Document(Replace(trip, "30 33", "30 4294000000")), "Bad <SecondsFromTimeOfFirstPoint> data"},
      {Document(Replace(trip, "8.100000,46.500000,1200 ", "8.100000,46.500000 ")), "Bad <coordinates> data"},
      {Document(Replace(trip, "8.100000,46.500000,1200 ", "8.100000,46.500000,1e3 ")), "Bad <coordinates> data"},
      {Document(Replace(trip, "8.100000,46.500000,1200 ", "8,100000,46.500000,1200 ")), "Bad <coordinates> data"},
      {Document(Replace(trip, "8.100000,46.500000,1200 ", "180.1,46.500000,1200 ")), "Bad <coordinates> data"},
      {Document(Replace(trip, "8.100000,46.500000,1200 ", "")), "Bad number of positions in <coordinates>"},
      {Document(Replace(trip, "\r\n        </coordinates>", " 8.1,46.5,1\r\n        </coordinates>")),
       "Bad number of positions in <coordinates>"},
      {Document(Replace(trip, "T10:00:00Z\"", "T10:00:00.5Z\"")), "Bad time_of_first_point"},
      {Document(std::regex_replace(trip, std::regex("<SecondsFromTimeOfFirstPoint>[^<]*</"),
                                   "<SecondsFromTimeOfFirstPoint>\r\n \t</")),
       "No track log time offsets found"},
      {Document(std::regex_replace(trip, std::regex("<coordinates>[^<]*</coordinates>\r\n      </LineString>\r\n    </Placemark>\r\n  </Folder>"),
                                   "<coordinates>\r\n</coordinates>\r\n      </LineString>\r\n    </Placemark>\r\n  </Folder>")),
       "No track log positions found"},
      {Document(std::regex_replace(trip, std::regex("<FsInfo time_of[^>]*>"), "<FsInfo>")),
       "No track log information found"},
      {Document(Replace(trip, "type=\"track\"", "type=\"route\"")), "No track log found"},
      {"<kml><Document><Placemark></Placemark></Document></kml>", "No track log found"},
      {Document(trip).substr(0, Document(trip).find("<Placemark") + 5), "End-of-file encountered within a tag"},
      {Document(trip).substr(0, Document(trip).find("<Placemark")), "Nesting level not zero at end-of-file"},
      {"junk" + Document(trip), "Unknown BOM before opening tag"},
      {"", "No tags found"},
  };
  for (const auto& c : cases) {
    RecordingUi ui;
    TrackParseResult r = ReadKmlLog(ui, c.text);
    EXPECT_EQ(r.result, 0) << c.message;
    EXPECT_TRUE(r.fixes.empty()) << c.message;
    ui.ExpectOnly(kKmlReadCaption, c.message);
  }
}

// A Metadata or FsInfo tag without attributes counts as having empty ones: no type, no track
// information.
TEST(KmlReaderTest, ElementsWithoutAttributesReadAsEmpty) {
  const std::string trip = Folder(Trip(12));
  RecordingUi ui;
  // A bare Metadata in a placemark before the track's is no track Metadata.
  std::string text = Replace(trip, "      <name>Open distance</name>", "      <Metadata/>\r\n      <Metadata></Metadata>\r\n      <name>Open distance</name>");
  EXPECT_EQ(ReadKmlLog(ui, Document(text)).result, 12);
  EXPECT_TRUE(ui.shown.empty());

  text = std::regex_replace(trip, std::regex("<FsInfo time_of[^>]*>"), "<FsInfo >");
  EXPECT_EQ(ReadKmlLog(ui, Document(text)).result, 0);
  ui.ExpectOnly(kKmlReadCaption, "No track log information found");
}

TEST(KmlReaderTest, EqualTimesAndPlainMinimalTrack) {
  const std::string text =
      "<Document><Folder><Placemark>"
      "<Metadata type='track'><FsInfo time_of_first_point='2020-02-29T23:59:59'>"
      "<SecondsFromTimeOfFirstPoint>0 0 1</SecondsFromTimeOfFirstPoint></FsInfo></Metadata>"
      "<LineString><coordinates>-0.5,-45.25,-3.5 +179.999999,89.999999,0 1,2,3.49</coordinates></LineString>"
      "</Placemark></Folder></Document>";
  RecordingUi ui;
  TrackParseResult r = ReadKmlLog(ui, text);
  ASSERT_EQ(r.result, 3);
  EXPECT_EQ(r.fixes[0].time, TimeOf(2020, 2, 29, 23, 59, 59));
  EXPECT_EQ(r.fixes[1].time, r.fixes[0].time);
  EXPECT_EQ(r.fixes[2].time, r.fixes[0].time + 1);
  EXPECT_EQ(r.fixes[0].height, -40);
  EXPECT_EQ(r.fixes[2].height, 30);
  EXPECT_EQ(r.fixes[0].latitude, core::RadiansToSemicircle(-45.25 * std::numbers::pi / 180));
  EXPECT_EQ(r.signatureFlag, 0);
}

TEST(KmlReaderTest, AtMostFiftyTracks) {
  std::string folders;
  for (int i = 0; i < 51; ++i) folders += Folder(Trip(10, TimeOf(2010, 1, 1, 0, 0, 0) + 3600 * i));
  RecordingUi ui;
  ui.choices = {49};
  TrackParseResult r = ReadKmlLog(ui, Document(folders));
  ASSERT_EQ(ui.shown.size(), 2u);
  EXPECT_EQ(ui.shown[0].text, "Number of tracks limited to 50");
  EXPECT_EQ(ui.shown[1].caption, "Track list");
  ASSERT_EQ(r.result, 10);
  EXPECT_EQ(r.fixes[0].time, TimeOf(2010, 1, 1, 0, 0, 0) + 3600 * 49);
}

// Fixes on the antimeridian, a hair short of it, and at the poles are written as +-180.000000 and
// +-90.000000; the reader takes those back (the same meridian) with the signature intact.
TEST(KmlReaderTest, AntimeridianAndPolesReadBack) {
  FlightSummary s = Trip(6);
  s.fixes[0].longitude = INT32_MIN;        // -180 degrees
  s.fixes[1].longitude = INT32_MAX - 2;    // prints as 180.000000
  s.fixes[2].latitude = 1 << 30;           // north pole
  s.fixes[3].latitude = -(1 << 30) + 1;    // prints as -90.000000
  const std::string text = Document(Folder(s));
  EXPECT_NE(text.find("-180.000000,"), std::string::npos);
  EXPECT_NE(text.find(" 180.000000,"), std::string::npos);
  RecordingUi ui;
  TrackParseResult r = ReadKmlLog(ui, text);
  ASSERT_EQ(r.result, 6) << (ui.shown.empty() ? "" : ui.shown[0].text);
  EXPECT_EQ(r.signatureFlag, kKmlSignatureValid);
  EXPECT_EQ(r.fixes[0].longitude, INT32_MIN);
  EXPECT_EQ(r.fixes[1].longitude, INT32_MIN);
  EXPECT_EQ(r.fixes[2].latitude, 1 << 30);
  EXPECT_EQ(r.fixes[3].latitude, -(1 << 30));
}

TEST(KmlReaderTest, ParseIsoTime) {
  const int64_t base = TimeOf(2007, 6, 1, 10, 0, 0);
  struct Case {
    const char* text;
    int64_t time;
    int utc;
  };
  const Case cases[] = {
      {"2007-06-01T10:00:00Z", base, 1},
      {"2007-06-01T10:00:00", base, 0},
      {"2007-06-01T12:00:00+02", base, 1},
      {"2007-06-01T12:30:00+02:30", base, 1},
      {"2007-06-01T08:29:50-01:30:10", base, 1},
      {"2007-6-1T10:0:0Z", base, 1},
      {"1989-12-31T00:00:00", 0, 0},
      // The encoding starts on 1989-12-31: that day's times are valid, earlier ones give 0.
      {"1989-12-31T12:00:00Z", 43200, 1},
      {"1989-12-31T23:59:59", 86399, 0},
      {"1989-12-30T23:00:00-02:00", 3600, 1},
      {"1989-12-30T23:59:59Z", 0, 1},
      {"1989-12-31T01:00:00+02", 0, 1},
      {"1970-01-01T00:00:00Z", 0, 1},
      {"2099-12-31T23:59:60Z", TimeOf(2099, 12, 31, 23, 59, 59) + 1, 1},
      {"2100-01-01T00:00:00Z", -1, 0},
      {"2007-13-01T10:00:00Z", -1, 0},
      {"2007-00-01T10:00:00Z", -1, 0},
      {"2007-06-32T10:00:00Z", -1, 0},
      {"2007-06-00T10:00:00Z", -1, 0},
      {"2007-06-01T24:00:00Z", -1, 0},
      {"2007-06-01T10:60:00Z", -1, 0},
      {"2007-06-01T10:00:61Z", -1, 0},
      {"2007-06-01T10:00:00.5Z", -1, 0},
      {"2007-06-01T10:00:00Zx", -1, 0},
      {"2007-06-01T10:00:00+2", -1, 0},
      {"2007-06-01 10:00:00", -1, 0},
      {"2007-06-01T10:00", -1, 0},
      {"", -1, 0},
  };
  for (const auto& c : cases) {
    int utc = -5;
    EXPECT_EQ(ParseIsoTime(c.text, utc), c.time) << c.text;
    if (c.time >= 0) {
      EXPECT_EQ(utc, c.utc) << c.text;
    }
  }
}

TEST(KmlReaderTest, NextSecondsValueAndParseKmlCoordinate) {
  const char* cursor = "12 4294967295";
  uint32_t value = 0;
  EXPECT_EQ(NextSecondsValue(cursor, value), 1);
  EXPECT_EQ(value, 12u);
  EXPECT_EQ(NextSecondsValue(cursor, value), 0);
  EXPECT_EQ(value, 4294967295u);
  for (const char* bad : {"", " 1", "-1", "4294967296", "1.5", "1,2"}) {
    cursor = bad;
    EXPECT_EQ(NextSecondsValue(cursor, value), -1) << bad;
  }

  cursor = "-70.5,-33.25,-1.5 8,46,0";
  double latitude = 0, longitude = 0;
  int32_t height = 0;
  EXPECT_EQ(ParseKmlCoordinate(cursor, latitude, longitude, height), 1);
  EXPECT_EQ(longitude, -70.5);
  EXPECT_EQ(latitude, -33.25);
  EXPECT_EQ(height, -2);
  EXPECT_EQ(ParseKmlCoordinate(cursor, latitude, longitude, height), 0);
  EXPECT_EQ(height, 0);
  for (const char* bad : {"1,2", "1,2,", "1,2,3,", "-180.000001,0,0", "0,90.0000001,0", "0,-91,0", ".5,1,1", "1,2,3\t",
                          "1e1,2,3", "0x1,2,3", "1,2,3e9", "1,2,--3"}) {
    cursor = bad;
    EXPECT_LT(ParseKmlCoordinate(cursor, latitude, longitude, height), 0) << bad;
  }
}

// Real flights: IGC -> KML -> back gives the positions (to the 6 decimals written), heights and
// times of the IGC file, and the signature of a signed write checks out.
TEST(KmlReaderTest, RealFlightsSurviveIgcToKmlAndBack) {
  const std::filesystem::path folder = std::filesystem::path(TARNVIK_TEST_DATA) / "igc";
  int flights = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::string extension = entry.path().extension().string();
    if (extension != ".igc" && extension != ".IGC") continue;
    core::FileBytes bytes = core::ReadWholeFile(entry.path().string());
    ASSERT_EQ(bytes.error, core::ReadError::None);
    IgcParseResult igc = ParseIgcLog(std::string_view(bytes.begin(), bytes.size));
    ASSERT_GT(igc.count, 0) << entry.path() << ": " << igc.error;
    FlightSummary s;
    s.fixes = igc.fixes;
    s.startTime = s.fixes.front().time;
    s.finishTime = s.fixes.back().time;
    s.signFlag = 1;
    s.utcFlag = 1;
    RecordingUi ui;
    TrackParseResult r = ReadKmlLog(ui, Document(Folder(s, "")));
    EXPECT_TRUE(ui.shown.empty()) << entry.path() << ": " << ui.shown[0].text;
    EXPECT_EQ(r.signatureFlag, kKmlSignatureValid) << entry.path();
    ExpectSameFixes(r.fixes, s.fixes);
    ++flights;
  }
  EXPECT_EQ(flights, 9);
}

}  // namespace
}  // namespace tarnvik::formats
