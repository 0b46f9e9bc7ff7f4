#include "devices/xctrainer/xctrainer_records.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/two_digit_year.h"

namespace tarnvik::devices::xctrainer {
namespace {

// Semicircles per unit of 1/24000 degree (MXP) and of 1/6000 degree (TNC, "@@WP").
constexpr double kMxpFactor = 497.1026962963;
constexpr double kTncFactor = 4 * kMxpFactor;
constexpr double kSemicirclesPerDegree = 2147483648.0 / 180.0;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// count hexadecimal digits at pos; false when one is not hexadecimal.
bool Hex(std::string_view s, size_t pos, size_t count, int64_t& value) {
  if (pos + count > s.size()) return false;
  value = 0;
  for (size_t i = 0; i < count; ++i) {
    const int d = HexDigit(s[pos + i]);
    if (d < 0) return false;
    value = value * 16 + d;
  }
  return true;
}

bool Decimal(std::string_view s, size_t pos, size_t count, int& value) {
  if (pos + count > s.size()) return false;
  value = 0;
  for (size_t i = 0; i < count; ++i) {
    const char c = s[pos + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

int64_t SignExtend(int64_t value, int bits) {
  const int64_t sign = int64_t{1} << (bits - 1);
  return (value ^ sign) - sign;
}

uint8_t Xor(std::string_view s, size_t count) {
  uint8_t x = 0;
  for (size_t i = 0; i < count; ++i) x ^= static_cast<uint8_t>(s[i]);
  return x;
}

// The checksum test both MXP lines share: 0, 3 (digits) or 4 (value).
int CheckMxpChecksum(std::string_view line, size_t at) {
  int64_t sum = 0;
  if (!Hex(line, at, 2, sum)) return 3;
  return Xor(line, at) == sum ? 0 : 4;
}

std::optional<uint32_t> DateAt(int twoDigitYear, int month, int day) {
  if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  core::SystemTime t;
  t.year = static_cast<uint16_t>(core::YearFromTwoDigits(twoDigitYear));
  t.month = static_cast<uint16_t>(month);
  t.day = static_cast<uint16_t>(day);
  return core::CalendarToTime(t);
}

}  // namespace

// ---- lines --------------------------------------------------------------------------------------

LineAssembler::Result LineAssembler::Feed(uint8_t byte) {
  if (byte == kXon || byte == kXoff) return kMore;
  if (byte == '\n') {
    line_ = std::move(text_);
    // Bytes between the CR and the LF mean a damaged line end (the next line may be lost in
    // it): the text keeps a CR, so that no record form matches it.
    if (damaged_) line_.push_back('\r');
    Reset();
    return kLine;
  }
  if (++length_ > kMaxLineLength) {
    Reset();
    return kTooLong;
  }
  // A CR (or a NUL) ends the line's text; the rest up to the LF is not part of it.
  if (byte == '\r' || byte == 0) textEnded_ = true;
  else if (!textEnded_) text_.push_back(static_cast<char>(byte));
  else damaged_ = true;
  return kMore;
}

std::string LineAssembler::TakePending() {
  std::string text = std::move(text_);
  Reset();
  return text;
}

void LineAssembler::Reset() {
  text_.clear();
  length_ = 0;
  textEnded_ = false;
  damaged_ = false;
}

// ---- MXP ---------------------------------------------------------------------------------------

int ParseMxpHeader(std::string_view line, int protocol, MxpHeader& out) {
  out = MxpHeader();
  if (line.size() < 38) return 2;
  if (const int c = CheckMxpChecksum(line, 36)) return c;
  const std::string_view id = line.substr(0, 3);
  if (id != (protocol == 10 ? "@xc" : "@tn")) return 5;
  out.xcTrainer = protocol == 10;
  std::memcpy(out.version, line.data() + 3, 4);
  int64_t v = 0;
  if (!Hex(line, 7, 4, v)) return 17;
  out.serial = static_cast<int>(v);
  int yy = 0, mo = 0, dd = 0, hh = 0, mi = 0, ss = 0;
  if (!Decimal(line, 13, 2, yy) || !Decimal(line, 15, 2, mo) || !Decimal(line, 17, 2, dd) ||
      !Decimal(line, 19, 2, hh) || !Decimal(line, 21, 2, mi) || !Decimal(line, 23, 2, ss)) {
    return 6;
  }
  const std::optional<uint32_t> date = DateAt(yy, mo, dd);
  if (!date || hh > 24 || mi > 59 || ss > 59) return 7;
  out.start = *date + static_cast<uint32_t>(hh * 3600 + mi * 60 + ss);
  if (!Hex(line, 25, 2, v) || v != 1) return 8;
  if (!Hex(line, 27, 4, v)) return 9;
  out.count = static_cast<int>(v);
  if (!Hex(line, 31, 2, v)) return 10;
  return 0;
}

std::string MxpProductText(const MxpHeader& h) {
  std::string text;
  if (h.xcTrainer) {
    text = "XC Trainer V";
    text += h.version[0];
    text += '.';
    text += h.version[1];
    text += '-';
    text.append(h.version + 2, 2);
  } else {
    text = "Top Navigator V";
    text += h.version[0];
    text += '.';
    text.append(h.version + 1, 3);
  }
  return text + ", S/N " + std::to_string(h.serial);
}

int ParseMxpData(std::string_view line, int expectedRecord, MxpFix& out) {
  out = MxpFix();
  if (line.size() < 28) return 2;
  if (const int c = CheckMxpChecksum(line, 26)) return c;
  int64_t v = 0;
  if (!Hex(line, 0, 4, v)) return 11;
  out.record = static_cast<int>(v);
  if (out.record != expectedRecord) return 12;
  if (!Hex(line, 4, 4, v)) return 13;
  out.offset = static_cast<int>(v);
  int64_t lat = 0, lon = 0;
  if (!Hex(line, 10, 6, lat) || !Hex(line, 16, 6, lon)) return 14;
  // 24 bits reach +-349 degrees: the checked conversions refuse what lies beyond the globe.
  const std::optional<int32_t> latitude = core::CheckedLatitude(static_cast<double>(SignExtend(lat, 24)) * kMxpFactor);
  const std::optional<int32_t> longitude = core::CheckedLongitude(static_cast<double>(SignExtend(lon, 24)) * kMxpFactor);
  if (!latitude || !longitude) return 14;
  out.latitude = *latitude;
  out.longitude = *longitude;
  if (!Hex(line, 22, 4, v)) return 15;
  out.height = static_cast<int>(SignExtend(v, 16));
  return 0;
}

std::string MxpCodeText(int code) {
  static constexpr const char* kTexts[] = {
      nullptr,
      "E202 Too long line",
      "E202 Too short line",
      "E202 Bad checksum format",
      "E202 Bad checksum",
      "E202 Bad identifier",
      "E202 Bad start time entry",
      "E202 Bad start time value",
      "E202 Bad geodetic ID",
      "E202 Bad track positions entry",
      "E202 Bad interval entry",
      "E202 Bad record number entry",
      "E202 Bad record number sequence",
      "E202 Bad position time entry",
      "E202 Bad position value entry",
      "E202 Bad height entry",
      "E202 Memory allocation error",
      "E202 Bad S/N entry",
  };
  if (code >= 1 && code <= 17) return kTexts[code];
  return "E202 Unknown error";
}

int MxpLog::Add(std::string_view line) {
  MxpFix fix;
  if (const int code = ParseMxpData(line, static_cast<int>(points.size()), fix)) return code;
  // The offset is a 16-bit counter: a smaller one than before means it wrapped.
  if (fix.offset < lastOffset_) wraps_ += 65536;
  lastOffset_ = fix.offset;
  const std::optional<uint32_t> time = core::CheckedTime(static_cast<double>(header_.start + wraps_ + fix.offset));
  if (!time) return 13;
  core::TrackPoint p;
  p.flags = points.empty() ? 1 : 0;
  p.time = *time;
  p.latitude = fix.latitude;
  p.longitude = fix.longitude;
  p.height = core::TrackHeightFromMetres(fix.height);
  try {
    points.push_back(p);
  } catch (const std::bad_alloc&) {
    return 16;
  }
  return 0;
}

// ---- TNC log ------------------------------------------------------------------------------------

std::string NormaliseBlanks(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  bool blank = false;
  for (char c : line) {
    if (c == ' ') {
      blank = !out.empty();
      continue;
    }
    if (blank) out.push_back(' ');
    blank = false;
    out.push_back(c);
  }
  return out;
}

bool ParseTncStart(std::string_view line, TncStart& out) {
  out = TncStart();
  if (line.size() != 78 || line.substr(0, 3) != "@TN") return false;
  int64_t v = 0;
  if (!Hex(line, 5, 4, v)) return false;
  int yy = 0, mo = 0, dd = 0, digits = 0;
  if (!Decimal(line, 15, 2, yy) || !Decimal(line, 17, 2, mo) || !Decimal(line, 19, 2, dd)) return false;
  for (size_t i = 21; i <= 28; ++i) {
    if (!Decimal(line, i, 1, digits)) return false;
  }
  int64_t offset = 0;
  if (!Hex(line, 29, 2, offset)) return false;
  if (!Hex(line, 42, 14, v) || !Hex(line, 56, 14, v) || !Hex(line, 72, 6, v)) return false;
  const std::optional<uint32_t> date = DateAt(yy, mo, dd);
  if (!date) return false;
  out.date = *date;
  // Hours of local time ahead of UTC, a two's complement byte; beyond +-14 h it is no zone.
  const int hours = static_cast<int>(SignExtend(offset, 8));
  out.offsetValid = hours >= -14 && hours <= 14;
  out.offsetHours = out.offsetValid ? hours : 0;
  return true;
}

int ParseTncTime(std::string_view line) {
  if (line.size() != 14) return -1;
  int hh = 0, mm = 0, ss = 0, digit = 0;
  int64_t v = 0;
  if (!Decimal(line, 0, 2, hh) || !Decimal(line, 2, 2, mm) || !Decimal(line, 4, 2, ss)) return -1;
  if (hh > 23 || mm > 59 || ss > 59) return -1;
  if (!Hex(line, 6, 4, v) || !Decimal(line, 10, 1, digit)) return -1;
  if (line[11] != 'A' || line[12] != 'C') return -1;
  return hh * 3600 + mm * 60 + ss;
}

bool ParseTncPosition(std::string_view line, int32_t& latitude, int32_t& longitude, int& height) {
  if (line.size() != 30) return false;
  int64_t lat = 0, lon = 0, h = 0, unused = 0;
  if (!Hex(line, 0, 6, lat) || !Hex(line, 6, 6, lon) || !Hex(line, 12, 4, h)) return false;
  if (!Hex(line, 16, 11, unused)) return false;
  lat = SignExtend(lat, 24);
  lon = SignExtend(lon, 24);
  if (lat > 540000 || lat < -540000 || lon > 1080000 || lon < -1080000) return false;
  const std::optional<int32_t> la = core::CheckedLatitude(static_cast<double>(lat) * kTncFactor);
  const std::optional<int32_t> lo = core::CheckedLongitude(static_cast<double>(lon) * kTncFactor);
  if (!la || !lo) return false;
  latitude = *la;
  longitude = *lo;
  height = static_cast<int>(SignExtend(h, 16));
  return true;
}

int TncLogParser::Feed(std::string_view raw) {
  if (state_ == State::Done) return kEnd;
  if (state_ == State::Start) {
    // The start record is tested as received: blank runs inside it are part of its 78 characters.
    if (ParseTncStart(raw, start_)) state_ = State::FirstTime;
    return kMore;
  }
  const std::string line = NormaliseBlanks(raw);
  if (line.empty()) return kMore;
  if (state_ == State::FirstTime) {
    const int t = ParseTncTime(line);
    if (t < 0) return 1;
    blockTime_ = t;
    dayOffset_ = 0;
    state_ = State::Block;
    return kMore;
  }
  if (line == "@EOF") {
    state_ = State::Done;
    const int code = CloseBlock(true);
    return code ? code : kEnd;
  }
  const int t = ParseTncTime(line);
  if (t >= 0) {
    if (const int code = CloseBlock(false)) return code + 10;
    int64_t day = dayOffset_;
    if (t < blockTime_) day += 86400;
    if (day + t - (dayOffset_ + blockTime_) < 30) return 2;
    dayOffset_ = day;
    blockTime_ = t;
    return kMore;
  }
  if (block_.size() >= 40) return 3;
  Entry e;
  e.good = ParseTncPosition(line, e.latitude, e.longitude, e.height);
  block_.push_back(e);
  return kMore;
}

int TncLogParser::CloseBlock(bool atEnd) {
  const int n = static_cast<int>(block_.size());
  if (n == 0) return 0;
  // Local time of the block's first fix, made UTC with the start record's offset when it has one.
  const int64_t base = int64_t{start_.date} + dayOffset_ + blockTime_ - int64_t{start_.offsetHours} * 3600;
  auto store = [&](int i, int64_t time) {
    const std::optional<uint32_t> t = core::CheckedTime(static_cast<double>(time));
    if (!t) {
      blockEntry_ = i + 1;
      return 13;
    }
    core::TrackPoint p;
    p.flags = points.empty() ? 1 : 0;
    p.time = *t;
    p.latitude = block_[static_cast<size_t>(i)].latitude;
    p.longitude = block_[static_cast<size_t>(i)].longitude;
    p.height = core::TrackHeightFromMetres(block_[static_cast<size_t>(i)].height);
    try {
      points.push_back(p);
    } catch (const std::bad_alloc&) {
      blockEntry_ = i + 1;
      return 12;
    }
    return 0;
  };
  int code = 0;
  if (block_[0].good) {
    for (int i = 0; i < n && code == 0; ++i) {
      if (!block_[static_cast<size_t>(i)].good) code = 11;
      else if (i >= 30) code = 13;
      if (code) blockEntry_ = i + 1;
      else code = store(i, base + i);
    }
  } else {
    // The instrument lost the block's first fixes: the good entries are its last ones, the
    // block's final fix lying 29 s after the block time.
    ++erroneousBlocks_;
    int first = 0;
    while (first < n && !block_[static_cast<size_t>(first)].good) ++first;
    if (first < n && atEnd) {
      blockEntry_ = first + 1;
      code = 10;
    }
    for (int i = first; i < n && code == 0; ++i) {
      if (!block_[static_cast<size_t>(i)].good) code = 11;
      else if (i + 30 < n) code = 14;
      if (code) blockEntry_ = i + 1;
      else code = store(i, base + 30 - n + i);
    }
  }
  block_.clear();
  return code;
}

formats::TrackParseResult ParseTncLogFile(core::Ui& ui, std::string_view bytes) {
  constexpr const char* kCaption = "Reading Top Navigator Log File";
  formats::TrackParseResult result;
  TncLogParser parser;
  try {
    parser.points.reserve(100);
  } catch (const std::bad_alloc&) {
    ui.ShowMessage(kCaption, "Track log memory allocation", core::Icon::Information);
    return result;
  }
  LineAssembler lines;
  int lineNumber = 0;
  char text[64];
  auto fail = [&](const char* pattern, int code, int where) {
    std::snprintf(text, sizeof text, pattern, code, where);
    ui.ShowMessage(kCaption, text, core::Icon::Information);
    return result;
  };
  // One line through the record parser: true to go on.
  int failed = 0;
  bool ended = false;
  auto take = [&](const std::string& line) {
    ++lineNumber;
    const int r = parser.Feed(line);
    if (r == TncLogParser::kEnd) ended = true;
    if (r > 0) failed = r;
    return r == TncLogParser::kMore;
  };
  auto report = [&] {
    if (TncLogParser::IsBlockCode(failed)) return fail("Error %d on block line %d", failed, parser.blockEntry());
    return fail("Error %d on line %d", failed, lineNumber);
  };
  // The bytes go through in chunks of 200, as they would arrive from the port.
  for (size_t at = 0; at < bytes.size() && !ended; at += 200) {
    const std::string_view chunk = bytes.substr(at, 200);
    for (size_t i = 0; i < chunk.size() && !ended; ++i) {
      const LineAssembler::Result r = lines.Feed(static_cast<uint8_t>(chunk[i]));
      if (r == LineAssembler::kTooLong) return fail("Error %d on line %d", 1, lineNumber + 1);
      if (r == LineAssembler::kLine && !take(lines.line()) && !ended) return report();
    }
  }
  // A last line without its LF (an "@EOF" at the very end of the file) is still a line.
  if (!ended && lines.Pending() && !take(lines.TakePending()) && !ended) return report();
  if (!parser.StartFound()) {
    ui.ShowMessage(kCaption, "Missing start record", core::Icon::Information);
    return result;
  }
  if (!ended) {
    ui.ShowMessage(kCaption, "Missing end-of-file record", core::Icon::Information);
    return result;
  }
  if (parser.points.empty()) return result;
  result.result = static_cast<int>(parser.points.size());
  result.fixes = std::move(parser.points);
  result.extra = parser.utc() ? 1 : 0;
  return result;
}

// ---- waypoints ----------------------------------------------------------------------------------

int ParseTncWaypointLine(std::string_view raw, core::Waypoint& out) {
  const std::string line = NormaliseBlanks(raw);
  if (line.empty() || line[0] == ';') return -1;
  std::vector<std::string_view> f;
  std::string_view rest = line;
  while (!rest.empty()) {
    const size_t space = rest.find(' ');
    f.push_back(rest.substr(0, space));
    if (space == std::string_view::npos) break;
    rest.remove_prefix(space + 1);
  }
  if (f.size() != 13 || f[2] != "TPT" || f[12] != "m") return -1;
  auto number = [](std::string_view s, int& value) {
    if (s.empty() || s.size() > 6) return false;
    return Decimal(s, 0, s.size(), value);
  };
  auto angle = [&](size_t at, int maxDegrees, double& degrees) {
    int d = 0, m = 0, s = 0;
    if (!number(f[at], d) || !number(f[at + 1], m) || !number(f[at + 2], s)) return false;
    if (d > maxDegrees || m > 59 || s > 59) return false;
    degrees = d + m / 60.0 + s / 3600.0;
    return true;
  };
  double lat = 0, lon = 0;
  if ((f[3] != "N" && f[3] != "S") || !angle(4, 89, lat)) return -1;
  if ((f[7] != "E" && f[7] != "W") || !angle(8, 179, lon)) return -1;
  std::string_view alt = f[11];
  const bool negative = !alt.empty() && alt[0] == '-';
  if (negative) alt.remove_prefix(1);
  int altitude = 0;
  if (!number(alt, altitude)) return -1;
  const std::optional<int32_t> la = core::LatitudeFromDegrees(f[3] == "S" ? -lat : lat);
  const std::optional<int32_t> lo = core::LongitudeFromDegrees(f[7] == "W" ? -lon : lon);
  if (!la || !lo) return -1;
  std::string_view id = f[0].substr(0, 6);
  if (id.size() == 6) {
    while (!id.empty() && id.back() == '_') id.remove_suffix(1);
  }
  out = core::Waypoint();
  core::CleanInstrumentText(id, out.id, sizeof out.id);
  out.latitude = *la;
  out.longitude = *lo;
  out.altitude = negative ? 0 : altitude;
  return 0;
}

WaypointPacket BuildWaypointPacket(const core::Waypoint& w) {
  WaypointPacket p{};
  std::memcpy(p.data(), "@@WP", 4);
  p[4] = 0x81;
  const int altitude = w.altitude < 0 ? 0 : (w.altitude > 0xFFFF ? 0xFFFF : w.altitude);
  p[5] = static_cast<uint8_t>(altitude >> 8);
  p[6] = static_cast<uint8_t>(altitude & 0xFF);
  const size_t idLength = strnlen(w.id, sizeof w.id - 1);
  for (size_t i = 0; i < 11; ++i) p[7 + i] = i < idLength ? static_cast<uint8_t>(w.id[i]) : ' ';
  p[18] = 'N';
  p[19] = 'O';
  p[20] = 0x06;
  p[21] = 0x00;
  auto put24 = [&p](size_t at, int32_t semicircles) {
    const int32_t units = core::RoundHalfAway(semicircles / kSemicirclesPerDegree * 6000.0);
    const uint32_t u = static_cast<uint32_t>(units);
    p[at] = static_cast<uint8_t>(u & 0xFF);
    p[at + 1] = static_cast<uint8_t>((u >> 8) & 0xFF);
    p[at + 2] = static_cast<uint8_t>((u >> 16) & 0xFF);
  };
  put24(22, w.latitude);
  put24(25, w.longitude);
  uint8_t x = 0;
  for (size_t i = 2; i <= 27; ++i) x ^= p[i];
  p[28] = x;
  p[29] = '\r';
  return p;
}

}  // namespace tarnvik::devices::xctrainer
