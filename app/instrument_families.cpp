#include "app/instrument_families.h"

#include "airspace/openair.h"
#include "devices/flytec/flytec_ctr.h"
#include "devices/flytec/flytec_transfers.h"
#include "devices/garmin/garmin_usb.h"
#include "devices/garmin/garmin_usb_open.h"
#include "devices/logit/logit_transfers.h"
#include "devices/graviter/graviter_transfers.h"
#include "devices/magellan/magellan_transfers.h"
#include "devices/xctrainer/xctrainer_transfers.h"

namespace tarnvik::app {

void RegisterInstrumentFamilies(access::AccessRoutineTable& table) {
  RegisterInstrumentFamilies(table, airspace::CtrOutlinePoints);
}

void RegisterInstrumentFamilies(access::AccessRoutineTable& table, const devices::garmin::CtrOutlineFunction& ctrOutline) {
  devices::garmin::RegisterGarminSerialRoutines(table, ctrOutline);
  devices::garmin::RegisterGarminUsbRoutines(table, ctrOutline);
#ifndef _WIN32
  access::RegisterUsbOpener(devices::garmin::GarminUsbOpener());
#endif
  devices::flytec::RegisterFlytecRoutines(table);
  devices::flytec::RegisterFlytecCtrRoutines(table);
  devices::xctrainer::RegisterXcTrainerRoutines(table);
  devices::logit::RegisterLogItRoutines(table);
  devices::logit::RegisterMlrRoutines(table);
  devices::magellan::RegisterMagellanRoutines(table);
  devices::graviter::RegisterGraviterRoutines(table);
}

}  // namespace tarnvik::app
