// The progress of a download as lines of text, for the headless front end:
// at most a few lines per second, and always the line that ends a channel.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

namespace talmer::ui {
class TALMER_ARB;
}

namespace talmer::download {

// "progress: I waveform 8192 of 10000 points (81%)"
std::string progress_line(char channel, std::int64_t sent, std::int64_t total);

// Whether a progress report is worth a line: the first one, one that ends
// a channel, or one at least `interval_ms` after the last line.
class progress_throttle {
 public:
  explicit progress_throttle(std::int64_t interval_ms = 250) : interval_ms_(interval_ms) {}
  bool due(std::int64_t now_ms, std::int64_t sent, std::int64_t total);

 private:
  std::int64_t interval_ms_;
  std::optional<std::int64_t> last_ms_;
};

// Prints the window's download progress to `err` while it lives (observes
// the window's download progress); the clock is the window's.
class progress_printer {
 public:
  progress_printer(ui::TALMER_ARB &w, std::ostream &err, std::int64_t interval_ms = 250);
  ~progress_printer();
  progress_printer(const progress_printer &) = delete;
  progress_printer &operator=(const progress_printer &) = delete;

 private:
  ui::TALMER_ARB &w_;
  std::ostream &err_;
  progress_throttle throttle_;
  int token_;
};

}  // namespace talmer::download
