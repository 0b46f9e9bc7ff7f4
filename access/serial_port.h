// The serial transport: a COM port opened by name, with the line rules the instruments need.
// Reads return within one 50 ms slice with what has arrived; writes time out after 2 ms per
// byte (3 ms per byte at 4800 baud) and a write that could not send every byte fails; the line
// runs 8N1 in binary mode with DTR and RTS on where the port has modem lines, and XON/XOFF
// flow control only when asked for.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "access/transport.h"

namespace tarnvik::access {

// Longest a single read waits for bytes.
constexpr int kReadSliceMs = 50;

// Write time-out for count bytes at a line speed: 2 ms per byte, 3 ms per byte at 4800 baud.
int WriteTimeoutMs(int baud, size_t count);

// The platform's device for a port name. The Windows form "COMn" (with or without a trailing
// ':') names the nth port (/dev/ttyS<n-1> on Linux); anything else is a device path used as
// given.
std::string SerialDevicePath(const std::string& portName);

// The text for a port that would not open: the system's text for the error and the device;
// a permission error names the dialout group, whose members may use serial ports.
std::string DescribeOpenFailure(int systemError, const std::string& devicePath);

// Opens the COM port (exclusive, raw, no controlling terminal). On failure returns null with
// errorCaption "Opening the COM port" and the system's text in errorText (a permission error
// names the dialout group). The caller sets the line speed next (Transport::SetSpeed).
std::unique_ptr<Transport> OpenSerialPort(const std::string& portName, std::string& errorCaption,
                                          std::string& errorText);

}  // namespace tarnvik::access
