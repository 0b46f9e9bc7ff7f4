#include "formats/kml_logbook.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "core/file_io.h"
#include "core/records.h"
#include "core/text_buffer.h"
#include "formats/kml_writer.h"
#include "formats/xml_scanner.h"

namespace tarnvik::formats {
namespace {

using core::Icon;

constexpr const char* kSaveCaption = "Save Logbook file";
constexpr size_t kMaxNameLength = 256;

// The folder part of a path ("" when it has none).
std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool HasExtension(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  size_t dot = path.rfind('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

}  // namespace

LogbookFolders FindLogbookFolders(std::string_view original) {
  LogbookFolders out;
  std::vector<char> copy;
  try {
    copy.assign(original.begin(), original.end());
    copy.push_back('\0');
  } catch (const std::bad_alloc&) {
    out.code = -1;
    return out;
  }
  char* const text = copy.data();
  char* cursor = text;
  char* name = nullptr;
  char* attributes = nullptr;
  char* before = nullptr;
  auto fail = [&](int code) {
    out = LogbookFolders{};
    out.code = code;
    return out;
  };

  // The first tag: only the byte-order mark may stand before it, directly before it.
  int scan = ScanXmlTag(cursor, name, attributes, before);
  if (scan == -2) return fail(-12);
  if (scan < 0) return fail(-9);
  if (before != nullptr) {
    const bool bom = std::strncmp(before, "\xEF\xBB\xBF", 3) == 0 && before + 3 == name - 1;
    if (!bom) return fail(-4);
  }

  // Open elements: names and a serial number per element, so that sibling folders can be told
  // from folders elsewhere at the same depth.
  constexpr int kMaxOpen = kXmlMaxDepth;
  const char* open[kMaxOpen] = {};
  long serials[kMaxOpen] = {};
  long nextSerial = 1;
  int depth = 0;
  int folderDepth = 0;     // depth of the first Folder once open (it counts itself)
  long folderParent = -1;  // serial of its parent (0 for the root level)
  bool firstTag = true;

  for (;; firstTag = false) {
    if (!firstTag) {
      scan = ScanXmlTag(cursor, name, attributes, before);
      if (scan == -2) return fail(-12);
      if (scan == -1) {
        if (depth > 0) return fail(-11);
        if (before != nullptr) return fail(-10);
        break;
      }
    } else if (std::strcmp(name, "?xml") == 0) {
      continue;
    }
    if (name[0] == '!') continue;
    const size_t tagOffset = static_cast<size_t>(name - 1 - text);
    const bool endTag = name[0] == '/' && scan == 0;
    if (!endTag) {
      if (depth == kMaxOpen) return fail(-6);
      if (before != nullptr && !firstTag) return fail(-5);
      const long parent = depth > 0 ? serials[depth - 1] : 0;
      open[depth] = name;
      serials[depth] = nextSerial++;
      ++depth;
      if (std::strcmp(name, "Folder") == 0) {
        if (folderDepth == 0) {
          folderDepth = depth;
          folderParent = parent;
          out.begin = tagOffset;
        }
      }
      if (scan == 0) continue;
      // An empty element ends at once.
    }
    const char* endName = endTag ? name + 1 : name;
    if (depth == 0) return fail(-8);
    if (std::strcmp(open[depth - 1], endName) != 0) return fail(-7);
    --depth;
    const long parent = depth > 0 ? serials[depth - 1] : 0;
    if (std::strcmp(endName, "Folder") == 0 && folderDepth != 0 && depth == folderDepth - 1 &&
        parent == folderParent) {
      out.end = static_cast<size_t>(cursor - text);
      ++out.count;
    }
  }
  if (out.count == 0 || out.begin >= out.end) return fail(-9);
  return out;
}

int SaveLogbookKml(core::Ui& ui, const core::FlightSummary& summary, std::string_view description,
                   std::string_view instrumentName, std::string& lastFolder) {
  const char* const savedMessage =
      summary.signFlag ? "Track saved (Signature OK)" : "Track saved (NO signature)";

  core::TextBuffer folder;
  if (BuildKmlTripFolder(folder, summary, description, instrumentName) != 0) {
    ui.ShowMessage("Make GoogleEarth track folder", "Memory allocation error", Icon::Error);
    return -1;
  }

  const core::SystemTime start = core::TimeToCalendar(summary.startTime);
  char proposed[32];
  std::snprintf(proposed, sizeof proposed, "%d-%02d-%02d_%02d-%02d", start.year, start.month, start.day,
                start.hour, start.minute);
  core::FileRequest request;
  request.title = "Save track for Hangarium";
  request.filters = {{"Hangarium files (*.kml)", "*.kml"}, {"All Files", "*.*"}};
  request.filterIndex = 1;
  request.folder = lastFolder;
  request.fileName = proposed;
  std::optional<std::string> chosen = ui.ChooseSaveFile(request);
  if (!chosen) return -1;
  std::string path = *chosen;
  if (request.filterIndex == 1 && !HasExtension(path)) {
    if (path.empty() || path.size() > kMaxNameLength) {
      ui.ShowMessage("Error opening file", "Too long file name", Icon::Error);
      return -1;
    }
    path += ".kml";
  }
  lastFolder = FolderOf(path);

  std::string document;
  document.reserve(kKmlHeader.size() + folder.Length() + kKmlFooter.size());
  document.append(kKmlHeader).append(folder.Text()).append(kKmlFooter);

  // A new file appears only complete and never over one that exists (even one created since
  // the check).
  bool exists = core::FileExists(path);
  std::string error;
  if (!exists) {
    error = core::CreateFileExclusively(path, document, exists);
    if (error.empty()) {
      ui.ShowMessage("Save Hangarium track", savedMessage, Icon::None);
      return 0;
    }
    if (!exists) {
      ui.ShowMessage("Error opening file", error, Icon::Information);
      return -1;
    }
  }

  const core::Answer answer = ui.Ask("Save track for Hangarium", "File already exists",
                                     core::Buttons::AppendOverwriteCancel, core::Answer::Cancel);
  if (answer == core::Answer::Append) {
    core::FileBytes old = core::ReadWholeFile(path);
    switch (old.error) {
      case core::ReadError::None:
        break;
      case core::ReadError::Open:
        ui.ShowMessage("Error opening existing file", old.systemText, Icon::Information);
        return -1;
      case core::ReadError::TooLarge:
        ui.ShowMessage("File buffer memory allocation", old.systemText, Icon::Information);
        return -1;
      case core::ReadError::Read:
        ui.ShowMessage("Error reading existing file", old.systemText, Icon::Information);
        return -1;
    }
    if (old.size == 0) {
      ui.ShowMessage(kSaveCaption, "Existing file is empty", Icon::Error);
      return -1;
    }
    const std::string_view oldText(old.begin(), old.size);
    const LogbookFolders folders = FindLogbookFolders(oldText);
    if (folders.code < 0) {
      ui.ShowMessage(kSaveCaption, "Error(s) parsing existing file", Icon::Error);
      return -1;
    }
    document.clear();
    document.append(kKmlHeader)
        .append("  ")
        .append(oldText.substr(folders.begin, folders.end - folders.begin))
        .append("\r\n")
        .append(folder.Text())
        .append(kKmlFooter);
  } else if (answer != core::Answer::Overwrite) {
    return -1;
  }
  // The new content replaces the old file only once it is completely written.
  error = core::WriteFileAtomically(path, document);
  if (!error.empty()) {
    ui.ShowMessage("File write error", error, Icon::Information);
    return -1;
  }
  ui.ShowMessage("Save Hangarium track", savedMessage, Icon::None);
  return 0;
}

}  // namespace tarnvik::formats
