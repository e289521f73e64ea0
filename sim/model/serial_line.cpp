#include "model/serial_line.h"

#include <algorithm>
#include <cmath>

namespace talmer::sim {

serial_line::serial_line(instrument &inst, const serial_settings &s, bool xoff_stuck, const clock &c)
    : inst_(inst), s_(s), xoff_stuck_(xoff_stuck), clock_(c) {
  drain_at_ = line_at_ = activity_at_ = clock_.now_ms();
}

void serial_line::arrive(std::string_view bytes) {
  advance();
  if (bytes.empty()) return;
  activity_at_ = clock_.now_ms();
  for (char b : bytes) {
    const bool late = holding_ && xoff_out_ && since_xoff_++ >= s_.xoff_slack;
    if (late && buffered() >= s_.buffer_size) {
      ++overrun_;
      if (!losing_) inst_.note_overrun();
      losing_ = true;
      continue;
    }
    losing_ = false;
    buffer_.push_back(b);
  }
  peak_ = std::max(peak_, buffered());
  if (!holding_ && buffered() > s_.high_mark) {
    control_.push_back(XOFF);
    holding_ = true;
    xoff_out_ = false;
    ++xoffs_;
  }
}

void serial_line::advance() {
  const auto now = clock_.now_ms();
  const auto elapsed = now - drain_at_;
  drain_at_ = now;
  if (buffered() == 0) {
    drain_credit_ = 0;
  } else if (elapsed > 0) {
    drain_credit_ += static_cast<double>(elapsed) * s_.drain_rate / 1000.0;
    const auto n = std::min<std::uint64_t>(buffered(), static_cast<std::uint64_t>(std::floor(drain_credit_)));
    if (n > 0) {
      drain_credit_ -= static_cast<double>(n);
      if (buffered() == n) drain_credit_ = 0;
      inst_.receive(std::string_view(buffer_).substr(head_, static_cast<std::size_t>(n)), false);
      head_ += static_cast<std::size_t>(n);
      if (head_ == buffer_.size() || head_ > (1u << 16)) {
        buffer_.erase(0, head_);
        head_ = 0;
      }
    }
  }
  if (holding_ && !xoff_stuck_ && buffered() < s_.low_mark) {
    control_.push_back(XON);
    holding_ = false;
    ++xons_;
    activity_at_ = now;
  }
  if (buffered() == 0 && inst_.mid_message() && now - activity_at_ >= s_.message_timeout_ms) {
    inst_.abort_message();
    activity_at_ = now;
  }
}

std::string serial_line::take_output() {
  std::string out;
  if (inst_.dropped()) return out;
  const auto now = clock_.now_ms();
  if (!control_.empty()) {
    inst_.log_sent(control_);
    out.swap(control_);
    if (holding_ && !xoff_out_) {
      xoff_out_ = true;
      since_xoff_ = 0;
    }
  }
  const bool was_idle = reply_.empty();
  while (inst_.has_output()) {
    bool end = false;
    const auto piece = inst_.take_output(static_cast<std::size_t>(-1), end);
    if (piece.empty()) break;
    reply_ += piece;
  }
  if (s_.line_rate <= 0) {
    out += reply_;
    reply_.clear();
    return out;
  }
  if (was_idle) {
    // The line was quiet: the first byte goes at once.
    line_at_ = now;
    line_credit_ = reply_.empty() ? 0 : 1;
  }
  if (!reply_.empty()) {
    line_credit_ += static_cast<double>(now - line_at_) * s_.line_rate / 1000.0;
    line_at_ = now;
    const auto n = std::min<std::size_t>(reply_.size(), static_cast<std::size_t>(std::floor(line_credit_)));
    line_credit_ -= static_cast<double>(n);
    out.append(reply_, 0, n);
    reply_.erase(0, n);
    if (reply_.empty()) line_credit_ = 0;
  }
  return out;
}

std::optional<std::int64_t> serial_line::next_event_ms() const {
  std::optional<std::int64_t> next;
  const auto consider = [&](std::int64_t t) {
    if (!next || t < *next) next = t;
  };
  if (inst_.dropped()) return next;
  if (!control_.empty()) consider(clock_.now_ms());
  if (buffered() > 0 && s_.drain_rate > 0)
    consider(drain_at_ + std::max<std::int64_t>(
                             1, static_cast<std::int64_t>(std::ceil((1.0 - drain_credit_) * 1000.0 / s_.drain_rate))));
  if (!reply_.empty() && s_.line_rate > 0)
    consider(line_at_ + std::max<std::int64_t>(
                            1, static_cast<std::int64_t>(std::ceil((1.0 - line_credit_) * 1000.0 / s_.line_rate))));
  if (const auto t = inst_.next_output_ms()) consider(*t);
  if (buffered() == 0 && inst_.mid_message()) consider(activity_at_ + s_.message_timeout_ms);
  return next;
}

}  // namespace talmer::sim
