#include "sim/graviter/graviter_device.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "core/records.h"

namespace tarnvik::sim::graviter {
namespace {

constexpr uint32_t kFirst = 1700;
constexpr uint32_t kLast = 131071;

uint32_t Next(uint32_t a) { return a == kLast ? kFirst : a + 1; }

class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i) {
      if (bit_ == 0) bytes.push_back(0);
      if (value >> i & 1u) bytes.back() = static_cast<uint8_t>(bytes.back() | (1u << bit_));
      bit_ = (bit_ + 1) % 8;
    }
  }
  std::vector<uint8_t> bytes;

 private:
  int bit_ = 0;
};

uint32_t FloatBits(float f) {
  uint32_t v;
  std::memcpy(&v, &f, sizeof v);
  return v;
}

// The instrument's encoder, with the state a reader keeps; every served point is what that
// state holds after its record.
struct Encoder {
  int altitude = 0;
  uint32_t time = 0;
  float latitude = 0;
  float longitude = 0;

  // One coordinate: a delta of up to 127 units of 1e-7 when it lands on the value, else the
  // absolute float. Sets the flag and sign bits, returns the bits to write.
  void Coordinate(double target, float& state, int flagBit, int signBit, uint32_t& flags, uint32_t& bits, int& width) {
    const float want = static_cast<float>(target);
    const double diff = (static_cast<double>(want) - state) / 1e-7;
    if (std::isfinite(diff) && std::fabs(diff) < 127.5) {
      const long d = std::lround(std::fabs(diff));
      const float got = static_cast<float>(diff < 0 ? state - d * 1e-7 : state + d * 1e-7);
      if (got == want) {
        if (diff < 0) flags |= 1u << signBit;
        bits = static_cast<uint32_t>(d);
        width = 7;
        state = got;
        return;
      }
    }
    flags |= 1u << flagBit;
    if (std::signbit(want)) flags |= 1u << signBit;
    bits = FloatBits(std::fabs(want));
    width = 32;
    state = want;
  }

  void Record(const GravSimRecord& r, bool firstOfTrack, BitWriter& out) {
    uint32_t flags = 0;
    uint32_t altBits, timeBits;
    int altWidth, timeWidth;
    const int da = r.altitude - altitude;
    if (!firstOfTrack && std::abs(da) < 8) {
      if (da < 0) flags |= 1u << 4;
      altBits = static_cast<uint32_t>(std::abs(da));
      altWidth = 3;
    } else {
      flags |= 1u;
      if (r.altitude < 0) flags |= 1u << 4;
      altBits = static_cast<uint32_t>(std::abs(r.altitude)) & 0xFFFF;
      altWidth = 16;
    }
    altitude = r.altitude;
    // Value A absolute at the start of a track (it means nothing to a reader).
    if (firstOfTrack) flags |= 1u << 1;
    if (r.timeOfDay >= time && r.timeOfDay - time < 8) {
      timeBits = r.timeOfDay - time;
      timeWidth = 3;
    } else {
      flags |= 1u << 8;
      timeBits = r.timeOfDay & 0x1FFFF;
      timeWidth = 17;
    }
    time = r.timeOfDay;
    uint32_t latBits = 0, lonBits = 0;
    int latWidth = 0, lonWidth = 0;
    if (r.position) {
      flags |= 1u << 9;
      Coordinate(r.latitude, latitude, 12, 15, flags, latBits, latWidth);
      Coordinate(r.longitude, longitude, 13, 16, flags, lonBits, lonWidth);
    }
    out.Put(flags & 0x3FF, 10);
    if (r.position) out.Put(flags >> 10 & 0xFF, 8);
    out.Put(altBits, altWidth);
    if (flags & 2u) {
      out.Put(42, 8);
    } else {
      out.Put(0, 4);
    }
    out.Put(0, 3);  // B
    out.Put(0, 2);  // C
    out.Put(timeBits, timeWidth);
    if (!r.position) return;
    out.Put(0, 3);  // D
    out.Put(latBits, latWidth);
    out.Put(lonBits, lonWidth);
  }
};

uint32_t TrackDate(const GravSimTrack& t) {
  return *core::CalendarToTime({static_cast<uint16_t>(t.year), static_cast<uint16_t>(t.month), 0,
                                static_cast<uint16_t>(t.day), 0, 0, 0, 0});
}

}  // namespace

GraviterDevice::GraviterDevice(GravDeviceConfig config) : config_(std::move(config)) {}

std::vector<uint8_t> GraviterDevice::Answer() const {
  std::vector<uint8_t> answer;
  std::string error;
  if (!BuildAnswer(answer, error)) answer.clear();
  return answer;
}

bool GraviterDevice::BuildAnswer(std::vector<uint8_t>& answer, std::string& error) const {
  answer.clear();
  // Every block is encoded first: the chain (and the three bytes that end it, or the cyclic
  // fault's block) must fit the ring, or writing it would run over its own first blocks.
  std::vector<std::vector<uint8_t>> streams;
  uint64_t total = config_.cyclic && !tracks.empty() ? 13 : 3;
  for (size_t ti = 0; ti < tracks.size(); ++ti) {
    const GravSimTrack& t = tracks[ti];
    BitWriter bits;
    Encoder enc;
    if (t.kind == 3) {
      for (size_t i = 0; i < t.records.size(); ++i) {
        GravSimRecord r = t.records[i];
        if (config_.nanPosition && ti == 0 && i == 0) r.latitude = std::numeric_limits<double>::quiet_NaN();
        enc.Record(r, i == 0, bits);
      }
    }
    total += 13 + bits.bytes.size();
    streams.push_back(std::move(bits.bytes));
  }
  if (total > kLast - kFirst + 1) {
    error = "the tracks take " + std::to_string(total) + " bytes, more than the " +
            std::to_string(kLast - kFirst + 1) + "-byte track memory holds";
    return false;
  }

  std::vector<uint8_t> memory(kLast + 1, 0xFF);
  auto put = [&memory](uint32_t& at, uint8_t b) {
    memory[at] = b;
    at = Next(at);
  };
  uint32_t block = config_.firstBlock;
  std::vector<uint32_t> starts;
  for (size_t ti = 0; ti < tracks.size(); ++ti) {
    const GravSimTrack& t = tracks[ti];
    const std::vector<uint8_t>& bits = streams[ti];
    const uint32_t length = 13 + static_cast<uint32_t>(bits.size());
    uint32_t next = block;
    for (uint32_t i = 0; i < length; ++i) next = Next(next);
    starts.push_back(block);
    uint32_t at = block;
    put(at, static_cast<uint8_t>(next >> 16));
    put(at, static_cast<uint8_t>(next >> 8));
    put(at, static_cast<uint8_t>(next));
    const int count = t.kind == 3 ? static_cast<int>(t.records.size()) : 0;
    const uint8_t header[10] = {static_cast<uint8_t>(t.day), static_cast<uint8_t>(t.month),
                                static_cast<uint8_t>(t.year - 2000), static_cast<uint8_t>(t.hour),
                                static_cast<uint8_t>(t.minute), 12, 30, static_cast<uint8_t>(t.kind),
                                static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
    for (uint8_t b : header) put(at, b);
    for (uint8_t b : bits) put(at, b);
    block = next;
  }
  // The block where the next track would start: no next address.
  uint32_t at = block;
  if (config_.cyclic && !starts.empty()) {
    put(at, static_cast<uint8_t>(starts[0] >> 16));
    put(at, static_cast<uint8_t>(starts[0] >> 8));
    put(at, static_cast<uint8_t>(starts[0]));
    // Keep the block decodable: a kind-2 header.
    const uint8_t header[10] = {1, 1, 24, 0, 0, 0, 0, 2, 0, 0};
    for (uint8_t b : header) put(at, b);
  } else {
    put(at, 0xFF);
    put(at, 0xFF);
    put(at, 0xFF);
  }
  const uint32_t first = tracks.empty() ? 0xFFFFFF : config_.offRing ? 0x000100 : config_.firstBlock;
  memory[1697] = static_cast<uint8_t>(first >> 16);
  memory[1698] = static_cast<uint8_t>(first >> 8);
  memory[1699] = static_cast<uint8_t>(first);
  answer.push_back('y');
  uint8_t sum = 0;
  for (uint32_t a = 1697; a <= kLast; ++a) {
    answer.push_back(memory[a]);
    sum ^= memory[a];
  }
  answer.push_back('*');
  answer.push_back(config_.badXor ? static_cast<uint8_t>(sum ^ 0x55) : sum);
  answer.push_back('\r');
  answer.push_back('\n');
  if (config_.shortImage) answer.pop_back();
  return true;
}

std::vector<GravServedPoint> GraviterDevice::Served() const {
  std::vector<GravServedPoint> out;
  for (const GravSimTrack& t : tracks) {
    if (t.kind != 3) continue;
    Encoder enc;
    BitWriter scratch;
    bool first = true;
    for (size_t i = 0; i < t.records.size(); ++i) {
      enc.Record(t.records[i], i == 0, scratch);
      if (!t.records[i].position) continue;
      GravServedPoint p{TrackDate(t) + enc.time, enc.latitude, enc.longitude, enc.altitude, first};
      if (!out.empty() && out.back().first == p.first && out.back().time == p.time &&
          out.back().latitude == p.latitude && out.back().longitude == p.longitude) {
        continue;
      }
      out.push_back(p);
      first = false;
    }
  }
  return out;
}

void GraviterDevice::Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) {
  for (size_t i = 0; i < count; ++i) {
    const char c = static_cast<char>(bytes[i]);
    if (!pending_.empty()) {
      pending_.push_back(c);
      if (pending_.size() == 10) {
        const uint32_t address = static_cast<uint32_t>(std::strtoul(pending_.substr(1, 6).c_str(), nullptr, 10));
        const unsigned value = static_cast<unsigned>(std::strtoul(pending_.substr(7, 3).c_str(), nullptr, 10));
        if (opened_ && value <= 255) writes_[address] = static_cast<uint8_t>(value);
        pending_.clear();
      }
      continue;
    }
    if (c == 'V') {
      char line[64];
      std::snprintf(line, sizeof line, "%-20.20s %-4.4s %-5.5s %-8.8s\r\n", config_.product.c_str(), "V2.1",
                    "12345", "20240715");
      out.insert(out.end(), line, line + 42);
    } else if (c == 'y') {
      if (config_.silent) continue;
      // Tracks the memory cannot hold give no image at all (the factory refuses them first).
      std::vector<uint8_t> answer;
      std::string error;
      if (BuildAnswer(answer, error)) out.insert(out.end(), answer.begin(), answer.end());
    } else if (c == 'T') {
      opened_ = true;
      out.push_back('!');
    } else if (c == 'W') {
      pending_ = "W";
    }
  }
}

std::vector<GravSimTrack> SampleTracks(int n) {
  const double rad = 3.14159265358979323846 / 180.0;
  std::vector<GravSimTrack> tracks(3);
  GravSimTrack& flight = tracks[0];
  flight.hour = 10;
  flight.minute = 5;
  for (int i = 0; i < n; ++i) {
    GravSimRecord r;
    // One second apart, with a 20-second gap (a time the deltas cannot reach) after the 50th.
    r.timeOfDay = 36300 + static_cast<uint32_t>(i) + (i >= 50 ? 20 : 0);
    r.altitude = 1650 + (i % 30 < 15 ? i % 30 : 30 - i % 30) * 3 - (i % 70 == 0 ? 400 : 0);
    r.latitude = (47.1678 + i * 0.00002 * (i % 40 < 20 ? 1 : -1)) * rad;
    r.longitude = (15.53 - i * 0.00003) * rad;
    r.position = i % 17 != 5;
    flight.records.push_back(r);
    if (i == 10) flight.records.push_back(r);  // the same record twice
  }
  tracks[1].kind = 2;  // a track without positions
  tracks[1].day = 16;
  GravSimTrack& south = tracks[2];
  south.day = 17;
  south.hour = 9;
  for (int i = 0; i < 40; ++i) {
    GravSimRecord r;
    r.timeOfDay = 33000 + static_cast<uint32_t>(i * 3);
    r.altitude = 900 + i;
    r.latitude = -(33.9628 + i * 0.00001) * rad;
    r.longitude = -(70.5 + i * 0.00001) * rad;
    south.records.push_back(r);
  }
  return tracks;
}

bool ApplyGraviterFault(const std::string& value, GraviterDevice& device, std::string& error) {
  GravDeviceConfig& c = device.config();
  if (value == "short") c.shortImage = true;
  else if (value == "xor") c.badXor = true;
  else if (value == "cyclic") c.cyclic = true;
  else if (value == "offring") c.offRing = true;
  else if (value == "nan") c.nanPosition = true;
  else if (value == "silent") c.silent = true;
  else if (value == "wrap") c.firstBlock = kLast - 500;
  else if (value.rfind("points=", 0) == 0) device.tracks = SampleTracks(std::atoi(value.c_str() + 7));
  else {
    error = "unknown graviter fault " + value;
    return false;
  }
  return true;
}

namespace {

std::unique_ptr<Device> MakeGraviterDevice(const SimulatorOptions& options, std::string& error) {
  auto device = std::make_unique<GraviterDevice>();
  device->tracks = SampleTracks();
  for (const std::string& fault : options.faults) {
    if (!ApplyGraviterFault(fault, *device, error)) return nullptr;
  }
  std::vector<uint8_t> image;
  std::string tooLong;
  if (!device->BuildAnswer(image, tooLong)) {
    error = "graviter: " + tooLong;
    return nullptr;
  }
  return device;
}

}  // namespace

bool RegisterGraviterSimulator() { return RegisterSimulator("graviter", MakeGraviterDevice); }

}  // namespace tarnvik::sim::graviter
