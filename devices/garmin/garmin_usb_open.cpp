#include "devices/garmin/garmin_usb_open.h"

#include <algorithm>
#include <cstdio>

#include "access/usb_pipe.h"

namespace tarnvik::devices::garmin {

std::vector<UsbDeviceEntry> GarminUsbCandidates(const std::vector<UsbDeviceEntry>& devices) {
  std::vector<UsbDeviceEntry> out;
  for (const UsbDeviceEntry& d : devices) {
    if (d.vendor == kGarminUsbVendor && d.product == kGarminUsbProduct) out.push_back(d);
  }
  std::stable_sort(out.begin(), out.end(), [](const UsbDeviceEntry& a, const UsbDeviceEntry& b) {
    return a.bus != b.bus ? a.bus < b.bus : a.address < b.address;
  });
  return out;
}

std::string UsbDeviceName(const UsbDeviceEntry& device) {
  char text[40];
  std::snprintf(text, sizeof text, "bus %03d device %03d", device.bus, device.address);
  return text;
}

std::string UsbOpenFailureText(const std::vector<UsbFailure>& failures) {
  if (std::find(failures.begin(), failures.end(), UsbFailure::Access) != failures.end()) {
    return "No permission to use the Garmin USB device: install packaging/51-garmin-usb.rules as the README "
           "says, then plug the unit in again";
  }
  if (std::find(failures.begin(), failures.end(), UsbFailure::Busy) != failures.end()) {
    return "The Garmin USB device is in use by another program";
  }
  return "No active device found";
}

int UsbTransferStage(UsbFailure failure) {
  switch (failure) {
    case UsbFailure::Timeout:
      return access::kUsbStageTimeout;
    case UsbFailure::Overflow:
      return access::kUsbStageOverflow;
    default:
      return access::kUsbStageTransfer;
  }
}

uint32_t UsbApiVersionWord(uint16_t major, uint16_t minor, uint16_t micro) {
  return (static_cast<uint32_t>(major & 0xFF) << 24) | (static_cast<uint32_t>(minor & 0xFF) << 16) | micro;
}

}  // namespace tarnvik::devices::garmin
