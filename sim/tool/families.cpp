#include "sim/tool/families.h"

#include "sim/echo_device.h"
#include "sim/flytec/flytec_device.h"
#include "sim/garmin/garmin_device.h"
#include "sim/logit/logit_device.h"
#include "sim/graviter/graviter_device.h"
#include "sim/magellan/magellan_device.h"
#include "sim/xctrainer/xctrainer_device.h"

namespace tarnvik::sim {

void RegisterBuiltInSimulators() {
  RegisterEchoSimulator();
  garmin::RegisterGarminSimulator();
  flytec::RegisterFlytecSimulator();
  xctrainer::RegisterXcTrainerSimulator();
  logit::RegisterLogItSimulator();
  magellan::RegisterMagellanSimulator();
  graviter::RegisterGraviterSimulator();
}

}  // namespace tarnvik::sim
