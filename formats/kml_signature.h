// The signature of a KML trip folder: a SHA-1 digest over the program's key and the track data
// (time stamp, instrument, download time, time offsets and coordinates) in writing order. The
// writer stores it in the track's hash attribute; the reader recomputes and compares it.
#pragma once

#include <string>

#include "formats/sha1.h"

namespace tarnvik::formats {

// The 17-byte key that every signature starts with. It is built at run time from a stored
// string (see kml_signature.cpp, the only place that holds it).
std::string KmlSignatureKey();

// Resets sha and feeds it the key.
void BeginKmlSignature(Sha1& sha);

// The hash attribute's value: 40 upper-case hexadecimal digits.
inline std::string KmlSignatureText(Sha1& sha) { return FormatSha1Hex(sha.Finish()); }

}  // namespace tarnvik::formats
