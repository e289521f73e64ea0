// The instrument's end of the RS-232 line, free of any device: bytes from
// the host land in an input buffer of fixed size, the instrument takes them
// out at its drain rate, and the line sends XOFF (19) when the buffer holds
// more than the high mark and XON (17) when it has fallen below the low
// mark. Replies leave at the line rate; XON and XOFF go first.
//
// Overruns: a real host pacing itself by its output buffer has at most a
// few bytes under way when XOFF reaches it. On a pseudo-terminal the host
// sees an empty output buffer at once and may run ahead by whatever it
// wrote before the XOFF could reach it. Those bytes (everything that
// arrived before the XOFF left, and `xoff_slack` bytes after it) count as
// still on their way and are kept even beyond the buffer size. Bytes that
// keep coming while XOFF is in force after that slack are the host's fault:
// when the buffer is full they are lost and counted as an overrun.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/clock.h"
#include "model/instrument.h"
#include "model/settings.h"

namespace talmer::sim {

inline constexpr char XON = 17;
inline constexpr char XOFF = 19;

class serial_line {
 public:
  serial_line(instrument &inst, const serial_settings &s, bool xoff_stuck, const clock &c);

  // Bytes that reached the instrument now.
  void arrive(std::string_view bytes);
  // Brings the line up to the clock: drains the buffer into the
  // instrument, sends XON when due, gives up on a stalled message.
  void advance();
  // The bytes to write to the host now.
  std::string take_output();
  // When advance() or take_output() next has work; nullopt when idle.
  std::optional<std::int64_t> next_event_ms() const;

  std::uint64_t buffered() const { return buffer_.size() - head_; }
  std::uint64_t overrun_bytes() const { return overrun_; }
  bool holding() const { return holding_; }  // XOFF in force
  std::uint64_t xoff_count() const { return xoffs_; }
  std::uint64_t xon_count() const { return xons_; }
  bool dropped() const { return inst_.dropped(); }
  // The highest fill of the buffer seen so far.
  std::uint64_t peak() const { return peak_; }

 private:
  instrument &inst_;
  serial_settings s_;
  bool xoff_stuck_;
  const clock &clock_;
  std::string buffer_;
  std::size_t head_ = 0;
  double drain_credit_ = 0;
  std::int64_t drain_at_;
  double line_credit_ = 0;
  std::int64_t line_at_;
  std::int64_t activity_at_;
  std::string control_;
  std::string reply_;
  bool holding_ = false;
  bool xoff_out_ = false;         // the XOFF in force has left for the host
  std::uint64_t since_xoff_ = 0;  // bytes that arrived since it left
  bool losing_ = false;
  std::uint64_t overrun_ = 0;
  std::uint64_t xoffs_ = 0;
  std::uint64_t xons_ = 0;
  std::uint64_t peak_ = 0;
};

}  // namespace talmer::sim
