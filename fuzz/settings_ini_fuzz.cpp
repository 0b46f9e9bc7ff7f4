// Feeds arbitrary bytes to the settings reader as the user's INI file (users edit it by hand).
// Whatever it loads must fit its entries, and must survive a save into a new file and a second
// load unchanged.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>

#include "core/settings.h"

namespace {

using namespace tarnvik::core;

const std::string& FilePath() {
  static const std::string path = "/tmp/tarnvik_settings_fuzz_" + std::to_string(::getpid()) + ".ini";
  return path;
}

// A plain write: the atomic one syncs to disk, which would slow every run a hundredfold.
void WriteFile(std::string_view bytes) {
  std::ofstream out(FilePath(), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out.flush()) __builtin_trap();
}

// Loads the file at FilePath() (or, with `fresh`, from a file that does not exist) and keeps
// the text a save writes in `written`.
Settings Load(std::string& written, bool fresh) {
  SettingsFileLocation location;
  location.userFile = fresh ? FilePath() + ".missing" : FilePath();
  Settings settings("/home/pilot");
  settings.Load(MakeIniSettingsBackend(location,
                                       [&written](const std::string&, std::string_view bytes) {
                                         written.assign(bytes);
                                         return std::string();
                                       }),
                nullptr);
  if (!settings.StoreOpen()) __builtin_trap();
  return settings;
}

bool SameValues(const Settings& a, const Settings& b) {
  for (size_t i = 0; i < a.Entries().size(); ++i) {
    const SettingEntry& x = a.Entries()[i];
    const SettingEntry& y = b.Entries()[i];
    if (x.type == SettingType::String ? x.text != y.text : x.number != y.number) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WriteFile(std::string_view(reinterpret_cast<const char*>(data), size));
  std::string unused;
  Settings loaded = Load(unused, false);
  for (const SettingEntry& e : loaded.Entries()) {
    if (e.type == SettingType::String &&
        (e.text.size() > e.MaxTextLength() || e.text.find_first_of("\r\n") != std::string::npos)) {
      __builtin_trap();
    }
  }

  // Every value into a new file, and back.
  std::string written;
  Settings fresh = Load(written, true);
  for (size_t i = 0; i < loaded.Entries().size(); ++i) {
    const SettingEntry& from = loaded.Entries()[i];
    SettingEntry& to = fresh.Entry(static_cast<SettingId>(i));
    to.text = from.text;
    to.number = from.number;
  }
  fresh.Save();
  fresh = Settings("/home/pilot");  // releases the backend that captured `written`
  WriteFile(written);
  std::string again;
  if (!SameValues(loaded, Load(again, false))) __builtin_trap();
  std::remove(FilePath().c_str());
  return 0;
}
