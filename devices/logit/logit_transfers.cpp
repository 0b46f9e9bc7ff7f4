#include "devices/logit/logit_transfers.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "devices/logit/mlr_nmea.h"

namespace tarnvik::devices::logit {
namespace {

using core::FormatCounts;

constexpr int64_t kPollMs = 200;

struct Reporter {
  access::AccessJob& job;
  const char* caption;
  int Fail(const std::string& text) {
    job.operation().Fail(caption, text);
    return -1;
  }
  int FailMemory(const char* text) {
    job.operation().Fail(text, std::strerror(ENOMEM));
    return -1;
  }
  void Status(const std::string& text) { job.operation().Status(text); }
};

enum class Read { Done, Timeout, PortError, Aborted };

// Reads one reply line until the deadline on the job's clock. Product replies repeated by the
// logger while another answer is awaited are skipped by the caller.
Read ReadLine(access::AccessJob& job, int64_t deadline, std::string& line, bool& tooLong) {
  ReplyAssembler lines;
  tooLong = false;
  for (;;) {
    if (job.AbortRequested()) return Read::Aborted;
    const int64_t left = deadline - job.clock().NowMs();
    if (left <= 0) return Read::Timeout;
    bool done = false;
    const int got = job.link().ReadUnit(
        [&](uint8_t b) {
          const ReplyAssembler::Result r = lines.Feed(b);
          if (r == ReplyAssembler::kMore) return false;
          tooLong = r == ReplyAssembler::kTooLong;
          done = true;
          return true;
        },
        std::min(left, kPollMs));
    if (got == access::kReadPortError) return job.AbortRequested() ? Read::Aborted : Read::PortError;
    if (done) {
      line = lines.line();
      return Read::Done;
    }
  }
}

// Reads one packet; the limit runs from the last byte received.
Read ReadPacket(access::AccessJob& job, PacketAssembler& packets, PacketAssembler::Result& result) {
  int64_t last = job.clock().NowMs();
  for (;;) {
    if (job.AbortRequested()) return Read::Aborted;
    const int64_t left = kSilenceLimitMs - (job.clock().NowMs() - last);
    if (left <= 0) return Read::Timeout;
    bool done = false;
    const int got = job.link().ReadUnit(
        [&](uint8_t b) {
          last = job.clock().NowMs();
          result = packets.Feed(b);
          done = result != PacketAssembler::kMore;
          return done;
        },
        std::min(left, kPollMs));
    if (got == access::kReadPortError) return job.AbortRequested() ? Read::Aborted : Read::PortError;
    if (done) return Read::Done;
  }
}

// Back to command speed, a pause, the leave-mode sentence.
void ReturnToCommands(access::AccessJob& job, int64_t pauseMs) {
  job.link().SetSpeed(kCommandBaud);
  job.clock().SleepMs(pauseMs);
  job.link().WriteText(kLeaveMode);
}

bool ConfirmCompetition(access::AccessJob& job) {
  if (!job.competition) return true;
  job.competitionId = -1;
  job.civlId = -1;
  return job.operation().ConfirmCompetition(-1, -1);
}

int TransferBaud(const access::AccessJob& job) { return job.speed > 0 ? job.speed : kCommandBaud; }

// Reads the IDGPS reply to a product request already sent; codes as in ParseIdReply.
struct ProductMessages {
  const char* timeout;
  const char* readError;
};

int ReadProductReply(access::AccessJob& job, Reporter& r, const std::array<size_t, 4>& limits, int64_t deadline,
                     const ProductMessages& m, ProductFields& fields) {
  std::string line;
  bool tooLong = false;
  const Read got = ReadLine(job, deadline, line, tooLong);
  if (got == Read::Aborted) {
    job.link().WriteText(kLeaveMode);
    r.Status("Transfer aborted");
    return -1;
  }
  if (got == Read::Timeout) {
    job.link().WriteText(kLeaveMode);
    return r.Fail(m.timeout);
  }
  if (got == Read::PortError) {
    job.link().WriteText(kLeaveMode);
    return r.Fail(m.readError);
  }
  const int code = tooLong ? 1 : ParseIdReply(line, limits, fields);
  if (code != 0) {
    job.link().WriteText(kLeaveMode);
    return r.Fail(FormatCounts("E105 Format error %", code));
  }
  for (std::string& f : fields) f = NormaliseSpaces(f);
  return 0;
}

// The packet loop shared by the downloads. Its messages and whether a broken transfer restarts
// (a Tracklogger) differ per routine.
struct PacketMessages {
  const char* caption;
  const char* readError;
  const char* timeout;
  const char* memory;
  const char* format;       // LogIt: every code; MLR: framing codes
  const char* typeOrder;    // MLR only (null: LogIt codes)
  const char* dataSeq;
  const char* endSeq;
  const char* recordSeq;
};

class PacketDownload {
 public:
  PacketDownload(access::AccessJob& job, const PacketFamily& family, const PacketMessages& m, int baud,
                 const std::string& command)
      : job_(job), r_{job, m.caption}, m_(m), packets_(family), baud_(baud), command_(command) {}

  bool restarts = false;
  int total = -1;
  bool gpsTime = false;
  bool mlrStatus = false;  // "Sentence number % received" per packet
  std::vector<core::TrackPoint>* points = nullptr;
  std::vector<core::Waypoint>* waypoints = nullptr;

  int Run() {
    r_.Status(waypoints ? "Requesting waypoints" : "Requesting track log");
    if (job_.link().WriteText(command_) != 0) {
      job_.link().WriteText(kLeaveMode);
      return r_.Fail(waypoints ? "E301 COM port write error" : "E201 COM port write error");
    }
    job_.clock().SleepMs(300);
    if (job_.link().SetSpeed(baud_) != 0) return -1;
    for (;;) {
      PacketAssembler::Result result = PacketAssembler::kMore;
      const Read got = ReadPacket(job_, packets_, result);
      if (got == Read::Aborted) return Exit("Transfer aborted", true);
      if (got == Read::Timeout) return Exit(m_.timeout, false);
      if (got == Read::PortError) return Exit(m_.readError, false);
      int code = 0;
      const char* text = m_.format;
      if (result == PacketAssembler::kError) {
        code = packets_.code();
      } else {
        if (mlrStatus) r_.Status(FormatCounts("Sentence number % received", packets_.sequence()));
        code = Interpret(text);
        if (code < 0) return code == kEnded ? Finish() : -1;
      }
      if (code == 0) continue;
      if (restarts && state_ != State::WaitBegin && barren_ < kMaxBarrenRestarts) {
        if (Restart() != 0) return -1;
        continue;
      }
      if (text == m_.format) return Exit(FormatCounts(text, code), false);
      return Exit(text, false);
    }
  }

 private:
  enum class State { WaitBegin, Receiving, WaitRestart };
  static constexpr int kEnded = -2;
  static constexpr int kFailed = -1;

  size_t Count() const { return points ? points->size() : waypoints->size(); }

  int Exit(const std::string& text, bool aborted) {
    ReturnToCommands(job_, m_.typeOrder ? 200 : 300);
    if (aborted) {
      r_.Status(text);
      return -1;
    }
    return r_.Fail(text);
  }

  int Finish() {
    r_.Status(FormatCounts(points ? "% points received" : "% waypoints received", static_cast<int>(Count())));
    ReturnToCommands(job_, m_.typeOrder ? 200 : 300);
    return 0;
  }

  // 0 for a packet taken, a code (text set for MLR's own messages), kEnded, or kFailed.
  int Interpret(const char*& text) {
    const uint8_t seq = packets_.sequence();
    const bool mlr = m_.typeOrder != nullptr;
    switch (packets_.type()) {
      case PacketType::Begin:
        if (state_ != State::WaitBegin) return Sequence(text, 55);
        state_ = State::Receiving;
        sequence_ = seq;
        expected_ = 1;
        return 0;
      case PacketType::Restart:
        if (state_ != State::WaitRestart) return Sequence(text, state_ == State::WaitBegin ? 50 : 55);
        state_ = State::Receiving;
        sequence_ = seq;
        // The logger resends from the point the resend sentence asked for.
        expected_ = static_cast<uint32_t>(Count()) + 1;
        return 0;
      case PacketType::End:
        if (state_ == State::WaitBegin) return Sequence(text, 50);
        if (state_ == State::WaitRestart) return Sequence(text, 51);
        if (seq != static_cast<uint8_t>(sequence_ + 1)) {
          if (mlr) text = m_.endSeq;
          return 54;
        }
        return kEnded;
      case PacketType::Data: break;
    }
    if (state_ == State::WaitBegin) return Sequence(text, 50);
    if (state_ == State::WaitRestart) return Sequence(text, 51);
    if (seq != static_cast<uint8_t>(sequence_ + 1)) {
      if (mlr) text = m_.dataSeq;
      return 53;
    }
    // Every record is checked before any is kept: a damaged packet adds nothing.
    const int n = packets_.records();
    if (points) {
      for (int i = 0; i < n; ++i) {
        const TrackRecord rec = DecodeTrackRecord(packets_.Record(i), gpsTime);
        if (rec.number != static_cast<uint16_t>(expected_ + static_cast<uint32_t>(i))) {
          if (mlr) text = m_.recordSeq;
          return 52;
        }
      }
    }
    sequence_ = seq;
    for (int i = 0; i < n; ++i) {
      try {
        if (points) {
          TrackRecord rec = DecodeTrackRecord(packets_.Record(i), gpsTime);
          if (points->empty()) rec.point.flags = 1;
          if (points->size() == points->capacity()) points->reserve(points->size() * 2);
          points->push_back(rec.point);
          const int count = static_cast<int>(points->size());
          if (!mlrStatus && (count == 1 || count % 250 == 0)) {
            r_.Status(total >= 0 ? FormatCounts("% points of % received", count, total)
                                 : FormatCounts("% points received", count));
          }
        } else {
          core::Waypoint w;
          if (DecodeWaypointRecord(packets_.Record(i), gpsTime, w)) waypoints->push_back(w);
        }
      } catch (const std::bad_alloc&) {
        ReturnToCommands(job_, mlr ? 200 : 300);
        r_.FailMemory(m_.memory);
        return kFailed;
      }
    }
    expected_ += static_cast<uint32_t>(n);
    if (n > 0) barren_ = 0;
    return 0;
  }

  int Sequence(const char*& text, int code) {
    if (m_.typeOrder) text = m_.typeOrder;
    return code;
  }

  int Restart() {
    ++barren_;
    job_.link().SetSpeed(kCommandBaud);
    const int from = static_cast<int>(Count()) + 1;
    r_.Status(FormatCounts("RESTART at point %", from));
    job_.link().WriteText(ResendSentence(from));
    job_.clock().SleepMs(200);
    if (job_.link().WriteText(command_) != 0) {
      job_.link().WriteText(kLeaveMode);
      return r_.Fail("E205 COM port write error");
    }
    job_.clock().SleepMs(300);
    if (job_.link().SetSpeed(baud_) != 0) return -1;
    job_.link().DiscardReceived();
    packets_.Reset();
    state_ = State::WaitRestart;
    return 0;
  }

  access::AccessJob& job_;
  Reporter r_;
  const PacketMessages& m_;
  PacketAssembler packets_;
  int baud_;
  std::string command_;
  State state_ = State::WaitBegin;
  uint8_t sequence_ = 0;
  uint32_t expected_ = 1;
  int barren_ = 0;
};

const PacketMessages kLogItTrackMessages{"Read LogIt track log", "E202 COM port read error", "E206 Track log timeout",
                                         "E203 Track log memory allocation", "E204 Format error %", nullptr,
                                         nullptr, nullptr, nullptr};
const PacketMessages kMlrTrackMessages{"Read GPS track log", "E202 COM port read error", "E209 Track log timeout",
                                       "E207 Track log memory allocation", "E208 Format error %",
                                       "E203 Bad sentence type sequence", "E204 Bad sentence sequence",
                                       "E205 Bad sentence sequence", "E206 Bad track point sequence"};
const PacketMessages kMlrWaypointMessages{"Read GPS waypoints", "E302 COM port read error", "E307 Waypoint timeout",
                                          "E300 Waypoint memory allocation", "E302 Format error %",
                                          "E303 Bad sentence type sequence", "E304 Bad sentence sequence",
                                          "E305 Bad sentence sequence", "E305 Bad sentence sequence"};

}  // namespace

std::string LogItProductLine(const ProductFields& f) { return f[0] + " " + f[3] + " (" + f[1] + ")"; }

std::string LogItProductText(const ProductFields& f) {
  return "Model: " + f[0] + "\nUser name: " + f[1] + "\nSerial No.: " + f[2] + "\nSoftware: " + f[3];
}

std::string MlrDescription(const ProductFields& f) {
  std::string d = f[0].substr(0, 40) + "  SW";
  size_t i = 0;
  while (i < f[3].size() && ((f[3][i] >= '0' && f[3][i] <= '9') || f[3][i] == '.')) d += f[3][i++];
  return d.substr(0, 40);
}

int RequestLogItProduct(access::AccessJob& job, ProductFields& fields) {
  Reporter r{job, "Read LogIt product data"};
  if (job.link().WriteText(kLeaveMode) != 0) return r.Fail("E100 COM port write error");
  job.clock().SleepMs(500);
  r.Status("Requesting product information");
  job.link().DiscardReceived();
  job.transport().Purge();
  if (job.link().WriteText(kProductRequest) != 0) return r.Fail("E100 COM port write error");
  const int64_t deadline = job.clock().NowMs() + kReplyLimitMs;
  if (ReadProductReply(job, r, kLogItFieldLimits, deadline,
                       {"E101 Product data request timeout", "E103 COM port read error"}, fields) != 0) {
    return -1;
  }
  if (job.link().WriteText(kLeaveMode) != 0) return r.Fail("E100 COM port write error");
  r.Status("Product data read");
  job.operation().Product(LogItProductLine(fields));
  job.clock().SleepMs(200);
  return 0;
}

int RequestTrackPointCount(access::AccessJob& job, int& count) {
  Reporter r{job, "Read track point count"};
  r.Status("Requesting track point count");
  job.link().DiscardReceived();
  job.transport().Purge();
  if (job.link().WriteText(kCountRequest) != 0) return r.Fail("E500 COM port write error");
  const int64_t deadline = job.clock().NowMs() + kReplyLimitMs;
  for (;;) {
    std::string line;
    bool tooLong = false;
    const Read got = ReadLine(job, deadline, line, tooLong);
    if (got == Read::Aborted) {
      job.link().WriteText(kLeaveMode);
      r.Status("Transfer aborted");
      return -1;
    }
    if (got == Read::Timeout) {
      job.link().WriteText(kLeaveMode);
      return r.Fail("E501 Track point count request timeout");
    }
    if (got == Read::PortError) {
      job.link().WriteText(kLeaveMode);
      return r.Fail("E502 COM port read error");
    }
    // A product reply the logger still repeats is no answer to this request.
    if (!tooLong && line.rfind("$PMLR,IDGPS,", 0) == 0) continue;
    const int code = tooLong ? 1 : ParseCountReply(line, count);
    if (code != 0) {
      job.link().WriteText(kLeaveMode);
      return r.Fail(FormatCounts("E503 Format error %", code));
    }
    r.Status("Track point count read");
    job.clock().SleepMs(200);
    return 0;
  }
}

int DownloadLogItTrack(access::AccessJob& job, int total, bool tracklogger, std::vector<core::TrackPoint>& points) {
  try {
    points.reserve(1000);
  } catch (const std::bad_alloc&) {
    return Reporter{job, "Read LogIt track log"}.FailMemory("E200 Track log memory allocation");
  }
  PacketDownload d(job, kLogItTrack, kLogItTrackMessages, TransferBaud(job), SpeedSentence(job.speed));
  d.restarts = tracklogger;
  d.total = total;
  d.points = &points;
  return d.Run();
}

int ReadLogItTrack(access::AccessJob& job) {
  ProductFields fields;
  if (RequestLogItProduct(job, fields) != 0) return -1;
  int total = -1;
  const bool tracklogger = fields[0] == "TRACKLOGGER";
  if (tracklogger && RequestTrackPointCount(job, total) != 0) return -1;
  if (!ConfirmCompetition(job)) return -1;
  std::vector<core::TrackPoint> points;
  if (DownloadLogItTrack(job, total, tracklogger, points) != 0) return -1;
  job.count = static_cast<int>(points.size());
  job.data.points = std::move(points);
  job.data.text = fields[0].substr(0, 80);
  job.origin = kLogItOrigin;
  return 0;
}

int ReadLogItData(access::AccessJob& job) {
  ProductFields fields;
  if (RequestLogItProduct(job, fields) != 0) return -1;
  job.data.text = LogItProductText(fields);
  job.count = 0;
  job.origin = kLogItOrigin;
  return 0;
}

int EraseLogIt(access::AccessJob& job) {
  Reporter r{job, "Sending erase command"};
  if (job.link().WriteText(kLeaveMode) != 0) {
    r.Status("Write error");
    return r.Fail("E301 COM port write error");
  }
  job.clock().SleepMs(500);
  if (job.link().WriteText(kEraseLog) != 0) {
    r.Status("Write error");
    return r.Fail("E300 COM port write error");
  }
  r.Status("Command sent (no verification)");
  return 0;
}

int WriteLogItName(access::AccessJob& job) {
  Reporter r{job, "Sending name"};
  const std::string name = NameField(job.data.text);
  if (name.empty()) return -1;
  if (job.link().WriteText(kLeaveMode) != 0) {
    r.Status("Write error");
    return r.Fail("E401 COM port write error");
  }
  job.clock().SleepMs(500);
  if (job.link().WriteText(NameSentence(name)) != 0) {
    r.Status("Write error");
    return r.Fail("E400 COM port write error");
  }
  job.clock().SleepMs(300);
  ProductFields fields;
  if (RequestLogItProduct(job, fields) != 0) {
    r.Status("Product data read error");
    return -1;
  }
  r.Status("Name uploaded");
  return 0;
}

int RequestMlrProduct(access::AccessJob& job, ProductFields& fields, bool& gpsTime) {
  Reporter r{job, "Read GPS product data"};
  r.Status("Requesting product information");
  job.link().DiscardReceived();
  job.transport().Purge();
  if (job.link().WriteText(kProductRequest) != 0) return r.Fail("E100 COM port write error");
  const int64_t deadline = job.clock().NowMs() + kReplyLimitMs;
  if (ReadProductReply(job, r, kMlrFieldLimits, deadline,
                       {"E101 Serial number request timeout", "E103 COM port read error"}, fields) != 0) {
    return -1;
  }
  if (job.link().WriteText(kLeaveMode) != 0) return r.Fail("E104 COM port write error");
  gpsTime = ReportsGpsTime(VersionHundredths(fields[3]));
  r.Status("Product data read");
  job.operation().Product(MlrDescription(fields));
  return 0;
}

int DownloadMlrTrack(access::AccessJob& job, bool gpsTime, std::vector<core::TrackPoint>& points) {
  try {
    points.reserve(100);
  } catch (const std::bad_alloc&) {
    return Reporter{job, "Read GPS track log"}.FailMemory("E200 Track log memory allocation");
  }
  PacketDownload d(job, kMlrTrack, kMlrTrackMessages, kMlrTrackBaud, kMlrTrackRequest);
  d.gpsTime = gpsTime;
  d.mlrStatus = true;
  d.points = &points;
  return d.Run();
}

int DownloadMlrWaypoints(access::AccessJob& job, bool gpsTime, std::vector<core::Waypoint>& waypoints) {
  try {
    waypoints.reserve(100);
  } catch (const std::bad_alloc&) {
    return Reporter{job, "Read GPS waypoints"}.FailMemory("E300 Waypoint memory allocation");
  }
  // The waypoint transfer stays at command speed.
  PacketDownload d(job, kMlrWaypoints, kMlrWaypointMessages, kCommandBaud, kMlrWaypointRequest);
  d.gpsTime = gpsTime;
  d.mlrStatus = true;
  d.waypoints = &waypoints;
  return d.Run();
}

int ReadMlrTrack(access::AccessJob& job) {
  ProductFields fields;
  bool gpsTime = false;
  if (RequestMlrProduct(job, fields, gpsTime) != 0) return -1;
  if (!ConfirmCompetition(job)) return -1;
  std::vector<core::TrackPoint> points;
  if (DownloadMlrTrack(job, gpsTime, points) != 0) return -1;
  job.count = static_cast<int>(points.size());
  job.data.points = std::move(points);
  job.data.text = MlrDescription(fields);
  job.origin = kMlrOrigin;
  return 0;
}

void RegisterLogItRoutines(access::AccessRoutineTable& table) {
  using namespace access;
  table.Register(kAccessDownloadTrackLog, kProtocolLogIt, ReadLogItTrack);
  table.Register(kAccessReadInstrumentData, kProtocolLogIt, ReadLogItData);
  table.Register(kAccessEraseTrack, kProtocolLogIt, EraseLogIt);
  table.Register(kAccessWriteOwnerName, kProtocolLogIt, WriteLogItName);
}

void RegisterMlrRoutines(access::AccessRoutineTable& table) {
  table.Register(access::kAccessDownloadTrackLog, access::kProtocolMlr, ReadMlrTrack);
  table.Register(access::kAccessDownloadWaypoints, access::kProtocolMlr, ListenMlrWaypoints);
  table.Register(access::kAccessUploadWaypoints, access::kProtocolMlr, UploadMlrWaypoints);
}

}  // namespace tarnvik::devices::logit
