// The pipes of a Garmin unit on USB, as the routines of protocol 8 use them: the unit's API
// version, a read of the interrupt IN pipe, a write to the bulk OUT pipe and a read of the bulk
// IN pipe. Everything above this interface (packets, session start, product data, transfers) is
// plain code that runs the same over the libusb backend and over the simulated unit in memory.
//
// An opened pipe is the job's OpenedDevice (AccessJob::usbDevice). Close() may come from the
// aborting thread while the worker waits in a transfer: it only marks the pipe closed, so every
// later operation fails at once and a transfer in progress ends within its time limit; the
// device itself is released when the pipe object is destroyed (after the worker let go of it).
#pragma once

#include <cstddef>
#include <cstdint>

#include "access/access_engine.h"

namespace tarnvik::access {

// A failed pipe operation returns the negative of the stage at which it failed; the caller
// writes the stage into the debug capture ("INT pipe error 2", "Bulk OUT error 4", ...).
constexpr int kUsbStageClosed = 1;    // the pipe is closed (aborted) or was never opened
constexpr int kUsbStageTransfer = 2;  // the transfer failed (device gone, stall, I/O error)
constexpr int kUsbStageTimeout = 3;   // nothing came (or went) within the time limit
constexpr int kUsbStageShort = 4;     // fewer bytes than asked for (API version, bulk OUT)
constexpr int kUsbStageOverflow = 4;  // bulk IN: the unit sent more than the buffer holds

class UsbPipe : public OpenedDevice {
 public:
  // The version of what drives the pipes (for libusb: major, minor, micro). 0, or -stage.
  virtual int ReadApiVersion(uint32_t& version) = 0;
  // One interrupt IN transfer into buffer (64 bytes): the byte count, or -stage.
  virtual int ReadInterrupt(uint8_t* buffer, size_t size, int timeoutMs) = 0;
  // One bulk OUT transfer: the byte count written, or -stage. A write of a multiple of the
  // endpoint's packet size is ended with a zero-length packet by the pipe.
  virtual int WriteBulk(const uint8_t* bytes, size_t count, int timeoutMs) = 0;
  // One bulk IN transfer into buffer (4096 bytes): the byte count (0: the unit had nothing
  // yet), or -stage.
  virtual int ReadBulk(uint8_t* buffer, size_t size, int timeoutMs) = 0;
};

}  // namespace tarnvik::access
