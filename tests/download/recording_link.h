// Test doubles for the download driver: a link that records every operation
// and the bytes that would reach the instrument, scripted point sources, and
// a panel that records what the driver shows.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "download/commands.h"
#include "download/download_link.h"
#include "download/download_rules.h"
#include "download/driver.h"
#include "download/point_source.h"
#include "ui/messages.h"

namespace talmer::download::testing {

using call_log = std::vector<std::string>;

// Records the link operations as short lines ("write_chunk 3616 last") and,
// per channel, the bytes the instrument would receive: prefix, header and
// the data with each pair exchanged when the block asks for it.
class recording_link : public download_link {
 public:
  explicit recording_link(call_log &calls) : calls_(calls) {}

  std::map<std::string, std::string> replies;  // by command; missing: no reply
  bool report_query_phase_failure = false;     // query_phase_failed answers this
  int failing_chunk = -1;                      // chunk_failed after this write (0 = first)
  bool report_completion_failure = false;
  std::function<void()> on_write_chunk;        // runs at every write (may throw)
  std::string wire[2];                         // I, Q

  void open_link(const std::string &intfc, int address) override {
    calls_.push_back("open_link " + intfc + " " + std::to_string(address));
  }
  void query(std::string_view command, std::string &reply) override {
    calls_.push_back("query " + std::string(command));
    reply.assign(reply_buffer_size, ' ');
    auto it = replies.find(std::string(command));
    if (it != replies.end()) reply.replace(0, it->second.size(), it->second);
  }
  bool query_phase_failed(bool catalog_unparsable) override {
    calls_.push_back(std::string("query_phase_failed unparsable=") +
                     (catalog_unparsable ? "1" : "0"));
    return report_query_phase_failure;
  }
  void enter_data_phase() override { calls_.push_back("enter_data_phase"); }
  void begin_block(const block_start &b) override {
    current_ = b.ch == channel::I ? 0 : 1;
    swap_ = b.swap;
    calls_.push_back(std::string("begin_block ") + channel_letter(b.ch) + " " +
                     std::string(b.header) + " " + std::to_string(b.points) +
                     (b.swap ? " swap" : " as-stored"));
    wire[current_] += b.prefix;
    wire[current_] += b.header;
  }
  void write_chunk(chunk_span buffer, std::size_t count, bool last) override {
    calls_.push_back("write_chunk " + std::to_string(count) + (last ? " last" : ""));
    if (on_write_chunk) on_write_chunk();
    wire[current_] += wire_bytes(buffer, count, swap_);
    last_failed_ = written_++ == failing_chunk;
  }
  bool chunk_failed() override {
    calls_.push_back("chunk_failed");
    return last_failed_;
  }
  void end_block() override { calls_.push_back("end_block"); }
  void wait_complete(std::string &reply) override {
    // The reply buffer keeps its fixed length for the whole run.
    calls_.push_back(reply.size() == reply_buffer_size
                         ? "wait_complete"
                         : "wait_complete into " + std::to_string(reply.size()) + " characters");
  }
  bool completion_failed() override {
    calls_.push_back("completion_failed");
    return report_completion_failure;
  }
  void close_link() override { calls_.push_back("close_link"); }
  void abort_link() override { calls_.push_back("abort_link"); }
  std::string timeout_text(channel c) const override {
    return std::string("timeout ") + channel_letter(c);
  }

 private:
  call_log &calls_;
  int current_ = 0;
  bool swap_ = false;
  int written_ = 0;
  bool last_failed_ = false;
};

// Points held in memory, delivered chunk by chunk. Fails the chunk with
// index `failing_chunk` (a file that shrank), logs its closing.
class scripted_source : public point_source {
 public:
  scripted_source(call_log &calls, channel ch, std::vector<std::int16_t> points)
      : calls_(calls), ch_(ch), points_(std::move(points)) {}
  ~scripted_source() override {
    calls_.push_back(std::string("close source ") + channel_letter(ch_));
  }
  scripted_source(const scripted_source &) = delete;
  scripted_source &operator=(const scripted_source &) = delete;

  int failing_chunk = -1;
  bool set_dataerror = false;
  std::int32_t clock = 0;

  bool read_chunk(std::span<std::int16_t> buffer, std::int64_t n, bool &dataerror) override {
    if (chunk_++ == failing_chunk) return false;
    if (pos_ + static_cast<std::size_t>(n) > points_.size()) return false;
    for (std::int64_t k = 0; k < n; ++k) buffer[static_cast<std::size_t>(k)] = points_[pos_++];
    if (set_dataerror) dataerror = true;
    return true;
  }
  std::int32_t sample_clock() const override { return clock; }

 private:
  call_log &calls_;
  channel ch_;
  std::vector<std::int16_t> points_;
  std::size_t pos_ = 0;
  int chunk_ = 0;
};

// Hands out one prepared source per channel and logs each opening with the
// reader it was asked for.
class scripted_opener : public point_source_opener {
 public:
  explicit scripted_opener(call_log &calls) : calls_(calls) {}
  std::function<std::unique_ptr<point_source>(channel, const std::string &)> make;

  std::unique_ptr<point_source> open(source_format format, channel ch,
                                     const std::string &path) override {
    static const char *names[] = {"binary", "ascii", "awg"};
    calls_.push_back(std::string("open source ") + channel_letter(ch) + " " +
                     names[static_cast<int>(format)] + " " + path);
    return make ? make(ch, path) : nullptr;
  }

 private:
  call_log &calls_;
};

class recording_panel : public download_panel {
 public:
  explicit recording_panel(call_log &calls) : calls_(calls) {}
  void show_now(ui::rgb colour, const std::string &text) override {
    calls_.push_back("panel " + ui::colour_name(colour) + " " + text);
  }
  void pause_ms(std::int64_t ms) override { calls_.push_back("pause " + std::to_string(ms)); }

 private:
  call_log &calls_;
};

class recording_progress : public progress_observer {
 public:
  std::vector<std::string> lines;
  void channel_progress(channel c, std::int64_t sent, std::int64_t total) override {
    lines.push_back(std::string(1, channel_letter(c)) + " " + std::to_string(sent) + "/" +
                    std::to_string(total));
  }
};

// Points 0, 1, 2, ... (wrapping), so every chunk holds different values.
inline std::vector<std::int16_t> ramp(std::int64_t n, int start = 0) {
  std::vector<std::int16_t> v(static_cast<std::size_t>(n));
  for (std::int64_t k = 0; k < n; ++k) v[static_cast<std::size_t>(k)] = static_cast<std::int16_t>(start + k);
  return v;
}

}  // namespace talmer::download::testing
