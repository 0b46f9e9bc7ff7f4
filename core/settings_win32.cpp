// Windows: the settings live in the registry under HKEY_CURRENT_USER\Software\Tarnvik; a new
// user starts from HKEY_USERS\.DEFAULT\Software\Tarnvik when the machine's default user has it.
#include <windows.h>

#include <cstring>

#include "core/settings.h"

namespace tarnvik::core {
namespace {

constexpr const char* kKeyPath = "Software\\Tarnvik";

std::string ErrorText(LONG code) {
  char* buffer = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, static_cast<DWORD>(code), 0,
                                reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = length ? std::string(buffer, length) : "Unknown error";
  if (buffer) LocalFree(buffer);
  return text;
}

// Reads one value whatever its size; strings and numbers arrive typed. A number that is not
// four bytes cannot be taken (the loader keeps the default).
std::optional<StoredValue> ReadValue(HKEY key, std::string_view name) {
  std::string valueName(name);
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  std::string bytes(size, '\0');
  if (RegQueryValueExA(key, valueName.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(bytes.data()), &size) != ERROR_SUCCESS)
    return std::nullopt;
  StoredValue v;
  if (type == REG_DWORD) {
    if (size != sizeof(DWORD)) return std::nullopt;
    DWORD number = 0;
    std::memcpy(&number, bytes.data(), sizeof number);
    v.isNumber = true;
    v.number = number;
    return v;
  }
  if (type != REG_SZ) return std::nullopt;
  bytes.resize(size);
  while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
  v.text = std::move(bytes);
  return v;
}

class RegistrySettingsBackend final : public SettingsBackend {
 public:
  ~RegistrySettingsBackend() override {
    if (user_) RegCloseKey(user_);
    if (defaults_) RegCloseKey(defaults_);
  }

  OpenResult OpenUserStore(std::string& caption, std::string& text) override {
    DWORD disposition = 0;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_READ | KEY_WRITE, nullptr, &user_, &disposition);
    if (status != ERROR_SUCCESS) {
      user_ = nullptr;
      caption = "Registry access error";
      text = ErrorText(status);
      return OpenResult::Failed;
    }
    return disposition == REG_CREATED_NEW_KEY ? OpenResult::Created : OpenResult::Existed;
  }
  std::optional<StoredValue> ReadUserValue(std::string_view name) override { return ReadValue(user_, name); }

  bool OpenDefaultStore() override {
    return RegOpenKeyExA(HKEY_USERS, ".DEFAULT\\Software\\Tarnvik", 0, KEY_READ, &defaults_) == ERROR_SUCCESS;
  }
  std::optional<StoredValue> ReadDefaultValue(std::string_view name) override {
    return ReadValue(defaults_, name);
  }
  void CloseDefaultStore() override {
    if (defaults_) RegCloseKey(defaults_);
    defaults_ = nullptr;
  }

  // Strings are written with their length without the terminator, numbers as four bytes; write
  // errors are ignored as the loader already reported an unusable key.
  void WriteValue(const SettingEntry& entry) override {
    if (!user_) return;
    std::string valueName(entry.name);
    if (entry.type == SettingType::String) {
      RegSetValueExA(user_, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.text.data()),
                     static_cast<DWORD>(entry.text.size()));
    } else {
      DWORD number = static_cast<DWORD>(entry.number);
      RegSetValueExA(user_, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                     sizeof number);
    }
  }
  std::string Commit() override {
    if (user_) RegCloseKey(user_);
    user_ = nullptr;
    return "";
  }

 private:
  HKEY user_ = nullptr;
  HKEY defaults_ = nullptr;
};

}  // namespace

std::string PlatformFolderDefault() { return "c:\\My Documents"; }

std::unique_ptr<SettingsBackend> MakePlatformSettingsBackend() {
  return std::make_unique<RegistrySettingsBackend>();
}

}  // namespace tarnvik::core
