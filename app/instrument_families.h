// The instrument families this build talks to, registered in one place: the program's entry
// point and the tests that run transfers through the access engine call the same function.
#pragma once

#include "access/access_engine.h"

namespace tarnvik::app {

// Fills the routine table with every family's worker routines. Calling it again changes
// nothing.
void RegisterInstrumentFamilies(access::AccessRoutineTable& table);

}  // namespace tarnvik::app
