#include "access/link.h"

namespace tarnvik::access {

bool UsesXonXoff(int protocol) { return protocol == 4 || protocol == 11 || protocol == 7 || protocol == 10; }

int Link::SetSpeed(int baud) {
  if (transport_.SetSpeed(baud, UsesXonXoff(protocol_)) != 0) return -1;
  DiscardReceived();
  clock_.SleepMs(200);
  return 0;
}

int Link::WriteBytes(const uint8_t* bytes, size_t count) {
  capture_.CaptureBytes(bytes, count);
  return transport_.Write(bytes, count) == 0 ? 0 : -1;
}

int Link::WriteText(std::string_view text) {
  return WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

int Link::ReadUnit(const std::function<bool(uint8_t)>& feed, int64_t limitMs) {
  while (next_ < count_) {
    uint8_t byte = buffer_[next_++];
    capture_.CaptureByte(byte);
    if (feed(byte)) return kReadComplete;
  }
  const int64_t start = clock_.NowMs();
  for (;;) {
    int64_t elapsed = clock_.NowMs() - start;
    if (elapsed >= limitMs) return kReadTimeout;
    int64_t left = limitMs - elapsed;
    int got = transport_.Read(buffer_, sizeof buffer_, static_cast<int>(left < 50 ? left : 50));
    if (got < 0) {
      DiscardReceived();
      return kReadPortError;
    }
    count_ = static_cast<size_t>(got);
    next_ = 0;
    while (next_ < count_) {
      uint8_t byte = buffer_[next_++];
      capture_.CaptureByte(byte);
      if (feed(byte)) return kReadComplete;
    }
    if (operation_.IsCancelled()) return kReadPortError;
  }
}

}  // namespace tarnvik::access
