// Recording stand-ins for the two GPIB call layers as the download links
// see them: each call is logged as one line, the bytes written are
// collected into the messages the instrument would receive (a message ends
// with EOI or END), and replies come from a table by the last message.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "download/commands.h"
#include "download/ni488_link.h"
#include "download/ravlink_link.h"

namespace talmer::download::testing {

inline std::string quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

// Messages the instrument received, and the reply it gives to each.
struct instrument_side {
  std::vector<std::string> messages;
  std::string current;
  std::map<std::string, std::string> replies{
      {"rad:arb:stat?", "0\n"},
      {"rad:arb:wav?", "\"arbi:other\"\n"},
      {std::string(catalog_query), "0,100000000\n"},
      {"*OPC?", "1\n"},
  };

  void receive(const char *data, std::size_t n, bool end) {
    current.append(data, n);
    if (end) {
      messages.push_back(current);
      current.clear();
    }
  }
  // The reply to the last complete message; false when there is none.
  bool reply(std::string &out) const {
    if (messages.empty()) return false;
    auto it = replies.find(messages.back());
    if (it == replies.end()) return false;
    out = it->second;
    return true;
  }
};

class recording_ni488 : public ni488_calls {
 public:
  explicit recording_ni488(std::vector<std::string> &calls) : calls_(calls) {}

  instrument_side instrument;
  // May change the status and count a call leaves (after the default:
  // CMPL and the bytes transferred), given its log line.
  std::function<void(const std::string &line, std::int16_t &sta, std::int32_t &cnt)> status;

  void ibdev(std::int16_t board, std::int16_t pad, std::int16_t sad, std::int16_t tmo,
             std::int16_t eot, std::int16_t eos, std::int16_t &ud) override {
    eot_ = eot != 0;
    ud = 17;
    done("ibdev(" + std::to_string(board) + ", " + std::to_string(pad) + ", " +
             std::to_string(sad) + ", " + std::to_string(tmo) + ", " + std::to_string(eot) + ", " +
             std::to_string(eos) + ")",
         0);
  }
  // Device clear: the instrument drops a message it had only in part (the
  // block of a run that stopped).
  void ibclr(std::int16_t ud) override {
    if (done("ibclr" + bad(ud), 0)) instrument.current.clear();
  }
  void ibtmo(std::int16_t ud, std::int16_t code) override {
    done("ibtmo(" + std::to_string(code) + ")" + bad(ud), 0);
  }
  void ibeot(std::int16_t ud, std::int16_t v) override {
    eot_ = v != 0;
    done("ibeot(" + std::to_string(v) + ")" + bad(ud), 0);
  }
  void ibconfig(std::int16_t ud, std::int16_t option, std::int16_t value) override {
    if (option == 20) adjust_ = value != 0;
    done("ibconfig(" + std::to_string(option) + ", " + std::to_string(value) + ")" + bad(ud), 0);
  }
  void ibwrt(std::int16_t ud, std::string_view text) override {
    const std::string line = "ibwrt " + quoted(text) + bad(ud);
    if (done(line, static_cast<std::int32_t>(text.size())))
      instrument.receive(text.data(), text.size(), eot_);
  }
  void ibwrt(std::int16_t ud, const std::int16_t *buffer, std::int32_t count) override {
    std::string bytes(static_cast<std::size_t>(count), '\0');
    std::memcpy(bytes.data(), buffer, bytes.size());
    if (adjust_)
      for (std::size_t k = 0; k + 1 < bytes.size(); k += 2) std::swap(bytes[k], bytes[k + 1]);
    const std::string line = "ibwrt buffer " + std::to_string(count) + bad(ud);
    std::int16_t sta = cmpl;
    std::int32_t cnt = count;
    if (status) status(line, sta, cnt);
    calls_.push_back(line);
    sta_ = sta;
    cntl_ = cnt;
    if (!(static_cast<std::uint16_t>(sta) & 0x8000))
      instrument.receive(bytes.data(), static_cast<std::size_t>(cnt), eot_);
  }
  void ibrd(std::int16_t ud, std::string &buffer) override {
    const std::string line = "ibrd " + std::to_string(buffer.size()) + bad(ud);
    std::string r;
    const bool answered = instrument.reply(r);
    std::int16_t sta = answered ? static_cast<std::int16_t>(cmpl | 0x2000) : timo_err;
    std::int32_t cnt = answered ? static_cast<std::int32_t>(std::min(r.size(), buffer.size())) : 0;
    if (status) status(line, sta, cnt);
    calls_.push_back(line);
    sta_ = sta;
    cntl_ = cnt;
    if (!(static_cast<std::uint16_t>(sta) & 0x8000))
      buffer.replace(0, static_cast<std::size_t>(cnt), r.substr(0, static_cast<std::size_t>(cnt)));
  }
  void ibloc(std::int16_t ud) override { done("ibloc" + bad(ud), 0); }
  void ibonl(std::int16_t ud, std::int16_t v) override {
    done("ibonl(" + std::to_string(v) + ")" + bad(ud), 0);
  }
  std::int16_t ibsta() const override { return sta_; }
  std::int32_t ibcntl() const override { return cntl_; }

  static constexpr std::int16_t cmpl = 0x0100;
  static constexpr std::int16_t timo_err = static_cast<std::int16_t>(0xC100);

 private:
  // Logs the call; returns false when `status` made it fail.
  bool done(const std::string &line, std::int32_t count) {
    std::int16_t sta = cmpl;
    std::int32_t cnt = count;
    if (status) status(line, sta, cnt);
    calls_.push_back(line);
    sta_ = sta;
    cntl_ = cnt;
    return !(static_cast<std::uint16_t>(sta) & 0x8000);
  }
  static std::string bad(std::int16_t ud) { return ud == 17 ? "" : " on a bad descriptor"; }

  std::vector<std::string> &calls_;
  bool eot_ = false;
  bool adjust_ = false;
  std::int16_t sta_ = 0;
  std::int32_t cntl_ = 0;
};

class recording_ravlink : public ravlink_calls {
 public:
  explicit recording_ravlink(std::vector<std::string> &calls) : calls_(calls) {}

  instrument_side instrument;
  // Calls (by log line) that fail and leave a pending error.
  std::function<bool(const std::string &line)> fails;
  bool open_fails = false;

  void vb_iopen(std::string_view address, std::int16_t &id) override {
    if (!call("vb_iopen " + std::string(address)) && !open_fails) id = 5;
    if (open_fails) pending_ = 2;
  }
  void vb_iclear(std::int16_t id) override { call("vb_iclear" + bad(id)); }
  void vb_itimeout(std::int16_t id, std::int32_t ms) override {
    call("vb_itimeout " + std::to_string(ms) + bad(id));
  }
  void vb_iwrite(std::int16_t id, std::string_view text, std::int32_t length, std::int16_t end,
                 std::int32_t &actual) override {
    write(id, text.data(), length, end, actual);
  }
  void vb_iwrite(std::int16_t id, std::span<const std::int16_t> points, std::int32_t length,
                 std::int16_t end, std::int32_t &actual) override {
    write(id, reinterpret_cast<const char *>(points.data()), length, end, actual);
  }
  void write(std::int16_t id, const char *p, std::int32_t length, std::int16_t end, std::int32_t &actual) {
    const std::string_view bytes(p, static_cast<std::size_t>(length));
    const bool text = std::all_of(bytes.begin(), bytes.end(),
                                  [](char c) { return c == '\n' || (c >= ' ' && c <= '~'); });
    const std::string what = text && length <= 32 ? quoted(bytes) : "data";
    const std::string line = "vb_iwrite " + what + " " + std::to_string(length) +
                             (end ? " END" : "") + bad(id);
    if (call(line)) return;
    instrument.receive(p, static_cast<std::size_t>(length), end != 0);
    actual = length;
  }
  void vb_iread(std::int16_t id, std::string &buffer, std::int32_t size, std::int16_t &reason,
                std::int32_t &actual) override {
    const std::string line = "vb_iread " + std::to_string(size) + bad(id);
    std::string r;
    if (call(line) || !instrument.reply(r)) {
      if (pending_ == 0) pending_ = 7;  // time-out
      return;
    }
    const std::size_t n = std::min({r.size(), buffer.size(), static_cast<std::size_t>(size)});
    buffer.replace(0, n, r.substr(0, n));
    reason = 4;
    actual = static_cast<std::int32_t>(n);
  }
  void vb_iflush(std::int16_t id, std::int16_t mask) override {
    call("vb_iflush " + std::to_string(mask) + bad(id));
  }
  void vb_iswap(std::span<std::int16_t> points, std::int32_t length, std::int16_t item_size) override {
    if (call("vb_iswap " + std::to_string(length) + " " + std::to_string(item_size))) return;
    auto *p = reinterpret_cast<char *>(points.data());
    for (std::int32_t k = 0; k + 1 < length; k += 2) std::swap(p[k], p[k + 1]);
  }
  void vb_ilocal(std::int16_t id) override { call("vb_ilocal" + bad(id)); }
  void vb_iclose(std::int16_t id) override { call("vb_iclose" + bad(id)); }
  std::int32_t pending_error() const override {
    calls_.push_back("test pending");
    return pending_;
  }
  void clear_pending_error() override {
    calls_.push_back("clear pending");
    pending_ = 0;
  }

 private:
  // Logs the call; true when it fails (a pending error is recorded).
  bool call(const std::string &line) {
    calls_.push_back(line);
    if (line.find(" on a bad id") != std::string::npos || (fails && fails(line))) {
      pending_ = 6;
      return true;
    }
    return false;
  }
  static std::string bad(std::int16_t id) { return id == 5 ? "" : " on a bad id"; }

  std::vector<std::string> &calls_;
  std::int32_t pending_ = 0;
};

}  // namespace talmer::download::testing
