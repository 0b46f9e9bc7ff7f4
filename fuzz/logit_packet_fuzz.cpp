// Arbitrary bytes through the LogIt/MLR packet assembler of every family (the first byte picks
// it): a packet taken is no larger than the family allows, its records lie inside the buffer and
// decode; every code is one the assembler documents.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "devices/logit/logit_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::devices::logit;
  if (size < 1) return 0;
  const PacketFamily families[] = {kLogItTrack, kMlrTrack, kMlrWaypoints};
  const PacketFamily& family = families[data[0] % 3];
  PacketAssembler packets(family);
  for (size_t i = 1; i < size; ++i) {
    const PacketAssembler::Result r = packets.Feed(data[i]);
    if (r == PacketAssembler::kError) {
      if (packets.code() < kBadLetter || packets.code() > kNoCrLf) std::abort();
    } else if (r == PacketAssembler::kPacket) {
      if (packets.records() < 0 || packets.records() > family.maxRecords) std::abort();
      if (packets.type() != PacketType::Data) continue;
      for (int k = 0; k < packets.records(); ++k) {
        if (family.recordSize == 18) {
          const TrackRecord rec = DecodeTrackRecord(packets.Record(k), (data[0] & 4) != 0);
          if (rec.point.height < -0x800000 || rec.point.height > 0x7FFFFF) std::abort();
        } else {
          tarnvik::core::Waypoint w;
          DecodeWaypointRecord(packets.Record(k), false, w);
        }
      }
    }
  }
  return 0;
}
