// Linux and macOS: the settings live in an INI file at the XDG location; folder entries default
// to the user's home folder ("c:\My Documents" means nothing here).
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "core/settings.h"

namespace tarnvik::core {

std::string PlatformFolderDefault() {
  const char* home = std::getenv("HOME");
  if (home && home[0] != '\0') return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return "/";
}

std::unique_ptr<SettingsBackend> MakePlatformSettingsBackend() {
  return MakeIniSettingsBackend(LocateSettingsFiles([](const char* name) -> const char* {
    return std::getenv(name);
  }));
}

}  // namespace tarnvik::core
