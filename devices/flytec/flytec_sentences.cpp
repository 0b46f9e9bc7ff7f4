#include "devices/flytec/flytec_sentences.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace tarnvik::devices::flytec {
namespace {

constexpr uint8_t kCr = '\r';
constexpr uint8_t kLf = '\n';

bool IsLineEnd(uint8_t b) { return b == kCr || b == kLf; }
bool IsDigit(uint8_t b) { return b >= '0' && b <= '9'; }
bool IsUpper(uint8_t b) { return b >= 'A' && b <= 'Z'; }
bool IsAlnum(uint8_t b) { return IsDigit(b) || IsUpper(b) || (b >= 'a' && b <= 'z'); }
char Upper(uint8_t b) { return static_cast<char>((b >= 'a' && b <= 'z') ? b - 'a' + 'A' : b); }

// Value of a hexadecimal digit, or -1. Upper case only unless lowerToo.
int HexValue(uint8_t b, bool lowerToo) {
  if (IsDigit(b)) return b - '0';
  if (b >= 'A' && b <= 'F') return b - 'A' + 10;
  if (lowerToo && b >= 'a' && b <= 'f') return b - 'a' + 10;
  return -1;
}

// The digits of text[from, from + count) as a number, or -1 when one is not a digit.
int Digits(std::string_view text, size_t from, size_t count) {
  int value = 0;
  for (size_t i = from; i < from + count; ++i) {
    if (!IsDigit(static_cast<uint8_t>(text[i]))) return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

// Leading blanks dropped, runs of blanks reduced to one, a trailing blank dropped.
// Runs of spaces become one, ends trimmed; control bytes (a NUL among them would end the text
// early in the fixed-size record) count as spaces.
std::string NormaliseSpaces(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x20 || b == 0x7f) c = ' ';
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out.push_back(c);
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string UpperText(std::string_view text) {
  std::string out;
  for (char c : text) out.push_back(Upper(static_cast<uint8_t>(c)));
  return out;
}

// Matching of "$" and the sentence name shared by the three sentence parsers: true while the
// byte belongs to the name (checksum updated); a mismatch restarts the search, and a "$" that
// mismatches starts it anew.
struct NameMatch {
  static bool Step(std::string_view name, uint8_t byte, size_t& matched, uint8_t& checksum, bool& restart) {
    restart = false;
    if (byte == static_cast<uint8_t>(name[matched])) {
      checksum ^= byte;
      ++matched;
      return true;
    }
    matched = 0;
    checksum = 0;
    restart = byte == '$';
    return false;
  }
};

}  // namespace

uint8_t SentenceChecksum(std::string_view body) {
  uint8_t sum = 0;
  for (char c : body) sum ^= static_cast<uint8_t>(c);
  return sum;
}

std::string FrameSentence(std::string_view body) {
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", SentenceChecksum(body));
  // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about a literal prepended to a
  // temporary string at -O2 and above.
  std::string sentence(1, '$');
  sentence.append(body);
  sentence.append(tail);
  return sentence;
}

std::string TrackRequest(int trackNumber) {
  if (trackNumber < 0 || trackNumber > 99) return std::string(kNewestTrackRequest);
  char body[16];
  std::snprintf(body, sizeof body, "PBRTR,%02d", trackNumber);
  std::string request(1, '\x11');
  request.append(FrameSentence(body));
  return request;
}

// ---- receiving ----------------------------------------------------------------------------------

int FlytecReader::Next(uint8_t& byte, int64_t limitMs) {
  const int64_t deadline = link_.clock().NowMs() + limitMs;
  for (;;) {
    if (link_.Cancelled()) return access::kReadPortError;
    const int64_t left = deadline - link_.clock().NowMs();
    if (left <= 0) return access::kReadTimeout;
    uint8_t got = 0;
    const int result = link_.ReadUnit(
        [&got](uint8_t b) {
          got = b;
          return true;
        },
        left);
    if (result != access::kReadComplete) return result;
    if (got == kXon || got == kXoff) continue;
    byte = got;
    return access::kReadComplete;
  }
}

// ---- product data ---------------------------------------------------------------------------------

void ProductParser::Reset() {
  state_ = State::Dollar;
  matched_ = 0;
  checksum_ = 0;
  received_ = 0;
  product_ = FlytecProduct();
}

int ProductParser::Feed(uint8_t b) {
  constexpr std::string_view kName = "PBRSNP,";
  switch (state_) {
    case State::Dollar:
      if (b == '$') {
        product_ = FlytecProduct();
        matched_ = 0;
        checksum_ = 0;
        state_ = State::Match;
      }
      return kParseContinue;
    case State::Match: {
      bool restart = false;
      if (NameMatch::Step(kName, b, matched_, checksum_, restart)) {
        if (matched_ == kName.size()) state_ = State::Name;
      } else {
        state_ = restart ? State::Match : State::Dollar;
      }
      return kParseContinue;
    }
    case State::Name:
      if (IsLineEnd(b)) return -1;
      checksum_ ^= b;
      if (b == ',') {
        product_.description += ", SN";
        state_ = State::Pilot;
        return kParseContinue;
      }
      if ((product_.name.empty() && b == ' ') || product_.name.size() == 16) return -2;
      product_.name.push_back(Upper(b));
      product_.description.push_back(Upper(b));
      return kParseContinue;
    case State::Pilot:
      if (IsLineEnd(b)) return -3;
      checksum_ ^= b;
      if (b == ',') {
        // Normalised as it was collected: only a trailing blank can be left.
        if (!product_.pilot.empty() && product_.pilot.back() == ' ') product_.pilot.pop_back();
        state_ = State::Serial;
        return kParseContinue;
      }
      if (b == ' ') {
        if (product_.pilot.empty() || product_.pilot.back() == ' ') return kParseContinue;
        // A blank after the 40th character is refused only if a character follows it: a
        // trailing one is dropped at the ",".
        product_.pilot.push_back(' ');
        return kParseContinue;
      }
      if (product_.pilot.size() >= 40) return -4;
      product_.pilot.push_back(static_cast<char>(b));
      return kParseContinue;
    case State::Serial:
      if (IsLineEnd(b)) return -5;
      checksum_ ^= b;
      if (b == ',') {
        product_.description += ", SW";
        state_ = State::Version;
        return kParseContinue;
      }
      if ((product_.serial.empty() && b == ' ') || product_.serial.size() == 7) return -7;
      product_.serial.push_back(static_cast<char>(b));
      product_.description.push_back(static_cast<char>(b));
      return kParseContinue;
    case State::Version:
      if (IsLineEnd(b)) return -8;
      if (b == '*') {
        state_ = State::Check1;
        return kParseContinue;
      }
      checksum_ ^= b;
      if ((product_.version.empty() && b == ' ') || product_.version.size() == 6) return -9;
      product_.version.push_back(static_cast<char>(b));
      product_.description.push_back(static_cast<char>(b));
      return kParseContinue;
    case State::Check1:
    case State::Check2: {
      if (IsLineEnd(b)) return -10;
      const int v = HexValue(b, true);
      if (v < 0) return -11;
      received_ = static_cast<uint8_t>(state_ == State::Check1 ? v << 4 : received_ | v);
      state_ = state_ == State::Check1 ? State::Check2 : State::Cr;
      return kParseContinue;
    }
    case State::Cr:
      if (b != kCr) return -12;
      state_ = State::Lf;
      return kParseContinue;
    case State::Lf:
      state_ = State::Dollar;
      if (received_ != checksum_) return -13;
      return kParseComplete;
  }
  return kParseContinue;
}

// ---- track list -------------------------------------------------------------------------------------

void TrackListParser::Reset() {
  state_ = State::Dollar;
  matched_ = 0;
  checksum_ = 0;
  received_ = 0;
  digits_ = false;
  number_ = 0;
  entry_.clear();
  for (auto& e : entries_) e.clear();
}

void TrackListParser::Append(uint8_t c) {
  if (entry_.size() < kTrackEntryLength) entry_.push_back(static_cast<char>(c));
}

void TrackListParser::Separator() {
  if (entry_.size() < kTrackEntryLength - 2) entry_ += "   ";
}

int TrackListParser::Feed(uint8_t b) {
  constexpr std::string_view kName = "PBRTL,";
  switch (state_) {
    case State::Dollar:
      if (b == '$') {
        matched_ = 0;
        checksum_ = 0;
        state_ = State::Match;
      }
      return kParseContinue;
    case State::Match: {
      bool restart = false;
      if (NameMatch::Step(kName, b, matched_, checksum_, restart)) {
        if (matched_ == kName.size()) state_ = State::Count;
      } else {
        state_ = restart ? State::Match : State::Dollar;
      }
      return kParseContinue;
    }
    case State::Count:
      if (IsLineEnd(b)) return -1;
      checksum_ ^= b;
      if (b == ',') {
        number_ = 0;
        state_ = State::Number;
      } else if (!IsDigit(b)) {
        return -2;
      }
      return kParseContinue;
    case State::Number:
      if (IsLineEnd(b)) return -3;
      checksum_ ^= b;
      if (b == ',') {
        char nn[4];
        std::snprintf(nn, sizeof nn, "%02d", number_);
        entry_ = nn;
        Separator();
        state_ = State::Field3;
      } else if (IsDigit(b)) {
        // Saturates at 99 as the digits come: a longer number never overflows.
        number_ = number_ * 10 + (b - '0');
        if (number_ > kTrackListSize - 1) number_ = kTrackListSize - 1;
      } else {
        return -4;
      }
      return kParseContinue;
    case State::Field3:
    case State::Field4:
      if (IsLineEnd(b)) return state_ == State::Field3 ? -5 : -6;
      checksum_ ^= b;
      if (b == ',') {
        Separator();
        state_ = state_ == State::Field3 ? State::Field4 : State::Field5;
      } else {
        Append(b);
      }
      return kParseContinue;
    case State::Field5:
      if (IsLineEnd(b)) return -7;
      if (b == '*') {
        state_ = State::Check1;
        return kParseContinue;
      }
      checksum_ ^= b;
      Append(b);
      return kParseContinue;
    case State::Check1:
    case State::Check2: {
      if (IsLineEnd(b)) return -8;
      const int v = HexValue(b, true);
      if (v < 0) return -9;
      received_ = static_cast<uint8_t>(state_ == State::Check1 ? v << 4 : received_ | v);
      state_ = state_ == State::Check1 ? State::Check2 : State::Cr;
      return kParseContinue;
    }
    case State::Cr:
      if (b != kCr) return -10;
      state_ = State::Lf;
      return kParseContinue;
    case State::Lf:
      state_ = State::Dollar;
      if (received_ != checksum_) return -11;
      entries_[static_cast<size_t>(number_)] = entry_;
      return kParseComplete;
  }
  return kParseContinue;
}

// ---- IGC text ---------------------------------------------------------------------------------------

int IgcLineParser::Feed(uint8_t b) {
  if (!inLine_) {
    if (b == kLf || b == kCr) return kParseContinue;
    if (!IsUpper(b)) {
      badByte_ = b;
      return kBadRecordType;
    }
    line_.assign(1, static_cast<char>(b));
    inLine_ = true;
    return kParseContinue;
  }
  if (b == kLf) {
    inLine_ = false;
    const int result = ParseLine(line_);
    return result < 0 ? result : kParseComplete;
  }
  line_.push_back(static_cast<char>(b));
  if (line_.size() >= kIgcMaxLine) return kTooLongLine;
  return kParseContinue;
}

int IgcLineParser::Finish() {
  if (!inLine_) return kParseContinue;
  inLine_ = false;
  const int result = ParseLine(line_);
  return result < 0 ? result : kParseComplete;
}

int IgcLineParser::ParseLine(std::string_view line) {
  if (line.empty()) return kParseContinue;
  switch (line[0]) {
    case 'A':
      if (line.size() < 7) return -28;
      for (size_t i = 1; i < 7; ++i) {
        if (!IsAlnum(static_cast<uint8_t>(line[i]))) return -29;
      }
      for (size_t i = 0; i < 3; ++i) {
        manufacturer_[i] = line[1 + i];
        loggerId_[i] = line[4 + i];
      }
      sawA_ = true;
      return kParseContinue;
    case 'H': {
      if (line.size() < 11 || line.substr(0, 5) != "HFDTE") return kParseContinue;
      // The long form "HFDTEDATE:ddmmyy,nn" carries the same digits after its label.
      const size_t at = line.substr(5, 5) == "DATE:" ? 10 : 5;
      if (line.size() < at + 6) return kParseContinue;
      const int year = Digits(line, at + 4, 2);
      if (year < 0) return -1;
      const int month = Digits(line, at + 2, 2);
      if (month < 0) return -2;
      if (month == 0 || month > 12) return -3;
      const int day = Digits(line, at, 2);
      if (day < 0) return -4;
      if (day == 0 || day > 31) return -5;
      core::SystemTime date;
      date.year = static_cast<uint16_t>(2000 + year);
      date.month = static_cast<uint16_t>(month);
      date.day = static_cast<uint16_t>(day);
      const auto time = core::CalendarToTime(date);
      if (!time) return -5;
      date_ = *time;
      haveDate_ = true;
      return kParseContinue;
    }
    case 'B':
      return ParseB(line);
    case 'G':
      ++gRecords_;
      return kParseContinue;
    default:
      return kParseContinue;
  }
}

int IgcLineParser::ParseB(std::string_view line) {
  if (line.size() < 35) return -24;
  // GNSS altitude, columns 31-35: a sign or a digit, then digits.
  const bool negative = line[30] == '-';
  const int altitude = Digits(line, negative ? 31 : 30, negative ? 4 : 5);
  if (altitude < 0) return -7;
  // Longitude DDDMMmmm at 16-23, hemisphere at 24.
  const int lonThousandths = Digits(line, 20, 3);
  if (lonThousandths < 0) return -8;
  const int lonMinutes = Digits(line, 18, 2);
  if (lonMinutes < 0) return -9;
  const int lonDegrees = Digits(line, 15, 3);
  if (lonDegrees < 0) return -10;
  if (lonDegrees >= 180) return -11;
  if (line[23] != 'E' && line[23] != 'W') return -12;
  // Latitude DDMMmmm at 8-14, hemisphere at 15.
  const int latThousandths = Digits(line, 11, 3);
  if (latThousandths < 0) return -13;
  const int latMinutes = Digits(line, 9, 2);
  if (latMinutes < 0) return -14;
  const int latDegrees = Digits(line, 7, 2);
  if (latDegrees < 0) return -15;
  if (latDegrees >= 90) return -16;
  if (line[14] != 'N' && line[14] != 'S') return -17;
  // Time HHMMSS at 2-7.
  const int seconds = Digits(line, 5, 2);
  if (seconds < 0) return -18;
  if (seconds >= 60) return -19;
  const int minutes = Digits(line, 3, 2);
  if (minutes < 0) return -20;
  if (minutes >= 60) return -21;
  const int hours = Digits(line, 1, 2);
  if (hours < 0) return -22;
  if (hours >= 24) return -23;
  if (!haveDate_) return -25;

  double latitude = latDegrees + latMinutes / 60.0 + latThousandths / 60000.0;
  double longitude = lonDegrees + lonMinutes / 60.0 + lonThousandths / 60000.0;
  if (line[14] == 'S') latitude = -latitude;
  if (line[23] == 'W') longitude = -longitude;
  // Minutes up to 99 can carry a position past the pole or the antimeridian.
  const auto lat = core::LatitudeFromDegrees(latitude);
  if (!lat) return -16;
  const auto lon = core::LongitudeFromDegrees(longitude);
  if (!lon) return -11;

  const int32_t timeOfDay = hours * 3600 + minutes * 60 + seconds;
  core::TrackPoint point;
  if (points_.empty()) {
    point.flags = 1;
    dayOffset_ = 0;
    firstFixTime_ = date_ + static_cast<uint32_t>(timeOfDay);
  } else if (timeOfDay + 43200 < previousTimeOfDay_) {
    // Only a fall of more than 12 h is midnight; a repeated or slightly earlier fix is not.
    dayOffset_ += 86400;
  }
  previousTimeOfDay_ = timeOfDay;
  const auto time = core::CheckedTime(static_cast<double>(date_) + dayOffset_ + timeOfDay);
  if (!time) return -23;
  point.time = *time;
  point.latitude = *lat;
  point.longitude = *lon;
  point.height = (negative ? -altitude : altitude) * 10;
  try {
    points_.push_back(point);
  } catch (const std::bad_alloc&) {
    return -6;
  }
  return kParseContinue;
}

// ---- waypoints ---------------------------------------------------------------------------------------

void WaypointParser::Reset() {
  state_ = State::Dollar;
  matched_ = 0;
  checksum_ = 0;
  received_ = 0;
  whole_ = 0;
  fraction_ = 0;
  step_ = 0.1;
  latitudeMinutes_ = 0;
  longitudeMinutes_ = 0;
  south_ = false;
  west_ = false;
  altitude_.clear();
  waypoint_ = ReceivedWaypoint();
}

int WaypointParser::Finish() {
  const double latitude = (south_ ? -latitudeMinutes_ : latitudeMinutes_) / 60.0;
  const double longitude = (west_ ? -longitudeMinutes_ : longitudeMinutes_) / 60.0;
  const auto lat = core::LatitudeFromDegrees(latitude);
  if (!lat) return -1;
  const auto lon = core::LongitudeFromDegrees(longitude);
  if (!lon) return -6;
  waypoint_.latitude = *lat;
  waypoint_.longitude = *lon;
  waypoint_.altitude = altitude_.empty() ? 0 : std::atoi(altitude_.c_str());
  return kParseComplete;
}

int WaypointParser::Feed(uint8_t b) {
  constexpr std::string_view kName = "PBRWPS,";
  const bool checked = state_ != State::Dollar && state_ != State::Match && state_ != State::Check1 &&
                       state_ != State::Check2 && state_ != State::Cr && state_ != State::Lf && b != '*';
  if (checked) checksum_ ^= b;
  // Minutes from DDMM and the fraction.
  auto minutes = [this] { return static_cast<double>(whole_ / 100 * 60 + whole_ % 100) + fraction_; };
  switch (state_) {
    case State::Dollar:
      if (b == '$') {
        Reset();
        state_ = State::Match;
      }
      return kParseContinue;
    case State::Match: {
      bool restart = false;
      if (NameMatch::Step(kName, b, matched_, checksum_, restart)) {
        if (matched_ == kName.size()) state_ = State::Lat;
      } else {
        state_ = restart ? State::Match : State::Dollar;
      }
      return kParseContinue;
    }
    case State::Lat:
    case State::Lon: {
      const bool lat = state_ == State::Lat;
      if (IsDigit(b)) {
        if (whole_ >= (lat ? 896 : 1796)) return lat ? -1 : -6;
        whole_ = whole_ * 10 + (b - '0');
      } else if (b == '.') {
        fraction_ = 0;
        step_ = 0.1;
        state_ = lat ? State::LatFraction : State::LonFraction;
      } else if (b == ',') {
        (lat ? latitudeMinutes_ : longitudeMinutes_) = minutes();
        state_ = lat ? State::LatHemisphere : State::LonHemisphere;
      } else {
        return lat ? -2 : -7;
      }
      return kParseContinue;
    }
    case State::LatFraction:
    case State::LonFraction: {
      const bool lat = state_ == State::LatFraction;
      if (IsDigit(b)) {
        fraction_ += (b - '0') * step_;
        step_ /= 10;
      } else if (b == ',') {
        (lat ? latitudeMinutes_ : longitudeMinutes_) = minutes();
        state_ = lat ? State::LatHemisphere : State::LonHemisphere;
      } else {
        return lat ? -3 : -8;
      }
      return kParseContinue;
    }
    case State::LatHemisphere:
    case State::LonHemisphere: {
      const bool lat = state_ == State::LatHemisphere;
      const uint8_t positive = lat ? 'N' : 'E';
      const uint8_t negative = lat ? 'S' : 'W';
      if (b == positive || b == negative) {
        (lat ? south_ : west_) = b == negative;
        state_ = lat ? State::LatComma : State::LonComma;
      } else if (b == ',') {
        state_ = lat ? State::Lon : State::Id;
        whole_ = 0;
        fraction_ = 0;
      } else {
        return lat ? -4 : -9;
      }
      return kParseContinue;
    }
    case State::LatComma:
    case State::LonComma: {
      const bool lat = state_ == State::LatComma;
      if (b != ',') return lat ? -5 : -10;
      state_ = lat ? State::Lon : State::Id;
      whole_ = 0;
      fraction_ = 0;
      return kParseContinue;
    }
    case State::Id:
      if (IsLineEnd(b)) return -11;
      if (b == '*') {
        state_ = State::Check1;
      } else if (b == ',') {
        state_ = State::Name;
      } else {
        if (waypoint_.id.size() == 6) return -12;
        waypoint_.id.push_back(static_cast<char>(b));
      }
      return kParseContinue;
    case State::Name:
      if (IsLineEnd(b)) return -13;
      if (b == ',') {
        state_ = State::Altitude;
      } else {
        if (waypoint_.name.size() == 17) return -14;
        waypoint_.name.push_back(static_cast<char>(b));
      }
      return kParseContinue;
    case State::Altitude:
      if (!(IsDigit(b) || (altitude_.empty() && b == '-'))) return -15;
      altitude_.push_back(static_cast<char>(b));
      if (altitude_.size() == 4) state_ = State::Star;
      return kParseContinue;
    case State::Star:
      if (b != '*') return -16;
      state_ = State::Check1;
      return kParseContinue;
    case State::Check1:
    case State::Check2: {
      const int v = HexValue(b, false);
      if (v < 0) return state_ == State::Check1 ? -17 : -18;
      received_ = static_cast<uint8_t>(state_ == State::Check1 ? v << 4 : received_ | v);
      state_ = state_ == State::Check1 ? State::Check2 : State::Cr;
      return kParseContinue;
    }
    case State::Cr:
      if (b != kCr) return -19;
      state_ = State::Lf;
      return kParseContinue;
    case State::Lf:
      if (b != kLf) return -21;
      state_ = State::Dollar;
      if (received_ != checksum_) return -20;
      return Finish();
  }
  return kParseContinue;
}

std::string NormalisedName(const ReceivedWaypoint& received) {
  return UpperText(NormaliseSpaces(received.name));
}

core::Waypoint MakeWaypoint(const ReceivedWaypoint& received) {
  core::Waypoint w;
  w.latitude = received.latitude;
  w.longitude = received.longitude;
  w.altitude = received.altitude;
  const std::string name = NormalisedName(received);
  std::string id = UpperText(NormaliseSpaces(received.id));
  id = id.substr(0, id.find(' '));
  if (id.empty()) id = name.substr(0, name.find(' '));
  if (id.size() > 6) id.resize(6);
  if (id.empty()) id.assign(1, 'Z');
  id.copy(w.id, sizeof w.id - 1);
  name.copy(w.comment, sizeof w.comment - 1);
  return w;
}

std::string UploadName(const core::Waypoint& waypoint) {
  std::string name(waypoint.comment, strnlen(waypoint.comment, sizeof waypoint.comment));
  if (name.size() > 17) name.resize(17);
  name.resize(17, ' ');
  for (char& c : name) {
    if (c == ',' || c == '*' || c == '$' || c == '\r' || c == '\n') c = ' ';
  }
  return name;
}

std::string UploadSentence(const core::Waypoint& waypoint) {
  const core::SemicirclePair milli = core::SemicircleToMilliMinute({waypoint.latitude, waypoint.longitude});
  const int32_t lat = milli.latitude < 0 ? -milli.latitude : milli.latitude;
  const int32_t lon = milli.longitude < 0 ? -milli.longitude : milli.longitude;
  int32_t altitude = waypoint.altitude;
  if (altitude < 0) altitude = 0;
  if (altitude > 9999) altitude = 9999;
  char body[96];
  std::snprintf(body, sizeof body, "PBRWPR,%04d.%03d,%c,%05d.%03d,%c,,%s,%04d",
                lat / 60000 * 100 + lat % 60000 / 1000, lat % 1000, milli.latitude < 0 ? 'S' : 'N',
                lon / 60000 * 100 + lon % 60000 / 1000, lon % 1000, milli.longitude < 0 ? 'W' : 'E',
                UploadName(waypoint).c_str(), altitude);
  return FrameSentence(body);
}

}  // namespace tarnvik::devices::flytec
