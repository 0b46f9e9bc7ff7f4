#include "formats/crc32.h"

namespace tarnvik::formats {

uint32_t Crc32Update(uint32_t reg, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) reg = Crc32Step(reg, p[i]);
  return reg;
}

}  // namespace tarnvik::formats
