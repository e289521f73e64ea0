#include "model/clock.h"

#include <thread>

namespace talmer::sim {

scaled_clock::scaled_clock(double scale)
    : start_(std::chrono::steady_clock::now()), scale_(scale > 0 ? scale : 1.0) {}

std::int64_t scaled_clock::now_ms() const {
  const std::chrono::duration<double, std::milli> real = std::chrono::steady_clock::now() - start_;
  // The small addition keeps a time reached by sleep_until from reading as
  // one millisecond earlier through rounding.
  return static_cast<std::int64_t>(real.count() / scale_ + 1e-6);
}

void scaled_clock::sleep_until(std::int64_t ms) const {
  const auto when = start_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double, std::milli>(static_cast<double>(ms) * scale_));
  std::this_thread::sleep_until(when);
}

}  // namespace talmer::sim
