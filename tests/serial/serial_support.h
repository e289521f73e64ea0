// Test doubles for the serial download: simple stand-ins for the command
// set, memory check, source readers and completion message that the
// program takes from other subsystems, and a scripted instrument that
// plays the far end of a fake serial line.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fake_os.h"
#include "serial/serial_download_parts.h"

namespace serial_test {

inline std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}
inline bool has_nocase(const std::string &text, const std::string &word) {
  return lower(text).find(lower(word)) != std::string::npos;
}

// An ASCII reader for tests: whitespace-separated integers; anything else
// is 0 and flags a data error.
class test_ascii_source : public talmer::serial::ascii_points_source {
 public:
  explicit test_ascii_source(const std::string &path) : in_(path) {}
  bool ok() const { return static_cast<bool>(in_); }
  void get_ascii_points(std::int16_t *numbuf, int numbufsize, std::int64_t num_wfm_points, bool &dataerror) override {
    const std::int64_t n = std::min<std::int64_t>(numbufsize, num_wfm_points);
    for (std::int64_t i = 0; i < n; ++i) {
      std::string token;
      in_ >> token;
      try {
        size_t used = 0;
        long v = std::stol(token, &used);
        if (used != token.size() || v < -32768 || v > 32767) throw std::out_of_range("");
        numbuf[i] = static_cast<std::int16_t>(v);
      } catch (...) {
        numbuf[i] = 0;
        dataerror = true;
      }
    }
  }

 private:
  std::ifstream in_;
};

// The clock of a test AWG header: the little-endian 32-bit value at offset 0.
inline std::int32_t test_awg_clock(const std::uint8_t *h) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(h[0]) | static_cast<std::uint32_t>(h[1]) << 8 |
                                   static_cast<std::uint32_t>(h[2]) << 16 | static_cast<std::uint32_t>(h[3]) << 24);
}

struct memory_script {
  // A catalog reply containing "FULL" does not fit, one without a comma
  // cannot be parsed.
  int calls = 0;
  std::string last_reply;
};

inline talmer::serial::serial_download_parts test_parts(std::shared_ptr<memory_script> mem = nullptr) {
  using talmer::serial::instrument_query;
  talmer::serial::serial_download_parts p;
  p.query_text = [](instrument_query q) -> std::string {
    switch (q) {
      case instrument_query::identification: return "*IDN?";
      case instrument_query::options: return "DIAG:INFO:OPT?";
      case instrument_query::arb_state: return "rad:arb:stat?";
      case instrument_query::selected_waveform: return "rad:arb:wav?";
      case instrument_query::memory_catalog: return "mmem:cat? \"arbi:\"";
    }
    return "";
  };
  p.store_prefix = [](char ch, const std::string &name) {
    return std::string("mmem:data \"arb") + static_cast<char>(std::tolower(ch)) + ":" + name + "\", ";
  };
  p.block_header = [](std::int64_t points) {
    const std::string c = std::to_string(2 * points);
    return "#" + std::to_string(c.size()) + c;
  };
  p.is_talmer = [](const std::string &r) { return has_nocase(r, "Talmer-D") || has_nocase(r, "K902"); };
  p.has_arb_option = [](const std::string &r) { return has_nocase(r, "QVX"); };
  p.arb_running = [](const std::string &r) { return !r.empty() && r[0] >= '1' && r[0] <= '9'; };
  p.names_selected_waveform = [](const std::string &r, const std::string &name) {
    return has_nocase(r, "arbi:" + name + "\"");
  };
  if (!mem) mem = std::make_shared<memory_script>();
  p.check_avail_memory = [mem](std::string &strbuf, bool &error_active, std::string &error_text) {
    ++mem->calls;
    mem->last_reply = strbuf;
    if (strbuf.find(',') == std::string::npos) return false;
    if (strbuf.find("FULL") != std::string::npos) {
      error_active = true;
      error_text = "Not enough memory to download 'waveform1'.";
    }
    return true;
  };
  p.open_ascii_source = [](const std::string &path) -> std::unique_ptr<talmer::serial::ascii_points_source> {
    auto r = std::make_unique<test_ascii_source>(path);
    if (!r->ok()) return nullptr;
    return r;
  };
  p.extract_AWG_clock_freq = test_awg_clock;
  // Test conversion: I keeps the value, Q clears the two top bits.
  p.convert_AWG = [](int n, std::int16_t *buf, char ch) {
    if (ch == 'Q')
      for (int i = 0; i < n; ++i) buf[i] = static_cast<std::int16_t>(buf[i] & 0x3FFF);
  };
  p.done_message = [](bool convert, std::int32_t clock, bool dataerror) {
    if (convert && clock > 10) return "Done with download. clock " + std::to_string(clock);
    if (dataerror) return std::string("Done with download.\n\rOne or more data points invalid or out-of-range.");
    return std::string("Done with download.");
  };
  return p;
}

// A scripted instrument on a fake serial line: answers the queries, takes
// store commands with their blocks, and can pace its input with XOFF/XON.
struct fake_talmer {
  std::string idn = "Talmer-D Signal Generator, K902, 1234, 2.04\n";
  std::string opt = "QVX,ABC\n";
  std::string stat = "0\n";
  std::string wav = "\"ARBI:OTHER\"\n";
  std::string cat = "1024,500000,\"OTHER,BIN,8192\"\n";
  std::set<std::string> silent;  // queries that get no reply
  std::map<std::string, std::int64_t> delay_ms;  // replies that come late
  // Pacing: after every `xoff_every` data bytes send XOFF, and XON
  // `xon_after_ms` later (never when negative).
  std::int64_t xoff_every = 0;
  std::int64_t xon_after_ms = 20;

  std::vector<std::string> commands;  // queries and command lines received
  struct block {
    std::string prefix;  // "mmem:data ..., "
    std::string header;  // "#42002"
    std::string data;
    bool terminated = false;
  };
  std::vector<block> blocks;
  std::int64_t xoffs = 0;

  void attach(talmer::platform::fake_serial_line &line) {
    line.on_write = [this](talmer::platform::fake_serial_line &l, std::string_view bytes) { take(l, bytes); };
  }

 private:
  enum class mode { command, header, data, terminator } mode_ = mode::command;
  std::string pending_;
  std::int64_t expected_ = 0;
  std::int64_t data_bytes_ = 0;

  void reply(talmer::platform::fake_serial_line &l, const std::string &cmd, const std::string &r) {
    auto d = delay_ms.find(cmd);
    if (d != delay_ms.end()) l.deliver_after(d->second, r);
    else l.deliver(r);
  }

  void answer(talmer::platform::fake_serial_line &l, const std::string &cmd) {
    commands.push_back(cmd);
    if (silent.count(cmd)) return;
    const std::string c = lower(cmd);
    if (c == "*idn?") reply(l, cmd, idn);
    else if (c == "diag:info:opt?") reply(l, cmd, opt);
    else if (c == "rad:arb:stat?") reply(l, cmd, stat);
    else if (c == "rad:arb:wav?") reply(l, cmd, wav);
    else if (c == "mmem:cat? \"arbi:\"") reply(l, cmd, cat);
  }

  void take(talmer::platform::fake_serial_line &l, std::string_view bytes) {
    for (char ch : bytes) {
      switch (mode_) {
        case mode::command:
          if (ch == '\n') {
            answer(l, pending_);
            pending_.clear();
            break;
          }
          pending_ += ch;
          if (lower(pending_).rfind("mmem:data ", 0) == 0 && pending_.size() > 12 &&
              pending_.compare(pending_.size() - 2, 2, ", ") == 0) {
            blocks.push_back({pending_, "", "", false});
            pending_.clear();
            mode_ = mode::header;
          }
          break;
        case mode::header: {
          block &b = blocks.back();
          b.header += ch;
          if (b.header.size() >= 2) {
            const auto digits = static_cast<std::size_t>(b.header[1] - '0');
            if (b.header.size() == 2 + digits) {
              expected_ = std::stoll(b.header.substr(2));
              mode_ = expected_ > 0 ? mode::data : mode::terminator;
            }
          }
          break;
        }
        case mode::data: {
          block &b = blocks.back();
          b.data += ch;
          ++data_bytes_;
          if (xoff_every > 0 && data_bytes_ % xoff_every == 0) {
            ++xoffs;
            l.deliver(std::string(1, '\x13'));
            if (xon_after_ms >= 0) l.deliver_after(xon_after_ms, std::string(1, '\x11'));
          }
          if (static_cast<std::int64_t>(b.data.size()) == expected_) mode_ = mode::terminator;
          break;
        }
        case mode::terminator:
          blocks.back().terminated = ch == '\n';
          mode_ = mode::command;
          break;
      }
    }
  }
};

}  // namespace serial_test
