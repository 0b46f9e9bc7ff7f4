#include "sim/garmin/garmin_usb_unit.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace tarnvik::sim::garmin {
namespace {

constexpr uint8_t kTypeProtocol = 0;
constexpr uint8_t kTypeApplication = 20;
constexpr uint16_t kDataAvailable = 2;
constexpr uint16_t kStartSession = 5;
constexpr uint16_t kSessionStarted = 6;
constexpr size_t kHeader = 12;
constexpr size_t kInterruptPiece = 64;
constexpr size_t kBulkMaxPacket = 64;  // the bulk OUT endpoint's packet size

std::vector<uint8_t> UsbPacket(uint8_t type, uint16_t id, const std::vector<uint8_t>& data, uint32_t sizeField) {
  std::vector<uint8_t> out(kHeader + data.size(), 0);
  out[0] = type;
  PutU16(out, 4, id);
  PutU32(out, 8, sizeField);
  std::copy(data.begin(), data.end(), out.begin() + kHeader);
  return out;
}

}  // namespace

GarminUsbUnit::GarminUsbUnit(GarminDevice& device, core::Clock& clock, GarminUsbUnitConfig config)
    : device_(device), clock_(clock), config_(std::move(config)) {}

GarminUsbUnit::Gate GarminUsbUnit::Enter(std::unique_lock<std::mutex>& lock, int timeoutMs) {
  if (closed_) return Gate::Closed;
  const int k = ++operations_;
  if (config_.blockOperation == k) {
    // A transfer in flight, as on real hardware: it ends when the pipe is closed or when its
    // time limit passes in real time, whichever comes first.
    closedSignal_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return closed_; });
    return closed_ ? Gate::Closed : Gate::Starve;
  }
  if (config_.failOperation == k) return Gate::Fail;
  if (config_.starveOperation == k) return Gate::Starve;
  if (config_.silentAfterOperations > 0 && k > config_.silentAfterOperations) return Gate::Starve;
  if (config_.corruptOperation == k) return Gate::Corrupt;
  return Gate::Go;
}

int GarminUsbUnit::TimeOut(int timeoutMs, std::unique_lock<std::mutex>& lock) {
  lock.unlock();
  clock_.SleepMs(timeoutMs);
  lock.lock();
  return -access::kUsbStageTimeout;
}

int GarminUsbUnit::ReadApiVersion(uint32_t& version) {
  std::unique_lock lock(mutex_);
  switch (Enter(lock, 500)) {
    case Gate::Closed:
      return -access::kUsbStageClosed;
    case Gate::Fail:
      return -access::kUsbStageTransfer;
    case Gate::Starve:
      return -access::kUsbStageTimeout;
    case Gate::Corrupt:
      version = ~config_.apiVersion;
      return 0;
    case Gate::Go:
      break;
  }
  version = config_.apiVersion;
  return 0;
}

int GarminUsbUnit::ReadInterrupt(uint8_t* buffer, size_t size, int timeoutMs) {
  std::unique_lock lock(mutex_);
  switch (Enter(lock, timeoutMs)) {
    case Gate::Closed:
      return -access::kUsbStageClosed;
    case Gate::Fail:
      return -access::kUsbStageTransfer;
    case Gate::Starve:
      return TimeOut(timeoutMs, lock);
    case Gate::Corrupt:
    case Gate::Go:
      break;
  }
  if (interrupt_.empty()) return TimeOut(timeoutMs, lock);
  std::vector<uint8_t> piece = std::move(interrupt_.front());
  interrupt_.pop_front();
  const size_t n = std::min(size, piece.size());
  if (n > 0) std::memcpy(buffer, piece.data(), n);  // an empty piece has no data pointer
  if (operations_ == config_.corruptOperation && n > 0) buffer[0] ^= 0x5A;
  return static_cast<int>(n);
}

int GarminUsbUnit::ReadBulk(uint8_t* buffer, size_t size, int timeoutMs) {
  std::unique_lock lock(mutex_);
  switch (Enter(lock, timeoutMs)) {
    case Gate::Closed:
      return -access::kUsbStageClosed;
    case Gate::Fail:
      return -access::kUsbStageTransfer;
    case Gate::Starve:
      return TimeOut(timeoutMs, lock);
    case Gate::Corrupt:
    case Gate::Go:
      break;
  }
  if (config_.endlessEmptyBulk) return 0;
  if (bulk_.empty()) return TimeOut(timeoutMs, lock);
  std::vector<uint8_t> packet = std::move(bulk_.front());
  bulk_.pop_front();
  const size_t n = std::min(size, packet.size());
  if (n > 0) std::memcpy(buffer, packet.data(), n);  // an empty packet has no data pointer
  if (operations_ == config_.corruptOperation && n > 0) buffer[0] ^= 0x5A;
  return static_cast<int>(n);
}

int GarminUsbUnit::WriteBulk(const uint8_t* bytes, size_t count, int timeoutMs) {
  std::unique_lock lock(mutex_);
  std::vector<uint8_t> sent(bytes, bytes + count);
  switch (Enter(lock, timeoutMs)) {
    case Gate::Closed:
      return -access::kUsbStageClosed;
    case Gate::Fail:
      return -access::kUsbStageTransfer;
    case Gate::Starve:
      return TimeOut(timeoutMs, lock);
    case Gate::Corrupt:
      if (!sent.empty()) sent[0] ^= 0x5A;
      break;
    case Gate::Go:
      break;
  }
  bulkWrites_.push_back(sent);
  // The pipe ends a transfer of whole packets with a zero-length packet.
  if (count > 0 && count % kBulkMaxPacket == 0) bulkWrites_.emplace_back();
  if (sent.size() < kHeader) {
    protocolErrors_.push_back("bulk OUT transfer of " + std::to_string(sent.size()) + " bytes");
  } else {
    const uint32_t size = GetU32(sent, 8);
    if (size != sent.size() - kHeader) {
      protocolErrors_.push_back("header size " + std::to_string(size) + " with " + std::to_string(sent.size() - kHeader) +
                                " data bytes");
    } else {
      HandleHostPacket(sent[0], GetU16(sent, 4), std::vector<uint8_t>(sent.begin() + kHeader, sent.end()));
    }
  }
  const int reported = static_cast<int>(count) - (config_.shortBulkWrite ? 1 : 0);
  return std::max(reported, 0);
}

void GarminUsbUnit::HandleHostPacket(uint8_t type, uint16_t id, const std::vector<uint8_t>& data) {
  if (type == kTypeProtocol) {
    if (id != kStartSession) {
      protocolErrors_.push_back("USB protocol packet " + std::to_string(id));
      return;
    }
    // A new session: what was waiting to go out is forgotten.
    ++sessions_;
    interrupt_.clear();
    bulk_.clear();
    announced_ = false;
    std::vector<uint8_t> unitId(4);
    PutU32(unitId, 0, config_.unitId);
    interrupt_.push_back(
        UsbPacket(kTypeProtocol, config_.wrongSessionAnswer ? kSessionStarted + 1 : kSessionStarted, unitId, 4));
    return;
  }
  if (type != kTypeApplication) {
    protocolErrors_.push_back("packet of type " + std::to_string(type));
    return;
  }
  if (id > 255) {
    protocolErrors_.push_back("application packet id " + std::to_string(id));
    return;
  }
  for (UnitPacket& answer : AskDevice({static_cast<uint8_t>(id), data})) {
    if (answer.id == pid::kProtocolArray && config_.capabilityData) answer.data = *config_.capabilityData;
    Deliver(answer);
  }
}

std::vector<UnitPacket> GarminUsbUnit::AskDevice(const UnitPacket& packet) {
  // The unit's packet logic is that of the serial unit; on USB nothing is acknowledged, so each
  // of its packets is taken as acknowledged at once and its own acknowledgements stay inside.
  std::vector<UnitPacket> answers;
  std::vector<uint8_t> frame = FrameUnitPacket(packet);
  while (!frame.empty()) {
    std::vector<uint8_t> out;
    device_.Receive(frame.data(), frame.size(), out);
    frame.clear();
    for (uint8_t b : out) {
      if (reader_.Feed(b) != UnitFrameReader::Result::Packet) continue;
      const UnitPacket& p = reader_.packet();
      if (p.id == pid::kAck) continue;
      answers.push_back(p);
      const std::vector<uint8_t> ack = FrameUnitPacket({pid::kAck, {p.id, 0}});
      frame.insert(frame.end(), ack.begin(), ack.end());
    }
  }
  return answers;
}

void GarminUsbUnit::Deliver(const UnitPacket& packet) {
  ++delivered_;
  const UsbPacketFault fault = config_.packetFaultAt == delivered_ ? config_.packetFault : UsbPacketFault::None;
  std::vector<uint8_t> data = packet.data;
  uint32_t sizeField = static_cast<uint32_t>(data.size());
  uint8_t type = kTypeApplication;
  if (fault == UsbPacketFault::WrongType) type = kTypeApplication + 1;
  if (fault == UsbPacketFault::SizeBeyondBytes) sizeField += 200;
  if (fault == UsbPacketFault::OverlongData) {
    data.resize(data.size() + 300, 0xEE);
    sizeField = static_cast<uint32_t>(data.size());
  }
  std::vector<uint8_t> bytes = UsbPacket(type, packet.id, data, sizeField);
  if (fault == UsbPacketFault::ShortInterrupt) {
    bytes.resize(8);
    interrupt_.push_back(bytes);
    return;
  }
  if (config_.interruptDelivery) {
    for (size_t at = 0; at < bytes.size(); at += kInterruptPiece) {
      const size_t n = std::min(kInterruptPiece, bytes.size() - at);
      interrupt_.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                              bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    if (bytes.size() % kInterruptPiece == 0) interrupt_.emplace_back();
    return;
  }
  if (!announced_) {
    interrupt_.push_back(UsbPacket(kTypeProtocol, kDataAvailable, {}, 0));
    announced_ = true;
  }
  for (int i = 0; i < config_.emptyBulkReads; ++i) bulk_.emplace_back();
  bulk_.push_back(std::move(bytes));
}

void GarminUsbUnit::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  closedSignal_.notify_all();
}

void GarminUsbUnit::Reopen() {
  std::lock_guard lock(mutex_);
  closed_ = false;
}

std::vector<std::vector<uint8_t>> GarminUsbUnit::bulkWrites() const {
  std::lock_guard lock(mutex_);
  return bulkWrites_;
}
int GarminUsbUnit::operations() const {
  std::lock_guard lock(mutex_);
  return operations_;
}
int GarminUsbUnit::sessionsStarted() const {
  std::lock_guard lock(mutex_);
  return sessions_;
}
std::vector<std::string> GarminUsbUnit::protocolErrors() const {
  std::lock_guard lock(mutex_);
  return protocolErrors_;
}
bool GarminUsbUnit::closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

namespace {

class BorrowedPipe final : public access::UsbPipe {
 public:
  explicit BorrowedPipe(access::UsbPipe& unit) : unit_(unit) {}
  int ReadApiVersion(uint32_t& version) override { return unit_.ReadApiVersion(version); }
  int ReadInterrupt(uint8_t* buffer, size_t size, int timeoutMs) override {
    return unit_.ReadInterrupt(buffer, size, timeoutMs);
  }
  int WriteBulk(const uint8_t* bytes, size_t count, int timeoutMs) override {
    return unit_.WriteBulk(bytes, count, timeoutMs);
  }
  int ReadBulk(uint8_t* buffer, size_t size, int timeoutMs) override { return unit_.ReadBulk(buffer, size, timeoutMs); }
  void Close() override { unit_.Close(); }

 private:
  access::UsbPipe& unit_;
};

}  // namespace

std::unique_ptr<access::UsbPipe> BorrowUsbUnit(access::UsbPipe& unit) { return std::make_unique<BorrowedPipe>(unit); }

}  // namespace tarnvik::sim::garmin
