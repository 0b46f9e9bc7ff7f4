// The instrument families this build talks to: their worker routines in the routine table and
// the USB opener of the engine. Called once at start-up, before the first transfer.
#pragma once

#include "access/access_engine.h"
#include "devices/garmin/garmin_transfers.h"

namespace tarnvik::app {

// Registers the Garmin serial (protocol 0) and USB (protocol 8) routines into table, and the
// Garmin USB opener (libusb; none on Windows yet) as the process-wide opener. The CTR uploads
// are registered only with the airspace layer's outline conversion.
void RegisterInstrumentFamilies(access::AccessRoutineTable& table,
                                const devices::garmin::CtrOutlineFunction& ctrOutline = {});

}  // namespace tarnvik::app
