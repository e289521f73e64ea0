// Test doubles for the serial download: a record of the catalog replies
// the memory check is given, and a scripted instrument that plays the far
// end of a fake serial line.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/fake_os.h"

namespace serial_test {

inline std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}
inline bool has_nocase(const std::string &text, const std::string &word) {
  return lower(text).find(lower(word)) != std::string::npos;
}

struct memory_script {
  // The catalog replies the memory check was given.
  int calls = 0;
  std::string last_reply;
};

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
