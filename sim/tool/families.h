// The instrument families tarnvik-sim offers. A new family adds its registration call here.
#pragma once

namespace tarnvik::sim {

void RegisterBuiltInSimulators();

}  // namespace tarnvik::sim
