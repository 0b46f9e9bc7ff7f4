// The dialogs of the CTR list as form models, without a toolkit: the zone editor ("Edit CTR")
// and the reader's warning ("CTR error notification"). A front end shows the fields, lets the
// user change them and calls Check on OK.
#pragma once

#include <string>

#include "airspace/openair.h"
#include "core/ports.h"
#include "core/records.h"

namespace tarnvik::app {

// "Edit CTR": the zone as OpenAir text (any length) and "&Warning distance (m)".
struct CtrEditForm {
  std::string text;
  std::string warningDistance = "200";
  // Set by a successful Check: the first zone of the text with the warning distance.
  core::CtrRecord zone;

  // The form for an existing zone (editor form of the writer) and for a new one (template).
  static CtrEditForm ForZone(const core::CtrRecord& zone);
  static CtrEditForm ForNewZone();

  // OK: "Missing warning distance input", "Bad warning distance format" (digits only, 0 to
  // 9999, the instrument's four digits), the reader's own errors, or "Missing airspace name" for
  // a text without any zone, each shown under "Edit CTR" (the reader's under its caption); the
  // dialog stays open (false). True with `zone` set; further zones of the text are dropped.
  bool Check(core::Ui& ui, const airspace::CtrWarningNotifier& notify);
};

// "CTR error notification": the warning text, an OK button and "&Skip further notifications",
// ticked when the dialog opens. Closing the dialog leaves skipFurther false.
struct CtrNotificationForm {
  std::string text;
  bool skipFurther = true;
};

}  // namespace tarnvik::app
