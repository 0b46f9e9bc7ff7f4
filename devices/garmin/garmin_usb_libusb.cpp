// The libusb backend of the Garmin USB pipes: library calls and their error codes only; every
// choice is made in garmin_usb_open.cpp.
#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#include "access/usb_pipe.h"
#include "devices/garmin/garmin_usb_open.h"

namespace tarnvik::devices::garmin {
namespace {

UsbFailure FailureOf(int code) {
  switch (code) {
    case LIBUSB_SUCCESS:
      return UsbFailure::None;
    case LIBUSB_ERROR_ACCESS:
      return UsbFailure::Access;
    case LIBUSB_ERROR_BUSY:
      return UsbFailure::Busy;
    case LIBUSB_ERROR_NO_DEVICE:
      return UsbFailure::NoDevice;
    case LIBUSB_ERROR_NOT_FOUND:
      return UsbFailure::NotFound;
    case LIBUSB_ERROR_TIMEOUT:
      return UsbFailure::Timeout;
    case LIBUSB_ERROR_PIPE:
      return UsbFailure::Pipe;
    case LIBUSB_ERROR_OVERFLOW:
      return UsbFailure::Overflow;
    case LIBUSB_ERROR_IO:
      return UsbFailure::Io;
    default:
      return UsbFailure::Other;
  }
}

struct Endpoints {
  uint8_t interruptIn = 0;
  uint8_t bulkIn = 0;
  uint8_t bulkOut = 0;
  int bulkOutPacket = 64;
};

// Interface 0's endpoints from the active configuration's descriptor.
bool FindEndpoints(libusb_device* device, Endpoints& out) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS) return false;
  if (config->bNumInterfaces > 0 && config->interface[0].num_altsetting > 0) {
    const libusb_interface_descriptor& alt = config->interface[0].altsetting[0];
    for (int i = 0; i < alt.bNumEndpoints; ++i) {
      const libusb_endpoint_descriptor& ep = alt.endpoint[i];
      const int kind = ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
      const bool in = (ep.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
      if (kind == LIBUSB_TRANSFER_TYPE_INTERRUPT && in) out.interruptIn = ep.bEndpointAddress;
      if (kind == LIBUSB_TRANSFER_TYPE_BULK && in) out.bulkIn = ep.bEndpointAddress;
      if (kind == LIBUSB_TRANSFER_TYPE_BULK && !in) {
        out.bulkOut = ep.bEndpointAddress;
        if (ep.wMaxPacketSize > 0) out.bulkOutPacket = ep.wMaxPacketSize;
      }
    }
  }
  libusb_free_config_descriptor(config);
  return out.interruptIn != 0 && out.bulkIn != 0 && out.bulkOut != 0;
}

// The opened unit. Close() only marks it closed (it may come from the aborting thread while a
// transfer is in flight, and libusb must not close a handle with transfers in flight); the
// interface is released (which reattaches the kernel driver) and the handle closed when the
// object is destroyed, after the worker let go of it.
class LibusbPipe final : public access::UsbPipe {
 public:
  LibusbPipe(libusb_context* context, libusb_device_handle* handle, const Endpoints& endpoints)
      : context_(context), handle_(handle), endpoints_(endpoints) {}
  ~LibusbPipe() override {
    libusb_release_interface(handle_, 0);
    libusb_close(handle_);
    libusb_exit(context_);
  }

  int ReadApiVersion(uint32_t& version) override {
    if (closed_) return -access::kUsbStageClosed;
    const libusb_version* v = libusb_get_version();
    version = UsbApiVersionWord(v->major, v->minor, v->micro);
    return 0;
  }
  int ReadInterrupt(uint8_t* buffer, size_t size, int timeoutMs) override {
    return Transfer(endpoints_.interruptIn, buffer, size, timeoutMs, true);
  }
  int ReadBulk(uint8_t* buffer, size_t size, int timeoutMs) override {
    return Transfer(endpoints_.bulkIn, buffer, size, timeoutMs, false);
  }
  int WriteBulk(const uint8_t* bytes, size_t count, int timeoutMs) override {
    const int written = Transfer(endpoints_.bulkOut, const_cast<uint8_t*>(bytes), count, timeoutMs, false);
    // A transfer of whole packets is ended with a zero-length packet.
    if (written > 0 && written % endpoints_.bulkOutPacket == 0) {
      uint8_t none = 0;
      const int end = Transfer(endpoints_.bulkOut, &none, 0, timeoutMs, false);
      if (end < 0) return end;
    }
    return written;
  }
  void Close() override { closed_ = true; }

 private:
  int Transfer(uint8_t endpoint, uint8_t* buffer, size_t size, int timeoutMs, bool interrupt) {
    if (closed_) return -access::kUsbStageClosed;
    int transferred = 0;
    const int length = static_cast<int>(size);
    const int code = interrupt ? libusb_interrupt_transfer(handle_, endpoint, buffer, length, &transferred, timeoutMs)
                               : libusb_bulk_transfer(handle_, endpoint, buffer, length, &transferred, timeoutMs);
    if (code == LIBUSB_SUCCESS) return transferred;
    return -UsbTransferStage(FailureOf(code));
  }

  libusb_context* context_;
  libusb_device_handle* handle_;
  Endpoints endpoints_;
  std::atomic<bool> closed_{false};
};

std::unique_ptr<access::OpenedDevice> OpenGarminUsb(access::AccessJob& job, core::Ui& ui) {
  std::vector<UsbFailure> failures;
  libusb_context* context = nullptr;
  if (libusb_init(&context) != LIBUSB_SUCCESS) {
    ui.ShowMessage("USB access", UsbOpenFailureText(failures), core::Icon::Error);
    return nullptr;
  }
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(context, &list);
  std::vector<UsbDeviceEntry> entries;
  std::vector<libusb_device*> devices;
  for (ssize_t i = 0; i < n; ++i) {
    libusb_device_descriptor d{};
    if (libusb_get_device_descriptor(list[i], &d) != LIBUSB_SUCCESS) continue;
    entries.push_back({libusb_get_bus_number(list[i]), libusb_get_device_address(list[i]), d.idVendor, d.idProduct});
    devices.push_back(list[i]);
  }
  std::unique_ptr<access::OpenedDevice> opened;
  for (const UsbDeviceEntry& candidate : GarminUsbCandidates(entries)) {
    const auto at = std::find(entries.begin(), entries.end(), candidate);
    libusb_device* device = devices[static_cast<size_t>(at - entries.begin())];
    job.capture().CaptureText("USB device name:\r\n");
    job.capture().CaptureText(UsbDeviceName(candidate) + "\r\n");
    libusb_device_handle* handle = nullptr;
    int code = libusb_open(device, &handle);
    if (code != LIBUSB_SUCCESS) {
      failures.push_back(FailureOf(code));
      continue;
    }
    // The kernel's garmin_gps driver is detached while we hold the interface and comes back
    // when we release it.
    libusb_set_auto_detach_kernel_driver(handle, 1);
    code = libusb_claim_interface(handle, 0);
    Endpoints endpoints;
    if (code == LIBUSB_SUCCESS && !FindEndpoints(device, endpoints)) {
      libusb_release_interface(handle, 0);
      code = LIBUSB_ERROR_NOT_FOUND;
    }
    if (code != LIBUSB_SUCCESS) {
      failures.push_back(FailureOf(code));
      libusb_close(handle);
      continue;
    }
    opened = std::make_unique<LibusbPipe>(context, handle, endpoints);
    break;
  }
  if (list != nullptr) libusb_free_device_list(list, 1);
  if (!opened) {
    libusb_exit(context);
    ui.ShowMessage("USB access", UsbOpenFailureText(failures), core::Icon::Error);
  }
  return opened;
}

}  // namespace

access::UsbOpener GarminUsbOpener() { return OpenGarminUsb; }

}  // namespace tarnvik::devices::garmin
