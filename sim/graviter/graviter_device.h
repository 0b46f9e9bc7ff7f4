// The device side of the Graviter link: an instrument with a 128 KiB memory whose track ring
// (addresses 1700 to 131071) its own encoder fills from track data: blocks chained by their
// next addresses, 10-byte headers, records as a bit stream (least significant bit first) of
// absolute values and deltas, records without a position, tracks without positions (kind 2),
// and a chain that runs past 131071 and on at 1700. It answers "V" with its product line, "y"
// with the memory image, "T" with "!", and stores the byte of every "W" command.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace tarnvik::sim::graviter {

struct GravSimRecord {
  bool position = true;
  int altitude = 0;         // metres
  uint32_t timeOfDay = 0;   // seconds
  double latitude = 0;      // radians
  double longitude = 0;
};

struct GravSimTrack {
  int year = 2024, month = 7, day = 15, hour = 10, minute = 0;
  int kind = 3;  // 2: no positions
  std::vector<GravSimRecord> records;
};

// A point as the host should read it (after the device's own float arithmetic).
struct GravServedPoint {
  uint32_t time = 0;  // seconds since 1989-12-31
  float latitude = 0;
  float longitude = 0;
  int altitude = 0;
  bool first = false;
};

struct GravDeviceConfig {
  uint32_t firstBlock = 1700;  // where the first track block starts
  bool shortImage = false;     // the answer misses its last byte
  bool badXor = false;
  bool cyclic = false;         // the last block points back to the first
  bool offRing = false;        // the first address lies below the ring
  bool nanPosition = false;    // the first record's latitude is NaN
  bool silent = false;         // no answer to "y"
  std::string product = "GRAVITER GR-1       ";
};

class GraviterDevice : public Device {
 public:
  explicit GraviterDevice(GravDeviceConfig config = {});

  std::vector<GravSimTrack> tracks;

  void Receive(const uint8_t* bytes, size_t count, std::vector<uint8_t>& out) override;
  void HostClosed() override { pending_.clear(); }

  GravDeviceConfig& config() { return config_; }
  // The answer to "y" built from the tracks (faults applied). False, with the reason in error
  // and answer empty, when the blocks (and the three bytes that end the chain) are longer than
  // the ring: the instrument cannot hold such tracks.
  bool BuildAnswer(std::vector<uint8_t>& answer, std::string& error) const;
  // BuildAnswer's image; empty when the tracks do not fit.
  std::vector<uint8_t> Answer() const;
  // The points a host should decode from the tracks (no faults).
  std::vector<GravServedPoint> Served() const;
  // Bytes the host wrote with "W" commands, by address.
  const std::map<uint32_t, uint8_t>& writes() const { return writes_; }
  bool writeOpened() const { return opened_; }

 private:
  GravDeviceConfig config_;
  std::string pending_;
  std::map<uint32_t, uint8_t> writes_;
  bool opened_ = false;
};

// Sample tracks: a flight of n records with deltas and absolutes, records without a position,
// a repeated record, and a kind-2 track.
std::vector<GravSimTrack> SampleTracks(int n = 200);

// "--fault" values: "short", "xor", "cyclic", "offring", "nan", "silent", "wrap" (the chain
// starts near the end of the ring), "points=N".
bool ApplyGraviterFault(const std::string& value, GraviterDevice& device, std::string& error);

bool RegisterGraviterSimulator();

}  // namespace tarnvik::sim::graviter
