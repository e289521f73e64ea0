// The simulated NI-488.2 driver library (libgpib.so.0). Boards GPIB<n> are
// the ones the `ni_boards` setting names; the Talmer instrument answers at
// `address` on the first of them. Status word, error code and counts follow
// the driver's rules: ERR with iberr ENOL when nobody listens at the
// address, ERR|TIMO with EABO when a transfer times out, END when a read
// ended with EOI, CMPL when a call completed.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gpib/ni488/ni488_abi.h"
#include "lib/bus.h"
#include "lib/control.h"
#include "lib/sim_control.h"

namespace {

using namespace talmer::sim;
namespace ni = talmer::ni488;

constexpr int first_device_ud = 100;
constexpr std::size_t max_open = 1000;

struct descriptor {
  bool board = false;
  int board_no = 0;
  int pad = 0;
  int tmo = 13;
  bool eot = true;
  bool write_swap = false;
  bool read_swap = false;
};

struct library_state {
  std::mutex m;
  bool started = false;
  settings s;
  std::string settings_errors;
  std::unique_ptr<gpib_bus> bus;
  std::map<int, descriptor> uds;
  unsigned generation = 0;

  void start(const settings &ns, std::string errors) {
    bus.reset();
    s = ns;
    settings_errors = std::move(errors);
    bus = std::make_unique<gpib_bus>(s, link_kind::ni488);
    uds.clear();
    ++generation;
    started = true;
  }
};

library_state &state() {
  static library_state st;
  return st;
}

// The driver's per-thread status and the cells a thread registered.
struct thread_status {
  unsigned generation = 0;
  int sta = 0;
  int err = 0;
  long cntl = 0;
  bool registered = false;
  int *csta = nullptr;
  int *cerr = nullptr;
  int *ccnt = nullptr;
  long *ccntl = nullptr;
};
thread_local thread_status tl;

// Takes the library lock and makes sure the library and this thread's
// status are set up.
class call {
 public:
  call() : lock_(state().m) {
    auto &st = state();
    if (!st.started) {
      std::string errors;
      const settings s = library_settings_from_environment(errors);
      st.start(s, errors);
    }
    if (tl.generation != st.generation) {
      tl = thread_status{};
      tl.generation = st.generation;
      // Answer 1 means "this thread was registered already".
      tl.registered = st.s.register_answer == 1;
    }
  }
  library_state &st() { return state(); }

 private:
  std::lock_guard<std::mutex> lock_;
};

void publish() {
  if (!tl.registered) return;
  if (tl.csta != nullptr) *tl.csta = tl.sta;
  if (tl.cerr != nullptr) *tl.cerr = tl.err;
  if (tl.ccnt != nullptr) *tl.ccnt = static_cast<int>(tl.cntl);
  if (tl.ccntl != nullptr) *tl.ccntl = tl.cntl;
}

int ok(int extra = 0) {
  tl.sta = ni::CMPL | extra;
  publish();
  return tl.sta;
}

int fail(int err, int extra = 0) {
  tl.sta = ni::ERR | extra;
  tl.err = err;
  publish();
  return tl.sta;
}

int timed_out() { return fail(ni::EABO, ni::TIMO | ni::CMPL); }

descriptor *lookup(library_state &st, int ud) {
  const auto it = st.uds.find(ud);
  return it == st.uds.end() ? nullptr : &it->second;
}

bool board_present(const library_state &st, int board) {
  return std::find(st.s.ni_boards.begin(), st.s.ni_boards.end(), board) != st.s.ni_boards.end();
}

// The device a descriptor talks to, nullptr when nobody is at its address.
instrument *target(library_state &st, const descriptor &d) {
  if (st.s.ni_boards.empty() || d.board_no != st.s.ni_boards.front()) return nullptr;
  return st.bus->device_at(d.pad);
}

std::int64_t timeout_of(const library_state &st, const descriptor &d) {
  return timeout_code_ms(d.tmo, st.s.forever_ms);
}

int find_board(const char *name) {
  call c;
  auto &st = c.st();
  if (name == nullptr) {
    fail(ni::EARG);
    return -1;
  }
  const std::string n(name);
  int board = -1;
  if (n.size() >= 5 && n.size() <= 6 && (n[0] == 'G' || n[0] == 'g') && (n[1] == 'P' || n[1] == 'p') &&
      (n[2] == 'I' || n[2] == 'i') && (n[3] == 'B' || n[3] == 'b') &&
      std::all_of(n.begin() + 4, n.end(), [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); }))
    board = std::stoi(n.substr(4));
  if (board < 0 || !board_present(st, board)) {
    fail(ni::EDVR);
    return -1;
  }
  descriptor d;
  d.board = true;
  d.board_no = board;
  st.uds[board] = d;
  ok();
  return board;
}

}  // namespace

extern "C" {

int ibfindA(const char *name) { return find_board(name); }
int ibfind(const char *name) { return find_board(name); }

int ibdev(int board, int pad, int sad, int tmo, int eot, int /*eos*/) {
  call c;
  auto &st = c.st();
  if (!board_present(st, board)) {
    fail(ni::ENEB);
    return -1;
  }
  if (pad < 0 || pad > 30 || (sad != 0 && (sad < 0x60 || sad > 0x7e)) || tmo < 0 || tmo > 17) {
    fail(ni::EARG);
    return -1;
  }
  if (st.uds.size() >= max_open) {
    fail(ni::EDVR);
    return -1;
  }
  int ud = first_device_ud;
  while (st.uds.count(ud) != 0) ++ud;
  descriptor d;
  d.board_no = board;
  d.pad = pad;
  d.tmo = tmo;
  d.eot = eot != 0;
  st.uds[ud] = d;
  ok();
  return ud;
}

int ibclr(int ud) {
  call c;
  auto &st = c.st();
  descriptor *d = lookup(st, ud);
  if (d == nullptr) return fail(ni::EDVR);
  if (d->board) return fail(ni::EARG);
  instrument *dev = target(st, *d);
  if (dev == nullptr) return fail(ni::ENOL);
  if (dev->dropped()) {
    st.bus->wait(timeout_of(st, *d));
    return timed_out();
  }
  dev->device_clear();
  return ok();
}

int ibsic(int ud) {
  call c;
  descriptor *d = lookup(c.st(), ud);
  if (d == nullptr) return fail(ni::EDVR);
  if (!d->board) return fail(ni::EARG);
  return ok();
}

int ibloc(int ud) {
  call c;
  if (lookup(c.st(), ud) == nullptr) return fail(ni::EDVR);
  return ok();
}

int ibonl(int ud, int v) {
  call c;
  auto &st = c.st();
  descriptor *d = lookup(st, ud);
  if (d == nullptr) return fail(ni::EDVR);
  if (v == 0) {
    st.uds.erase(ud);
  } else {
    d->write_swap = d->read_swap = false;
  }
  return ok();
}

int ibtmo(int ud, int v) {
  call c;
  descriptor *d = lookup(c.st(), ud);
  if (d == nullptr) return fail(ni::EDVR);
  if (v < 0 || v > 17) return fail(ni::EARG);
  d->tmo = v;
  return ok();
}

int ibeot(int ud, int v) {
  call c;
  descriptor *d = lookup(c.st(), ud);
  if (d == nullptr) return fail(ni::EDVR);
  d->eot = v != 0;
  return ok();
}

int ibconfig(int ud, int option, int value) {
  call c;
  descriptor *d = lookup(c.st(), ud);
  if (d == nullptr) return fail(ni::EDVR);
  switch (option) {
    case 0x0003:  // time-out code
      if (value < 0 || value > 17) return fail(ni::EARG);
      d->tmo = value;
      return ok();
    case 0x0004:  // EOI on the last byte of a write
      d->eot = value != 0;
      return ok();
    case ni::IbcReadAdjust:
    case ni::IbcWriteAdjust:
      if (value != 0 && value != 1) return fail(ni::EARG);
      (option == ni::IbcWriteAdjust ? d->write_swap : d->read_swap) = value == 1;
      return ok();
    default: return fail(ni::ECAP);
  }
}

int ibwrt(int ud, const void *buf, long count) {
  call c;
  auto &st = c.st();
  descriptor *d = lookup(st, ud);
  if (d == nullptr) return fail(ni::EDVR);
  if (d->board) return fail(ni::EADR);
  if (count < 0 || (buf == nullptr && count > 0)) return fail(ni::EARG);
  instrument *dev = target(st, *d);
  tl.cntl = 0;
  if (dev == nullptr) return fail(ni::ENOL);
  if (count == 0) return ok();
  const char *bytes = static_cast<const char *>(buf);
  const auto total = static_cast<std::size_t>(count);
  if (!d->write_swap) {
    const auto r = st.bus->write(*dev, std::string_view(bytes, total), d->eot, timeout_of(st, *d));
    tl.cntl = static_cast<long>(r.count);
    return r.timed_out ? timed_out() : ok();
  }
  // Write adjustment: the two bytes of every pair change places on the way out.
  std::string chunk;
  std::size_t sent = 0;
  while (sent < total) {
    const std::size_t n = std::min<std::size_t>(total - sent, 1u << 16);
    chunk.assign(bytes + sent, n);
    for (std::size_t k = 0; k + 1 < n; k += 2) std::swap(chunk[k], chunk[k + 1]);
    const auto r = st.bus->write(*dev, chunk, d->eot && sent + n == total, timeout_of(st, *d));
    sent += r.count;
    if (r.timed_out) {
      tl.cntl = static_cast<long>(sent);
      return timed_out();
    }
  }
  tl.cntl = static_cast<long>(total);
  return ok();
}

int ibrd(int ud, void *buf, long count) {
  call c;
  auto &st = c.st();
  descriptor *d = lookup(st, ud);
  if (d == nullptr) return fail(ni::EDVR);
  if (d->board) return fail(ni::EADR);
  if (count < 0 || (buf == nullptr && count > 0)) return fail(ni::EARG);
  char *out = static_cast<char *>(buf);
  const auto r = st.bus->read(target(st, *d), out, static_cast<std::size_t>(count), timeout_of(st, *d));
  if (d->read_swap)
    for (std::size_t k = 0; k + 1 < r.count; k += 2) std::swap(out[k], out[k + 1]);
  tl.cntl = static_cast<long>(r.count);
  if (r.timed_out) return timed_out();
  return ok(r.end ? ni::END : 0);
}

int RegisterGpibGlobalsForThread(int *sta, int *err, int *cnt, long *cntl) {
  call c;
  const int answer = c.st().s.register_answer;
  if (answer != 0 && answer != 1) return answer;
  if (tl.registered) return 1;
  tl.registered = true;
  tl.csta = sta;
  tl.cerr = err;
  tl.ccnt = cnt;
  tl.ccntl = cntl;
  return 0;
}

int UnregisterGpibGlobalsForThread(void) {
  call c;
  tl.registered = false;
  tl.csta = tl.cerr = tl.ccnt = nullptr;
  tl.ccntl = nullptr;
  return 0;
}

int ThreadIbsta(void) {
  call c;
  return tl.sta;
}

int ThreadIberr(void) {
  call c;
  return tl.err;
}

int ThreadIbcnt(void) {
  call c;
  return static_cast<int>(tl.cntl);
}

long ThreadIbcntl(void) {
  call c;
  return tl.cntl;
}

int talmer_sim_reset(void) {
  std::lock_guard<std::mutex> lock(state().m);
  std::string errors;
  const settings s = library_settings_from_environment(errors);
  state().start(s, errors);
  return errors.empty() ? 0 : -1;
}

int talmer_sim_set(const char *key, const char *value) {
  call c;
  auto &st = c.st();
  settings s = st.s;
  std::string e = apply_setting(s, key != nullptr ? key : "", value != nullptr ? value : "");
  if (e.empty()) e = check_settings(s);
  if (!e.empty()) {
    st.settings_errors = e;
    return -1;
  }
  st.start(s, {});
  return 0;
}

long talmer_sim_query(const char *what, char *buf, long size) {
  call c;
  auto &st = c.st();
  return answer_query(*st.bus, st.uds.size(), st.settings_errors, what != nullptr ? what : "", buf, size);
}

}  // extern "C"
