#include "devices/logit/mlr_nmea.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "devices/logit/logit_protocol.h"
#include "devices/logit/logit_transfers.h"

namespace tarnvik::devices::logit {
namespace {

using core::FormatCounts;

constexpr double kSemicirclesPerDegree = 2147483648.0 / 180.0;

// Degrees and minutes in thousandths: "%04d.%03d" (latitude) or "%05d.%03d" (longitude).
std::string Coordinate(int32_t semicircles, bool latitude) {
  const double degrees = std::fabs(semicircles / kSemicirclesPerDegree);
  const long long thousandths = std::llround(degrees * 60000.0);
  const long long whole = thousandths / 60000;
  const long long rest = thousandths % 60000;
  char out[24];
  std::snprintf(out, sizeof out, latitude ? "%04lld.%03lld" : "%05lld.%03lld", whole * 100 + rest / 1000, rest % 1000);
  return out;
}

std::string Padded(std::string_view text, size_t width) {
  std::string s = SentenceSafe(text);
  if (s.size() > width) s.resize(width);
  s.resize(width, ' ');
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// DDMM.mmm (or DDDMM.mmm): the value limit before a further digit keeps degrees within range.
bool ParseCoordinate(std::string_view field, bool latitude, double& degrees) {
  if (field.empty()) {
    degrees = 0;
    return true;
  }
  long whole = 0;
  size_t i = 0;
  for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
    if (whole >= (latitude ? 896 : 1796)) return false;
    whole = whole * 10 + (field[i] - '0');
  }
  double fraction = 0;
  if (i < field.size()) {
    if (field[i] != '.') return false;
    double step = 0.1;
    for (++i; i < field.size(); ++i) {
      if (field[i] < '0' || field[i] > '9') return false;
      fraction += (field[i] - '0') * step;
      step /= 10;
    }
  }
  degrees = (static_cast<double>(whole / 100) * 60 + static_cast<double>(whole % 100) + fraction) / 60.0;
  return true;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

std::string WaypointSentence(const core::Waypoint& w) {
  std::string body = "GPWPL," + Coordinate(w.latitude, true) + "," + (w.latitude < 0 ? "S" : "N") + "," +
                     Coordinate(w.longitude, false) + "," + (w.longitude < 0 ? "W" : "E") + "," + Padded(w.id, 6) +
                     "0" + Padded(w.comment, 22);
  uint8_t x = 0;
  for (char c : body) x ^= static_cast<uint8_t>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", x);
  return "$" + body + tail;
}

void SplitWaypointName(std::string_view name, std::string& id, std::string& comment) {
  id = TrimRight(std::string(name.substr(0, 6)));
  comment.clear();
  if (name.size() > 6) {
    std::string_view rest = name.substr(6);
    if (name.size() > 7 && rest[0] == '0') rest.remove_prefix(1);
    else if (rest == "0") rest = {};
    comment = TrimRight(std::string(rest.substr(0, 22)));
  }
}

int ParseWaypointSentence(std::string_view line, core::Waypoint& w, std::string& name) {
  constexpr std::string_view kPrefix = "$GPWPL,";
  if (line.substr(0, kPrefix.size()) != kPrefix) return 1;
  const size_t star = line.find('*');
  if (star == std::string_view::npos) return 6;
  std::vector<std::string_view> f;
  size_t from = kPrefix.size();
  for (;;) {
    const size_t comma = line.find(',', from);
    if (comma == std::string_view::npos || comma > star) {
      f.push_back(line.substr(from, star - from));
      break;
    }
    f.push_back(line.substr(from, comma - from));
    from = comma + 1;
  }
  double lat = 0, lon = 0;
  if (f.size() < 1 || !ParseCoordinate(f[0], true, lat)) return 2;
  if (f.size() < 2 || (f[1] != "N" && f[1] != "S" && !f[1].empty())) return 3;
  if (f.size() < 3 || !ParseCoordinate(f[2], false, lon)) return 4;
  if (f.size() < 4 || (f[3] != "E" && f[3] != "W" && !f[3].empty())) return 5;
  if (f.size() != 5 || f[4].find_first_of("\r\n") != std::string_view::npos) return 6;
  if (star + 3 > line.size()) return 7;
  const int hi = HexDigit(line[star + 1]);
  const int lo = HexDigit(line[star + 2]);
  if (hi < 0 || lo < 0) return 7;
  if (star + 3 >= line.size() || line[star + 3] != '\r') return 8;
  uint8_t x = 0;
  for (size_t i = 1; i < star; ++i) x ^= static_cast<uint8_t>(line[i]);
  if (x != hi * 16 + lo) return 9;
  if (f[1] == "S") lat = -lat;
  if (f[3] == "W") lon = -lon;
  if (lat < -90 || lat > 90 || lon < -180 || lon > 180) return 10;
  w = core::Waypoint{};
  w.latitude = static_cast<int32_t>(std::llround(std::clamp(lat * kSemicirclesPerDegree, -2147483648.0, 2147483647.0)));
  w.longitude = static_cast<int32_t>(std::llround(std::clamp(lon * kSemicirclesPerDegree, -2147483648.0, 2147483647.0)));
  name = std::string(f[4]);
  return 0;
}

int ListenMlrWaypoints(access::AccessJob& job) {
  constexpr const char* kCaption = "Read GPS waypoints";
  auto fail = [&job](const std::string& text) {
    job.operation().Fail(kCaption, text);
    return -1;
  };
  std::vector<core::Waypoint> waypoints;
  try {
    waypoints.reserve(100);
  } catch (const std::bad_alloc&) {
    job.operation().Fail("E300 Waypoint memory allocation", std::strerror(ENOMEM));
    return -1;
  }
  job.operation().Status("Searching for sentences");
  ReplyAssembler lines;
  std::string firstId;
  int64_t last = job.clock().NowMs();
  bool heard = false;
  for (;;) {
    if (job.AbortRequested()) {
      job.operation().Status("Transfer aborted");
      return -1;
    }
    const int64_t left = (heard ? 10000 : kFirstSentenceLimitMs) - (job.clock().NowMs() - last);
    if (left <= 0) return fail("E307 Waypoint timeout");
    bool done = false;
    bool tooLong = false;
    const int got = job.link().ReadUnit(
        [&](uint8_t b) {
          const ReplyAssembler::Result r = lines.Feed(b);
          if (r == ReplyAssembler::kMore) return false;
          tooLong = r == ReplyAssembler::kTooLong;
          done = true;
          return true;
        },
        std::min<int64_t>(left, 200));
    if (got == access::kReadPortError) {
      if (job.AbortRequested()) {
        job.operation().Status("Transfer aborted");
        return -1;
      }
      return fail("E301 COM port read error");
    }
    if (!done) continue;
    if (tooLong) continue;  // no sentence of this list is that long
    const std::string line = lines.line();
    if (line.rfind("$GPWPL,", 0) != 0) continue;  // the receiver's other sentences
    heard = true;
    last = job.clock().NowMs();
    core::Waypoint w;
    std::string name;
    if (const int code = ParseWaypointSentence(line, w, name)) return fail(FormatCounts("E302 Format error %", code));
    std::string id, comment;
    SplitWaypointName(name, id, comment);
    const int idResult = core::NormaliseWaypointId(id, w.id, false);
    if (idResult == -1) return fail("E306 Missing waypoint ID");
    if (idResult != 0) return fail("E305 Bad waypoint ID character");
    core::NormaliseComment(comment, w.comment);
    if (!waypoints.empty() && std::string(w.id) == firstId) break;
    if (waypoints.empty()) firstId = w.id;
    try {
      waypoints.push_back(w);
    } catch (const std::bad_alloc&) {
      job.operation().Fail("E303 Waypoint memory allocation", std::strerror(ENOMEM));
      return -1;
    }
    job.operation().Status(FormatCounts("Waypoint % read", static_cast<int>(waypoints.size())));
  }
  job.operation().Status(FormatCounts("Waypoints read (%)", static_cast<int>(waypoints.size())));
  job.count = static_cast<int>(waypoints.size());
  job.data.waypoints = std::move(waypoints);
  job.origin = kMlrOrigin;
  return 0;
}

int UploadMlrWaypoints(access::AccessJob& job) {
  int sent = 0;
  for (const core::Waypoint& w : job.data.waypoints) {
    if (job.AbortRequested()) {
      job.operation().Status(FormatCounts("% waypoints sent", sent));
      return -1;
    }
    if (job.link().WriteText(WaypointSentence(w)) != 0) {
      const std::string text = FormatCounts("% waypoints sent", sent);
      job.operation().Status(text);
      if (job.AbortRequested()) return -1;
      job.operation().Fail("Upload waypoints", text);
      return -1;
    }
    ++sent;
    job.operation().Status(FormatCounts("Waypoint % sent", sent));
    job.clock().SleepMs(kUploadPauseMs);
  }
  job.operation().Status(FormatCounts("% waypoints sent", sent));
  job.origin = kMlrOrigin;
  return 0;
}

}  // namespace tarnvik::devices::logit
