// Progress of a long transfer, shown by the window as a thin bar under the
// message text. Toolkit-free: the download drives it, a view observes it.
// The bar is visible only between `start` and `finish`.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace talmer::ui {

class progress {
 public:
  using observer = std::function<void(const progress &)>;

  // Shows the bar at 0 of `total` units (bytes, points...) of the part
  // named by `channel` (the waveform channel letter, 'I' or 'Q').
  void start(std::int64_t total, char channel = '\0') {
    active_ = true;
    channel_ = channel;
    total_ = std::max<std::int64_t>(total, 0);
    done_ = 0;
    notify();
  }
  // Moves the bar to `done` units, kept within 0..total.
  void advance(std::int64_t done) {
    done = std::clamp<std::int64_t>(done, 0, total_);
    if (!active_ || done == done_) return;
    done_ = done;
    notify();
  }
  // Hides the bar.
  void finish() {
    if (!active_) return;
    active_ = false;
    notify();
  }

  bool active() const { return active_; }
  char channel() const { return channel_; }
  std::int64_t done() const { return done_; }
  std::int64_t total() const { return total_; }
  // The part done, in thousandths (0 while the total is 0).
  int permille() const { return permille_of(done_, total_); }

  static int permille_of(std::int64_t done, std::int64_t total) {
    if (total <= 0 || done <= 0) return 0;
    if (done >= total) return 1000;
    // In floating point, since done * 1000 could overflow for huge totals;
    // rounding must not show a transfer as complete before it is.
    const int p = static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 1000.0);
    return std::min(p, 999);
  }

  int observe(observer o) {
    int t = next_token_++;
    observers_.emplace_back(t, std::move(o));
    return t;
  }
  void unobserve(int token) {
    std::erase_if(observers_, [token](const auto &p) { return p.first == token; });
  }

 private:
  void notify() {
    auto obs = observers_;
    for (auto &[token, o] : obs) o(*this);
  }

  bool active_ = false;
  char channel_ = '\0';
  std::int64_t done_ = 0, total_ = 0;
  std::vector<std::pair<int, observer>> observers_;
  int next_token_ = 1;
};

}  // namespace talmer::ui
