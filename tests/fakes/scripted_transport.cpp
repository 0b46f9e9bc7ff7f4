#include "tests/fakes/scripted_transport.h"

#include <algorithm>
#include <cstdio>

namespace tarnvik::testing {
namespace {

std::string Hex(uint8_t b) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", b);
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::vector<uint8_t> Bytes(std::string_view text) { return std::vector<uint8_t>(text.begin(), text.end()); }

ScriptedTransport& ScriptedTransport::ExpectWrite(std::vector<uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  steps_.push_back({false, false, std::move(bytes), 0});
  AdvanceLocked();
  return *this;
}

ScriptedTransport& ScriptedTransport::ExpectWrite(std::string_view text) { return ExpectWrite(Bytes(text)); }

ScriptedTransport& ScriptedTransport::ExpectAnyWrite(size_t count) {
  std::lock_guard lock(mutex_);
  steps_.push_back({false, true, {}, count});
  AdvanceLocked();
  return *this;
}

ScriptedTransport& ScriptedTransport::Reply(std::vector<uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  steps_.push_back({true, false, std::move(bytes), 0});
  AdvanceLocked();
  changed_.notify_all();
  return *this;
}

ScriptedTransport& ScriptedTransport::Reply(std::string_view text) { return Reply(Bytes(text)); }

bool ScriptedTransport::AddTranscript(std::string_view transcript) {
  size_t pos = 0;
  while (pos < transcript.size()) {
    size_t end = transcript.find('\n', pos);
    if (end == std::string_view::npos) end = transcript.size();
    std::string_view line = transcript.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty() || (line[0] != '>' && line[0] != '<')) continue;
    std::vector<uint8_t> bytes;
    int high = -1;
    for (size_t i = 1; i < line.size(); ++i) {
      char c = line[i];
      if (c == ' ' || c == '\t' || c == '\r') {
        if (high >= 0) return false;
        continue;
      }
      int d = HexDigit(c);
      if (d < 0) return false;
      if (high < 0) {
        high = d;
      } else {
        bytes.push_back(static_cast<uint8_t>(high * 16 + d));
        high = -1;
      }
    }
    if (high >= 0) return false;
    if (line[0] == '>') {
      ExpectWrite(std::move(bytes));
    } else {
      Reply(std::move(bytes));
    }
  }
  return true;
}

void ScriptedTransport::InjectReadFault(int readNumber, ScriptedFault fault) {
  std::lock_guard lock(mutex_);
  faultRead_ = deliveringReads_ + readNumber;
  fault_ = fault;
}

void ScriptedTransport::FailSetSpeed(std::string caption, std::string text) {
  std::lock_guard lock(mutex_);
  speedCaption_ = std::move(caption);
  speedText_ = std::move(text);
}

void ScriptedTransport::StallReads(bool stall) {
  std::lock_guard lock(mutex_);
  stall_ = stall;
  changed_.notify_all();
}

void ScriptedTransport::AdvanceLocked() {
  while (mismatch_.empty() && step_ < steps_.size() && steps_[step_].isReply) {
    ready_.push_back(steps_[step_].bytes);
    ++step_;
  }
}

int ScriptedTransport::SetSpeed(int baud, bool xonXoff) {
  std::lock_guard lock(mutex_);
  if (closed_) return -1;
  if (!speedCaption_.empty()) {
    errorCaption_ = speedCaption_;
    errorText_ = speedText_;
    return -1;
  }
  speeds_.push_back({baud, xonXoff});
  return 0;
}

int ScriptedTransport::Read(uint8_t* buffer, size_t size, int maxWaitMs) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (closed_) return -1;
    if (!stall_) break;
    changed_.wait(lock);
  }
  if (ready_.empty() || silent_) {
    if (clock_ && maxWaitMs > 0) clock_->SleepMs(maxWaitMs);
    return 0;
  }
  ++deliveringReads_;
  ScriptedFault fault = deliveringReads_ == faultRead_ ? fault_ : ScriptedFault::None;
  if (fault == ScriptedFault::Fail) {
    errorCaption_ = "Reading the COM port";
    errorText_ = "Input/output error";
    return -1;
  }
  if (fault == ScriptedFault::Silent) {
    silent_ = true;
    if (clock_ && maxWaitMs > 0) clock_->SleepMs(maxWaitMs);
    return 0;
  }
  std::vector<uint8_t>& reply = ready_.front();
  size_t n = std::min(size, reply.size() - readyOffset_);
  std::copy_n(reply.begin() + static_cast<std::ptrdiff_t>(readyOffset_), n, buffer);
  readyOffset_ += n;
  if (readyOffset_ == reply.size()) {
    ready_.erase(ready_.begin());
    readyOffset_ = 0;
  }
  if (fault == ScriptedFault::Corrupt && n > 0) buffer[n / 2] = static_cast<uint8_t>(~buffer[n / 2]);
  return static_cast<int>(n);
}

int ScriptedTransport::Write(const uint8_t* bytes, size_t count) {
  std::lock_guard lock(mutex_);
  if (closed_) return -1;
  ++writes_;
  if (failWritesFrom_ > 0 && writes_ >= failWritesFrom_) {
    errorCaption_ = "Writing to the COM port";
    errorText_ = "Connection timed out";
    return -1;
  }
  for (size_t i = 0; i < count; ++i) {
    uint8_t b = bytes[i];
    size_t offset = written_.size();
    written_.push_back(b);
    if (!mismatch_.empty()) continue;
    if (step_ >= steps_.size()) {
      mismatch_ = "byte " + std::to_string(offset) + ": wrote " + Hex(b) + " after the end of the script";
      continue;
    }
    const Step& step = steps_[step_];
    if (!step.any && step.bytes[stepOffset_] != b) {
      mismatch_ = "byte " + std::to_string(offset) + ": wrote " + Hex(b) + ", expected " +
                  Hex(step.bytes[stepOffset_]) + " (byte " + std::to_string(stepOffset_) + " of script step " +
                  std::to_string(step_) + ")";
      continue;
    }
    if (++stepOffset_ == ExpectedLengthLocked(step)) {
      ++step_;
      stepOffset_ = 0;
      AdvanceLocked();
    }
  }
  changed_.notify_all();
  return 0;
}

void ScriptedTransport::Purge() {
  std::lock_guard lock(mutex_);
  ++purges_;
}

void ScriptedTransport::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  changed_.notify_all();
}

std::string ScriptedTransport::ErrorCaption() const {
  std::lock_guard lock(mutex_);
  return errorCaption_;
}

std::string ScriptedTransport::ErrorText() const {
  std::lock_guard lock(mutex_);
  return errorText_;
}

std::vector<uint8_t> ScriptedTransport::written() const {
  std::lock_guard lock(mutex_);
  return written_;
}

std::string ScriptedTransport::mismatch() const {
  std::lock_guard lock(mutex_);
  return mismatch_;
}

bool ScriptedTransport::Finished() const {
  std::lock_guard lock(mutex_);
  return mismatch_.empty() && step_ == steps_.size() && ready_.empty();
}

std::vector<ScriptedTransport::LineSetting> ScriptedTransport::speeds() const {
  std::lock_guard lock(mutex_);
  return speeds_;
}

int ScriptedTransport::purges() const {
  std::lock_guard lock(mutex_);
  return purges_;
}

int ScriptedTransport::reads() const {
  std::lock_guard lock(mutex_);
  return deliveringReads_;
}

bool ScriptedTransport::closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

}  // namespace tarnvik::testing
