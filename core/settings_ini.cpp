// Settings kept in an INI file: section [Tarnvik], "Name=value" lines. Portable file parsing
// only; the platform picks this backend in settings_posix.cpp.
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "core/file_io.h"
#include "core/settings.h"

namespace tarnvik::core {
namespace {

constexpr std::string_view kSection = "Tarnvik";
constexpr std::string_view kRelativePath = "/tarnvik/tarnvik.ini";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

// One INI document held as its lines, so that rewriting keeps what it does not know.
class IniDocument {
 public:
  void Parse(std::string_view text) {
    lines_.clear();
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines_.emplace_back(line);
      start = end + 1;
    }
  }

  // The value of name in the program's section (the first line of that name wins). A carriage
  // return inside the line ends the value, as it ends a value that is written: what is read can
  // always be written back unchanged.
  std::optional<std::string> Get(std::string_view name) const {
    size_t i = Find(name);
    if (i == kNone) return std::nullopt;
    std::string_view line = lines_[i];
    std::string_view value = line.substr(line.find('=') + 1);
    value = value.substr(0, value.find('\r'));
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    return std::string(value);
  }

  void Set(std::string_view name, std::string_view value) {
    std::string line = std::string(name) + "=" + std::string(value);
    size_t i = Find(name);
    if (i != kNone) {
      lines_[i] = line;
      return;
    }
    // Append at the end of the program's section, creating it when missing.
    size_t section = kNone;
    for (size_t k = 0; k < lines_.size(); ++k) {
      if (SectionName(lines_[k]) == kSection) {
        section = k;
        break;
      }
    }
    if (section == kNone) {
      if (!lines_.empty() && !lines_.back().empty()) lines_.emplace_back();
      std::string header = "[";
      header += kSection;
      header += ']';
      lines_.push_back(std::move(header));
      lines_.push_back(line);
      return;
    }
    size_t insertAt = section + 1;
    for (size_t k = section + 1; k < lines_.size() && !IsSection(lines_[k]); ++k) {
      if (!Trim(lines_[k]).empty()) insertAt = k + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), line);
  }

  std::string Text() const {
    std::string out;
    for (const std::string& line : lines_) {
      out += line;
      out += '\n';
    }
    return out;
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  static bool IsSection(std::string_view line) {
    line = Trim(line);
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
  }
  static std::string_view SectionName(std::string_view line) {
    line = Trim(line);
    if (!IsSection(line)) return {};
    return Trim(line.substr(1, line.size() - 2));
  }

  size_t Find(std::string_view name) const {
    bool inSection = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
      std::string_view line = Trim(lines_[i]);
      if (IsSection(line)) {
        inSection = SectionName(line) == kSection;
        continue;
      }
      if (!inSection || line.empty() || line.front() == ';' || line.front() == '#') continue;
      size_t eq = line.find('=');
      if (eq == std::string_view::npos) continue;
      if (Trim(line.substr(0, eq)) == name) return i;
    }
    return kNone;
  }

  std::vector<std::string> lines_;
};

// A line end inside a value would break the file into two lines: the value ends before it.
std::string_view OneLine(std::string_view value) {
  return value.substr(0, value.find_first_of("\r\n"));
}

class IniSettingsBackend final : public SettingsBackend {
 public:
  IniSettingsBackend(SettingsFileLocation location, SettingsFileWriter writer)
      : location_(std::move(location)), writer_(writer ? std::move(writer) : SettingsFileWriter(&WriteFileAtomically)) {}

  OpenResult OpenUserStore(std::string& caption, std::string& text) override {
    caption = "Settings file access error";
    if (location_.userFile.empty()) {
      text = "No folder for the settings file: neither XDG_CONFIG_HOME nor HOME is set. "
             "The defaults stay in effect and nothing will be saved.";
      return OpenResult::Failed;
    }
    if (!FileExists(location_.userFile)) return OpenResult::Created;
    FileBytes bytes = ReadWholeFile(location_.userFile, uint64_t{1} << 24);
    if (bytes.error != ReadError::None) {
      text = "Cannot read the settings file " + location_.userFile + ": " + bytes.systemText +
             ". The defaults stay in effect and nothing will be saved.";
      return OpenResult::Failed;
    }
    user_.Parse(std::string_view(bytes.begin(), bytes.size));
    return OpenResult::Existed;
  }

  std::optional<StoredValue> ReadUserValue(std::string_view name) override {
    return ToStored(user_.Get(name));
  }

  bool OpenDefaultStore() override {
    for (const std::string& path : location_.defaultFiles) {
      if (!FileExists(path)) continue;
      FileBytes bytes = ReadWholeFile(path, uint64_t{1} << 24);
      if (bytes.error != ReadError::None) continue;
      defaults_.Parse(std::string_view(bytes.begin(), bytes.size));
      return true;
    }
    return false;
  }
  std::optional<StoredValue> ReadDefaultValue(std::string_view name) override {
    return ToStored(defaults_.Get(name));
  }
  void CloseDefaultStore() override { defaults_ = IniDocument(); }

  void WriteValue(const SettingEntry& entry) override {
    if (entry.type == SettingType::String) {
      user_.Set(entry.name, OneLine(entry.text));
    } else {
      user_.Set(entry.name, std::to_string(entry.number));
    }
    dirty_ = true;
  }

  std::string Commit() override {
    if (!dirty_) return "";
    dirty_ = false;
    std::string folder;
    SplitPath(location_.userFile, &folder, nullptr);
    if (!folder.empty()) CreateFolders(folder);
    return writer_(location_.userFile, user_.Text());
  }

 private:
  static std::optional<StoredValue> ToStored(std::optional<std::string> text) {
    if (!text) return std::nullopt;
    StoredValue v;
    v.text = std::move(*text);
    return v;
  }
  static void CreateFolders(const std::string& folder) {
    std::error_code ignored;  // a folder that cannot be made shows up as the write's failure
    std::filesystem::create_directories(folder, ignored);
  }

  SettingsFileLocation location_;
  SettingsFileWriter writer_;
  IniDocument user_;
  IniDocument defaults_;
  bool dirty_ = false;
};

}  // namespace

SettingsFileLocation LocateSettingsFiles(const char* (*getEnv)(const char*)) {
  SettingsFileLocation location;
  auto absolute = [](const char* value) { return value && value[0] == '/'; };
  const char* configHome = getEnv("XDG_CONFIG_HOME");
  const char* home = getEnv("HOME");
  if (absolute(configHome)) {
    location.userFile = std::string(configHome) + std::string(kRelativePath);
  } else if (home && home[0] != '\0') {
    location.userFile = std::string(home) + "/.config" + std::string(kRelativePath);
  }
  const char* configDirs = getEnv("XDG_CONFIG_DIRS");
  std::string_view dirs = configDirs && configDirs[0] != '\0' ? configDirs : "/etc/xdg";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string_view::npos) end = dirs.size();
    std::string_view dir = dirs.substr(start, end - start);
    if (!dir.empty() && dir.front() == '/') {
      location.defaultFiles.push_back(std::string(dir) + std::string(kRelativePath));
    }
    start = end + 1;
  }
  return location;
}

std::unique_ptr<SettingsBackend> MakeIniSettingsBackend(SettingsFileLocation location,
                                                        SettingsFileWriter writer) {
  return std::make_unique<IniSettingsBackend>(std::move(location), writer);
}

}  // namespace tarnvik::core
