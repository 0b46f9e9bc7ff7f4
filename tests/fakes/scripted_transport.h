// A Transport that plays an instrument from a script: the bytes the host must write, the
// replies it gets once those writes are done, and an optional fault at the k-th read.
//
// Replies are released in script order as soon as every write expected before them has been
// made; each reply is delivered by one read (split only when the reader's buffer is smaller).
// A read that finds nothing to give lets its maxWaitMs pass on the clock (a FakeClock: the
// time-out paths run instantly) and returns 0. After a write that differs from the script no
// further reply is released (a real instrument would not answer either) and mismatch() says
// where it went wrong.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "access/transport.h"
#include "core/ports.h"

namespace tarnvik::testing {

enum class ScriptedFault {
  None,
  Fail,     // the read returns -1 (a port error)
  Corrupt,  // the read delivers its bytes with the middle one inverted
  Silent,   // the read and every later one deliver nothing
};

class ScriptedTransport : public access::Transport {
 public:
  // clock: advanced by reads that find nothing (null: no time passes).
  explicit ScriptedTransport(core::Clock* clock = nullptr) : clock_(clock) {}

  // ---- the script --------------------------------------------------------------------------
  ScriptedTransport& ExpectWrite(std::vector<uint8_t> bytes);
  ScriptedTransport& ExpectWrite(std::string_view text);
  // The next count written bytes may be anything.
  ScriptedTransport& ExpectAnyWrite(size_t count);
  ScriptedTransport& Reply(std::vector<uint8_t> bytes);
  ScriptedTransport& Reply(std::string_view text);
  // A transcript: one exchange per line, "> " and hex bytes for what the host writes, "< "
  // and hex bytes for what the instrument answers ("> 10 FE 00 02 10 03"); other lines are
  // ignored. Returns false for a line with bad hex.
  bool AddTranscript(std::string_view transcript);

  // ---- faults --------------------------------------------------------------------------------
  // The readNumber-th read that would deliver bytes (1-based, counted from this call) fails,
  // is corrupted or goes silent.
  void InjectReadFault(int readNumber, ScriptedFault fault);
  // Writes from the writeNumber-th (1-based) on fail.
  void FailWritesFrom(int writeNumber) { failWritesFrom_ = writeNumber; }
  // SetSpeed fails with this caption and text.
  void FailSetSpeed(std::string caption, std::string text);
  // Reads block (in real time) until Close: a worker stuck in a read the line never ends.
  void StallReads(bool stall);

  // ---- Transport -----------------------------------------------------------------------------
  int SetSpeed(int baud, bool xonXoff) override;
  int Read(uint8_t* buffer, size_t size, int maxWaitMs) override;
  int Write(const uint8_t* bytes, size_t count) override;
  void Purge() override;
  void Close() override;
  std::string ErrorCaption() const override;
  std::string ErrorText() const override;

  // ---- what happened -------------------------------------------------------------------------
  std::vector<uint8_t> written() const;
  // Empty while every write matched; else where and how it differed.
  std::string mismatch() const;
  // True when every expected write was made and every reply was read.
  bool Finished() const;
  struct LineSetting {
    int baud = 0;
    bool xonXoff = false;
  };
  std::vector<LineSetting> speeds() const;
  int purges() const;
  int reads() const;  // reads that delivered bytes
  bool closed() const;

 private:
  struct Step {
    bool isReply = false;
    bool any = false;  // expected write of any bytes
    std::vector<uint8_t> bytes;
    size_t anyCount = 0;
  };
  // Releases the replies whose preceding writes are complete.
  void AdvanceLocked();
  size_t ExpectedLengthLocked(const Step& step) const { return step.any ? step.anyCount : step.bytes.size(); }

  core::Clock* clock_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Step> steps_;
  size_t step_ = 0;          // next step of the script
  size_t stepOffset_ = 0;    // bytes of the current expected write already matched
  std::vector<std::vector<uint8_t>> ready_;  // released replies not yet read
  size_t readyOffset_ = 0;
  std::vector<uint8_t> written_;
  std::string mismatch_;
  std::vector<LineSetting> speeds_;
  int purges_ = 0;
  int deliveringReads_ = 0;
  int writes_ = 0;
  int faultRead_ = 0;
  ScriptedFault fault_ = ScriptedFault::None;
  bool silent_ = false;
  int failWritesFrom_ = 0;
  std::string speedCaption_;
  std::string speedText_;
  std::string errorCaption_;
  std::string errorText_;
  bool stall_ = false;
  bool closed_ = false;
};

// Bytes of a text, for scripts.
std::vector<uint8_t> Bytes(std::string_view text);

}  // namespace tarnvik::testing
