// One flight's statistics and distances, as the statistics fill it and the KML writer formats it.
#pragma once

#include <cstdint>
#include <vector>

#include "core/records.h"

namespace tarnvik::core {

struct FlightSummary {
  // The fixes the statistics ran on (the working set). Indices below refer to it.
  std::vector<TrackPoint> fixes;
  uint32_t startTime = 0;     // time of the first fix
  uint32_t finishTime = 0;    // time of the last fix
  uint32_t duration = 0;      // seconds, finish minus start
  int32_t downloadedTime = -1;  // time encoding of the download; -1 = none
  int32_t signFlag = 0;       // nonzero: write the signature
  int32_t pilotIdFlag = 0;    // nonzero: write the pilot ID attributes
  int32_t competitionPilotId = -1;  // negative = none
  int32_t civlPilotId = -1;         // negative = none
  int32_t utcFlag = 0;        // nonzero: fix times are UTC (time stamps get "Z")
  int32_t minimumHeight = 0;  // metres
  int32_t maximumHeight = 0;  // metres
  double topSpeed = 0;        // km/h, greatest 10-second mean speed
  double maximumMeanSpeed = 0;  // km/h, greatest 60-second mean speed
  double totalDistance = 0;   // metres
  double meanSpeed = 0;       // km/h, total distance / duration x 3.6 (0 when duration is 0)
  double minimumClimbRate = 0;  // m/s over 60 s
  double maximumClimbRate = 0;  // m/s over 60 s
  int32_t openDistanceFixes[2] = {0, 0};  // 0-based indices into fixes
  double openDistance = 0;                // metres
  int32_t fivePointFixes[5] = {0, 0, 0, 0, 0};  // indices in track order
  double fivePointLegs[4] = {0, 0, 0, 0};       // metres: 1-2, 2-3, 3-4, 4-5
  double fivePointSum = 0;                      // metres
};

}  // namespace tarnvik::core
