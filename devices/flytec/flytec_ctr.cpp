#include "devices/flytec/flytec_ctr.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "airspace/openair.h"

namespace tarnvik::devices::flytec {
namespace {

using core::FormatCounts;

constexpr int64_t kSentencePauseMs = 100;
constexpr int64_t kArcPauseMs = 200;

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "DDMM.mmm,H" (latitude) or "DDDMM.mmm,H" (longitude) in thousandths of a minute, rounded
// half away from zero.
std::string Coordinate(double degrees, bool latitude) {
  const double scaled = std::fabs(degrees) * 60000.0;
  const int64_t thousandths = static_cast<int64_t>(scaled + 0.5);
  const bool negative = degrees < 0 && thousandths != 0;
  char text[32];
  std::snprintf(text, sizeof text, latitude ? "%02d%02d.%03d,%c" : "%03d%02d.%03d,%c",
                static_cast<int>(thousandths / 60000), static_cast<int>(thousandths / 1000 % 60),
                static_cast<int>(thousandths % 1000),
                latitude ? (negative ? 'S' : 'N') : (negative ? 'W' : 'E'));
  return text;
}

std::string Position(double latitude, double longitude) {
  return Coordinate(latitude, true) + "," + Coordinate(longitude, false);
}

std::string Head(int count, int number) {
  char text[32];
  std::snprintf(text, sizeof text, "PBRCTRW,%03d,%03d,", count, number);
  return text;
}

// The value of a field of digits only, refused beyond `limit` (the field's width).
bool ReadNumber(std::string_view field, int64_t limit, int64_t& value) {
  if (field.empty()) return false;
  value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > limit) return false;
  }
  return true;
}

std::vector<std::string_view> SplitFields(std::string_view body) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  while (true) {
    const size_t comma = body.find(',', start);
    fields.push_back(body.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

// "DDMM.m..." (latitude, integer part below 9000) or "DDDMM.m..." (below 18000) in degrees.
// 0, or the code for the missing field, the range, the missing point, the characters after
// the fraction.
int ReadAngle(std::string_view field, bool latitude, double& degrees) {
  const int base = latitude ? 17 : 23;
  if (field.empty()) return base;
  const int64_t limit = latitude ? 9000 : 18000;
  size_t i = 0;
  int64_t whole = 0;
  while (i < field.size() && field[i] >= '0' && field[i] <= '9') {
    whole = whole * 10 + (field[i] - '0');
    if (whole >= limit) return base + 1;
    ++i;
  }
  if (i == 0 || i >= field.size() || field[i] != '.') return base + 2;
  ++i;
  double fraction = 0;
  double scale = 0.1;
  while (i < field.size() && field[i] >= '0' && field[i] <= '9') {
    fraction += (field[i] - '0') * scale;
    scale /= 10.0;
    ++i;
  }
  if (i != field.size()) return base + 3;
  degrees = (static_cast<double>(whole / 100) * 60.0 + static_cast<double>(whole % 100) + fraction) / 60.0;
  return 0;
}

// Latitude and longitude from fields[3..6]. 0 or the format code.
int ReadPosition(const std::vector<std::string_view>& f, double& latitude, double& longitude) {
  if (const int code = ReadAngle(f.size() > 3 ? f[3] : std::string_view{}, true, latitude); code != 0) return code;
  if (f.size() <= 4 || f[4].empty()) return 21;
  if (f[4] != "N" && f[4] != "S") return 22;
  if (f[4] == "S") latitude = -latitude;
  if (const int code = ReadAngle(f.size() > 5 ? f[5] : std::string_view{}, false, longitude); code != 0) return code;
  if (f.size() <= 6 || (f[6] != "E" && f[6] != "W")) return 31;
  if (f[6] == "W") longitude = -longitude;
  return 0;
}

int ReadDirection(const std::vector<std::string_view>& f, char& direction) {
  if (f.size() <= 7 || f[7].empty()) return 29;
  if (f[7] != "+" && f[7] != "-") return 30;
  direction = f[7][0];
  return 0;
}

// Reports one failure of a step under its caption; an abort only sets the status line.
int Fail(FlytecSession& session, const char* caption, const std::string& text) {
  if (session.link.Cancelled()) {
    session.link.operation().Status("Transfer aborted");
    return -1;
  }
  session.link.operation().Fail(caption, text);
  return -1;
}

}  // namespace

int CtrSentenceCount(const core::CtrRecord& zone) {
  int64_t count = 2;
  for (const core::CtrSegment& s : zone.segments) count += s.kind == 'A' ? 3 : 1;
  return count > 1000000 ? 1000000 : static_cast<int>(count);
}

std::string CtrField(std::string_view text) {
  std::string field(text.substr(0, std::min<size_t>(text.size(), kCtrNameLength)));
  field.resize(kCtrNameLength, ' ');
  for (char& c : field) {
    if (c == ',' || c == '*' || c == '$' || c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return field;
}

std::vector<std::string> CtrUploadSentences(const core::CtrRecord& zone) {
  const int count = CtrSentenceCount(zone);
  std::vector<std::string> out;
  int number = 0;
  char warning[8];
  std::snprintf(warning, sizeof warning, "%04d",
                static_cast<int>(std::clamp<int32_t>(zone.warningDistance, 0, kCtrMaxWarningDistance)));
  out.push_back(FrameSentence(Head(count, number++) + CtrField(zone.name) + "," + warning));
  out.push_back(FrameSentence(Head(count, number++) + CtrField(zone.floor)));
  for (const core::CtrSegment& s : zone.segments) {
    if (s.kind == 'P') {
      out.push_back(FrameSentence(Head(count, number++) + "P," + Position(s.latitude, s.longitude)));
    } else if (s.kind == 'C') {
      char radius[16];
      std::snprintf(radius, sizeof radius, ",%05d", static_cast<int>(std::clamp<int32_t>(s.radius, 0, kCtrMaxRadius)));
      out.push_back(FrameSentence(Head(count, number++) + "C," + Position(s.latitude, s.longitude) + radius));
    } else if (s.kind == 'A') {
      const std::string direction(1, s.direction == '-' ? '-' : '+');
      out.push_back(FrameSentence(Head(count, number++) + "X," + Position(s.latitude, s.longitude)));
      out.push_back(FrameSentence(Head(count, number++) + "T," + Position(s.startLatitude, s.startLongitude) + "," + direction));
      out.push_back(FrameSentence(Head(count, number++) + "Z," + Position(s.endLatitude, s.endLongitude) + "," + direction));
    }
  }
  return out;
}

std::string CheckCtrUploadFits(const core::CtrList& zones) {
  for (const core::CtrRecord& zone : zones) {
    if (!zone.selected) continue;
    for (const core::CtrSegment& s : zone.segments) {
      if (s.kind == 'C' && (s.radius > kCtrMaxRadius || s.radius < 0)) {
        return std::string("Circle too large for the GPS in CTR ") + zone.name;
      }
    }
    if (CtrSentenceCount(zone) > kCtrMaxSentences) {
      return std::string("Too many segments for the GPS in CTR ") + zone.name;
    }
  }
  return {};
}

// ---- acknowledgement ---------------------------------------------------------------------

void CtrAckParser::Reset() {
  state_ = State::Dollar;
  matched_ = 0;
  length_ = 0;
  checksum_ = 0;
  received_ = 0;
  status_ = 0;
}

int CtrAckParser::Feed(uint8_t byte) {
  static constexpr std::string_view kName = "PBRANS,";
  switch (state_) {
    case State::Dollar:
      if (byte == '$') state_ = State::Match;
      return kParseContinue;
    case State::Match:
      if (byte != static_cast<uint8_t>(kName[matched_])) return -1;
      checksum_ ^= byte;
      if (++matched_ == kName.size()) state_ = State::Status;
      return kParseContinue;
    case State::Status:
      status_ = static_cast<char>(byte);
      checksum_ ^= byte;
      state_ = byte == '*' ? State::Check1 : State::Body;
      return kParseContinue;
    case State::Body:
      if (byte == '*') {
        state_ = State::Check1;
        return kParseContinue;
      }
      if (++length_ > kCtrMaxSentenceBody) return -1;
      checksum_ ^= byte;
      return kParseContinue;
    case State::Check1: {
      const int v = HexValue(byte);
      if (v < 0) return -2;
      received_ = static_cast<uint8_t>(v << 4);
      state_ = State::Check2;
      return kParseContinue;
    }
    case State::Check2: {
      const int v = HexValue(byte);
      if (v < 0) return -3;
      received_ = static_cast<uint8_t>(received_ | v);
      state_ = State::Cr;
      return kParseContinue;
    }
    case State::Cr:
      if (byte != '\r') return -4;
      state_ = State::Lf;
      return kParseContinue;
    case State::Lf:
      if (byte != '\n') return -6;
      if (received_ != checksum_) return -5;
      return kParseComplete;
  }
  return -1;
}

const char* CtrAckStatusText(char status) {
  switch (status) {
    case '2': return "Plausibility error";
    case '3': return "No further memory";
    case '4': return "No more writing allowed";
    case '5': return "NMEA syntax error";
    default: return "Unknown ack. status";
  }
}

// ---- zone list ---------------------------------------------------------------------------

void CtrListParser::Reset() {
  collect_ = CollectState::Dollar;
  checksum_ = 0;
  received_ = 0;
  body_.clear();
  state_ = ZoneState::Between;
  count_ = 0;
  next_ = 0;
  arc_ = {};
  zones_.clear();
}

int CtrListParser::Feed(uint8_t byte) {
  switch (collect_) {
    case CollectState::Dollar:
      if (byte == '$') {
        body_.clear();
        checksum_ = 0;
        collect_ = CollectState::Body;
      }
      return kParseContinue;
    case CollectState::Body:
      if (byte == '*') {
        collect_ = CollectState::Check1;
        return kParseContinue;
      }
      if (body_.size() >= kCtrMaxSentenceBody) {
        collect_ = CollectState::Dollar;
        return -1;
      }
      body_.push_back(static_cast<char>(byte));
      checksum_ ^= byte;
      return kParseContinue;
    case CollectState::Check1: {
      const int v = HexValue(byte);
      collect_ = CollectState::Dollar;
      if (v < 0) return -2;
      received_ = static_cast<uint8_t>(v << 4);
      collect_ = CollectState::Check2;
      return kParseContinue;
    }
    case CollectState::Check2: {
      const int v = HexValue(byte);
      collect_ = CollectState::Dollar;
      if (v < 0) return -3;
      received_ = static_cast<uint8_t>(received_ | v);
      collect_ = CollectState::Cr;
      return kParseContinue;
    }
    case CollectState::Cr:
      collect_ = CollectState::Dollar;
      if (byte != '\r') return -4;
      collect_ = CollectState::Lf;
      return kParseContinue;
    case CollectState::Lf:
      collect_ = CollectState::Dollar;
      if (byte != '\n') return -6;
      if (received_ != checksum_) return -5;
      return kParseComplete;
  }
  return -1;
}

int CtrListParser::Interpret() { return Interpret(body_); }

int CtrListParser::Interpret(std::string_view body) {
  if (body.find(',') == std::string_view::npos) return -1;
  const std::vector<std::string_view> f = SplitFields(body);
  if (state_ == ZoneState::Between && f[0] == "PBRANS") {
    if (f.size() == 2 && f[1] == "1") return kCtrListEnd;
    return -2;
  }
  if (f[0] != "PBRCTR") return -3;
  int64_t count = 0;
  int64_t number = 0;
  if (f.size() < 2 || f[1].empty()) return -4;
  if (!ReadNumber(f[1], kCtrMaxSentences, count)) return -5;
  if (f.size() < 3 || f[2].empty()) return -6;
  if (!ReadNumber(f[2], kCtrMaxSentences, number)) return -7;

  if (state_ == ZoneState::Between) {
    if (count < 3) return -8;
    if (number != 0) return -9;
    int64_t warning = 0;
    if (f.size() < 5 || f[4].empty()) return -10;
    if (!ReadNumber(f[4], kCtrMaxWarningDistance, warning)) return -11;
    core::CtrRecord& zone = zones_.emplace_back();
    airspace::SetCtrText(zone.name, f[3]);
    zone.nameLength = static_cast<int32_t>(std::strlen(zone.name));
    zone.warningDistance = static_cast<int32_t>(warning);
    count_ = static_cast<int>(count);
    next_ = 1;
    state_ = ZoneState::AfterStart;
    return 0;
  }
  core::CtrRecord& zone = zones_.back();
  if (state_ == ZoneState::AfterStart) {
    if (number != next_) return -13;
    // Everything after the third comma, commas included.
    size_t at = 0;
    for (int commas = 0; commas < 3; ++commas) at = body.find(',', at) + 1;
    airspace::SetCtrText(zone.floor, body.substr(at));
    ++next_;
    state_ = ZoneState::Segments;
    return 0;
  }
  if (number != next_) return -14;
  if (f.size() < 4 || f[3].empty()) return -15;
  const std::string_view type = f[3];
  if (type != "P" && type != "C" && type != "X" && type != "T" && type != "Z") return -16;
  // Fields after the type: shift so that the position reads from index 3 on.
  const std::vector<std::string_view> g(f.begin() + 1, f.end());
  const bool last = number == count_ - 1;
  switch (state_) {
    case ZoneState::Segments: {
      core::CtrSegment s;
      if (type == "P" || type == "C" || type == "X") {
        if (const int code = ReadPosition(g, s.latitude, s.longitude); code != 0) return -code;
      }
      if (type == "P") {
        s.kind = 'P';
        zone.segments.push_back(s);
      } else if (type == "C") {
        int64_t radius = 0;
        if (g.size() <= 7 || g[7].empty()) return -27;
        if (!ReadNumber(g[7], kCtrMaxRadius, radius)) return -28;
        if (number != 2) return -34;
        if (count_ != 3) return -35;
        s.kind = 'C';
        s.radius = static_cast<int32_t>(radius);
        zone.segments.push_back(s);
      } else if (type == "X") {
        if (last) return -37;
        arc_ = {};
        arc_.kind = 'A';
        arc_.latitude = s.latitude;
        arc_.longitude = s.longitude;
        state_ = ZoneState::AfterCentre;
      } else {
        return -38;
      }
      break;
    }
    case ZoneState::AfterCentre: {
      if (type != "T") return -40;
      if (const int code = ReadPosition(g, arc_.startLatitude, arc_.startLongitude); code != 0) return -code;
      if (const int code = ReadDirection(g, arc_.direction); code != 0) return -code;
      if (last) return -39;
      state_ = ZoneState::AfterStartPoint;
      break;
    }
    case ZoneState::AfterStartPoint: {
      if (type != "Z") return -41;
      if (const int code = ReadPosition(g, arc_.endLatitude, arc_.endLongitude); code != 0) return -code;
      if (const int code = ReadDirection(g, arc_.direction); code != 0) return -code;
      zone.segments.push_back(arc_);
      state_ = ZoneState::Segments;
      break;
    }
    default:
      return -38;
  }
  ++next_;
  if (last) {
    state_ = ZoneState::Between;
    return kCtrZoneComplete;
  }
  return 0;
}

// ---- steps -------------------------------------------------------------------------------

int WaitCtrAck(FlytecSession& session) {
  core::Operation& operation = session.link.operation();
  operation.Status("Waiting for CTR transfer ack.");
  CtrAckParser parser;
  while (true) {
    uint8_t byte = 0;
    const int got = session.reader.Next(byte, kCtrAckLimitMs);
    if (got == access::kReadTimeout) return Fail(session, kCtrAckCaption, "Missing CTR upload ack.");
    if (got != access::kReadComplete) return Fail(session, kCtrAckCaption, "E601 COM port read error");
    const int parsed = parser.Feed(byte);
    if (parsed < 0) return Fail(session, kCtrAckCaption, FormatCounts("E600 Format error %", -parsed));
    if (parsed == kParseComplete) break;
  }
  if (parser.status() != '1') return Fail(session, kCtrAckCaption, CtrAckStatusText(parser.status()));
  operation.Status("CTR transfer ok");
  session.link.clock().SleepMs(kCtrAckPauseMs);
  return 0;
}

int UploadCtrs(FlytecSession& session, const core::CtrList& zones) {
  core::Operation& operation = session.link.operation();
  core::Clock& clock = session.link.clock();
  int sent = 0;  // segments of the current zone
  // One sentence; an abort ends the upload with the segment count in the status line.
  auto send = [&](const std::string& sentence) {
    if (session.link.Cancelled()) {
      operation.Status(FormatCounts("% CTR segments sent", sent));
      return -1;
    }
    if (session.link.WriteText(sentence) != 0) return Fail(session, kUploadCtrCaption, "COM port write error");
    return 0;
  };
  for (const core::CtrRecord& zone : zones) {
    if (!zone.selected) continue;
    const std::vector<std::string> sentences = CtrUploadSentences(zone);
    size_t next = 0;
    sent = 0;
    if (send(sentences[next++]) != 0) return -1;
    operation.Status("CTR name sent");
    clock.SleepMs(kSentencePauseMs);
    if (send(sentences[next++]) != 0) return -1;
    operation.Status("CTR remark sent");
    clock.SleepMs(kSentencePauseMs);
    for (const core::CtrSegment& s : zone.segments) {
      if (s.kind == 'A') {
        if (send(sentences[next++]) != 0) return -1;
        clock.SleepMs(kArcPauseMs);
        if (send(sentences[next++]) != 0) return -1;
        clock.SleepMs(kArcPauseMs);
        if (send(sentences[next++]) != 0) return -1;
      } else {
        if (send(sentences[next++]) != 0) return -1;
      }
      clock.SleepMs(kSentencePauseMs);
      operation.Status(FormatCounts("% CTR segments sent", ++sent));
    }
    // A refused or missing acknowledgement ends the upload: the zones after it are not sent.
    if (WaitCtrAck(session) != 0) return -1;
  }
  return 0;
}

int DownloadCtrList(FlytecSession& session, core::CtrList& out) {
  core::Operation& operation = session.link.operation();
  operation.Status("Requesting CTR list");
  if (session.link.Cancelled()) return Fail(session, kReadCtrListCaption, "");
  if (session.link.WriteText(kCtrListRequest) != 0) return Fail(session, kReadCtrListCaption, "E700 COM port write error");
  CtrListParser parser;
  int received = 0;
  while (true) {
    uint8_t byte = 0;
    const int got = session.reader.Next(byte, kCtrListLimitMs);
    if (got == access::kReadTimeout) return Fail(session, kReadCtrListCaption, "E704 CTR list timeout");
    if (got != access::kReadComplete) return Fail(session, kReadCtrListCaption, "E701 COM port read error");
    const int collected = parser.Feed(byte);
    if (collected < 0) return Fail(session, kReadCtrListCaption, FormatCounts("E703 Format error %", -collected));
    if (collected != kParseComplete) continue;
    const bool wasBetween = !parser.inZone();
    const int result = parser.Interpret();
    if (result < 0) return Fail(session, kReadCtrListCaption, FormatCounts("E702 Format error %", -result));
    if (result == kCtrListEnd) break;
    if (wasBetween && received == 0) operation.Status("Receiving CTR list");
    if (result == kCtrZoneComplete) operation.Status(FormatCounts("% CTRs received", ++received));
  }
  operation.Status(FormatCounts("% CTR(s) received", received));
  out = std::move(parser.zones());
  return 0;
}

// ---- routines ----------------------------------------------------------------------------

int FlytecSendCtrs(access::AccessJob& job) {
  if (const std::string refused = CheckCtrUploadFits(job.data.ctrs); !refused.empty()) {
    job.operation().Fail(kUploadCtrCaption, refused);
    return -1;
  }
  FlytecSession session(job.link());
  if (RequestProductData(session) != 0) return -1;
  if (UploadCtrs(session, job.data.ctrs) != 0) return -1;
  job.origin = kFlytecOrigin;
  return 0;
}

int FlytecReadCtrs(access::AccessJob& job) {
  job.link().capture().Clear();
  FlytecSession session(job.link());
  if (RequestProductData(session) != 0) return -1;
  core::CtrList zones;
  if (DownloadCtrList(session, zones) != 0) return -1;
  job.count = static_cast<int>(zones.size());
  job.data.ctrs = std::move(zones);
  job.origin = kFlytecOrigin;
  return 0;
}

void RegisterFlytecCtrRoutines(access::AccessRoutineTable& table) {
  table.Register(access::kAccessUploadCtrs, access::kProtocolFlytec, FlytecSendCtrs);
  table.Register(access::kAccessDownloadCtrs, access::kProtocolFlytec, FlytecReadCtrs);
}

}  // namespace tarnvik::devices::flytec
