#include "download/progress_printer.h"

#include <ostream>

#include "ui/talmer_arb.h"

namespace talmer::download {

std::string progress_line(char channel, std::int64_t sent, std::int64_t total) {
  const std::int64_t percent = total > 0 ? sent * 100 / total : 100;
  return std::string("progress: ") + channel + " waveform " + std::to_string(sent) + " of " +
         std::to_string(total) + " points (" + std::to_string(percent) + "%)";
}

bool progress_throttle::due(std::int64_t now_ms, std::int64_t sent, std::int64_t total) {
  if (last_ms_ && sent < total && now_ms - *last_ms_ < interval_ms_) return false;
  last_ms_ = now_ms;
  return true;
}

progress_printer::progress_printer(ui::TALMER_ARB &w, std::ostream &err, std::int64_t interval_ms)
    : w_(w), err_(err), throttle_(interval_ms) {
  token_ = w_.download_progress.observe([this](const ui::progress &p) {
    if (!p.active()) return;
    if (throttle_.due(w_.os().now_ms(), p.done(), p.total()))
      err_ << progress_line(p.channel(), p.done(), p.total()) << std::endl;
  });
}

progress_printer::~progress_printer() { w_.download_progress.unobserve(token_); }

}  // namespace talmer::download
