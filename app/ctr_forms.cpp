#include "app/ctr_forms.h"

#include <string>

namespace tarnvik::app {

CtrEditForm CtrEditForm::ForZone(const core::CtrRecord& zone) {
  CtrEditForm form;
  form.text = airspace::WriteOpenAirEditorForm(zone);
  form.warningDistance = std::to_string(zone.warningDistance);
  return form;
}

CtrEditForm CtrEditForm::ForNewZone() {
  CtrEditForm form;
  form.text = airspace::kNewCtrTemplate;
  form.warningDistance = std::to_string(core::kCtrDefaultWarningDistance);
  return form;
}

bool CtrEditForm::Check(core::Ui& ui, const airspace::CtrWarningNotifier& notify) {
  constexpr const char* kCaption = "Edit CTR";
  if (warningDistance.empty()) {
    ui.ShowMessage(kCaption, "Missing warning distance input", core::Icon::Error);
    return false;
  }
  int32_t distance = 0;
  for (char c : warningDistance) {
    // Digits only, and no more than the instrument's four.
    if (c < '0' || c > '9' || distance > 999) {
      ui.ShowMessage(kCaption, "Bad warning distance format", core::Icon::Error);
      return false;
    }
    distance = distance * 10 + (c - '0');
  }
  core::CtrList zones;
  const int count = airspace::ParseOpenAir(ui, text, zones, notify);
  if (count < 0) return false;
  if (count == 0) {
    ui.ShowMessage(kCaption, "Missing airspace name", core::Icon::Error);
    return false;
  }
  zone = std::move(zones.front());
  zone.warningDistance = distance;
  return true;
}

}  // namespace tarnvik::app
