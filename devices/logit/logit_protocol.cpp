#include "devices/logit/logit_protocol.h"

#include <cstdio>

namespace tarnvik::devices::logit {
namespace {

uint32_t ReadU32Be(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The XOR of the characters between "$" and "*" against the two digits at star + 1, then CR.
// 0, or the code for bad digits (first), a missing CR (first + 1), a mismatch (first + 2).
int CheckXor(std::string_view line, size_t star, int first) {
  if (star + 3 > line.size()) return first;
  const int hi = HexDigit(line[star + 1]);
  const int lo = HexDigit(line[star + 2]);
  if (hi < 0 || lo < 0) return first;
  if (star + 3 >= line.size() || line[star + 3] != '\r') return first + 1;
  uint8_t sum = 0;
  for (size_t i = 1; i < star; ++i) sum ^= static_cast<uint8_t>(line[i]);
  if (sum != hi * 16 + lo) return first + 2;
  return 0;
}

}  // namespace

std::string CommandSentence(std::string_view body) {
  unsigned sum = 0;
  for (char c : body) sum += static_cast<uint8_t>(c);
  char digits[8];
  std::snprintf(digits, sizeof digits, "%04X", sum & 0xFFFFu);
  std::string out(body);
  out += digits;
  out += "\r\n";
  return out;
}

std::string SpeedSentence(int baud) {
  switch (baud) {
    case 19200: return CommandSentence("$PMLR,24,02,0100,");
    case 38400: return CommandSentence("$PMLR,24,02,0101,");
    case 57600: return CommandSentence("$PMLR,24,02,0102,");
    case 115200: return CommandSentence("$PMLR,24,02,0103,");
    default: return CommandSentence("$PMLR,24,02,0110,");
  }
}

std::string ResendSentence(int point) { return CommandSentence("$PMLR,59," + std::to_string(point) + ","); }

std::string SentenceSafe(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == ',' || c == '*' || c == '$' || c == '\r' || c == '\n') c = ' ';
  }
  return out;
}

std::string NormaliseSpaces(std::string_view text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    const bool isBlank = c == ' ' || c == '\t';
    if (isBlank) {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

std::string NameField(std::string_view input) {
  std::string name = NormaliseSpaces(SentenceSafe(input));
  if (name.size() > 9) name = NormaliseSpaces(name.substr(0, 9));
  if (name.empty()) return {};
  name.resize(9, ' ');
  return name;
}

std::string NameSentence(std::string_view name) {
  std::string field = SentenceSafe(name);
  field.resize(9, ' ');
  return "$PMLR,IDGPS,01," + field + ",       *00\r\n";
}

ReplyAssembler::Result ReplyAssembler::Feed(uint8_t byte) {
  if (!inLine_) {
    if (byte != '$') return kMore;
    inLine_ = true;
    line_.clear();
  }
  if (line_.size() >= kMaxLine) {
    inLine_ = false;
    return kTooLong;
  }
  line_ += static_cast<char>(byte);
  if (byte == '\n') {
    inLine_ = false;
    return kLine;
  }
  return kMore;
}

int ParseIdReply(std::string_view line, const std::array<size_t, 4>& fieldLimits, std::array<std::string, 4>& fields) {
  constexpr std::string_view kPrefix = "$PMLR,IDGPS,01,";
  if (line.substr(0, kPrefix.size()) != kPrefix) return 1;
  size_t i = kPrefix.size();
  for (int f = 0; f < 4; ++f) {
    const char end = f < 3 ? ',' : '*';
    while (i < line.size() && line[i] == ' ') ++i;
    std::string value;
    for (;;) {
      if (i >= line.size() || line[i] == '\r' || line[i] == '\n') return 2 * (f + 1);
      if (line[i] == end) break;
      if (value.size() >= fieldLimits[static_cast<size_t>(f)]) return 2 * (f + 1) + 1;
      value += line[i++];
    }
    fields[static_cast<size_t>(f)] = std::move(value);
    ++i;
  }
  return CheckXor(line, i - 1, 10);
}

int ParseCountReply(std::string_view line, int& count) {
  constexpr std::string_view kPrefix = "$PMLR,NUMTRACKPOINTS,";
  if (line.substr(0, kPrefix.size()) != kPrefix) return 1;
  size_t i = kPrefix.size();
  int64_t value = 0;
  size_t digits = 0;
  while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
    value = value * 10 + (line[i] - '0');
    if (value > kMaxCount) return 3;
    ++digits;
    ++i;
  }
  if (digits == 0) return 2;
  if (i >= line.size() || line[i] != '*') return 4;
  if (const int code = CheckXor(line, i, 5)) return code;
  count = static_cast<int>(value);
  return 0;
}

PacketAssembler::PacketAssembler(const PacketFamily& family) : family_(family), bytes_(family.MaxPacket()) {}

PacketAssembler::Result PacketAssembler::Error(int code) {
  code_ = code;
  Reset();
  return kError;
}

PacketAssembler::Result PacketAssembler::Feed(uint8_t byte) {
  if (size_ == 0 && byte != 0x8B) return kMore;
  bytes_[size_++] = byte;
  if (size_ == 3 && byte != static_cast<uint8_t>(family_.letter)) return Error(kBadLetter);
  if (size_ == 4 && byte != family_.kind) return Error(kBadKind);
  if (size_ == 5) {
    records_ = 0;
    switch (byte) {
      case 'D': type_ = PacketType::Begin; need_ = 5 + 4 + 4; break;
      case 'F': type_ = PacketType::End; need_ = 5 + 2 + 4; break;
      case 'R': type_ = PacketType::Restart; need_ = 5 + 6 + 4; break;
      case 0: type_ = PacketType::Data; need_ = 6; break;
      default: return Error(kUnknownType);
    }
    return kMore;
  }
  if (size_ == 6 && type_ == PacketType::Data) {
    if (byte == 0 || byte > family_.maxRecords) return Error(kBadRecordCount);
    records_ = byte;
    need_ = 6 + family_.recordSize * records_ + 4;
    return kMore;
  }
  if (size_ < need_) return kMore;
  // Complete: words, sum, CR LF.
  static constexpr std::string_view kWords[] = {"DEBUT", "FIN", "RESTART"};
  static constexpr int kWordCodes[] = {kBadBegin, kBadEnd, kBadRestart};
  const int word = type_ == PacketType::Begin ? 0 : type_ == PacketType::End ? 1 : type_ == PacketType::Restart ? 2 : -1;
  if (word >= 0) {
    const std::string_view w = kWords[word];
    if (std::string_view(reinterpret_cast<const char*>(bytes_.data()) + 4, w.size()) != w) return Error(kWordCodes[word]);
  }
  unsigned sum = 0;
  for (size_t i = 0; i + 4 < size_; ++i) sum += bytes_[i];
  const unsigned got = (static_cast<unsigned>(bytes_[size_ - 4]) << 8) | bytes_[size_ - 3];
  if ((sum & 0xFFFFu) != got) return Error(kBadSum);
  if (bytes_[size_ - 2] != '\r' || bytes_[size_ - 1] != '\n') return Error(kNoCrLf);
  code_ = 0;
  size_ = 0;
  need_ = 5;
  return kPacket;
}

std::vector<uint8_t> BuildPacket(const PacketFamily& family, uint8_t sequence, PacketType type,
                                 const std::vector<uint8_t>& records, int recordCount) {
  std::vector<uint8_t> p{0x8B, sequence, static_cast<uint8_t>(family.letter), family.kind};
  const char* word = type == PacketType::Begin ? "DEBUT" : type == PacketType::End ? "FIN" : type == PacketType::Restart ? "RESTART" : nullptr;
  if (word) {
    for (const char* c = word; *c; ++c) p.push_back(static_cast<uint8_t>(*c));
  } else {
    p.push_back(0);
    p.push_back(static_cast<uint8_t>(recordCount));
    p.insert(p.end(), records.begin(), records.end());
  }
  unsigned sum = 0;
  for (uint8_t b : p) sum += b;
  p.push_back(static_cast<uint8_t>((sum >> 8) & 0xFF));
  p.push_back(static_cast<uint8_t>(sum & 0xFF));
  p.push_back('\r');
  p.push_back('\n');
  return p;
}

int GpsLeapSeconds(uint32_t time) {
  struct Step {
    uint32_t from;
    int seconds;
  };
  // Program times of 2006-01-01, 2009-01-01, 2012-07-01, 2015-07-01 and 2017-01-01 UTC.
  static constexpr Step kSteps[] = {{852163200u, 18}, {804643200u, 17}, {710035200u, 16}, {599702400u, 15}, {505008000u, 14}};
  for (const Step& s : kSteps) {
    // The GPS-scale time runs ahead of UTC by the count valid at that moment.
    if (time >= s.from + static_cast<uint32_t>(s.seconds)) return s.seconds;
  }
  return 13;
}

uint32_t RecordTime(uint32_t deviceTime, bool gpsTime) {
  if (deviceTime < kGpsEpochOffset) return 0;
  uint32_t t = deviceTime - kGpsEpochOffset;
  if (gpsTime) {
    const uint32_t leap = static_cast<uint32_t>(GpsLeapSeconds(t));
    t = t > leap ? t - leap : 0;
  }
  return t;
}

TrackRecord DecodeTrackRecord(const uint8_t* p, bool gpsTime) {
  TrackRecord r;
  r.number = static_cast<uint16_t>((p[0] << 8) | p[1]);
  r.point.time = RecordTime(ReadU32Be(p + 2), gpsTime);
  r.point.latitude = static_cast<int32_t>(ReadU32Be(p + 6));
  r.point.longitude = static_cast<int32_t>(ReadU32Be(p + 10));
  uint32_t h = (static_cast<uint32_t>(p[14]) << 16) | (static_cast<uint32_t>(p[15]) << 8) | p[16];
  if (h & 0x800000u) h |= 0xFF000000u;
  r.point.height = static_cast<int32_t>(h);
  r.flag = p[17];
  r.point.flags = (p[17] & 0x0F) == 1 ? 1u : 0u;
  return r;
}

bool DecodeWaypointRecord(const uint8_t* p, bool gpsTime, core::Waypoint& out) {
  out = core::Waypoint{};
  const std::string name(reinterpret_cast<const char*>(p), 6);
  if (core::NormaliseWaypointId(name, out.id, true) != 0) return false;
  (void)RecordTime(ReadU32Be(p + 6), gpsTime);
  out.latitude = static_cast<int32_t>(ReadU32Be(p + 10));
  out.longitude = static_cast<int32_t>(ReadU32Be(p + 14));
  uint32_t h = (static_cast<uint32_t>(p[18]) << 16) | (static_cast<uint32_t>(p[19]) << 8) | p[20];
  if (h & 0x800000u) h |= 0xFF000000u;
  out.altitude = static_cast<int32_t>(h) / 10;  // decimetres, as in a track record
  return true;
}

int VersionHundredths(std::string_view field) {
  size_t i = 0;
  while (i < field.size() && field[i] == ' ') ++i;
  int major = 0;
  size_t digits = 0;
  while (i < field.size() && field[i] >= '0' && field[i] <= '9' && digits < 2) {
    major = major * 10 + (field[i] - '0');
    ++digits;
    ++i;
  }
  if (digits == 0) return -1;
  int minor = 0;
  if (i < field.size() && field[i] == '.') {
    ++i;
    int scale = 10;
    while (i < field.size() && field[i] >= '0' && field[i] <= '9' && scale > 0) {
      minor += (field[i] - '0') * scale;
      scale /= 10;
      ++i;
    }
  }
  return major * 100 + minor;
}

bool ReportsGpsTime(int v) { return v >= 0 && (v < 272 || (v >= 990 && v < 1000)); }

}  // namespace tarnvik::devices::logit
