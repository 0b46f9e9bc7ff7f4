// A byte stream to an instrument: a serial port, a pseudo-terminal or a scripted fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnvik::access {

class Transport {
 public:
  virtual ~Transport() = default;
  // Sets the line speed (8N1, binary) and XON/XOFF flow control, then purges both directions.
  // Returns 0, or -1 with ErrorCaption()/ErrorText() describing the failed step.
  virtual int SetSpeed(int baud, bool xonXoff) = 0;
  // Reads up to size bytes, returning as soon as some have arrived or after at most maxWaitMs
  // (serial ports never wait longer than one 50 ms slice per call). Returns the count (0 when
  // nothing came), or -1 when the port failed (including a port closed by an abort).
  virtual int Read(uint8_t* buffer, size_t size, int maxWaitMs) = 0;
  // Writes all bytes. Returns 0, or -1 when the write failed or timed out before all bytes went
  // out (write time-out: 2 ms per byte, 3 ms per byte at 4800 baud).
  virtual int Write(const uint8_t* bytes, size_t count) = 0;
  // Discards pending input and output.
  virtual void Purge() = 0;
  // Closes the port; every later call fails at once. Safe to call from another thread while a
  // Read is in progress (the abort path uses it to free a stuck worker).
  virtual void Close() = 0;
  // Caption and system text of the last failure ("Setting COM port state", "Permission denied").
  virtual std::string ErrorCaption() const { return ""; }
  virtual std::string ErrorText() const { return ""; }
};

}  // namespace tarnvik::access
