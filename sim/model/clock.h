// Time as the simulated instrument sees it, in milliseconds. The model never
// reads the system clock itself: the transports hand it a clock, so tests can
// drive it with a manual one and the libraries with a scaled real one.
#pragma once

#include <chrono>
#include <cstdint>

namespace talmer::sim {

class clock {
 public:
  virtual ~clock() = default;
  virtual std::int64_t now_ms() const = 0;
};

// A clock that moves only when told to.
class manual_clock final : public clock {
 public:
  std::int64_t now_ms() const override { return now_; }
  void advance(std::int64_t ms) { now_ += ms; }
  void set(std::int64_t ms) { now_ = ms; }

 private:
  std::int64_t now_ = 0;
};

// Real time, scaled: one instrument millisecond lasts `scale` real
// milliseconds (0.01 makes a 10 s time-out pass in 100 ms). Waits are
// computed in instrument time, so whether a reply beats a time-out does not
// depend on the scale.
class scaled_clock final : public clock {
 public:
  explicit scaled_clock(double scale);
  std::int64_t now_ms() const override;
  double scale() const { return scale_; }
  // Blocks until the instrument time `ms` has come.
  void sleep_until(std::int64_t ms) const;

 private:
  std::chrono::steady_clock::time_point start_;
  double scale_;
};

}  // namespace talmer::sim
