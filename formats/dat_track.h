// The binary track log of the logbook's earlier version (".dat"): 32-bit words, most
// significant byte first, fixes as UTM easting and northing in one zone, protected by a
// checksum word and, optionally, a validation word that marks the log as signed.
//
// Layout (word index):
//   0        not interpreted (covered by the checksum)
//   1        first byte nonzero: every fix carries a height word
//   2        fix count N
//   3        first byte: bit 7 must be set; third byte (signed): UTM zone; fourth byte: band letter
//   4 ...    N fixes: time, easting (m), northing (m) [, height: low 24 bits signed, decimetres]
//   next     checksum: the 32-bit sum of every word before it and itself is 0
//   next     optional validation word
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/ports.h"
#include "formats/track_parser.h"

namespace tarnvik::formats {

constexpr const char* kDatDecodeCaption = "Decoding track log file";
constexpr const char* kDatReadCaption = "Reading .dat log file";
// The modulus of the validation code.
constexpr uint32_t kDatValidationModulus = 1419857731;
// The signature flag a log with a correct validation word reports (0 without the word).
constexpr int kDatSignedFlag = 7;
// Longest base name ReadDatFile accepts (".dat" is appended).
constexpr size_t kDatMaxBaseNameLength = 256;

// The validation register over a run of words: for each word, V = (V x 2^32 + word) mod the
// modulus, computed one bit at a time (shift V left, bring in the word's next bit from the
// most significant, subtract the modulus whenever V reaches it).
uint32_t DatValidationRegister(const uint32_t* words, size_t count);

// Decodes a .dat file's bytes. Failures are shown once with the caption
// "Decoding track log file"; the result is then 0 or less.
TrackParseResult ReadDatTrack(core::Ui& ui, std::string_view bytes);

// Reads <baseName>.dat whole for the command line's conversion and decodes it. Failures of the
// file itself are shown with the captions of the command-line reader; decoding failures as
// ReadDatTrack shows them.
TrackParseResult ReadDatFile(core::Ui& ui, const std::string& baseName);

}  // namespace tarnvik::formats
