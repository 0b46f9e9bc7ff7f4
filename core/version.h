#pragma once

namespace tarnvik::core {
// The program's version: 406, shown as 4.06 and written into the files that carry a version.
constexpr int kVersion = 406;
constexpr const char* kVersionText = "4.06";
constexpr const char* kProgramName = "Tarnvik";
}  // namespace tarnvik::core
