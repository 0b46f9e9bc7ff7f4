// The instrument families this build talks to, registered in one place: the program's entry
// point and the tests that run transfers through the access engine call the same function.
#pragma once

#include "access/access_engine.h"
#include "devices/garmin/garmin_transfers.h"

namespace tarnvik::app {

// Fills the routine table with every family's worker routines (Garmin serial, protocol 0, and
// USB, protocol 8; Flytec/Brauniger) and registers the Garmin USB opener (libusb; none on
// Windows yet) as the process-wide opener. The Garmin CTR uploads are registered only with the
// airspace layer's outline conversion. Calling it again changes nothing.
void RegisterInstrumentFamilies(access::AccessRoutineTable& table,
                                const devices::garmin::CtrOutlineFunction& ctrOutline = {});

}  // namespace tarnvik::app
