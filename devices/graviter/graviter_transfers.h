// The Graviter transfers at 38400 baud: the product line ("V"), the whole track memory ("y",
// read until two seconds of silence) decoded into track points, and the user name written
// into memory bytes 208 to 215 ("T", then one "W" command a byte).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "access/access_engine.h"
#include "devices/graviter/graviter_image.h"

namespace tarnvik::devices::graviter {

constexpr int kGraviterBaud = 38400;
constexpr int64_t kSettleMs = 300;
constexpr int64_t kProductLimitMs = 10000;
constexpr int64_t kSilenceLimitMs = 2000;
constexpr size_t kReceiveBufferSize = 140000;
constexpr uint32_t kNameAddress = 208;

// Steps; each returns 0 or -1 after its message.
int RequestGraviterProduct(access::AccessJob& job);
// Reads the answer to "y" into `answer`.
int DownloadGraviterMemory(access::AccessJob& job, std::vector<uint8_t>& answer);
// Decodes the answer into job.data.points (asking "No log positions" for empty tracks).
int DecodeGraviterTrack(access::AccessJob& job, const std::vector<uint8_t>& answer);
// Writes job.data.text (8 name bytes as NameBytes gives them).
int WriteGraviterName(access::AccessJob& job);

int ReadGraviterTrack(access::AccessJob& job);
int UploadGraviterName(access::AccessJob& job);

void RegisterGraviterRoutines(access::AccessRoutineTable& table);

}  // namespace tarnvik::devices::graviter
