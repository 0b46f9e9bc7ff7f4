// The commands of the CTR menu on the session's CTR list: marking the selection, upload to a
// Flytec/Brauniger instrument or (as tracks) to a Garmin, download, the editor, new zone,
// delete, show as waypoints, and reading and writing OpenAir files.
#pragma once

#include <string>

#include "airspace/openair.h"
#include "app/session.h"
#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::app {

constexpr const char* kUploadCtrCaption = "Upload CTR";
constexpr const char* kDownloadCtrCaption = "Download CTR";
constexpr const char* kEditCtrCaption = "Edit CTR";
constexpr const char* kShowCtrCaption = "Show CTR";
constexpr const char* kWriteCtrCaption = "Write CTR";
constexpr const char* kReadCtrFileCaption = "Read CTR file";
constexpr const char* kNoCtrsSelectedText = "No CTR(s) selected";

// Sets the selected flag of the zones at the list's selected rows and clears it elsewhere. The
// number marked, or -1 after "Program error" (caption "CTR list action") for a row beyond the
// list.
int MarkSelectedCtrs(Session& session);

// The reader's warnings as the session shows them: the "CTR error notification" dialog when the
// front end has one (until its box stays ticked), else a message under that caption.
airspace::CtrWarningNotifier SessionCtrNotifier(Session& session);

// Reads an OpenAir file whole and parses it. The number of zones (appended to zones), or -1
// after the message ("Error opening CTR file", "File buffer memory allocation", "CTR file read
// error" with the system's text; "File is empty" under "Reading CTR file"; a parse error).
int ReadCtrFile(core::Ui& ui, const std::string& path, core::CtrList& zones,
                const airspace::CtrWarningNotifier& notify);

// Appends "(1)", "(2)", ... to every zone whose name equals an earlier zone's (counting per
// earlier zone), shortening the name so that it stays within 50 bytes. True when a name was
// equal to another.
bool HasEqualCtrNames(const core::CtrList& zones);
void NumberEqualCtrNames(core::CtrList& zones);

int UploadCtrCommand(Session& session, int protocol);
int DownloadCtrCommand(Session& session, int protocol);
int EditCtrCommand(Session& session);
int NewCtrCommand(Session& session);
int DeleteCtrCommand(Session& session);
int ShowCtrCommand(Session& session);
int ReadCtrFileCommand(Session& session);
int WriteCtrFileCommand(Session& session);

}  // namespace tarnvik::app
