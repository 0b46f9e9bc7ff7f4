// Interop with GDAL's OpenAir driver, an independent reader of the same files: every polygon
// point we read is a vertex of GDAL's outline of that zone (within 1e-9 degrees), and every
// vertex of GDAL's outline of a circle zone lies at our radius from our centre (within 1 %;
// GDAL takes DC x 1852 m). Skipped where ogr2ogr or its OpenAir driver is missing (GDAL 3.5
// and later builds often leave the driver out).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>

#include "airspace/openair.h"
#include "geo/geodesy.h"
#include "tests/fakes/recording_ui.h"

namespace tarnvik::airspace {
namespace {

std::string Run(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

bool HasOpenAirDriver() { return Run("ogrinfo --formats 2>/dev/null").find("OpenAir") != std::string::npos; }

struct Vertex {
  double longitude;
  double latitude;
};

// Zone name -> the vertices of its polygon, from GDAL's CSV with WKT geometry.
std::map<std::string, std::vector<Vertex>> GdalZones(const std::string& path) {
  std::map<std::string, std::vector<Vertex>> zones;
  const std::string csv = Run("ogr2ogr -f CSV /vsistdout/ '" + path + "' airspaces -lco GEOMETRY=AS_WKT 2>/dev/null");
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);  // header: WKT,CLASS,NAME,...
  while (std::getline(lines, line)) {
    const size_t open = line.find("((");
    const size_t close = line.find("))");
    if (open == std::string::npos || close == std::string::npos) continue;
    std::vector<Vertex> vertices;
    std::istringstream coords(line.substr(open + 2, close - open - 2));
    std::string pair;
    while (std::getline(coords, pair, ',')) {
      Vertex v{};
      if (std::sscanf(pair.c_str(), "%lf %lf", &v.longitude, &v.latitude) == 2) vertices.push_back(v);
    }
    // The fields after the geometry: CLASS, then NAME (quoted when it holds a comma).
    std::string rest = line.substr(close + 3);
    if (!rest.empty() && rest[0] == ',') rest.erase(0, 1);
    const size_t comma = rest.find(',');
    std::string name = comma == std::string::npos ? "" : rest.substr(comma + 1);
    if (!name.empty() && name[0] == '"') name = name.substr(1, name.find('"', 1) - 1);
    else name = name.substr(0, name.find(','));
    zones[name] = vertices;
  }
  return zones;
}

TEST(GdalInterop, PolygonPointsAndCircleRadiiAgree) {
  if (!HasOpenAirDriver()) GTEST_SKIP() << "no ogr2ogr with the OpenAir driver here";
  int compared = 0;
  for (const char* file : {"xcsoar-openair.txt", "aerofiles-sample.txt", "MW-ASP-National-XCSoar.txt"}) {
    SCOPED_TRACE(file);
    const std::string path = std::string(TARNVIK_TEST_DATA) + "/openair/" + file;
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    testing::RecordingUi ui;
    core::CtrList zones;
    ASSERT_GT(ParseOpenAir(ui, text.str(), zones, {}), 0);
    const auto gdal = GdalZones(path);
    for (const core::CtrRecord& zone : zones) {
      const auto found = gdal.find(zone.name);
      if (found == gdal.end() || found->second.empty()) continue;
      const std::vector<Vertex>& vertices = found->second;
      for (const core::CtrSegment& s : zone.segments) {
        if (s.kind == 'P') {
          const bool present = std::any_of(vertices.begin(), vertices.end(), [&](const Vertex& v) {
            return std::fabs(v.latitude - s.latitude) < 1e-9 && std::fabs(v.longitude - s.longitude) < 1e-9;
          });
          EXPECT_TRUE(present) << zone.name << ": " << s.latitude << " " << s.longitude;
          ++compared;
        }
      }
      if (zone.segments.size() == 1 && zone.segments[0].kind == 'C') {
        const core::CtrSegment& c = zone.segments[0];
        const double radian = std::numbers::pi / 180.0;
        for (const Vertex& v : vertices) {
          double metres = 0;
          ASSERT_EQ(geo::GeoDistance({c.latitude * radian, c.longitude * radian},
                                     {v.latitude * radian, v.longitude * radian}, metres),
                    0);
          EXPECT_NEAR(metres, c.radius, c.radius * 0.01) << zone.name;
        }
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 50);
}

}  // namespace
}  // namespace tarnvik::airspace
