// How the application session meets the transfer workers: the gate it starts and aborts jobs
// through (the access engine behind it), and the main-thread queue that carries every result,
// text and question of a worker to the main thread. Nothing on a worker thread touches the
// session's state or the Ui: a worker's callbacks only post to the queue (carrying the job's
// identity), and a question waits until the main thread has answered it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "access/access_engine.h"
#include "core/ports.h"

namespace tarnvik::app {

// Tasks for the main thread. Post is safe from any thread; Drain runs on the main thread (the
// front end calls it when woken, tests call it explicitly).
class MainThreadQueue {
 public:
  void Post(std::function<void()> task);
  // Runs the queued tasks in order, including those they post, until the queue is empty.
  // Returns the number run.
  size_t Drain();
  // Called after every Post, on the posting thread: the front end wakes its event loop here
  // (a queued call in Qt). May be empty.
  void SetWakeUp(std::function<void()> wakeUp);
  size_t Pending() const;

 private:
  mutable std::mutex mutex_;
  std::deque<std::function<void()>> tasks_;
  std::function<void()> wakeUp_;
};

// The transfer gate: the access engine as the session uses it. Start reports its own refusal
// (once, through the engine's Ui) and returns -1; 0 with the job's identity when the worker runs.
class TransferGate {
 public:
  virtual ~TransferGate() = default;
  virtual void Init() = 0;
  virtual int Start(access::AccessRequest request, uint64_t& jobId) = 0;
  virtual int Abort() = 0;
  virtual void Shutdown() = 0;
};

// The gate over the access engine (one engine for the process's main window).
std::unique_ptr<TransferGate> MakeEngineGate(const access::AccessEnvironment& environment);

// A question a worker asks mid-transfer. The worker blocks in Wait until the main thread calls
// Answer, until Cancel (the session's abort or close), or until the job's stop token is
// requested (the engine's abort): then it gets the cancel value at once.
class PendingQuestion {
 public:
  void Answer(int value);
  void Cancel(int cancelValue);
  // The answer, or cancelValue once stop is requested before an answer came.
  int Wait(std::stop_token stop = {}, int cancelValue = -1);
  bool Answered() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable_any done_;
  bool answered_ = false;
  int value_ = 0;
};

}  // namespace tarnvik::app
