#include "app/transfer.h"

namespace tarnvik::app {

void MainThreadQueue::Post(std::function<void()> task) {
  std::function<void()> wakeUp;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
    wakeUp = wakeUp_;
  }
  if (wakeUp) wakeUp();
}

size_t MainThreadQueue::Drain() {
  size_t ran = 0;
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (tasks_.empty()) return ran;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    ++ran;
  }
}

void MainThreadQueue::SetWakeUp(std::function<void()> wakeUp) {
  std::lock_guard<std::mutex> lock(mutex_);
  wakeUp_ = std::move(wakeUp);
}

size_t MainThreadQueue::Pending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return tasks_.size();
}

void PendingQuestion::Answer(int value) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (answered_) return;
  answered_ = true;
  value_ = value;
  done_.notify_all();
}

void PendingQuestion::Cancel(int cancelValue) { Answer(cancelValue); }

int PendingQuestion::Wait(std::stop_token stop, int cancelValue) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!done_.wait(lock, stop, [this] { return answered_; })) {
    // Stopped first: the question counts as answered with the cancel value, so a late answer
    // from the main thread changes nothing.
    answered_ = true;
    value_ = cancelValue;
  }
  return value_;
}

bool PendingQuestion::Answered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return answered_;
}

}  // namespace tarnvik::app
