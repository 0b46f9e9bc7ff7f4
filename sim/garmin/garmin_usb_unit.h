// The simulated Garmin unit on USB, seen from the unit: the same unit as on the serial line
// (GarminDevice: its answers, its records, what it takes from uploads and its protocol checks),
// reached through the pipes of a USB unit instead of the serial framing. It runs in memory
// behind the host's pipe interface, on the caller's clock (a fake clock makes every wait
// instant).
//
// The unit's side of USB, in its own encoding: a 12-byte header (type, 3 reserved bytes, 16-bit
// id, 2 reserved bytes, 32-bit data size) before the data. A start-session packet (type 0, id 5)
// is answered with "session started" (type 0, id 6, the unit ID) on the interrupt pipe. The
// answers to an application packet go out either as "data available" (type 0, id 2) on the
// interrupt pipe and then the packets on the bulk pipe, a zero-length bulk read between two
// packets, or (interrupt delivery) the packets themselves on the interrupt pipe in 64-byte pieces
// (a packet whose length is a multiple of 64 ends with an empty piece). There are no
// acknowledgements on USB: the unit treats each packet it sends as taken.
//
// Faults for tests, on the unit's pipe operations (counted from 1 over all four operations)
// and on its application packets (counted from 1 in the order it sends them).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "access/usb_pipe.h"
#include "core/ports.h"
#include "sim/garmin/garmin_device.h"

namespace tarnvik::sim::garmin {

enum class UsbPacketFault {
  None,
  ShortInterrupt,   // the packet goes out on the interrupt pipe cut to 8 bytes
  WrongType,        // type 21 instead of 20
  SizeBeyondBytes,  // the header announces 200 more data bytes than follow
  OverlongData,     // 300 more data bytes than the packet has
};

struct GarminUsbUnitConfig {
  uint32_t unitId = 0x3A5C1E07;
  uint32_t apiVersion = 0x0001001A;
  // Application packets on the interrupt pipe instead of "data available" and the bulk pipe.
  bool interruptDelivery = false;
  // Zero-length bulk reads before each packet on the bulk pipe.
  int emptyBulkReads = 1;

  // Pipe operation faults (0 = none): the k-th operation fails (a transfer error), brings its
  // bytes corrupted (a read: the first byte changed; a write: the unit takes garbage), starves
  // (nothing within the time limit), or waits in real time, as a transfer in flight does,
  // until Close() (then fails as closed) or its time limit.
  int failOperation = 0;
  int corruptOperation = 0;
  int starveOperation = 0;
  int blockOperation = 0;
  // Every operation after the first N gets nothing within its time limit.
  int silentAfterOperations = 0;

  UsbPacketFault packetFault = UsbPacketFault::None;
  int packetFaultAt = 0;  // the unit's application packet it applies to
  bool endlessEmptyBulk = false;     // the bulk pipe never brings anything
  bool shortBulkWrite = false;       // every bulk OUT reports one byte fewer than given
  bool wrongSessionAnswer = false;   // "session started" comes with id 7
  // The capability array's data as sent, replacing the unit's own (a 10-byte array, a bad tag).
  std::optional<std::vector<uint8_t>> capabilityData;
};

class GarminUsbUnit : public access::UsbPipe {
 public:
  GarminUsbUnit(GarminDevice& device, core::Clock& clock, GarminUsbUnitConfig config = {});

  int ReadApiVersion(uint32_t& version) override;
  int ReadInterrupt(uint8_t* buffer, size_t size, int timeoutMs) override;
  int WriteBulk(const uint8_t* bytes, size_t count, int timeoutMs) override;
  int ReadBulk(uint8_t* buffer, size_t size, int timeoutMs) override;
  void Close() override;
  // The unit plugged in again after a job closed it: the pipes work again.
  void Reopen();

  // Every bulk OUT transfer the host made, in order; a zero-length packet after a transfer of a
  // multiple of 64 bytes is recorded as an empty entry.
  std::vector<std::vector<uint8_t>> bulkWrites() const;
  int operations() const;
  int sessionsStarted() const;
  // What the host did against the USB layer (a header size that does not match, an unknown type).
  std::vector<std::string> protocolErrors() const;
  bool closed() const;

 private:
  enum class Gate { Go, Fail, Starve, Corrupt, Closed };
  Gate Enter(std::unique_lock<std::mutex>& lock, int timeoutMs);
  int TimeOut(int timeoutMs, std::unique_lock<std::mutex>& lock);
  void HandleHostPacket(uint8_t type, uint16_t id, const std::vector<uint8_t>& data);
  void Deliver(const UnitPacket& packet);
  std::vector<UnitPacket> AskDevice(const UnitPacket& packet);

  GarminDevice& device_;
  core::Clock& clock_;
  GarminUsbUnitConfig config_;
  mutable std::mutex mutex_;
  std::condition_variable closedSignal_;
  bool closed_ = false;
  int operations_ = 0;
  int sessions_ = 0;
  int delivered_ = 0;
  bool announced_ = false;  // "data available" sent since the session started
  std::deque<std::vector<uint8_t>> interrupt_;  // pieces
  std::deque<std::vector<uint8_t>> bulk_;       // one entry per bulk read (empty: a zero-length read)
  std::vector<std::vector<uint8_t>> bulkWrites_;
  std::vector<std::string> protocolErrors_;
  UnitFrameReader reader_;
};

// A pipe that forwards to a unit the caller keeps (an opener hands one to each job; the unit
// and what it recorded outlive the job). Close marks the unit closed.
std::unique_ptr<access::UsbPipe> BorrowUsbUnit(access::UsbPipe& unit);

}  // namespace tarnvik::sim::garmin
