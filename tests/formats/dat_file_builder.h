// Builds old-logbook ".dat" track files for tests: header, fixes, checksum and an optional
// validation word, each computed here independently of the reader (the validation register
// with 64-bit arithmetic instead of the reader's bit-serial loop).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnvik::testing {

struct DatFix {
  uint32_t time = 0;      // seconds since 1989-12-31
  uint32_t easting = 0;   // metres
  uint32_t northing = 0;  // metres
  int32_t heightDm = 0;   // written only when the file has heights (low 24 bits)
};

struct DatFileContent {
  uint32_t word0 = 0x0BADCAFE;  // not interpreted by the reader
  bool heights = true;
  bool validation = true;
  int8_t zone = 32;
  char band = 'V';
  std::vector<DatFix> fixes;
};

inline uint32_t DatModulusRegister(const std::vector<uint32_t>& words) {
  uint64_t v = 0;
  for (uint32_t w : words) v = ((v << 32) | w) % 1419857731u;
  return static_cast<uint32_t>(v);
}

// The words of the file as the reader sees them.
inline std::vector<uint32_t> BuildDatWords(const DatFileContent& content) {
  std::vector<uint32_t> words;
  words.push_back(content.word0);
  words.push_back(content.heights ? 0x01000000u : 0u);
  words.push_back(static_cast<uint32_t>(content.fixes.size()));
  words.push_back(0x80000000u | (uint32_t{static_cast<uint8_t>(content.zone)} << 8) |
                  uint32_t{static_cast<uint8_t>(content.band)});
  for (const DatFix& fix : content.fixes) {
    words.push_back(fix.time);
    words.push_back(fix.easting);
    words.push_back(fix.northing);
    if (content.heights) words.push_back(static_cast<uint32_t>(fix.heightDm) & 0x00FFFFFFu);
  }
  uint32_t sum = 0;
  for (uint32_t w : words) sum += w;
  words.push_back(0u - sum);
  if (content.validation) words.push_back(~DatModulusRegister(words));  // word + V + 1 == 0
  return words;
}

inline std::string DatBytes(const std::vector<uint32_t>& words) {
  std::string bytes;
  for (uint32_t w : words) {
    bytes.push_back(static_cast<char>(w >> 24));
    bytes.push_back(static_cast<char>(w >> 16));
    bytes.push_back(static_cast<char>(w >> 8));
    bytes.push_back(static_cast<char>(w));
  }
  return bytes;
}

inline std::string BuildDatFile(const DatFileContent& content) { return DatBytes(BuildDatWords(content)); }

// A short flight in zone 32V (western Norway): five fixes 10 s apart, heights rising from
// 1200.0 m, the last one below sea level to carry the sign bit.
inline DatFileContent SampleDatFlight(bool heights, bool validation) {
  DatFileContent content;
  content.heights = heights;
  content.validation = validation;
  const uint32_t start = 581817600;  // 2008-06-08 00:00:00 UTC
  for (uint32_t i = 0; i < 5; ++i) {
    content.fixes.push_back({start + 43200 + 10 * i, 400000 + 37 * i, 6650000 + 91 * i,
                             i == 4 ? -25 : static_cast<int32_t>(12000 + 15 * i)});
  }
  return content;
}

}  // namespace tarnvik::testing
