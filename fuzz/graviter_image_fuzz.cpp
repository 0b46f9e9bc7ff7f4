// Arbitrary bytes as the memory of a Graviter instrument: the input is laid into a full,
// well-framed answer (its XOR made right, so the decoder walks the chain), and decoded. The
// decoder ends (a chain cannot run for ever), and every stored point lies on the globe.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "devices/graviter/graviter_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnvik::devices::graviter;
  if (size < 4) return 0;
  std::vector<uint8_t> answer(kAnswerSize, 0xFF);
  answer[0] = 'y';
  // The first bytes choose the first address; the rest fill the ring from its start, and
  // again from an offset the input chooses, so chains that wrap are reached too.
  const uint32_t first = kRingFirst + ((static_cast<uint32_t>(data[0]) << 8 | data[1]) * 2) % kRingSize;
  answer[1] = static_cast<uint8_t>(first >> 16);
  answer[2] = static_cast<uint8_t>(first >> 8);
  answer[3] = static_cast<uint8_t>(first);
  for (size_t i = 2; i < size; ++i) {
    const uint32_t address = first + static_cast<uint32_t>(i - 2);
    const uint32_t a = address > kRingLast ? address - kRingSize : address;
    answer[a - kAddressOffset] = data[i];
  }
  uint8_t sum = 0;
  for (size_t i = 1; i <= kMemoryBytes; ++i) sum ^= answer[i];
  answer[129376] = '*';
  answer[129377] = sum;
  answer[129378] = '\r';
  answer[129379] = '\n';
  const DecodeResult r = DecodeAnswer(answer.data(), answer.size(), {}, [](const TrackStart& s) {
    if (NoPositionsText(s).empty()) std::abort();
  });
  if (r.code != 0 && !r.points.empty()) std::abort();
  for (const auto& p : r.points) {
    if (p.latitude > (1 << 30) || p.latitude < -(1 << 30)) std::abort();
  }
  // The raw input as an answer of its own: never read beyond it.
  DecodeAnswer(data, size);
  return 0;
}
