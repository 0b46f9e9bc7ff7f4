#include "app/ctr_commands.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>

#include "access/access_engine.h"
#include "app/file_commands.h"
#include "core/file_io.h"
#include "devices/flytec/flytec_ctr.h"

namespace tarnvik::app {
namespace {

constexpr LogFileType kOpenAirType[] = {{"OpenAir", ".txt"}};
constexpr LogFileType kCtrType[] = {{"CTR", ".txt"}};

// The zone at the first selected row, or null after the command's message.
core::CtrList::iterator FirstSelectedZone(Session& session, const char* caption) {
  if (session.ctrs.empty()) {
    session.Message(caption, "No CTR in list");
    return session.ctrs.end();
  }
  if (session.selection().empty()) {
    session.Message(caption, "No CTR selected");
    return session.ctrs.end();
  }
  const size_t row = *std::min_element(session.selection().begin(), session.selection().end());
  if (row >= session.ctrs.size()) {
    session.Message("CTR list action", "Program error");
    return session.ctrs.end();
  }
  return std::next(session.ctrs.begin(), static_cast<std::ptrdiff_t>(row));
}

// The name as the instrument receives it (17 characters, padded).
std::string SentName(const core::CtrRecord& zone) { return devices::flytec::CtrField(zone.name); }

}  // namespace

int MarkSelectedCtrs(Session& session) {
  for (core::CtrRecord& zone : session.ctrs) zone.selected = 0;
  std::vector<size_t> rows = session.selection();
  std::sort(rows.begin(), rows.end());
  int marked = 0;
  for (size_t row : rows) {
    if (row >= session.ctrs.size()) {
      session.Message("CTR list action", "Program error");
      return -1;
    }
    core::CtrRecord& zone = *std::next(session.ctrs.begin(), static_cast<std::ptrdiff_t>(row));
    if (!zone.selected) ++marked;
    zone.selected = 1;
  }
  return marked;
}

airspace::CtrWarningNotifier SessionCtrNotifier(Session& session) {
  return [&session](const std::string& text) {
    if (!session.dialogs.ctrNotification) {
      session.ui().ShowMessage(airspace::kNotificationCaption, text, core::Icon::Warning);
      return false;
    }
    CtrNotificationForm form;
    form.text = text;
    session.dialogs.ctrNotification(form);
    return form.skipFurther;
  };
}

int ReadCtrFile(core::Ui& ui, const std::string& path, core::CtrList& zones,
                const airspace::CtrWarningNotifier& notify) {
  core::FileBytes file = core::ReadWholeFile(path);
  switch (file.error) {
    case core::ReadError::None: break;
    case core::ReadError::Open:
      ui.ShowMessage("Error opening CTR file", file.systemText, core::Icon::Error);
      return -1;
    case core::ReadError::TooLarge:
      ui.ShowMessage("File buffer memory allocation", file.systemText, core::Icon::Error);
      return -1;
    case core::ReadError::Read:
      ui.ShowMessage("CTR file read error", file.systemText, core::Icon::Error);
      return -1;
  }
  if (file.size == 0) {
    ui.ShowMessage("Reading CTR file", "File is empty", core::Icon::Error);
    return -1;
  }
  return airspace::ParseOpenAir(ui, std::string_view(file.begin(), file.size), zones, notify);
}

bool HasEqualCtrNames(const core::CtrList& zones) {
  std::map<std::string, int> seen;
  for (const core::CtrRecord& zone : zones) {
    if (++seen[zone.name] > 1) return true;
  }
  return false;
}

void NumberEqualCtrNames(core::CtrList& zones) {
  // Each earlier name counts its own duplicates; the numbered names are not compared again.
  std::map<std::string, int> duplicates;
  for (core::CtrRecord& zone : zones) {
    auto [it, first] = duplicates.try_emplace(zone.name, 0);
    if (first) continue;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "(%d)", ++it->second);
    std::string name = airspace::CutUtf8(zone.name, core::kCtrTextLength - std::strlen(suffix)) + suffix;
    airspace::SetCtrText(zone.name, name);
    zone.nameLength = static_cast<int32_t>(std::strlen(zone.name));
  }
}

int UploadCtrCommand(Session& session, int protocol) {
  const int marked = MarkSelectedCtrs(session);
  if (marked < 0) return -1;
  if (marked == 0) {
    session.Message(kUploadCtrCaption, kNoCtrsSelectedText);
    return -1;
  }
  access::AccessData data;
  for (const core::CtrRecord& zone : session.ctrs) {
    if (zone.selected) data.ctrs.push_back(zone);
  }
  if (protocol == access::kProtocolFlytec) {
    // The instrument keys zones by their first 17 characters: two of them would overwrite.
    for (auto a = data.ctrs.begin(); a != data.ctrs.end(); ++a) {
      for (auto b = std::next(a); b != data.ctrs.end(); ++b) {
        if (SentName(*a) != SentName(*b)) continue;
        session.Message(kUploadCtrCaption,
                        a->nameLength < 18 && b->nameLength < 18
                            ? "One or more of the selected CTRs have equal names"
                            : "One or more of the selected CTRs have equal\r\nnames after limiting the length to fit the GPS");
        return -1;
      }
    }
    if (const std::string refused = devices::flytec::CheckCtrUploadFits(data.ctrs); !refused.empty()) {
      session.Message(kUploadCtrCaption, refused);
      return -1;
    }
  }
  const int count = static_cast<int>(data.ctrs.size());
  return session.StartUpload(access::kAccessUploadCtrs, protocol, std::move(data), count, kUploadCtrCaption);
}

int DownloadCtrCommand(Session& session, int protocol) {
  if (!session.CheckNotBusy(kDownloadCtrCaption)) return -1;
  return session.StartJob(access::kAccessDownloadCtrs, protocol, 0, kDownloadCtrCaption);
}

int EditCtrCommand(Session& session) {
  auto at = FirstSelectedZone(session, kEditCtrCaption);
  if (at == session.ctrs.end() || !session.dialogs.ctrEdit) return -1;
  CtrEditForm form = CtrEditForm::ForZone(*at);
  if (!session.dialogs.ctrEdit(form)) return 1;
  *at = std::move(form.zone);
  session.ChangeView(ViewMode::Ctr, true);
  return 0;
}

int NewCtrCommand(Session& session) {
  // The list must not change under an upload that reads it.
  if (!session.CheckNotBusy(kEditCtrCaption) || !session.dialogs.ctrEdit) return -1;
  CtrEditForm form = CtrEditForm::ForNewZone();
  if (!session.dialogs.ctrEdit(form)) return 1;
  session.ctrs.push_front(std::move(form.zone));
  session.ChangeView(ViewMode::Ctr, true);
  return 0;
}

int DeleteCtrCommand(Session& session) {
  const int marked = MarkSelectedCtrs(session);
  if (marked < 0) return -1;
  if (marked == 0) {
    session.Message(kEditCtrCaption, kNoCtrsSelectedText);
    return -1;
  }
  session.ctrs.remove_if([](const core::CtrRecord& zone) { return zone.selected != 0; });
  session.ChangeView(ViewMode::Ctr, true);
  return 0;
}

int ShowCtrCommand(Session& session) {
  if (session.ctrs.empty()) return 1;
  auto at = FirstSelectedZone(session, kShowCtrCaption);
  if (at == session.ctrs.end()) return -1;
  std::vector<core::Waypoint> points = airspace::CtrOutlinePoints(*at);
  if (points.empty()) return -1;
  session.waypoints.waypoints = std::move(points);
  session.waypoints.shownCount = static_cast<int>(session.waypoints.waypoints.size());
  session.waypoints.sourceName.clear();
  session.ChangeView(ViewMode::Waypoints, true);
  return 0;
}

int ReadCtrFileCommand(Session& session) {
  if (!session.CheckNotBusy(kReadCtrFileCaption)) return -1;
  std::optional<FileChoice> choice = ChooseFile(session, FileDialog::Ctr, false, "Read CTR", kOpenAirType);
  if (!choice) return 1;
  RememberChoice(session, FileDialog::Ctr, *choice);
  core::CtrList zones;
  const int count = ReadCtrFile(session.ui(), choice->path, zones, SessionCtrNotifier(session));
  if (count < 0) return -1;
  char status[48];
  std::snprintf(status, sizeof status, "%d CTRs read", count);
  session.SetStatus(status);
  if (count == 0) return 0;  // nothing to add: the list stays as it is
  if (!session.ctrs.empty() &&
      session.ui().Ask(kReadCtrFileCaption, "Keep current CTR list ?", core::Buttons::YesNo, core::Answer::Yes) ==
          core::Answer::Yes) {
    zones.splice(zones.end(), session.ctrs);
  }
  session.ctrs = std::move(zones);
  if (HasEqualCtrNames(session.ctrs) &&
      session.ui().Ask("Equal CTR name(s)", "Fix name by appending number ?", core::Buttons::YesNo,
                       core::Answer::Yes) == core::Answer::Yes) {
    NumberEqualCtrNames(session.ctrs);
  }
  session.ChangeView(ViewMode::Ctr, true);
  return 0;
}

int WriteCtrFileCommand(Session& session) {
  const int marked = MarkSelectedCtrs(session);
  if (marked < 0) return -1;
  if (marked == 0) {
    session.Message(kWriteCtrCaption, kNoCtrsSelectedText);
    return -1;
  }
  const std::string text = airspace::WriteOpenAir(session.ctrs);
  std::optional<FileChoice> choice = ChooseFile(session, FileDialog::Ctr, true, "Save CTR(s)", kCtrType);
  if (!choice) return 1;
  const int written = WriteNewFile(session, choice->path, text);
  if (written == 0) RememberChoice(session, FileDialog::Ctr, *choice);
  return written;
}

}  // namespace tarnvik::app
