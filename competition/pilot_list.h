// The contest's pilot list: an XML file whose participants carry the pilots' names, competition
// IDs and CIVL IDs. Only Fs > FsParticipants > FsParticipant (> FsCivlPilot) matters; the
// reading of pilots ends when the first FsParticipants element closes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports.h"

namespace tarnvik::competition {

inline constexpr const char* kPilotListCaption = "Read pilot list";
// Longest pilot name a list entry keeps (bytes).
inline constexpr size_t kPilotNameLength = 59;

struct PilotEntry {
  std::string name;
  int32_t civlId = -1;         // -1 = none
  int32_t competitionId = -1;  // -1 = none
};

struct PilotList {
  std::vector<PilotEntry> entries;
  std::string path;  // the file the list came from
};

// Reads the participants of a whole pilot-list document (the text ends at its first NUL byte).
// The structure is checked first; every failure is shown with the caption "Read pilot list" and
// gives -1 with `pilots` untouched. 0 with the entries (possibly none).
int ParsePilotList(core::Ui& ui, std::string_view document, std::vector<PilotEntry>& pilots);

// Reads the list file at path and, after the checks ("No pilots found"; with a list already
// loaded "Current list will be overwritten. Continue ?"), replaces `list`. Any failure or a
// refusal keeps the old list and returns -1.
int ReadPilotListFile(core::Ui& ui, const std::string& path, PilotList& list);

// The open dialog (folder `folder`, updated to the one used) followed by ReadPilotListFile.
int ReadPilotList(core::Ui& ui, std::string& folder, PilotList& list);

// "%s (comp. %d, CIVL %d)", "%s (CIVL %d)", "%s (comp. %d)" or the bare name.
std::string PilotDisplayText(const PilotEntry& pilot);

// The index of the first entry with this competition (or CIVL) ID, or -1. A negative ID
// matches nothing.
int FindByCompetitionId(const std::vector<PilotEntry>& pilots, int32_t id);
int FindByCivlId(const std::vector<PilotEntry>& pilots, int32_t id);

}  // namespace tarnvik::competition
