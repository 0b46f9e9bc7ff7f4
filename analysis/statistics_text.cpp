#include "analysis/statistics_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>

#include "analysis/speed_filter.h"
#include "geo/coordinate_text.h"

namespace tarnvik::analysis {

using core::FlightSummary;
using core::TrackPoint;

namespace {

template <typename... Args>
std::string Format(const char* pattern, Args... args) {
  char line[256];
  int length = std::snprintf(line, sizeof line, pattern, args...);
  if (length < 0) return {};
  return std::string(line, static_cast<size_t>(std::min<int>(length, sizeof line - 1)));
}

// A value for "%f": never a non-finite number.
double Printable(double value) { return std::isfinite(value) ? value : 0; }

const char* const kTableHeader = "Pos.      Time      Latitude         Longitude         Distance\r\n";

// "X  %4d  %02d:%02d:%02d  %s  %s" and, after the first point, the leg ending there in km.
std::string PointLine(char letter, const FlightSummary& summary, int32_t index, const double* legMetres) {
  if (index < 0 || static_cast<size_t>(index) >= summary.fixes.size()) return Format(" %c\r\n", letter);
  const TrackPoint& p = summary.fixes[static_cast<size_t>(index)];
  core::SystemTime t = core::TimeToCalendar(p.time);
  std::string latitude = geo::FormatDmsHundredths(core::SemicircleToCentiArcsec(p.latitude), true);
  std::string longitude = geo::FormatDmsHundredths(core::SemicircleToCentiArcsec(p.longitude), false);
  if (!legMetres) {
    return Format("%c  %4d  %02d:%02d:%02d  %s  %s\r\n", letter, index + 1, t.hour, t.minute, t.second,
                  latitude.c_str(), longitude.c_str());
  }
  return Format("%c  %4d  %02d:%02d:%02d  %s  %s  %.2f\r\n", letter, index + 1, t.hour, t.minute, t.second,
                latitude.c_str(), longitude.c_str(), Printable(*legMetres * 0.001));
}

}  // namespace

int RoundedKmh(double kmh) {
  double rounded = kmh + 0.5;
  if (!std::isfinite(rounded)) return 0;
  if (rounded >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (rounded <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(rounded);
}

StatisticsLines StatisticsTextLines(const FlightSummary& summary, bool searched) {
  StatisticsLines lines;
  core::SystemTime start = core::TimeToCalendar(summary.startTime);
  core::SystemTime finish = core::TimeToCalendar(summary.finishTime);
  const uint32_t duration = summary.duration;
  lines[0] = "Flight statistics\r\n\r\n";
  lines[1] = Format("Date                 %4d-%02d-%02d\r\n", start.year, start.month, start.day);
  lines[2] = Format("Start/finish         %02d:%02d:%02d - %02d:%02d:%02d\r\n", start.hour, start.minute,
                    start.second, finish.hour, finish.minute, finish.second);
  lines[3] = Format("Duration             %d : %02d : %02d\r\n", static_cast<int>(duration / 3600),
                    static_cast<int>(duration / 60 % 60), static_cast<int>(duration % 60));
  lines[4] = Format("Max./min. height     %d / %d m\r\n", summary.maximumHeight, summary.minimumHeight);
  lines[5] = Format("Max. mean/top speed  %d km/h / %d km/h\r\n", RoundedKmh(summary.maximumMeanSpeed),
                    RoundedKmh(summary.topSpeed));
  lines[6] = Format("Total distance       %.1f km\r\n", Printable(summary.totalDistance * 0.001));
  lines[7] = "\r\nGreatest distance between any 2 points\r\n\r\n";
  lines[8] = kTableHeader;
  lines[11] = "\r\nGreatest distance using 5 points\r\n\r\n";
  lines[12] = kTableHeader;
  if (!searched) {
    lines[9] = " A\r\n";
    lines[10] = " B\r\n";
    lines[13] = " A\r\n";
    lines[14] = " B\r\n";
    lines[15] = " C\r\n";
    lines[16] = " D\r\n";
    lines[17] = " E\r\n";
    lines[18] = "Sum\r\n";
    return lines;
  }
  lines[9] = PointLine('A', summary, summary.openDistanceFixes[0], nullptr);
  lines[10] = PointLine('B', summary, summary.openDistanceFixes[1], &summary.openDistance);
  lines[13] = PointLine('A', summary, summary.fivePointFixes[0], nullptr);
  for (int k = 1; k < 5; ++k) {
    lines[static_cast<size_t>(13 + k)] =
        PointLine(static_cast<char>('A' + k), summary, summary.fivePointFixes[k], &summary.fivePointLegs[k - 1]);
  }
  lines[18] = Format("Sum  %.2f\r\n", Printable(summary.fivePointSum * 0.001));
  return lines;
}

std::string JoinStatisticsLines(const StatisticsLines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line;
  return text;
}

std::string TrackClipboardText(std::span<const TrackPoint> points) {
  std::string text;
  text.reserve(points.size() * 80 + 1);
  const WindowSteps steps = BuildWindowSteps(points);
  for (size_t i = 0; i < points.size(); ++i) {
    const TrackPoint& p = points[i];
    core::SystemTime t = core::TimeToCalendar(p.time);
    double latitude = core::SemicircleToRadians(p.latitude) * core::kDegreesPerRadian;
    double longitude = core::SemicircleToRadians(p.longitude) * core::kDegreesPerRadian;
    int64_t heightDm = p.height;
    int64_t magnitude = std::llabs(heightDm);
    double kmh = 0;
    double climb = 0;
    MeanSpeed60(points, i, kmh, climb, steps);
    text += Format("%4d-%02d-%02d, %02d:%02d:%02d, %.6f, %.6f, %c%d.%d, %.1f\r\n", t.year, t.month, t.day, t.hour,
                   t.minute, t.second, latitude, longitude, heightDm < 0 ? '-' : ' ',
                   static_cast<int>(magnitude / 10), static_cast<int>(magnitude % 10), Printable(kmh));
  }
  return text;
}

std::optional<std::string> CopyTrackText(core::Ui& ui, std::span<const TrackPoint> selected) {
  if (selected.empty()) {
    ui.ShowMessage("Copy track to clip board", "No position(s) selected", core::Icon::Error);
    return std::nullopt;
  }
  // The text and the window steps take memory in proportion to the selection.
  try {
    return TrackClipboardText(selected);
  } catch (const std::bad_alloc&) {
    ui.ShowMessage("Copy track to clip board", "Failed to allocate memory for clipboard", core::Icon::Error);
    return std::nullopt;
  }
}

}  // namespace tarnvik::analysis
