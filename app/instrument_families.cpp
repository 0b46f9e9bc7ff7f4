#include "app/instrument_families.h"

#include "devices/flytec/flytec_transfers.h"
#include "devices/garmin/garmin_transfers.h"

namespace tarnvik::app {

void RegisterInstrumentFamilies(access::AccessRoutineTable& table) {
  devices::garmin::RegisterGarminSerialRoutines(table);
  devices::flytec::RegisterFlytecRoutines(table);
}

}  // namespace tarnvik::app
