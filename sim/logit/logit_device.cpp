#include "sim/logit/logit_device.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace tarnvik::sim::logit {
namespace {

constexpr int kListenBaud = 4800;
constexpr int64_t kRepeatMs = 500;
constexpr int64_t kStartDelayMs = 1000;
// Seconds from the GPS epoch (1980-01-06) to 1989-12-31, the host's epoch.
constexpr uint32_t kEpochShift = 315100800;

void PutBe(std::vector<uint8_t>& v, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) v.push_back(static_cast<uint8_t>((value >> (8 * i)) & 0xFF));
}

// GPS minus UTC at a UTC time (host epoch seconds): one more second at each leap second.
int LeapAt(uint32_t utc) {
  // 2006-01-01, 2009-01-01, 2012-07-01, 2015-07-01, 2017-01-01.
  static const uint32_t kDates[] = {505008000u, 599702400u, 710035200u, 804643200u, 852163200u};
  int leap = 13;
  for (uint32_t d : kDates) {
    if (utc >= d) ++leap;
  }
  return leap;
}

// Version of a software field: leading digits and point, in hundredths.
int Hundredths(const std::string& s) {
  int major = 0;
  size_t i = 0;
  while (i < s.size() && isdigit(static_cast<unsigned char>(s[i]))) major = major * 10 + (s[i++] - '0');
  int minor = 0;
  if (i < s.size() && s[i] == '.') {
    ++i;
    if (i < s.size() && isdigit(static_cast<unsigned char>(s[i]))) minor = (s[i++] - '0') * 10;
    if (i < s.size() && isdigit(static_cast<unsigned char>(s[i]))) minor += s[i] - '0';
  }
  return major * 100 + minor;
}

unsigned Sum16(const std::string& s) {
  unsigned sum = 0;
  for (char c : s) sum += static_cast<uint8_t>(c);
  return sum & 0xFFFF;
}

}  // namespace

LoggerDevice::LoggerDevice(LoggerConfig config) : config_(std::move(config)) {}

std::string LoggerDevice::Model() const {
  switch (config_.model) {
    case LoggerModel::LogIt: return "LOGIT";
    case LoggerModel::Tracklogger: return "TRACKLOGGER";
    case LoggerModel::Mlr: return "SP24 XC";
  }
  return {};
}

int LoggerDevice::CodeBaud(const std::string& code) {
  if (code == "0100") return 19200;
  if (code == "0101") return 38400;
  if (code == "0102") return 57600;
  if (code == "0103") return 115200;
  return kListenBaud;
}

void LoggerDevice::LineChanged(int baud, bool) {
  hostBaud_ = baud;
  if (config_.nmeaStart >= 0 && !waypoints.empty() && !nmeaActive_) {
    nmeaActive_ = true;
    nmeaNext_ = static_cast<size_t>(config_.nmeaStart) % waypoints.size();
    nmeaAt_ = now_ + 300;
  }
}

std::string LoggerDevice::NmeaSentence(const LoggerWaypoint& w) {
  auto field = [](int32_t semicircles, bool latitude) {
    const double degrees = std::fabs(semicircles * (180.0 / 2147483648.0));
    const long long m = std::llround(degrees * 60000.0);  // thousandths of a minute
    char out[24];
    std::snprintf(out, sizeof out, latitude ? "%02lld%02lld.%03lld" : "%03lld%02lld.%03lld", m / 60000, m % 60000 / 1000,
                  m % 1000);
    return std::string(out);
  };
  std::string name = w.name.substr(0, 6);
  name.resize(6, ' ');
  std::string comment = "FROM MLR";
  comment.resize(22, ' ');
  const std::string body = "GPWPL," + field(w.latitude, true) + (w.latitude < 0 ? ",S," : ",N,") +
                           field(w.longitude, false) + (w.longitude < 0 ? ",W," : ",E,") + name + "0" + comment;
  uint8_t x = 0;
  for (char c : body) x ^= static_cast<uint8_t>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", x);
  return "$" + body + tail;
}

void LoggerDevice::HostClosed() {
  nmeaActive_ = false;
  repeating_ = false;
  sending_ = false;
  queue_.clear();
  line_.clear();
  hostBaud_ = kListenBaud;
}

void LoggerDevice::Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) {
  for (size_t i = 0; i < count; ++i) {
    // The logger listens at 4800: anything sent at another speed arrives as noise.
    const char c = hostBaud_ == kListenBaud ? static_cast<char>(bytes[i]) : static_cast<char>((bytes[i] ^ 0x55) | 0x80);
    if (c == '$') line_.clear();
    line_ += c;
    if (line_.size() > 300) line_.clear();
    if (c == '\n') {
      Take(line_, out);
      line_.clear();
    }
  }
}

void LoggerDevice::Take(const std::string& s, std::vector<uint8_t>& out) {
  if (s.compare(0, 7, "$GPWPL,") == 0) {
    const size_t star = s.find('*');
    uint8_t x = 0;
    for (size_t i = 1; i < star && star != std::string::npos; ++i) x ^= static_cast<uint8_t>(s[i]);
    char want[4];
    std::snprintf(want, sizeof want, "%02X", x);
    if (star == std::string::npos || s.compare(star + 1, 2, want) != 0 || s.size() != star + 5) {
      ++badSentences_;
      return;
    }
    uploads_.push_back(s);
    if (!recordFile.empty()) std::ofstream(recordFile, std::ios::app | std::ios::binary) << s;
    return;
  }
  if (s.size() < 8 || s.compare(0, 6, "$PMLR,") != 0 || s.compare(s.size() - 2, 2, "\r\n") != 0) {
    ++badSentences_;
    return;
  }
  const std::string body = s.substr(0, s.size() - 2);
  if (body.compare(0, 15, "$PMLR,IDGPS,01,") == 0) {
    // The name sentence: "*00" stands where a sum would.
    const size_t comma = body.find(',', 15);
    if (comma == std::string::npos || body.size() < 3 || body.compare(body.size() - 3, 3, "*00") != 0) {
      ++badSentences_;
      return;
    }
    sentences_.push_back(s);
    std::string name = body.substr(15, comma - 15);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    config_.user = name;
    return;
  }
  const size_t last = body.rfind(',');
  if (last == std::string::npos || body.size() - last - 1 != 4) {
    ++badSentences_;
    return;
  }
  char want[8];
  std::snprintf(want, sizeof want, "%04X", Sum16(body.substr(0, last + 1)));
  if (body.substr(last + 1) != want) {
    ++badSentences_;
    return;
  }
  sentences_.push_back(s);
  // Fields between "$PMLR," and the sum.
  std::vector<std::string> f;
  size_t from = 6;
  while (from < last + 1) {
    const size_t comma = body.find(',', from);
    f.push_back(body.substr(from, comma - from));
    from = comma + 1;
  }
  if (f.empty()) return;
  if (f[0] == "06") {
    ++leaveModes_;
    repeating_ = false;
    sending_ = false;
    queue_.clear();
  } else if (f[0] == "26") {
    if (config_.noProduct) return;
    repeating_ = true;
    nextRepeat_ = now_ + kRepeatMs;
    std::string reply = "PMLR,IDGPS,01," + Model() + "," + config_.user + "," + config_.serial + "," + config_.software;
    Reply(reply, out);
  } else if (f[0] == "58") {
    if (config_.model != LoggerModel::Tracklogger) return;
    Reply("PMLR,NUMTRACKPOINTS," + std::to_string(static_cast<int>(track.size()) + config_.miscount), out);
  } else if (f[0] == "99") {
    track.clear();
    erased_ = true;
  } else if (f[0] == "59" && f.size() >= 2) {
    sending_ = false;
    queue_.clear();
    resendFrom_ = std::atoi(f[1].c_str());
    ++restarts_;
  } else if (f[0] == "24" && f.size() >= 3) {
    if (f[2] == "0301") {
      if (config_.model == LoggerModel::Mlr) StartWaypoints();
    } else {
      StartTrack(CodeBaud(f[2]));
    }
  }
}

void LoggerDevice::Reply(const std::string& body, std::vector<uint8_t>& out) {
  uint8_t x = 0;
  for (char c : body) x ^= static_cast<uint8_t>(c);
  if (config_.badProduct && body.compare(0, 10, "PMLR,IDGPS") == 0) x ^= 0x5A;
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", x);
  const std::string line = "$" + body + tail;
  Emit(std::vector<uint8_t>(line.begin(), line.end()), kListenBaud, out);
}

uint32_t LoggerDevice::DeviceTime(uint32_t utc) const {
  if (utc == 0) return 0;
  uint32_t t = utc + kEpochShift;
  if (config_.model == LoggerModel::Mlr) {
    const int v = Hundredths(config_.software);
    if (v < 272 || (v >= 990 && v < 1000)) t += static_cast<uint32_t>(LeapAt(utc));
  }
  return t;
}

std::vector<uint8_t> LoggerDevice::Packet(uint8_t seq, char type, const std::vector<uint8_t>& records, int count,
                                          int number) {
  ++sentPackets_;
  const bool mlr = config_.model == LoggerModel::Mlr;
  const bool waypointKind = waypointTransfer_ || config_.wrongKind;
  std::vector<uint8_t> p{0x8B, seq, static_cast<uint8_t>(waypointKind ? 'W' : 'T'), static_cast<uint8_t>(waypointKind ? 2 : 1)};
  const char* word = type == 'D' ? "DEBUT" : type == 'F' ? "FIN" : type == 'R' ? "RESTART" : nullptr;
  if (word) {
    for (const char* c = word; *c; ++c) p.push_back(static_cast<uint8_t>(*c));
  } else {
    p.push_back(0);
    int announced = count;
    if (sentPackets_ == config_.tooManyPacket) announced = (type == 'w' ? 23 : mlr ? 27 : 16) + 1;
    p.push_back(static_cast<uint8_t>(announced));
    p.insert(p.end(), records.begin(), records.end());
    if (announced > count) p.insert(p.end(), records.begin(), records.begin() + (records.size() / count));
  }
  unsigned sum = 0;
  for (uint8_t b : p) sum += b;
  bool badSum = false;
  if (config_.badSumPacket == sentPackets_ && (config_.badSumAlways || !badSumOnce_)) {
    badSum = true;
    badSumOnce_ = true;
  }
  if (config_.damagePoint > 0 && !damagedOnce_ && number > 0 && config_.damagePoint >= number &&
      config_.damagePoint < number + count) {
    badSum = true;
    damagedOnce_ = true;
  }
  if (badSum) sum += 1;
  p.push_back(static_cast<uint8_t>((sum >> 8) & 0xFF));
  p.push_back(static_cast<uint8_t>(sum & 0xFF));
  if (config_.noCrLfPacket != sentPackets_) {
    p.push_back('\r');
    p.push_back('\n');
  }
  return p;
}

void LoggerDevice::StartTrack(int baud) {
  waypointTransfer_ = false;
  queue_.clear();
  next_ = 0;
  sentPackets_ = 0;
  sendBaud_ = baud;
  startAt_ = now_ + kStartDelayMs;
  sending_ = true;
  const bool restart = resendFrom_ > 0;
  const size_t first = restart ? static_cast<size_t>(resendFrom_ - 1) : 0;
  resendFrom_ = 0;
  if (!restart) sequence_ = config_.firstSequence;
  auto seq = [this]() {
    if (sentPackets_ + 1 == config_.gapPacket) sequence_ = (sequence_ + 1) & 0xFF;
    const uint8_t s = static_cast<uint8_t>(sequence_);
    sequence_ = (sequence_ + 1) & 0xFF;
    return s;
  };
  queue_.push_back(Packet(seq(), restart ? 'R' : 'D', {}, 0, 0));
  const size_t per = config_.perPacket > 0 ? static_cast<size_t>(config_.perPacket)
                                            : config_.model == LoggerModel::Mlr ? 27 : 16;
  for (size_t i = first; i < track.size(); i += per) {
    const size_t n = std::min(per, track.size() - i);
    std::vector<uint8_t> records;
    for (size_t k = 0; k < n; ++k) {
      const LoggerPoint& pt = track[i + k];
      uint32_t number = static_cast<uint32_t>(i + k + 1);
      if (k == 0 && sentPackets_ + 1 == config_.misnumberPacket) ++number;
      PutBe(records, number & 0xFFFF, 2);
      PutBe(records, DeviceTime(pt.time), 4);
      PutBe(records, static_cast<uint32_t>(pt.latitude), 4);
      PutBe(records, static_cast<uint32_t>(pt.longitude), 4);
      PutBe(records, static_cast<uint32_t>(pt.height) & 0xFFFFFF, 3);
      records.push_back(pt.newSegment ? 1 : 0);
    }
    queue_.push_back(Packet(seq(), 0, records, static_cast<int>(n), static_cast<int>(i + 1)));
  }
  if (!config_.noFin) queue_.push_back(Packet(seq(), 'F', {}, 0, 0));
  if (config_.silentAfter > 0 && queue_.size() > static_cast<size_t>(config_.silentAfter)) {
    queue_.resize(static_cast<size_t>(config_.silentAfter));
  }
}

void LoggerDevice::StartWaypoints() {
  waypointTransfer_ = true;
  queue_.clear();
  next_ = 0;
  sentPackets_ = 0;
  sendBaud_ = kListenBaud;
  startAt_ = now_ + kStartDelayMs;
  sending_ = true;
  sequence_ = config_.firstSequence;
  auto seq = [this]() {
    const uint8_t s = static_cast<uint8_t>(sequence_);
    sequence_ = (sequence_ + 1) & 0xFF;
    return s;
  };
  queue_.push_back(Packet(seq(), 'D', {}, 0, 0));
  for (size_t i = 0; i < waypoints.size(); i += 23) {
    const size_t n = std::min<size_t>(23, waypoints.size() - i);
    std::vector<uint8_t> records;
    for (size_t k = 0; k < n; ++k) {
      const LoggerWaypoint& w = waypoints[i + k];
      std::string name = w.name.substr(0, 6);
      name.resize(6, ' ');
      records.insert(records.end(), name.begin(), name.end());
      PutBe(records, 0, 4);
      PutBe(records, static_cast<uint32_t>(w.latitude), 4);
      PutBe(records, static_cast<uint32_t>(w.longitude), 4);
      PutBe(records, static_cast<uint32_t>(w.height) & 0xFFFFFF, 3);
      records.push_back(0);
    }
    queue_.push_back(Packet(seq(), 'w', records, static_cast<int>(n), 0));
  }
  queue_.push_back(Packet(seq(), 'F', {}, 0, 0));
}

void LoggerDevice::Emit(const std::vector<uint8_t>& bytes, int baud, std::vector<uint8_t>& out) {
  const bool garbled = hostBaud_ != baud;
  for (uint8_t b : bytes) out.push_back(garbled ? static_cast<uint8_t>((b ^ 0x55) | 0x80) : b);
}

void LoggerDevice::Tick(int64_t nowMs, std::vector<uint8_t>& out) {
  const int64_t elapsed = now_ == 0 ? 0 : nowMs - now_;
  now_ = nowMs;
  if (repeating_ && nowMs >= nextRepeat_) {
    nextRepeat_ = nowMs + kRepeatMs;
    Reply("PMLR,IDGPS,01," + Model() + "," + config_.user + "," + config_.serial + "," + config_.software, out);
  }
  if (nmeaActive_ && nowMs >= nmeaAt_ && !sending_) {
    nmeaAt_ = nowMs + 200;
    const std::string line = NmeaSentence(waypoints[nmeaNext_]);
    Emit(std::vector<uint8_t>(line.begin(), line.end()), kListenBaud, out);
    nmeaNext_ = (nmeaNext_ + 1) % waypoints.size();
  }
  if (!sending_ || nowMs < startAt_) return;
  // As many bytes as the line carries in the time passed, at least one packet per tick.
  int64_t budget = std::max<int64_t>(elapsed, 1) * sendBaud_ / 10000;
  do {
    if (next_ >= queue_.size()) {
      sending_ = false;
      return;
    }
    budget -= static_cast<int64_t>(queue_[next_].size());
    Emit(queue_[next_++], sendBaud_, out);
  } while (budget > 0);
}

std::vector<LoggerPoint> WalkPoints(int n, uint32_t start) {
  std::vector<LoggerPoint> v;
  v.reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    LoggerPoint p;
    p.time = start + static_cast<uint32_t>(i);
    p.latitude = 560735934 + i * 97;
    p.longitude = -11930465 + i * 41;
    p.height = 800 + (i % 300) - 100;
    p.newSegment = i == 0;
    v.push_back(p);
  }
  return v;
}

bool ApplyLoggerFault(const std::string& value, LoggerDevice& device, std::string& error) {
  const size_t eq = value.find('=');
  const std::string key = value.substr(0, eq);
  const std::string arg = eq == std::string::npos ? "" : value.substr(eq + 1);
  const int n = std::atoi(arg.c_str());
  LoggerConfig& c = device.config();
  if (key == "points") device.track = WalkPoints(n, 1000000000);
  else if (key == "model") {
    if (arg == "logit") c.model = LoggerModel::LogIt;
    else if (arg == "tracklogger") c.model = LoggerModel::Tracklogger;
    else if (arg == "mlr") c.model = LoggerModel::Mlr;
    else {
      error = "model is logit, tracklogger or mlr";
      return false;
    }
  } else if (key == "software") c.software = arg;
  else if (key == "seq") c.firstSequence = n;
  else if (key == "per") c.perPacket = n;
  else if (key == "badsum") c.badSumPacket = n;
  else if (key == "badsumalways") {
    c.badSumPacket = n;
    c.badSumAlways = true;
  } else if (key == "damage") c.damagePoint = n;
  else if (key == "gap") c.gapPacket = n;
  else if (key == "misnumber") c.misnumberPacket = n;
  else if (key == "toomany") c.tooManyPacket = n;
  else if (key == "kind") c.wrongKind = true;
  else if (key == "nocrlf") c.noCrLfPacket = n;
  else if (key == "nofin") c.noFin = true;
  else if (key == "nmea") c.nmeaStart = n;
  else if (key == "silent") c.silentAfter = n;
  else if (key == "noproduct") c.noProduct = true;
  else if (key == "badproduct") c.badProduct = true;
  else if (key == "miscount") c.miscount = n;
  else {
    error = "unknown fault " + value;
    return false;
  }
  return true;
}

namespace {

std::unique_ptr<Device> MakeLogger(LoggerModel model, const SimulatorOptions& options, std::string& error) {
  LoggerConfig config;
  config.model = model;
  if (model == LoggerModel::Mlr) config.software = "2.80ENGLISH15/03/01";
  auto device = std::make_unique<LoggerDevice>(config);
  device->track = WalkPoints(75, 1000000000);
  device->waypoints = {{"TAKEOF", 560735934, -11930465, 9000}, {"GOAL", 561000000, -11000000, 4500}};
  for (const std::string& fault : options.faults) {
    if (!ApplyLoggerFault(fault, *device, error)) return nullptr;
  }
  device->recordFile = options.recordFile;
  return device;
}

}  // namespace

bool RegisterLogItSimulator() {
  const bool a = RegisterSimulator("logit", [](const SimulatorOptions& o, std::string& e) {
    return MakeLogger(LoggerModel::LogIt, o, e);
  });
  const bool b = RegisterSimulator("mlr", [](const SimulatorOptions& o, std::string& e) {
    return MakeLogger(LoggerModel::Mlr, o, e);
  });
  return a && b;
}

}  // namespace tarnvik::sim::logit
