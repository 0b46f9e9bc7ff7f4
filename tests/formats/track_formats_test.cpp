// GPX, CSV, OziExplorer, Magellan and MapSource tracks: each writer round-trips through our
// reader; the edge cases that can break each reader.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "formats/format_text.h"
#include "formats/gpx.h"
#include "formats/mapsource.h"
#include "formats/other_tracks.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::formats {
namespace {

using testing::RecordingUi;

constexpr core::SystemTime kNow{2024, 7, 0, 14, 12, 30, 5, 0};

core::TrackPoint Fix(double lat, double lon, uint32_t time, int32_t heightDm, uint32_t flags = 0) {
  core::TrackPoint p;
  p.flags = flags;
  p.time = time;
  p.latitude = core::LatitudeFromDegrees(lat).value();
  p.longitude = core::LongitudeFromDegrees(lon).value();
  p.height = heightDm;
  return p;
}

// A flight over all four hemispheres' signs, heights below sea level and up high, times that
// cross midnight and a leap day.
std::vector<core::TrackPoint> Flight() {
  std::vector<core::TrackPoint> fixes;
  const uint32_t start = *core::CalendarToTime({2024, 2, 0, 28, 23, 59, 30, 0});
  for (int i = 0; i < 60; ++i) {
    const double lat = (i % 2 ? -1 : 1) * (0.123456 + i * 1.4871);
    const double lon = (i % 3 ? -1 : 1) * (0.654321 + i * 2.9577);
    fixes.push_back(Fix(lat, lon, start + static_cast<uint32_t>(i) * 97u * 37u, (i - 3) * 1234 + 7, i == 0));
  }
  return fixes;
}

double Degrees(int32_t v) { return core::SemicircleToRadians(v) * core::kDegreesPerRadian; }

struct RoundTrip {
  const char* name;
  std::function<std::string(std::span<const core::TrackPoint>)> write;
  std::function<TrackParseResult(core::Ui&, std::string_view)> read;
  // What survives of a height of the format (decimetres in, decimetres out).
  std::function<int32_t(int32_t)> height;
};

TEST(TrackFormats, EveryWriterRoundTripsThroughItsReader) {
  const RoundTrip trips[] = {
      {"GPX", [](auto f) { return FormatGpxTrack(f, kNow); }, ReadGpxTrack, [](int32_t h) { return h; }},
      {"CSV", FormatCsvTrack, ReadCsvTrack, [](int32_t h) { return h; }},
      {"Ozi", [](auto f) { return FormatOziTrack(f, kNow); }, ReadOziTrack,
       [](int32_t h) {
         const int feet = core::RoundHalfAway(h * 0.328084);
         return static_cast<int32_t>(std::trunc(feet * 3.048 + 0.5));
       }},
      {"MapSource", FormatMapSourceTrack, ReadMapSourceTrack,
       [](int32_t h) { return static_cast<int32_t>(std::trunc(h * 0.1)) * 10; }},
  };
  const std::vector<core::TrackPoint> fixes = Flight();
  for (const RoundTrip& t : trips) {
    SCOPED_TRACE(t.name);
    RecordingUi ui;
    TrackParseResult parsed = t.read(ui, t.write(fixes));
    EXPECT_TRUE(ui.shown.empty()) << (ui.shown.empty() ? "" : ui.shown[0].text);
    ASSERT_EQ(parsed.result, static_cast<int>(fixes.size()));
    for (size_t i = 0; i < fixes.size(); ++i) {
      const auto& in = fixes[i];
      const auto& out = parsed.fixes[i];
      // Six decimals of a degree: within half a millionth.
      EXPECT_NEAR(Degrees(out.latitude), Degrees(in.latitude), 5.1e-7) << i;
      EXPECT_NEAR(Degrees(out.longitude), Degrees(in.longitude), 5.1e-7) << i;
      if (std::strcmp(t.name, "MapSource") == 0) {
        EXPECT_EQ(out.latitude, in.latitude) << i;
        EXPECT_EQ(out.longitude, in.longitude) << i;
      }
      EXPECT_EQ(out.time, in.time) << i;
      EXPECT_EQ(out.height, t.height(in.height)) << i;
    }
    EXPECT_EQ(parsed.fixes.front().flags, std::strcmp(t.name, "GPX") && std::strcmp(t.name, "CSV") ? 1u : 0u);
  }
}

TEST(TrackFormats, GpxHeaderIsWrittenByteForByte) {
  const std::vector<core::TrackPoint> fixes = {Fix(46.5, 8.25, 1000, 15), Fix(46.25, 8.5, 1001, -3)};
  const std::string text = FormatGpxTrack(fixes, kNow);
  const std::string header =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
      "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"\r\n"
      "     creator=\"Tarnvik 4.06\"\r\n"
      "     version=\"1.1\"\r\n"
      "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\r\n"
      "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 http://www.topografix.com/GPX/1/1/gpx.xsd\">\r\n"
      "  <metadata>\r\n"
      "    <link href=\"https://www.tarnvik.org/\">\r\n"
      "      <text>Tarnvik - track logs and waypoints of free-flight instruments</text>\r\n"
      "    </link>\r\n"
      "    <time>2024-07-14T12:30:05Z</time>\r\n"
      "    <bounds minlat=\"46.250000\" minlon=\"8.250000\" maxlat=\"46.500000\" maxlon=\"8.500000\"/>\r\n"
      "  </metadata>\r\n"
      "  <trk>\r\n"
      "    <name>Track 001</name>\r\n"
      "    <trkseg>\r\n"
      "      <trkpt lat=\"46.500000\" lon=\"8.250000\">\r\n"
      "        <ele>1.5</ele>\r\n"
      "        <time>1989-12-31T00:16:40Z</time>\r\n"
      "      </trkpt>\r\n";
  EXPECT_EQ(text.substr(0, header.size()), header);
  EXPECT_TRUE(text.ends_with("        <ele>-0.3</ele>\r\n"
                             "        <time>1989-12-31T00:16:41Z</time>\r\n"
                             "      </trkpt>\r\n    </trkseg>\r\n  </trk>\r\n</gpx>\r\n"));
}

TEST(TrackFormats, GpxBoundsStartFromTheFirstPosition) {
  // Entirely east of 171.9 degrees (3 radians): the bounds are the track's own.
  const std::vector<core::TrackPoint> fixes = {Fix(-43.5, 172.5, 0, 0), Fix(-43.75, 173.25, 1, 0)};
  EXPECT_NE(FormatGpxTrack(fixes, kNow).find(
                "<bounds minlat=\"-43.750000\" minlon=\"172.500000\" maxlat=\"-43.500000\" maxlon=\"173.250000\"/>"),
            std::string::npos);
}

TEST(TrackFormats, OziAndCsvLayouts) {
  const std::vector<core::TrackPoint> fixes = {Fix(47.466222, -3.747318, *core::CalendarToTime({2007, 8, 0, 13, 7, 52, 19, 0}), 3837, 1)};
  EXPECT_EQ(FormatOziTrack(fixes, kNow),
            "OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nAltitude is in Feet\r\nReserved 3\r\n"
            "0,2,255,14.07.24 12:30:05                  ,0,0,2,8421376\r\n"
            "1\r\n"
            "  47.466222,  -3.747318,1,   1259,39307.3279977, 13-aug-07, 07:52:19\r\n");
  EXPECT_EQ(FormatCsvTrack(fixes),
            "Date/time,Latitude,Longitude,Height\r\n2007-08-13T07:52:19Z,47.466222,-3.747318,383.7\r\n");
}

struct ReaderCase {
  const char* what;
  std::function<TrackParseResult(core::Ui&, std::string_view)> read;
  std::string input;
  int count;            // expected fixes, or 0 with the message
  const char* message;  // nullptr when the read succeeds
};

std::string Csv(const std::string& rows) { return "Date/time,Latitude,Longitude,Height\r\n" + rows; }
std::string Ozi(const std::string& rows) {
  return "OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nAltitude is in Feet\r\nReserved 3\r\n0,2,255,x\r\n0\r\n" +
         rows;
}
std::string Gpx(const std::string& body) {
  return "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\">\n" + body + "</gpx>\n";
}
std::string Trkpt(const char* attributes, const char* inner) {
  return std::string("<trkpt ") + attributes + ">" + inner + "</trkpt>\n";
}

TEST(TrackFormats, ReaderEdgeCases) {
  const char* t = "<time>2024-07-14T12:00:00Z</time>";
  const ReaderCase cases[] = {
      // CSV
      {"Lat is not LATITUDE", ReadCsvTrack, "Time,Lat,Longitude\n2024-07-14T12:00:00Z,1,2\n", 0,
       "Could not determine items from header"},
      {"semicolons", ReadCsvTrack, "UTC TIME;LATITUDE;LONGITUDE\n2024-07-14T12:00:00Z;1,5;2\n", 0,
       "Error decoding latitude on line 2"},
      {"semicolons split the file", ReadCsvTrack, "UTC TIME;LATITUDE;LONGITUDE\n2024-07-14T12:00:00Z;1.5;2\n", 1,
       nullptr},
      {"latitude 90", ReadCsvTrack, Csv("2024-07-14T12:00:00Z,90,2,3\r\n"), 0, "Latitude out of range on line 2"},
      {"longitude -180", ReadCsvTrack, Csv("2024-07-14T12:00:00Z,9,-180,3\r\n"), 0,
       "Longitude out of range on line 2"},
      {"last line without line end", ReadCsvTrack, Csv("2024-07-14T12:00:00Z,1,2,3\r\n2024-07-14T12:00:01Z,1,2,3"), 2,
       nullptr},
      {"quoted field holds the separator", ReadCsvTrack, Csv("\"2024-07-14T12:00:00Z\",  1 , \"2\" x,\"3,5\"\r\n"), 0,
       "Bad height data on line 2"},
      {"quote inside a plain field", ReadCsvTrack, Csv("2024-07-14T12:00:00Z,1\"0,2,3\r\n"), 0,
       "Error parsing line 2"},
      {"unterminated quote", ReadCsvTrack, Csv("2024-07-14T12:00:00Z,\"1,2,3\r\n"), 0, "Error parsing line 2"},
      {"height beyond the field", ReadCsvTrack, Csv("2024-07-14T12:00:00Z,1,2,300000000\r\n"), 0,
       "Bad height data on line 2"},
      {"fraction of a second", ReadCsvTrack, Csv("2024-07-14T12:00:00.5Z,1,2,3\r\n"), 1, nullptr},
      {"many fields", ReadCsvTrack,
       "a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q,r,s,t,u,v,w,TIME,LATITUDE,LONGITUDE\n" + std::string(40, ',') + "\n", 0,
       "Could not determine items from header"},
      {"date and time in two columns", ReadCsvTrack, "Date,Time,Latitude,Longitude\n2024/07/14,12:00:00,1,2\n", 0,
       "Error decoding time on line 2"},
      // OziExplorer
      {"not an Ozi file", ReadOziTrack, "OziExplorer Waypoint File\r\n", 0, "Bad format line (1)"},
      {"datum", ReadOziTrack, "OziExplorer Track Point File Version 2.1\r\nWGS84\r\n", 0, "Bad map datum line (2)"},
      {"short header", ReadOziTrack, "OziExplorer Track Point File Version 2.1\r\nWGS 84\r\nx\r\n", 0,
       "Missing line(s)"},
      {"fixes beyond the declared count", ReadOziTrack,
       Ozi("47.1,3.2,0,100,39307.5,x,y\r\n47.1,3.2,0,-777,39307.6,x,y\r\n"), 2, nullptr},
      {"altitude above 30000 ft", ReadOziTrack, Ozi("47.1,3.2,0,30001,39307.5\r\n"), 0, "Bad line 7"},
      {"date before 1989-12-31", ReadOziTrack, Ozi("47.1,3.2,0,100,32872.9\r\n"), 0, "Bad line 7"},
      {"date beyond the time field", ReadOziTrack, Ozi("47.1,3.2,0,100,99999999\r\n"), 0, "Bad line 7"},
      {"latitude 90", ReadOziTrack, Ozi("90,3.2,0,100,39307.5\r\n"), 0, "Bad line 7"},
      {"long line", ReadOziTrack, Ozi("47.1,3.2,0,100,39307.5," + std::string(5000, 'x') + "\r\n"), 1, nullptr},
      // Magellan
      {"wrong checksum", ReadMagellanTrack, "$PMGNTRK,4231.829,N,08807.303,W,00210,M,032908.38,A,,070898*65\r\n", 0,
       "Bad line 1"},
      {"validity V skipped", ReadMagellanTrack,
       "$PMGNTRK,4231.829,N,08807.303,W,00210,M,032908.38,V,,070898*73\r\n"
       "$PMGNTRK,4231.829,N,08807.303,W,00210,M,032908.38,A,,070898*64\r\n",
       1, nullptr},
      {"eXplorist format line", ReadMagellanTrack,
       "$PMGNFMT,%TRK,LAT,HEMI,LON,HEMI,ALT,UNIT,TIME,VALID,NAME,%META,ASCII\r\n"
       "$PMGNTRK,4231.829,N,08807.303,W,00210,M,032908.38,A,,070898*64\r\n$PMGNCMD,END*3D\r\nrubbish\r\n",
       1, nullptr},
      {"month 13", ReadMagellanTrack, "$PMGNTRK,4231.829,N,08807.303,W,00210,M,032908.38,A,,071398*6E\r", 0,
       "Bad line 1"},
      {"latitude 90", ReadMagellanTrack, "$PMGNTRK,9000.000,N,08807.303,W,00210,M,032908.38,A,,070898*6A\n", 0,
       "Bad line 1"},
      {"other sentence", ReadMagellanTrack, "$GPGGA,1*4B\r\n", 0, "Bad line 1"},
      // GPX
      {"two segments", ReadGpxTrack,
       Gpx("<trk><trkseg>" + Trkpt("lat=\"1\" lon=\"2\"", t) + "</trkseg><trkseg>" + Trkpt("lat='3' lon='4'", t) +
           "</trkseg></trk><trk><trkseg>" + Trkpt("lon=\"6\"\n lat=\"5\"", t) + "</trkseg></trk>"),
       3, nullptr},
      {"no ele", ReadGpxTrack, Gpx("<trk><trkseg>" + Trkpt("lat=\"1\" lon=\"2\"", t) + "</trkseg></trk>"), 1, nullptr},
      {"no time", ReadGpxTrack,
       Gpx("<trk><trkseg>" + Trkpt("lat=\"1\" lon=\"2\"", t) + Trkpt("lat=\"1\" lon=\"2\"", "<ele>1</ele>") +
           "</trkseg></trk>"),
       0, "Missing tag(s) for position 2"},
      {"empty time", ReadGpxTrack,
       Gpx("<trk><trkseg>" + Trkpt("lat=\"1\" lon=\"2\"", "<time> </time>") + "</trkseg></trk>"), 0,
       "Missing data for position 1"},
      {"bad height", ReadGpxTrack,
       Gpx("<trk><trkseg>" + Trkpt("lat=\"1\" lon=\"2\"", "<ele>1e9</ele><time>2024-07-14T12:00:00Z</time>") +
           "</trkseg></trk>"),
       0, "Bad height data for position 1"},
      {"bad time", ReadGpxTrack,
       Gpx("<trk><trkseg>" + Trkpt("lat=\"1\" lon=\"2\"", "<time>2024-07-14 12:00:00</time>") + "</trkseg></trk>"),
       0, "Bad time data for position 1"},
      {"latitude beyond 90", ReadGpxTrack, Gpx("<trk><trkseg>" + Trkpt("lat=\"91\" lon=\"2\"", t) + "</trkseg></trk>"),
       0, "Missing/bad latitude data in position 1"},
      {"no longitude", ReadGpxTrack, Gpx("<trk><trkseg>" + Trkpt("lat=\"1\"", t) + "</trkseg></trk>"), 0,
       "Missing/bad longitude data in position 1"},
      {"no declaration", ReadGpxTrack, "<gpx><trk/></gpx>", 0, "Missing opening tag '<?xml>'"},
      {"trkpt at another depth", ReadGpxTrack,
       Gpx("<trk><trkseg><x>" + Trkpt("lat=\"1\" lon=\"2\"", t) + "</x></trkseg></trk>"), 0, nullptr},
  };
  for (const ReaderCase& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingUi ui;
    TrackParseResult parsed = c.read(ui, c.input);
    if (c.message) {
      EXPECT_LE(parsed.result, 0);
      EXPECT_TRUE(parsed.fixes.empty());
      ASSERT_EQ(ui.shown.size(), 1u);
      EXPECT_EQ(ui.shown[0].text, c.message);
    } else {
      EXPECT_TRUE(ui.shown.empty()) << (ui.shown.empty() ? "" : ui.shown[0].text);
      EXPECT_EQ(parsed.result, c.count);
      EXPECT_EQ(parsed.fixes.size(), static_cast<size_t>(c.count));
    }
  }
}

TEST(TrackFormats, ReadValuesOfTheTextFormats) {
  RecordingUi ui;
  // 32873.0 days is 1989-12-31 00:00:00; -777 ft is "not valid"; 1000 ft is 3048 dm.
  TrackParseResult ozi = ReadOziTrack(ui, Ozi("1,2,0,-777,32873.0\r\n1,2,0,1000,32873.5\r\n"));
  ASSERT_EQ(ozi.result, 2);
  EXPECT_EQ(ozi.fixes[0].time, 0u);
  EXPECT_EQ(ozi.fixes[0].height, 0);
  EXPECT_EQ(ozi.fixes[1].time, 43200u);
  EXPECT_EQ(ozi.fixes[1].height, 3048);
  EXPECT_EQ(ozi.fixes[1].flags, 0u);
  // Fractions round to the nearest second; a zone moves the time to UTC; heights truncate.
  TrackParseResult csv = ReadCsvTrack(ui, Csv("2024-07-14T12:00:00.5Z,-1.5,2.25,12.39\r\n"
                                               "2024-07-14T14:00:00.49+02:00,1,2,-0.05\r\n"));
  ASSERT_EQ(csv.result, 2);
  EXPECT_EQ(FormatIsoTime(csv.fixes[0].time), "2024-07-14T12:00:01Z");
  EXPECT_EQ(FormatIsoTime(csv.fixes[1].time), "2024-07-14T12:00:00Z");
  EXPECT_EQ(csv.fixes[0].height, 123);
  EXPECT_EQ(csv.fixes[1].height, 0);
  EXPECT_EQ(csv.fixes[0].latitude, core::LatitudeFromDegrees(-1.5).value());
  // Magellan feet: 00210 ft = 640 dm (210 x 3.048 + 0.5).
  TrackParseResult magellan =
      ReadMagellanTrack(ui, "$PMGNTRK,4231.829,S,08807.303,E,00210,F,235959.50,A,,311299*60\n");
  ASSERT_EQ(magellan.result, 1);
  EXPECT_EQ(magellan.fixes[0].height, 640);
  EXPECT_EQ(FormatIsoTime(magellan.fixes[0].time), "2000-01-01T00:00:00Z");
  EXPECT_LT(magellan.fixes[0].latitude, 0);
  EXPECT_GT(magellan.fixes[0].longitude, 0);
  EXPECT_TRUE(ui.shown.empty()) << (ui.shown.empty() ? "" : ui.shown[0].text);
}

// ---- MapSource ------------------------------------------------------------------------------

std::string U32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return s;
}

TEST(MapSourceTrack, RecordFaultsAreFormatErrorsAtTheirOffset) {
  const std::vector<core::TrackPoint> fixes = {Fix(1, 2, 1000, 15, 1), Fix(1.5, 2.5, 1010, 25)};
  const std::string good = FormatMapSourceTrack(fixes);
  // "MsRcd\0" 6, format record 7, product record 32: the track record starts at 45.
  const size_t track = 45;
  ASSERT_EQ(good[track + 4], 'T');
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  };
  std::string versionJ = good;
  versionJ[11] = 'j';
  std::string hugeCount = good;
  // The count that would claim 2^32 - 1 points of 31 bytes.
  hugeCount.replace(track + 5 + 28 + 5, 4, U32(0xFFFFFFFFu));
  std::string noNul = good;
  noNul.replace(track + 5, 28, std::string(28, 'x'));
  std::string pole = good;
  // The first point's latitude: beyond 90 degrees.
  pole.replace(track + 5 + 37, 4, U32(0x40000001u));
  std::string longRecord = good;
  longRecord.replace(track, 4, U32(0xFFFFFFF0u));
  const Case cases[] = {
      {"not MsRcd", "MsRcx" + good.substr(5), "Not a MapSource file"},
      {"version j", versionJ, "Unsupported MapSource version"},
      {"bytes after the end record", good + "x", "File format error at 00000095h"},
      {"count beyond the record", hugeCount, "File format error at 0000002dh"},
      {"name without NUL in the record", noNul, "File format error at 0000002dh"},
      {"length past the end of the file", longRecord, "File format error at 0000002dh"},
      {"cut inside a record", good.substr(0, 60), "File format error at 0000002dh"},
      {"latitude beyond the pole", pole, "File format error at 00000057h"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingUi ui;
    TrackParseResult parsed = ReadMapSourceTrack(ui, c.bytes);
    EXPECT_LE(parsed.result, 0);
    ui.ExpectOnly(kMapSourceCaption, c.message);
  }
}

TEST(MapSourceTrack, TwoTrackRecordsAreTwoSegmentsAndEarlyTimesAreZero) {
  const std::string one = FormatMapSourceTrack(std::vector<core::TrackPoint>{Fix(1, 2, 1000, 15), Fix(1, 2, 1001, 16)});
  const std::string start = one.substr(0, 45);
  const std::string record = one.substr(45, one.size() - 45 - 7);
  std::string early = record;
  // The second point's time: 1989-12-30 (before the time encoding starts).
  early.replace(5 + 28 + 9 + 31 + 18, 4, U32(kMapSourceTimeOffset - 86400));
  RecordingUi ui;
  TrackParseResult parsed = ReadMapSourceTrack(ui, start + record + early + one.substr(one.size() - 7));
  EXPECT_TRUE(ui.shown.empty()) << (ui.shown.empty() ? "" : ui.shown[0].text);
  ASSERT_EQ(parsed.result, 4);
  EXPECT_EQ(parsed.fixes[0].flags, 1u);
  EXPECT_EQ(parsed.fixes[1].flags, 0u);
  EXPECT_EQ(parsed.fixes[2].flags, 1u);
  EXPECT_EQ(parsed.fixes[3].time, 0u);
  EXPECT_EQ(parsed.fixes[2].time, 1000u);
  EXPECT_EQ(parsed.fixes[1].height, 10);
}

}  // namespace
}  // namespace tarnvik::formats
