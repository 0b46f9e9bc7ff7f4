// The instrument families this build talks to, registered in one place: the program's entry
// point and the tests that run transfers through the access engine call the same function.
#pragma once

#include "access/access_engine.h"
#include "devices/garmin/garmin_transfers.h"

namespace tarnvik::app {

// Fills the routine table with every family's worker routines (Garmin serial, protocol 0, and
// USB, protocol 8; Flytec/Brauniger with its airspace transfer; XC Trainer and Top Navigator; LogIt,
// Tracklogger and MLR; Magellan; Graviter) and registers the Garmin USB
// opener (libusb; none on Windows yet) as the process-wide opener. Zones go to a Garmin as
// tracks of their outline points (the airspace layer's CtrOutlinePoints). Calling it again
// changes nothing.
void RegisterInstrumentFamilies(access::AccessRoutineTable& table);

// The same with another outline conversion for the Garmin CTR uploads; an empty one leaves
// those uploads unregistered.
void RegisterInstrumentFamilies(access::AccessRoutineTable& table, const devices::garmin::CtrOutlineFunction& ctrOutline);

}  // namespace tarnvik::app
