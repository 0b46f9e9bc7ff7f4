#include "formats/kml_writer.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/file_io.h"
#include "formats/kml_signature.h"
#include "tests/fakes/fake_clock.h"

namespace tarnvik::formats {
namespace {

using core::FlightSummary;
using core::TrackPoint;

uint32_t TimeOf(uint16_t year, uint16_t month, uint16_t day, uint16_t hour, uint16_t minute, uint16_t second) {
  return *core::CalendarToTime({year, month, 0, day, hour, minute, second, 0});
}

// A short flight near Interlaken: seven fixes, four seconds apart, climbing.
FlightSummary SmallTrip() {
  FlightSummary s;
  const uint32_t t0 = TimeOf(2007, 6, 1, 10, 0, 0);
  for (int i = 0; i < 7; ++i) {
    TrackPoint p;
    p.flags = i == 0 ? 1 : 0;
    p.time = t0 + 4 * i;
    p.latitude = *core::LatitudeFromDegrees(46.5 + 0.001 * i);
    p.longitude = *core::LongitudeFromDegrees(8.1 - 0.002 * i);
    p.height = 12000 + 37 * i;
    s.fixes.push_back(p);
  }
  s.startTime = t0;
  s.finishTime = t0 + 24;
  s.duration = 24;
  testing::FakeClock clock;  // frozen at 2024-07-14 12:30:00 UTC
  s.downloadedTime = static_cast<int32_t>(*core::CalendarToTime(clock.UtcNow()));
  s.signFlag = 1;
  s.pilotIdFlag = 1;
  s.civlPilotId = 1234;
  s.competitionPilotId = 56;
  s.utcFlag = 1;
  s.minimumHeight = 1200;
  s.maximumHeight = 1222;
  s.topSpeed = 54.4;
  s.maximumMeanSpeed = 30.6;
  s.totalDistance = 1234.5;
  s.minimumClimbRate = -1.25;
  s.maximumClimbRate = 2.5;
  s.openDistanceFixes[0] = 0;
  s.openDistanceFixes[1] = 6;
  s.openDistance = 1000.123;
  const int32_t five[5] = {0, 2, 3, 5, 6};
  const double legs[4] = {300, 150, 320, 180};
  for (int i = 0; i < 5; ++i) s.fivePointFixes[i] = five[i];
  for (int i = 0; i < 4; ++i) s.fivePointLegs[i] = legs[i];
  s.fivePointSum = 950;
  return s;
}

constexpr std::string_view kDescription = "Thermik am Niesen <b>gut</b>, Basis 2800 m";
constexpr std::string_view kInstrument = "Flytec 6030\tv 3.2  ";

std::string Document(const FlightSummary& s, std::string_view description = kDescription,
                     std::string_view instrument = kInstrument) {
  core::TextBuffer buffer;
  EXPECT_EQ(BuildKmlTripFolder(buffer, s, description, instrument), 0);
  return std::string(kKmlHeader) + buffer.Text() + std::string(kKmlFooter);
}

std::string Folder(const FlightSummary& s, std::string_view description = "",
                   std::string_view instrument = kInstrument) {
  core::TextBuffer buffer;
  EXPECT_EQ(BuildKmlTripFolder(buffer, s, description, instrument), 0);
  return buffer.Text();
}

// The text between two markers (exclusive).
std::string Between(const std::string& text, std::string_view from, std::string_view to) {
  size_t a = text.find(from);
  if (a == std::string::npos) return "<missing " + std::string(from) + ">";
  a += from.size();
  size_t b = text.find(to, a);
  return text.substr(a, b - a);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Compares with a golden file; on a difference the actual text is left beside the build for a
// look (never copied over the golden file automatically).
void ExpectGolden(const std::string& actual, const std::string& name) {
  const std::string golden = ReadFile(std::string(TARNVIK_TEST_DATA) + "/kml/" + name);
  if (actual != golden) {
    const std::string out = std::string(TARNVIK_BINARY_DIR) + "/" + name + ".actual";
    std::ofstream(out, std::ios::binary) << actual;
    ADD_FAILURE() << name << " differs; actual output written to " << out;
  }
}

TEST(KmlWriterTest, SignedAndUnsignedTripsMatchGoldenFiles) {
  FlightSummary s = SmallTrip();
  ExpectGolden(Document(s), "trip_signed.kml");
  s.signFlag = 0;
  ExpectGolden(Document(s), "trip_unsigned.kml");
}

TEST(KmlWriterTest, UnsignedDiffersOnlyByTheHashAttribute) {
  FlightSummary s = SmallTrip();
  std::string signedText = Folder(s);
  s.signFlag = 0;
  std::string unsignedText = Folder(s);
  const std::string hashLine = "\r\n                hash=\"" + Between(signedText, "hash=\"", "\"") + "\"";
  ASSERT_EQ(hashLine.size(), 2 + 16 + 6 + 40 + 1u);
  size_t at = signedText.find(hashLine);
  ASSERT_NE(at, std::string::npos);
  signedText.erase(at, hashLine.size());
  EXPECT_EQ(signedText, unsignedText);
}

// The hash, recomputed by OpenSSL over the key and the strings the file carries, in writing
// order: time stamp, instrument, download time, the time items, the coordinate items.
TEST(KmlWriterTest, SignatureCoversTheTrackDataInWritingOrder) {
  const std::string text = Folder(SmallTrip());
  std::string fed = KmlSignatureKey();
  ASSERT_EQ(fed.size(), 17u);
  fed += "2007-06-01T10:00:00Z";
  fed += "Flytec 6030 v 3.2";
  fed += "2024-07-14T12:30:00Z";
  fed += "0 4 8 12 16 20 24";
  fed += "8.100000,46.500000,1200 8.098000,46.501000,1204 8.096000,46.502000,1207 "
         "8.094000,46.503000,1211 8.092000,46.504000,1215 8.090000,46.505000,1219 "
         "8.088000,46.506000,1222";
  unsigned char digest[20];
  SHA1(reinterpret_cast<const unsigned char*>(fed.data()), fed.size(), digest);
  char hex[41];
  for (int i = 0; i < 20; ++i) std::snprintf(hex + 2 * i, 3, "%02X", digest[i]);
  EXPECT_EQ(Between(text, "hash=\"", "\""), hex);
}

TEST(KmlWriterTest, TimeListWrapsAfterEvery25thValue) {
  FlightSummary s = SmallTrip();
  s.fixes.resize(1);
  for (int i = 1; i < 26; ++i) {
    TrackPoint p = s.fixes[0];
    p.time += i;
    s.fixes.push_back(p);
  }
  std::string list26 = Between(Folder(s), "<SecondsFromTimeOfFirstPoint>\r\n", "          </Seconds");
  std::string first = "0";
  for (int i = 1; i < 25; ++i) {
    first += ' ';
    first += std::to_string(i);
  }
  EXPECT_EQ(list26, first + " \r\n25\r\n");
  s.fixes.resize(25);
  EXPECT_EQ(Between(Folder(s), "<SecondsFromTimeOfFirstPoint>\r\n", "          </Seconds"), first + "\r\n");

  // Coordinates wrap after every 5th fix; 10 fixes end with exactly one line end.
  s.fixes.resize(10);
  std::string coordinates = Between(Folder(s), "<altitudeMode>absolute</altitudeMode>\r\n        <coordinates>\r\n",
                                    "        </coordinates>");
  EXPECT_EQ(std::count(coordinates.begin(), coordinates.end(), '\n'), 2);
  EXPECT_EQ(coordinates.substr(coordinates.size() - 3), "0\r\n");  // no blank after the last fix
  EXPECT_NE(coordinates.find(" \r\n"), std::string::npos);          // a blank before the first break
}

TEST(KmlWriterTest, HeightsRoundToWholeMetresAndZeroHeightsClampToGround) {
  FlightSummary s = SmallTrip();
  s.fixes.resize(5);
  const int32_t decimetres[5] = {-14, -16, 14, 15, 0};
  for (int i = 0; i < 5; ++i) s.fixes[i].height = decimetres[i];
  std::string text = Folder(s);
  std::string track = Between(text, "type=\"track\">", "</Placemark>");
  EXPECT_NE(track.find("<altitudeMode>absolute</altitudeMode>"), std::string::npos);
  EXPECT_NE(track.find(",0 8.098000,46.501000,-1 8.096000,46.502000,1 8.094000,46.503000,2 8.092000,46.504000,0\r\n"),
            std::string::npos)
      << track;

  for (auto& f : s.fixes) f.height = 0;
  track = Between(Folder(s), "type=\"track\">", "</Placemark>");
  EXPECT_NE(track.find("<altitudeMode>clampedToGround</altitudeMode>"), std::string::npos);
  EXPECT_NE(track.find("8.100000,46.500000,0 "), std::string::npos);
}

// A fix without a real time makes the writer use 0, 5, 10, ... seconds and no zone, in its own
// copy: the caller's fixes and summary keep their values.
TEST(KmlWriterTest, FixWithoutTimeGivesFiveSecondStepsAndLeavesCallersLogAlone) {
  for (uint32_t bad : {0u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    FlightSummary s = SmallTrip();
    s.fixes[3].time = bad;
    const FlightSummary before = s;
    std::string text = Folder(s);
    EXPECT_EQ(Between(text, "time_of_first_point=\"", "\""), "1989-12-31T00:00:00");
    EXPECT_EQ(Between(text, "<SecondsFromTimeOfFirstPoint>\r\n", "\r\n"), "0 5 10 15 20 25 30");
    EXPECT_NE(text.find(" B     3  00:00:10  "), std::string::npos);  // tables show the new times
    ASSERT_EQ(s.fixes.size(), before.fixes.size());
    for (size_t i = 0; i < s.fixes.size(); ++i) EXPECT_EQ(s.fixes[i].time, before.fixes[i].time);
    EXPECT_EQ(s.utcFlag, 1);
  }
}

// A log whose times go backwards is written with offsets that never decrease (each is at least
// the one before), so our own reader accepts the file.
TEST(KmlWriterTest, OffsetsNeverDecrease) {
  FlightSummary s = SmallTrip();
  s.fixes[2].time = s.fixes[0].time - 3;  // before the first fix
  s.fixes[4].time = s.fixes[3].time - 1;
  EXPECT_EQ(Between(Folder(s), "<SecondsFromTimeOfFirstPoint>\r\n", "\r\n"), "0 4 4 12 12 20 24");
}

TEST(KmlWriterTest, PilotIdAttributes) {
  struct Case {
    int32_t flag, civl, comp;
    const char* expected;  // text between the time stamp's closing quote and the next attribute
  };
  const Case cases[] = {
      {1, 1234, 56, "\r\n                civl_pilot_id=\"1234\" comp_pilot_id=\"56\""},
      {1, -1, 56, "\r\n                comp_pilot_id=\"56\""},
      {1, 1234, -1, "\r\n                civl_pilot_id=\"1234\""},
      {1, -1, -1, ""},
      {0, 1234, 56, ""},
  };
  for (const auto& c : cases) {
    FlightSummary s = SmallTrip();
    s.pilotIdFlag = c.flag;
    s.civlPilotId = c.civl;
    s.competitionPilotId = c.comp;
    s.downloadedTime = -1;
    s.signFlag = 0;
    EXPECT_EQ(Between(Folder(s, "", ""), "T10:00:00Z\"", ">\r\n"), c.expected) << c.civl << " " << c.comp;
  }
}

// The description goes into a CDATA section: "<" and ">" become "&lt" and "&gt" (so "]]>" can
// never close the section early), UTF-8 passes unchanged, stray bytes are Latin-1, and
// characters XML forbids become U+FFFD.
TEST(KmlWriterTest, DescriptionEncoding) {
  struct Case {
    std::string input, expected;
  };
  const Case cases[] = {
      {"a <b>bold</b> c", "a &ltb&gtbold&lt/b&gt c"},
      {"end]]>after", "end]]&gtafter"},
      {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\xAA\x82", "\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\xAA\x82"},
      {"caf\xE9 \xFC", "caf\xC3\xA9 \xC3\xBC"},                  // Latin-1 bytes
      {"\xE2\x82", "\xC3\xA2\xC2\x82"},                           // a cut sequence
      {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},               // an encoded surrogate half
      {"bell\x07 tab\tline\r\n", "bell\xEF\xBF\xBD tab\tline\r\n"},
      {"x\xEF\xBF\xBFy", "x\xEF\xBF\xBDy"},
      {std::string("stop\0here", 9), "stop"},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeKmlDescription(c.input), c.expected) << c.input;

  // Multi-byte characters stay whole however long the text is (no cut every 30 bytes).
  std::string longText;
  for (int i = 0; i < 40; ++i) longText += "\xC3\xA4\xE2\x82\xAC";
  EXPECT_EQ(EncodeKmlDescription(longText), longText);
  EXPECT_EQ(Between(Folder(SmallTrip(), longText), "<description><![CDATA[", "\r\n<pre>"), longText);
}

TEST(KmlWriterTest, InstrumentNameIsNormalisedAndKeptWellFormed) {
  EXPECT_EQ(NormaliseKmlInstrumentName("  Flytec\r\n 6030 \t"), "Flytec 6030");
  EXPECT_EQ(NormaliseKmlInstrumentName("A&B <x> \"q\" 'hash=1'"),
            "A&amp;B &lt;x&gt; &quot;q&quot; &apos;hash&#61;1&apos;");
  EXPECT_EQ(NormaliseKmlInstrumentName(std::string(100, 'x')), std::string(79, 'x'));
  EXPECT_EQ(NormaliseKmlInstrumentName(std::string(76, 'x') + "&yy"), std::string(76, 'x'));
  EXPECT_EQ(NormaliseKmlInstrumentName("   "), "");

  FlightSummary s = SmallTrip();
  core::TextBuffer buffer;
  ASSERT_EQ(BuildKmlTripFolder(buffer, s, "", "   "), 0);
  EXPECT_EQ(buffer.Text().find("instrument="), std::string::npos);
}

// xmllint (libxml2) must accept everything we write, and gpsbabel must read the track with as
// many points as the log has.
class KmlWriterOracleTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() / ("kml_writer_oracle_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
  }
  void TearDown() override {
    std::filesystem::remove_all(std::filesystem::temp_directory_path() /
                                ("kml_writer_oracle_" + std::to_string(::getpid())));
  }
  static int Run(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
      if (output) output->append(chunk, n);
    }
    return ::pclose(pipe);
  }
};

TEST_F(KmlWriterOracleTest, XmllintAcceptsAndGpsbabelCountsTrackPoints) {
  FlightSummary nasty = SmallTrip();
  FlightSummary big = SmallTrip();
  big.fixes.clear();
  for (int i = 0; i < 1234; ++i) {
    TrackPoint p;
    p.time = nasty.fixes[0].time + i;
    p.latitude = *core::LatitudeFromDegrees(-33.9 - 0.0001 * i);
    p.longitude = *core::LongitudeFromDegrees(-70.6 + 0.0002 * i);
    p.height = i % 7 == 0 ? -25 : 9000 + i;
    big.fixes.push_back(p);
  }
  struct Case {
    const char* name;
    FlightSummary summary;
    std::string description, instrument;
  };
  const Case cases[] = {
      {"plain.kml", SmallTrip(), std::string(kDescription), std::string(kInstrument)},
      {"nasty.kml", nasty, "]]> <![CDATA[ & &amp; \x01\xFF\xC3 \xE2\x82\xAC -- <!-- \"'",
       "GPS <\"&\"> \xB5"},
      {"big.kml", big, "", ""},
  };
  for (const auto& c : cases) {
    const std::string path = Path(c.name);
    ASSERT_EQ(core::WriteFileAtomically(path, Document(c.summary, c.description, c.instrument)), "");
    EXPECT_EQ(Run("xmllint --noout '" + path + "' 2>&1"), 0) << c.name;
    std::string gpx;
    ASSERT_EQ(Run("gpsbabel -i kml -f '" + path + "' -o gpx -F - 2>&1", &gpx), 0) << gpx;
    // The last track of the file is the track log; count its points.
    size_t track = gpx.find("<name>Tracklog</name>");
    ASSERT_NE(track, std::string::npos) << c.name;
    size_t points = 0;
    for (size_t at = gpx.find("<trkpt", track); at != std::string::npos; at = gpx.find("<trkpt", at + 1)) ++points;
    EXPECT_EQ(points, c.summary.fixes.size()) << c.name;
  }
}

}  // namespace
}  // namespace tarnvik::formats
