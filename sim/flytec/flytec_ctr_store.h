// The airspace memory of the simulated Flytec/Brauniger instrument, from the unit's side: it
// checks every "$PBRCTRW" sentence against the layout of the vendor's document (three-digit
// count and number, 17-character name and remark, four-digit warning distance, DDMM.mmm and
// DDDMM.mmm positions, five-digit radius in metres, "+" or "-"), answers each zone with
// "$PBRANS,<status>" (1 stored, 2 implausible, 3 memory full, 5 bad checksum), keeps up to 500
// zones keyed by their 17-character name (a zone of a name it holds replaces it and is listed
// last), and serves them as "$PBRCTR" sentences ending with "$PBRANS,1".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnvik::sim::flytec {

struct FlytecCtrFaults {
  int forcedStatus = 0;     // every zone answered with this status (nothing stored unless 1)
  bool noListEnd = false;   // the zone list is sent without its "$PBRANS,1"
  bool noAck = false;       // zones are never acknowledged
  int lateAckMs = 0;        // acknowledgements come this many milliseconds late
  int memoryElements = 4000;  // capacity; a zone takes 3 + one per segment sentence
};

struct SimCtrSegment {
  char kind = 'P';  // 'P', 'C' or 'A'
  double latitude = 0, longitude = 0;  // point or centre, degrees
  double startLatitude = 0, startLongitude = 0, endLatitude = 0, endLongitude = 0;
  int radius = 0;   // metres
  char direction = '+';
};

class FlytecCtrStore {
 public:
  static constexpr int kMaxZones = 500;

  struct Zone {
    std::string name;                  // the 17 characters it is keyed by
    std::vector<std::string> bodies;   // "PBRCTR,NNN,III,..." as the unit sends them
    int elements = 0;
  };

  // Adds a zone as the unit would hold it (name and remark cut or padded to 17 characters).
  void Add(const std::string& name, int warning, const std::string& remark, const std::vector<SimCtrSegment>& segments);
  // A line the host sent ("$...*HH", no CR LF). False when it is no CTR sentence. Otherwise
  // `answer` gets the bodies of the sentences to send (empty: the bare XOFF ... XON), and
  // `delayMs` how late they go (0 = at once; -1 = never).
  bool HandleLine(const std::string& line, const FlytecCtrFaults& faults, std::vector<std::string>& answer,
                  int64_t& delayMs);

  std::vector<Zone> zones;
  std::vector<int> statuses;           // every answered zone's status, in order
  std::vector<std::string> received;   // every upload sentence body, in order

 private:
  int UsedElements() const;
  void Answer(const FlytecCtrFaults& faults, std::vector<std::string>& answer, int64_t& delayMs);
  std::vector<std::string> pending_;  // bodies of the zone being uploaded
  int expected_ = 0;                  // its sentence count (NNN)
  bool implausible_ = false;
  bool badChecksum_ = false;
};

// One "ctr" line of the data file: NAME|WARNING|REMARK|SEGMENT|..., each segment "P LAT LON",
// "C LAT LON RADIUS" or "A CLAT CLON SLAT SLON ELAT ELON +|-" (degrees, negative south and
// west; radius in metres). False with a text in error.
bool ParseCtrDataLine(const std::string& value, FlytecCtrStore& store, std::string& error);

}  // namespace tarnvik::sim::flytec
