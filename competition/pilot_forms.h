// The checks and texts behind the two pilot dialogs of competition mode, free of any toolkit:
// "Set competition ID" (the IDs a waypoint upload or a download confirmation uses) and "Save
// competition log" (the pilot a competition log is saved for).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "competition/competition_log.h"
#include "competition/pilot_list.h"
#include "core/ports.h"

namespace tarnvik::competition {

inline constexpr const char* kSetIdTitle = "Set competition ID";
inline constexpr const char* kSetIdText =
    "Running in competition mode. Type your CIVL and/or competition ID, or select from a list.";
inline constexpr const char* kSaveLogTitle = "Save competition log";
inline constexpr const char* kFolderDialogTitle = "Get track log folder";
inline constexpr const char* kProposedLogName = "<Name>.<COMPID>.<CIVLID>.<Time>";

// A typed ID field: nullopt when it is not a non-negative decimal integer that fits 32 bits;
// -1 for an empty field. Blanks around the digits are ignored.
std::optional<int32_t> ParseIdField(const std::string& text);

// The ID as an ID field shows it: empty for -1.
std::string IdFieldText(int32_t id);

// "&Select pilot from list (%d pilots)", or "&Select pilot from list" without a list.
std::string SelectPilotButtonText(size_t pilots);

// OK of "Set competition ID": "Bad comp. ID" / "Bad CIVL ID" (caption "Check ID") for a field
// that is no ID or one above what a waypoint can carry; both empty asks "Both IDs missing. Exit ?"
// (Yes accepts with both -1). Returns true when the dialog may close with the IDs set.
bool AcceptPilotIds(core::Ui& ui, const std::string& competitionText, const std::string& civlText,
                    int32_t& competitionId, int32_t& civlId);

// OK of "Save competition log": "Bad comp. pilot ID" / "Bad CIVL pilot ID" (caption "Pilot
// parameter check"). On true the fields become the current pilot (name cut to its limit).
bool AcceptSavePilot(core::Ui& ui, const std::string& competitionText, const std::string& civlText,
                     const std::string& name, CompetitionPilot& pilot);

// The list entry a complete typed ID selects: the first with that competition (or CIVL) ID.
int EntryForTypedId(const std::vector<PilotEntry>& pilots, const std::string& text, bool civl);

// The current pilot after a confirmation with these IDs. Unchanged IDs keep the pilot; other
// IDs take the name of the list entry with the competition ID, else the one with the CIVL ID,
// else no name, so a pilot never saves under the previous pilot's name.
CompetitionPilot PilotForConfirmedIds(const CompetitionPilot& current, const std::vector<PilotEntry>& pilots,
                                      int32_t competitionId, int32_t civlId);

}  // namespace tarnvik::competition
