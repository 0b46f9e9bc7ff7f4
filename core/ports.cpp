#include "core/ports.h"

#include <chrono>
#include <thread>

namespace tarnvik::core {
namespace {

class RealClock final : public Clock {
 public:
  int64_t NowMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
  void SleepMs(int64_t ms) override {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  SystemTime UtcNow() override {
    using namespace std::chrono;
    auto now = system_clock::now();
    auto days = floor<std::chrono::days>(now);
    year_month_day ymd{days};
    hh_mm_ss hms{duration_cast<milliseconds>(now - days)};
    SystemTime t;
    t.year = static_cast<uint16_t>(static_cast<int>(ymd.year()));
    t.month = static_cast<uint16_t>(static_cast<unsigned>(ymd.month()));
    t.day = static_cast<uint16_t>(static_cast<unsigned>(ymd.day()));
    t.dayOfWeek = static_cast<uint16_t>(weekday{days}.c_encoding());
    t.hour = static_cast<uint16_t>(hms.hours().count());
    t.minute = static_cast<uint16_t>(hms.minutes().count());
    t.second = static_cast<uint16_t>(hms.seconds().count());
    t.milliseconds = static_cast<uint16_t>(hms.subseconds().count());
    return t;
  }
};

}  // namespace

Clock& SystemClock() {
  static RealClock clock;
  return clock;
}

}  // namespace tarnvik::core
