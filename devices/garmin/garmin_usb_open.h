// Finding and opening a Garmin unit on USB: the choices of the USB backend as plain functions
// (which devices are candidates and in what order, what each failure of the USB library means
// for the user and for the capture), so they are tested without hardware. The backend itself
// (garmin_usb_libusb.cpp) only makes the library calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "access/access_engine.h"

namespace tarnvik::devices::garmin {

// Units that speak the Garmin USB protocol: vendor 0x091e, product 0x0003 (mass-storage Garmins
// have other product IDs and do not speak it).
constexpr uint16_t kGarminUsbVendor = 0x091e;
constexpr uint16_t kGarminUsbProduct = 0x0003;

struct UsbDeviceEntry {
  int bus = 0;
  int address = 0;
  uint16_t vendor = 0;
  uint16_t product = 0;
  friend bool operator==(const UsbDeviceEntry&, const UsbDeviceEntry&) = default;
};

// The Garmin units among the attached devices, in bus order (bus, then device address); the
// first of them that opens is used.
std::vector<UsbDeviceEntry> GarminUsbCandidates(const std::vector<UsbDeviceEntry>& devices);
// "bus 001 device 004": the name of a candidate in the capture.
std::string UsbDeviceName(const UsbDeviceEntry& device);

// What went wrong in a call of the USB library.
enum class UsbFailure {
  None,
  Access,     // permission refused
  Busy,       // claimed by another program (or a kernel driver that could not be detached)
  NoDevice,   // unplugged
  NotFound,
  Timeout,
  Pipe,       // endpoint stalled
  Overflow,   // the unit sent more than asked for
  Io,
  Other,
};

// The message (caption "USB access") when no candidate opened: each candidate's failure, in
// order. A refused permission names the fix; a unit in use says so; anything else (also no
// candidate at all) is "No active device found".
std::string UsbOpenFailureText(const std::vector<UsbFailure>& failures);
// The capture stage of a failed transfer (access/usb_pipe.h): 3 for a time-out, 4 for an
// overflow, 2 otherwise.
int UsbTransferStage(UsbFailure failure);
// The API version word of the USB library's version: major, minor, micro in bytes 3, 2 and 1-0.
uint32_t UsbApiVersionWord(uint16_t major, uint16_t minor, uint16_t micro);

// The opener of the USB backend (libusb): finds the candidates, writes "USB device name:" and
// each candidate's name to the job's capture, opens, detaches the kernel driver for as long as
// the unit is held, claims interface 0 and takes the endpoints from its descriptors. Reports
// its failures itself (caption "USB access") and returns null. Not available on Windows.
access::UsbOpener GarminUsbOpener();

}  // namespace tarnvik::devices::garmin
