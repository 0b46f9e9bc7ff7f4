#include "competition/pilot_list.h"

#include <cstdio>
#include <cstring>

#include "core/file_io.h"
#include "formats/xml_scanner.h"

namespace tarnvik::competition {
namespace {

using formats::XmlTag;
using formats::XmlTagKind;

void Fail(core::Ui& ui, const char* format, int number) {
  char text[96];
  std::snprintf(text, sizeof text, format, number);
  ui.ShowMessage(kPilotListCaption, text, core::Icon::Error);
}

// An ID attribute: absent, unquoted or empty leaves -1; a sign alone, anything but digits, a
// value the scanner calls an overflow, or a negative value is refused.
bool ReadId(const char* attributes, int32_t& id) {
  id = -1;
  if (attributes == nullptr) return true;
  char raw[16];
  if (formats::GetXmlAttrText(attributes, "id", raw, sizeof raw - 1) != 0 || raw[0] == '\0') return true;
  int32_t value = 0;
  if (formats::GetXmlAttrInt(attributes, "id", value) != 0 || value < 0) return false;
  id = value;
  return true;
}

// Closes one participant: the checks in their order, then the entry. number counts from 1.
bool AddParticipant(core::Ui& ui, const char* attributes, const char* civlAttributes, int number,
                    std::vector<PilotEntry>& pilots) {
  if (attributes == nullptr) {
    Fail(ui, "Missing data for pilot %d in list", number);
    return false;
  }
  char name[kPilotNameLength + 1];
  if (formats::GetXmlAttrText(attributes, "name", name, static_cast<int>(kPilotNameLength)) != 0) {
    Fail(ui, "Missing name for pilot %d in list", number);
    return false;
  }
  PilotEntry entry;
  entry.name = name;
  if (!ReadId(attributes, entry.competitionId)) {
    Fail(ui, "Bad/missing comp. ID for pilot %d in list", number);
    return false;
  }
  if (!ReadId(civlAttributes, entry.civlId)) {
    Fail(ui, "Bad CIVL ID for pilot %d in list", number);
    return false;
  }
  pilots.push_back(std::move(entry));
  return true;
}

bool Is(const XmlTag& tag, const char* name) { return std::strcmp(tag.name, name) == 0; }

}  // namespace

int ParsePilotList(core::Ui& ui, std::string_view document, std::vector<PilotEntry>& pilots) {
  std::string text(document.substr(0, document.find('\0')));
  {
    std::string check = text;
    if (formats::CheckXmlStructure(ui, kPilotListCaption, formats::XmlVariant::Strict, check.data()) != 0) return -1;
  }
  formats::XmlWalk walk(text.data(), formats::XmlVariant::Strict);
  XmlTag tag;
  std::vector<PilotEntry> read;
  // 0: outside Fs; 1: in Fs; 2: in the first FsParticipants; 3: in one of its FsParticipant.
  int level = 0;
  const char* attributes = nullptr;
  const char* civlAttributes = nullptr;
  bool civlSeen = false;
  bool done = false;
  while (!done && formats::NextXmlTag(walk, tag) == 1) {
    if (tag.kind == XmlTagKind::Start || tag.kind == XmlTagKind::Empty) {
      const int depth = tag.kind == XmlTagKind::Start ? tag.depth : tag.depth + 1;  // the element's own
      const bool empty = tag.kind == XmlTagKind::Empty;
      if (level == 0 && depth == 1 && Is(tag, "Fs")) {
        if (empty) done = true;
        else level = 1;
      } else if (level == 1 && depth == 2 && Is(tag, "FsParticipants")) {
        if (empty) done = true;
        else level = 2;
      } else if (level == 2 && depth == 3 && Is(tag, "FsParticipant")) {
        attributes = tag.attributes;
        civlAttributes = nullptr;
        civlSeen = false;
        if (empty) {
          if (!AddParticipant(ui, attributes, nullptr, static_cast<int>(read.size()) + 1, read)) return -1;
        } else {
          level = 3;
        }
      } else if (level == 3 && depth == 4 && !civlSeen && Is(tag, "FsCivlPilot")) {
        civlAttributes = tag.attributes;
        civlSeen = true;
      }
    } else if (tag.kind == XmlTagKind::End) {
      const int depth = tag.depth + 1;
      if (level == 3 && depth == 3) {
        if (!AddParticipant(ui, attributes, civlAttributes, static_cast<int>(read.size()) + 1, read)) return -1;
        level = 2;
      } else if ((level == 2 && depth == 2) || (level == 1 && depth == 1)) {
        done = true;  // the first FsParticipants (or Fs) closed
      }
    }
  }
  pilots = std::move(read);
  return 0;
}

int ReadPilotListFile(core::Ui& ui, const std::string& path, PilotList& list) {
  core::FileBytes file = core::ReadWholeFile(path);
  switch (file.error) {
    case core::ReadError::None: break;
    case core::ReadError::Open:
      ui.ShowMessage("Error opening file", file.systemText, core::Icon::Error);
      return -1;
    case core::ReadError::TooLarge:
      ui.ShowMessage("File buffer memory allocation", file.systemText, core::Icon::Error);
      return -1;
    case core::ReadError::Read:
      ui.ShowMessage("Track log file read error", file.systemText, core::Icon::Error);
      return -1;
  }
  if (file.size == 0) {
    ui.ShowMessage(kPilotListCaption, "File is empty", core::Icon::Error);
    return -1;
  }
  std::vector<PilotEntry> pilots;
  if (ParsePilotList(ui, std::string_view(file.begin(), file.size), pilots) != 0) return -1;
  if (pilots.empty()) {
    ui.ShowMessage(kPilotListCaption, "No pilots found", core::Icon::Error);
    return -1;
  }
  if (!list.entries.empty() &&
      ui.Ask(kPilotListCaption, "Current list will be overwritten. Continue ?", core::Buttons::OkCancel,
             core::Answer::Ok, core::Icon::Question) != core::Answer::Ok) {
    return -1;
  }
  list.entries = std::move(pilots);
  list.path = path;
  return 0;
}

int ReadPilotList(core::Ui& ui, std::string& folder, PilotList& list) {
  core::FileRequest request;
  request.title = kPilotListCaption;
  request.filters = {{"Competition files (*.xml)", "*.xml"}};
  request.folder = folder;
  request.defaultExtension = "xml";
  const std::optional<std::string> path = ui.ChooseOpenFile(request);
  if (!path) return -1;
  folder = request.folder;
  return ReadPilotListFile(ui, *path, list);
}

std::string PilotDisplayText(const PilotEntry& pilot) {
  char text[kPilotNameLength + 64];
  if (pilot.competitionId >= 0 && pilot.civlId >= 0) {
    std::snprintf(text, sizeof text, "%s (comp. %d, CIVL %d)", pilot.name.c_str(), pilot.competitionId, pilot.civlId);
  } else if (pilot.civlId >= 0) {
    std::snprintf(text, sizeof text, "%s (CIVL %d)", pilot.name.c_str(), pilot.civlId);
  } else if (pilot.competitionId >= 0) {
    std::snprintf(text, sizeof text, "%s (comp. %d)", pilot.name.c_str(), pilot.competitionId);
  } else {
    return pilot.name;
  }
  return text;
}

int FindByCompetitionId(const std::vector<PilotEntry>& pilots, int32_t id) {
  if (id < 0) return -1;
  for (size_t i = 0; i < pilots.size(); ++i) {
    if (pilots[i].competitionId == id) return static_cast<int>(i);
  }
  return -1;
}

int FindByCivlId(const std::vector<PilotEntry>& pilots, int32_t id) {
  if (id < 0) return -1;
  for (size_t i = 0; i < pilots.size(); ++i) {
    if (pilots[i].civlId == id) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace tarnvik::competition
