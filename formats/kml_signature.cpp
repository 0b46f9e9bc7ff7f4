#include "formats/kml_signature.h"

#include <cstdint>
#include <string_view>

namespace tarnvik::formats {
namespace {

// The stored form of the signature key. The key itself never appears in the program: each of
// its 17 bytes is the stored byte plus its position (0 to 16). Any service that verifies the
// program's logbook files must use the same key; changing this string invalidates every
// signature written before.
constexpr std::string_view kStoredKey = "TARNVIK.HANGARIUM";
static_assert(kStoredKey.size() == 17, "the signature key has 17 bytes");

}  // namespace

std::string KmlSignatureKey() {
  std::string key(kStoredKey);
  for (size_t i = 0; i < key.size(); ++i) {
    key[i] = static_cast<char>(static_cast<uint8_t>(kStoredKey[i]) + i);
  }
  return key;
}

void BeginKmlSignature(Sha1& sha) {
  sha.Reset();
  sha.Update(KmlSignatureKey());
}

}  // namespace tarnvik::formats
