// Arbitrary bytes as what a Garmin unit sends on USB: served as the pieces of its interrupt and
// bulk pipes (each piece a length byte, then that many bytes; a length byte of 0xFF is a failed
// transfer) to the product data exchange and a track log download, both over the same pipes.
// The packet area must never be overrun, a packet never longer than 267 bytes, no decoder read
// beyond the bytes held, no wait unbounded.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "access/debug_capture.h"
#include "access/usb_pipe.h"
#include "devices/garmin/garmin_usb.h"
#include "fuzz/fuzz_line.h"

namespace {

using namespace tarnvik;
using fuzzing::StillClock;

class InputPipe : public access::UsbPipe {
 public:
  InputPipe(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  int ReadApiVersion(uint32_t& version) override {
    version = 0x0100001A;
    return 0;
  }
  int ReadInterrupt(uint8_t* buffer, size_t size, int) override { return Piece(buffer, std::min<size_t>(size, 64)); }
  int ReadBulk(uint8_t* buffer, size_t size, int) override { return Piece(buffer, size); }
  int WriteBulk(const uint8_t*, size_t count, int) override { return static_cast<int>(count); }
  void Close() override {}
  int pieces = 0;

 private:
  int Piece(uint8_t* buffer, size_t size) {
    ++pieces;
    if (at_ >= size_) return -access::kUsbStageTimeout;
    const uint8_t length = data_[at_++];
    if (length == 0xFF) return -access::kUsbStageTransfer;
    const size_t n = std::min({static_cast<size_t>(length), size, size_ - at_});
    std::memcpy(buffer, data_ + at_, n);
    at_ += n;
    return static_cast<int>(n);
  }
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StillClock clock;
  fuzzing::QuietOperation operation(80);  // no product text longer than 80 characters
  access::DebugCapture capture;
  InputPipe pipe(data, size);
  devices::garmin::GarminUsbSession session(pipe, clock, operation, capture);
  int result = devices::garmin::ReadUsbProductData(session);
  if (session.packetLength > devices::garmin::kUsbPacketArea) __builtin_trap();
  if (result != 0) {
    // Whatever the exchange gave, the download runs as a unit of the commonest kind would have.
    session.capabilities.trackTransfer = 301;
    session.capabilities.trackPointType = 301;
  }
  std::vector<core::TrackPoint> points;
  result = devices::garmin::DownloadGarminUsbTrack(session, points);
  if (session.packetLength > devices::garmin::kUsbPacketArea) __builtin_trap();
  if (session.DataSize() > devices::garmin::kMaxPacketData) __builtin_trap();
  if (result != 0 && operation.failures == 0) __builtin_trap();  // every failure is reported
  // Every empty bulk read is a piece of input, so the pipes are asked at most once per input
  // byte (plus the closing time-outs).
  if (static_cast<size_t>(pipe.pieces) > size + 8) __builtin_trap();
  return 0;
}
