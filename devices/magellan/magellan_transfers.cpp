#include "devices/magellan/magellan_transfers.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/competition_id.h"

namespace tarnvik::devices::magellan {
namespace {

using core::FormatCounts;

// What one step says under its caption.
struct Reporter {
  access::AccessJob& job;
  const char* caption;
  int Fail(const std::string& text) {
    job.operation().Fail(caption, text);
    return -1;
  }
  void Status(const std::string& text) { job.operation().Status(text); }
};

enum ReadResult { kGot = 0, kSilent = -100, kPortError = -101 };

// Reads the next complete sentence, byte by byte. limitMs runs from `since` and restarts at
// every byte when `inactivity` is set. kGot, a sentence code (2-4), kSilent or kPortError.
int ReadSentence(access::Link& link, SentenceCollector& collector, int64_t limitMs, bool inactivity) {
  int64_t since = link.clock().NowMs();
  for (;;) {
    if (link.Cancelled()) return kPortError;
    const int64_t left = limitMs - (link.clock().NowMs() - since);
    if (left <= 0) return kSilent;
    int fed = SentenceCollector::kMore;
    const int got = link.ReadUnit(
        [&](uint8_t b) {
          fed = collector.Feed(b);
          return true;
        },
        left);
    if (got == access::kReadTimeout) return kSilent;
    if (got != access::kReadComplete) return kPortError;
    if (inactivity) since = link.clock().NowMs();
    if (fed == SentenceCollector::kSentence) return kGot;
    if (fed > 0) return fed;
  }
}

void SendStop(access::AccessJob& job) { job.link().WriteText(kStopCommand); }

bool IsEnd(const std::vector<std::string>& fields) {
  return fields.size() >= 2 && fields[0] == "PMGNCMD" && fields[1] == "END";
}

std::string IdsText(int32_t comp, int32_t civl) {
  if (comp >= 0 && civl >= 0) return FormatCounts("Comp.: %, CIVL: %", comp, civl);
  if (comp >= 0) return FormatCounts("Comp.: %", comp);
  return FormatCounts("CIVL: %", civl);
}

}  // namespace

int RequestMagellanProduct(access::AccessJob& job, ProductData& product) {
  Reporter r{job, "Read GPS product data"};
  if (job.link().SetSpeed(kMagellanBaud) != 0) return r.Fail("E100 COM port write error");
  r.Status("Requesting product information");
  job.link().DiscardReceived();
  if (job.link().WriteText(kVersionCommand) != 0) {
    if (job.AbortRequested()) return -1;
    return r.Fail("E100 COM port write error");
  }
  const int64_t start = job.clock().NowMs();
  SentenceCollector collector;
  for (;;) {
    const int64_t left = kProductLimitMs - (job.clock().NowMs() - start);
    const int got = left > 0 ? ReadSentence(job.link(), collector, left, false) : kSilent;
    if (job.AbortRequested()) {
      r.Status("Transfer aborted");
      return -1;
    }
    if (got == kSilent) return r.Fail("E101 Product data request timeout");
    if (got == kPortError) return r.Fail("E103 COM port read error");
    if (got > 0) return r.Fail(FormatCounts("E105 Format error %", got));
    const std::vector<std::string> fields = SplitFields(collector.body());
    if (fields.empty() || fields[0] != "PMGNVER") continue;
    if (const int code = ParseProduct(fields, product)) return r.Fail(FormatCounts("E104 Format error %", code));
    break;
  }
  r.Status("Product data read");
  job.operation().Product(product.Description());
  job.clock().SleepMs(kProductPauseMs);
  return 0;
}

namespace {
// A list download: sends `request`, then hands the fields of each `name` sentence to `take`
// until END or kSilenceLimitMs of silence. `take` returns a failure text to end the download.
// The stop command goes out on silence, on abort and before any failure after the request.
// Returns 0 at the list's end, -1 after an abort or a failure (shown through r).
template <class Take>
int ReadSentenceList(access::AccessJob& job, Reporter& r, const char* status, const char* request,
                     const char* writeError, const char* readError, const char* formatError, const char* name,
                     Take take) {
  r.Status(status);
  job.link().DiscardReceived();
  if (job.link().WriteText(request) != 0) {
    if (job.AbortRequested()) return -1;
    return r.Fail(writeError);
  }
  SentenceCollector collector;
  for (;;) {
    const int got = ReadSentence(job.link(), collector, kSilenceLimitMs, true);
    if (job.AbortRequested()) {
      r.Status("Transfer aborted");
      SendStop(job);
      return -1;
    }
    if (got == kSilent) {
      SendStop(job);
      return 0;
    }
    if (got == kPortError) return r.Fail(readError);
    if (got > 0) {
      SendStop(job);
      return r.Fail(FormatCounts(formatError, got));
    }
    const std::vector<std::string> fields = SplitFields(collector.body());
    if (IsEnd(fields)) return 0;
    if (fields.empty() || fields[0] != name) continue;
    if (std::optional<std::string> failure = take(fields)) {
      SendStop(job);
      return r.Fail(*failure);
    }
  }
}

}  // namespace

namespace {
// Models whose track log lacks the time or the date are refused before anything is requested.
int CheckTrackModel(Reporter& r, const ProductData& product) {
  if (product.model == 24 && product.version < 314) return r.Fail("E200 Model does not support time in track log");
  if (product.model == 30 && product.version < 201) return r.Fail("E200 Model does not support date in track log");
  return 0;
}
}  // namespace

int DownloadMagellanTrack(access::AccessJob& job, const ProductData& product) {
  Reporter r{job, "Read GPS track log"};
  if (CheckTrackModel(r, product) != 0) return -1;
  std::vector<core::TrackPoint> points;
  try {
    points.reserve(200);
  } catch (const std::bad_alloc&) {
    return r.Fail("E202 Track log memory allocation");
  }
  const int read = ReadSentenceList(
      job, r, "Requesting track log", kTrackCommand, "E203 COM port write error", "E204 COM port read error",
      "E206 Format error %", "PMGNTRK", [&](const std::vector<std::string>& fields) -> std::optional<std::string> {
        core::TrackPoint p;
        const int code = ParseTrackPoint(fields, p);
        if (code == kSkipped) return std::nullopt;
        if (code != 0) return FormatCounts("E205 Format error %", code);
        if (points.empty()) p.flags = 1;
        try {
          points.push_back(p);
        } catch (const std::bad_alloc&) {
          return "E201 Track log memory allocation " + std::string(std::strerror(ENOMEM));
        }
        if (points.size() % 10 == 0) r.Status(FormatCounts("% points received", static_cast<int>(points.size())));
        return std::nullopt;
      });
  if (read != 0) return -1;
  r.Status(FormatCounts("% points received", static_cast<int>(points.size())));
  if (points.empty()) return -1;
  job.count = static_cast<int>(points.size());
  job.data.points = std::move(points);
  job.origin = kMagellanOrigin;
  return 0;
}

int DownloadMagellanWaypoints(access::AccessJob& job, bool idsOnly) {
  Reporter r{job, "Read GPS track log"};
  std::vector<core::Waypoint> waypoints;
  if (!idsOnly) {
    try {
      waypoints.reserve(100);
    } catch (const std::bad_alloc&) {
      return r.Fail("E301 Waypoint memory allocation");
    }
  }
  int received = 0;
  int32_t comp = -1, civl = -1;
  const int read = ReadSentenceList(
      job, r, "Requesting waypoints", kWaypointCommand, "E302 COM port write error", "E303 COM port read error",
      "E305 Format error %", "PMGNWPL", [&](const std::vector<std::string>& fields) -> std::optional<std::string> {
        core::Waypoint w;
        if (const int code = ParseWaypoint(fields, w)) return FormatCounts("E304 Format error %", code);
        ++received;
        if (idsOnly) {
          const std::string id = w.id;
          if (id == "COMPID") comp = core::DecodeIdPosition(w.latitude, w.longitude);
          if (id == "CIVLID") civl = core::DecodeIdPosition(w.latitude, w.longitude);
          return std::nullopt;
        }
        try {
          waypoints.push_back(w);
        } catch (const std::bad_alloc&) {
          return "E301 Track log memory allocation " + std::string(std::strerror(ENOMEM));
        }
        return std::nullopt;
      });
  if (read != 0) return -1;
  r.Status(FormatCounts("% waypoints received", received));
  if (idsOnly) {
    job.competitionId = comp;
    job.civlId = civl;
    if (comp >= 0 || civl >= 0) job.operation().Product(IdsText(comp, civl));
    return 0;
  }
  if (waypoints.empty()) return -1;
  job.count = static_cast<int>(waypoints.size());
  job.data.waypoints = std::move(waypoints);
  job.origin = kMagellanOrigin;
  return 0;
}

int UploadMagellanWaypoints(access::AccessJob& job) {
  Reporter r{job, "Upload waypoints"};
  int sent = 0;
  for (const core::Waypoint& w : job.data.waypoints) {
    if (job.AbortRequested()) {
      r.Status(FormatCounts("% waypoints sent", sent));
      job.link().WriteText(kEndCommand);
      return -1;
    }
    if (job.link().WriteText(BuildWaypointSentence(w)) != 0) {
      const std::string text = FormatCounts("% waypoints sent", sent);
      r.Status(text);
      if (job.AbortRequested()) return -1;
      return r.Fail(text);
    }
    ++sent;
    r.Status(FormatCounts("Waypoint % sent", sent));
    job.clock().SleepMs(kUploadPauseMs);
  }
  r.Status(FormatCounts("% waypoints sent", sent));
  if (job.link().WriteText(kEndCommand) != 0) {
    if (job.AbortRequested()) return -1;
    return r.Fail("E100 COM port write error");
  }
  job.origin = kMagellanOrigin;
  return 0;
}

int ReadMagellanTrack(access::AccessJob& job) {
  ProductData product;
  if (RequestMagellanProduct(job, product) != 0) return -1;
  Reporter r{job, "Read GPS track log"};
  if (CheckTrackModel(r, product) != 0) return -1;
  if (job.competition) {
    // Competition mode reads the pilot's IDs (waypoints in ID mode) and asks for confirmation
    // before the track request.
    if (DownloadMagellanWaypoints(job, true) != 0) return -1;
    if (!job.operation().ConfirmCompetition(job.competitionId, job.civlId)) return -1;
  }
  return DownloadMagellanTrack(job, product);
}

int ReadMagellanWaypoints(access::AccessJob& job) {
  ProductData product;
  if (RequestMagellanProduct(job, product) != 0) return -1;
  return DownloadMagellanWaypoints(job, false);
}

int SendMagellanWaypoints(access::AccessJob& job) {
  ProductData product;
  if (RequestMagellanProduct(job, product) != 0) return -1;
  return UploadMagellanWaypoints(job);
}

void RegisterMagellanRoutines(access::AccessRoutineTable& table) {
  using namespace access;
  table.Register(kAccessDownloadWaypoints, kProtocolMagellan, ReadMagellanWaypoints);
  table.Register(kAccessDownloadTrackLog, kProtocolMagellan, ReadMagellanTrack);
  table.Register(kAccessUploadWaypoints, kProtocolMagellan, SendMagellanWaypoints);
}

}  // namespace tarnvik::devices::magellan
