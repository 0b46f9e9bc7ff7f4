#include "analysis/olc_text.h"

#include <cstdio>

#include "geo/coordinate_text.h"

namespace tarnvik::analysis {

namespace {

std::string Format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

double Km(double metres) { return metres / 1000; }

// The share of the perimeter in percent; 0 when there is no perimeter.
double PercentOf(double part, double perimeter) { return perimeter > 0 ? part / perimeter * 100 : 0; }

std::string TriangleLine(const char* name, const OlcTriangle& triangle) {
  if (!triangle.found) return std::string(name) + ": none";
  char line[160];
  std::snprintf(line, sizeof line, "%s: %.2f km (perimeter %.2f km, gap %.2f km), %.2f points", name,
                Km(triangle.Distance()), Km(triangle.perimeter), Km(triangle.gap), triangle.olcPoints);
  return line;
}

}  // namespace

std::vector<std::string> OlcSummaryLines(const OlcResult& result) {
  std::vector<std::string> lines;
  lines.push_back(Format("Max. distance: %.2f km", Km(result.twoMetres)));
  char line[128];
  std::snprintf(line, sizeof line, "Free distance: %.2f km, %.2f points", Km(result.fiveSum), result.freeDistancePoints);
  lines.push_back(line);
  lines.push_back(result.outAndReturnFound ? Format("Out-and-return: %.2f km", Km(result.outAndReturnMetres))
                                           : "Out-and-return: none");
  lines.push_back(TriangleLine("Free triangle", result.freeTriangle));
  lines.push_back(TriangleLine("FAI triangle", result.faiTriangle));
  lines.push_back(BestResultLine(result, ChooseBestResult(result)));
  return lines;
}

OlcPointText OlcPointLine(std::span<const core::TrackPoint> fixes, int32_t index, double legMetres, bool first) {
  OlcPointText text;
  if (index < 0 || static_cast<size_t>(index) >= fixes.size()) return text;
  const core::TrackPoint& fix = fixes[static_cast<size_t>(index)];
  text.number = std::to_string(index + 1);
  const core::SystemTime t = core::TimeToCalendar(fix.time);
  char time[32];
  std::snprintf(time, sizeof time, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  text.time = time;
  text.latitude = geo::FormatDmsHundredths(core::SemicircleToCentiArcsec(fix.latitude), true);
  text.longitude = geo::FormatDmsHundredths(core::SemicircleToCentiArcsec(fix.longitude), false);
  if (!first) text.leg = Format("%.2f", Km(legMetres));
  return text;
}

OlcTriangleText OlcTriangleFigures(const OlcTriangle& triangle) {
  OlcTriangleText text;
  text.distance = Format("%.2f km", Km(triangle.Distance()));
  text.perimeter = Format("%.2f km", Km(triangle.perimeter));
  text.gap = Format("%.2f", Km(triangle.gap));
  text.gapPercent = Format("%.2f %%", PercentOf(triangle.gap, triangle.perimeter));
  for (int k = 0; k < 3; ++k) text.legPercent[k] = Format("%.2f %%", PercentOf(triangle.legs[k], triangle.perimeter));
  return text;
}

std::string OlcProgressText(int64_t done, int64_t total) {
  if (total <= 0) return "";
  const int percent = static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100 + 0.5);
  if (percent >= 100) return "Done:";
  char text[16];
  std::snprintf(text, sizeof text, "%d %%", percent);
  return text;
}

}  // namespace tarnvik::analysis
