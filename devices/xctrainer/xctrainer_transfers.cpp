#include "devices/xctrainer/xctrainer_transfers.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace tarnvik::devices::xctrainer {
namespace {

using core::FormatCounts;

std::string MemoryErrorText() { return std::strerror(ENOMEM); }

// What one routine says under its caption.
struct Reporter {
  access::AccessJob& job;
  const char* caption;

  core::Operation& operation() { return job.operation(); }
  int Fail(const std::string& text) {
    operation().Fail(caption, text);
    return -1;
  }
  int FailMemory(const char* text) {
    operation().Fail(text, MemoryErrorText());
    return -1;
  }
  void Status(const std::string& text) { operation().Status(text); }
  // A listener's end other than a line: an abort (status only), a port error or silence.
  int Listening(LineListener::Result r, const char* readError, const char* silence, const char* memory) {
    if (r == LineListener::kNoMemory) return FailMemory(memory);
    if (job.AbortRequested()) {
      Status("Transfer aborted");
      return -1;
    }
    if (r == LineListener::kSilent) return Fail(silence);
    return Fail(readError);
  }
};

// Competition mode: the instrument carries no IDs; the pilot confirms the download without.
bool ConfirmCompetition(access::AccessJob& job) {
  if (!job.competition) return true;
  job.competitionId = -1;
  job.civlId = -1;
  return job.operation().ConfirmCompetition(-1, -1);
}

// The raw log buffer and the point array of a track download; false after the message.
bool Allocate(Reporter& r, std::vector<core::TrackPoint>& points, size_t count, std::vector<uint8_t>& raw) {
  try {
    points.reserve(count);
  } catch (const std::bad_alloc&) {
    r.FailMemory("E200 Track log memory allocation");
    return false;
  }
  try {
    raw.reserve(1000);
  } catch (const std::bad_alloc&) {
    r.FailMemory("E200 Log buffer allocation");
    return false;
  }
  return true;
}

constexpr const char* kLogReadError = "E201 COM port read error";
constexpr const char* kLogSilence = "E204 No data received";
constexpr const char* kLogMemory = "E200 Log buffer allocation";

}  // namespace

LineListener::Result LineListener::Next(std::string& line) {
  for (;;) {
    if (link_.Cancelled()) return kPortError;
    // Flow-control bytes alone are no sign of a transmission: the limits run from the last
    // other byte (or from the start of listening).
    const int64_t left = (heard_ ? kSilenceLimitMs : kFirstByteLimitMs) - (link_.clock().NowMs() - lastData_);
    if (left <= 0) return kSilent;
    uint8_t byte = 0;
    const int got = link_.ReadUnit(
        [&byte](uint8_t b) {
          byte = b;
          return true;
        },
        left);
    if (got == access::kReadTimeout) return kSilent;
    if (got != access::kReadComplete) return kPortError;
    if (byte == kXon || byte == kXoff) continue;
    heard_ = true;
    lastData_ = link_.clock().NowMs();
    if (raw_) {
      try {
        raw_->push_back(byte);
      } catch (const std::bad_alloc&) {
        return kNoMemory;
      }
    }
    const LineAssembler::Result r = lines_.Feed(byte);
    if (r == LineAssembler::kTooLong) return kTooLong;
    if (r == LineAssembler::kLine) {
      line = lines_.line();
      return kLine;
    }
  }
}

int ReceiveMxpLog(access::AccessJob& job) {
  Reporter r{job, kReadTrackCaption};
  Reporter decode{job, kDecodeCaption};
  if (!ConfirmCompetition(job)) return -1;
  job.capture().Clear();
  std::vector<core::TrackPoint> points;
  std::vector<uint8_t> raw;
  if (!Allocate(r, points, 1000, raw)) return -1;
  r.Status("Waiting for data");
  LineListener listener(job.link(), &raw);
  std::string line;
  LineListener::Result got = listener.Next(line);
  if (got == LineListener::kTooLong) return decode.Fail(MxpCodeText(1));
  if (got != LineListener::kLine) return r.Listening(got, kLogReadError, kLogSilence, kLogMemory);
  MxpHeader header;
  if (const int code = ParseMxpHeader(line, job.protocol, header)) return decode.Fail(MxpCodeText(code));
  const std::string product = MxpProductText(header);
  r.operation().Product(product);
  MxpLog log(header);
  log.points = std::move(points);
  while (!log.Complete()) {
    got = listener.Next(line);
    if (got == LineListener::kTooLong) return decode.Fail(MxpCodeText(1));
    if (got != LineListener::kLine) return r.Listening(got, kLogReadError, kLogSilence, kLogMemory);
    if (const int code = log.Add(line)) return decode.Fail(MxpCodeText(code));
    const int count = static_cast<int>(log.points.size());
    if (count % 100 == 0) r.Status(FormatCounts("% points of % read", count, header.count));
  }
  r.Status(FormatCounts("% points received", static_cast<int>(log.points.size())));
  job.count = static_cast<int>(log.points.size());
  job.data.points = std::move(log.points);
  job.data.rawDevice = std::move(raw);
  job.data.text = product.substr(0, 80);
  job.origin = kXcTrainerOrigin;
  job.extra = 0;  // the header does not say which time zone its start time is in
  return 0;
}

int ReceiveTncLog(access::AccessJob& job) {
  Reporter r{job, kReadTrackCaption};
  if (!ConfirmCompetition(job)) return -1;
  job.capture().Clear();
  TncLogParser parser;
  std::vector<uint8_t> raw;
  if (!Allocate(r, parser.points, 100, raw)) return -1;
  r.operation().Product(job.protocol == access::kProtocolTopNavigator ? "Top Navigator" : "XC Trainer");
  r.Status("Waiting for data");
  LineListener listener(job.link(), &raw);
  std::string line;
  size_t shown = 0;
  for (;;) {
    const LineListener::Result got = listener.Next(line);
    if (got == LineListener::kTooLong) return r.Fail("E203 Too long sentence");
    if (got != LineListener::kLine) return r.Listening(got, kLogReadError, kLogSilence, kLogMemory);
    const int parsed = parser.Feed(line);
    if (parsed > 0) return r.Fail(FormatCounts("E202 Format error %", parsed));
    if (parser.points.size() != shown) {
      shown = parser.points.size();
      r.Status(FormatCounts("% points received", static_cast<int>(shown)));
    }
    if (parsed == TncLogParser::kEnd) break;
  }
  r.Status(FormatCounts("% points received", static_cast<int>(parser.points.size())));
  if (parser.erroneousBlocks() > 0) {
    r.Fail(FormatCounts("Error(s) in % block(s) ignored", parser.erroneousBlocks()));
  }
  job.count = static_cast<int>(parser.points.size());
  job.extra = parser.utc() ? kUtcExtra : 0;
  job.data.points = std::move(parser.points);
  job.data.rawDevice = std::move(raw);
  job.data.text.clear();
  job.origin = kXcTrainerOrigin;
  return 0;
}

int ReceiveTncWaypoints(access::AccessJob& job) {
  Reporter r{job, kReadWaypointsCaption};
  std::vector<core::Waypoint> waypoints;
  try {
    waypoints.reserve(30);
  } catch (const std::bad_alloc&) {
    return r.FailMemory("E300 Waypoint memory allocation");
  }
  r.operation().Product(job.protocol == access::kProtocolTopNavigator ? "Top Navigator" : "XC Trainer");
  r.Status("Waiting for data");
  LineListener listener(job.link(), nullptr);
  std::string line;
  for (;;) {
    const LineListener::Result got = listener.Next(line);
    if (got == LineListener::kTooLong) return r.Fail(FormatCounts("E302 Format error %", 1));
    if (got != LineListener::kLine) {
      return r.Listening(got, "E301 COM port read error", "E304 No data received", "E303 Waypoint memory allocation");
    }
    if (NormaliseBlanks(line) == "@EOF") break;
    core::Waypoint w;
    if (ParseTncWaypointLine(line, w) == 0) {
      try {
        waypoints.push_back(w);
      } catch (const std::bad_alloc&) {
        return r.FailMemory("E303 Waypoint memory allocation");
      }
      r.Status(FormatCounts("% waypoints received", static_cast<int>(waypoints.size())));
    }
    // Every line is answered, one that could not be decoded too: the instrument waits for it.
    if (job.link().WriteText("@@OK") != 0) {
      if (job.AbortRequested()) {
        r.Status("Transfer aborted");
        return -1;
      }
      return r.Fail("E305 COM port write error");
    }
  }
  if (waypoints.empty()) return -1;
  job.count = static_cast<int>(waypoints.size());
  job.data.waypoints = std::move(waypoints);
  job.origin = kXcTrainerOrigin;
  return 0;
}

int SendTncWaypoints(access::AccessJob& job) {
  Reporter r{job, kUploadWaypointsCaption};
  int sent = 0;
  for (const core::Waypoint& w : job.data.waypoints) {
    if (job.AbortRequested()) {
      r.Status(FormatCounts("% waypoints sent", sent));
      return -1;
    }
    const WaypointPacket packet = BuildWaypointPacket(w);
    if (job.link().WriteBytes(packet.data(), packet.size()) != 0) {
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
  job.origin = kXcTrainerOrigin;
  return 0;
}

void RegisterXcTrainerRoutines(access::AccessRoutineTable& table) {
  using namespace access;
  table.Register(kAccessDownloadTrackLog, kProtocolTopNavigatorMxp, ReceiveMxpLog);
  table.Register(kAccessDownloadTrackLog, kProtocolXcTrainerMxp, ReceiveMxpLog);
  table.Register(kAccessDownloadTrackLog, kProtocolTopNavigator, ReceiveTncLog);
  table.Register(kAccessDownloadTrackLog, kProtocolXcTrainer, ReceiveTncLog);
  table.Register(kAccessDownloadWaypoints, kProtocolTopNavigator, ReceiveTncWaypoints);
  table.Register(kAccessDownloadWaypoints, kProtocolXcTrainer, ReceiveTncWaypoints);
  table.Register(kAccessUploadWaypoints, kProtocolTopNavigator, SendTncWaypoints);
  table.Register(kAccessUploadWaypoints, kProtocolXcTrainer, SendTncWaypoints);
}

}  // namespace tarnvik::devices::xctrainer
