// The simulated Ravlink instrument I/O library (libvbravlink32.so; its base
// library libravlink32.so is only looked for). Interfaces are the names the
// `rav_interfaces` setting lists; the Talmer instrument answers at
// `address` on the first of them. A failing call returns non-zero (vb_iopen:
// 0) and leaves its error number for vb_igeterrno and its text for
// vb_igeterrstr.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "gpib/ravlink/ravlink_abi.h"
#include "lib/bus.h"
#include "lib/control.h"
#include "lib/sim_control.h"

namespace {

using namespace talmer::sim;
namespace rl = talmer::ravlink;

constexpr std::size_t max_sessions = 256;

struct session {
  std::string interface;
  int address = -1;  // -1: a session on the interface itself
  std::int32_t timeout_ms = 0;  // 0: no time-out
};

struct library_state {
  std::mutex m;
  bool started = false;
  settings s;
  std::string settings_errors;
  std::unique_ptr<gpib_bus> bus;
  std::map<std::int16_t, session> sessions;

  void start(const settings &ns, std::string errors) {
    bus.reset();
    s = ns;
    settings_errors = std::move(errors);
    bus = std::make_unique<gpib_bus>(s, link_kind::ravlink);
    sessions.clear();
    started = true;
  }
};

library_state &state() {
  static library_state st;
  return st;
}

thread_local std::int16_t last_error = 0;

class call {
 public:
  call() : lock_(state().m) {
    auto &st = state();
    if (!st.started) {
      std::string errors;
      const settings s = library_settings_from_environment(errors);
      st.start(s, errors);
    }
  }
  library_state &st() { return state(); }

 private:
  std::lock_guard<std::mutex> lock_;
};

std::int16_t fail(std::int16_t err) {
  last_error = err;
  return err;
}

std::int16_t ok() {
  last_error = rl::I_ERR_NOERROR;
  return 0;
}

const char *error_text(std::int16_t err) {
  switch (err) {
    case rl::I_ERR_NOERROR: return "No error";
    case rl::I_ERR_SYNTAX: return "Syntax error in address";
    case rl::I_ERR_BADADDR: return "Invalid address: no such interface or device address";
    case rl::I_ERR_BADID: return "Invalid connection id";
    case rl::I_ERR_PARAM: return "Invalid parameter";
    case rl::I_ERR_NOCONN: return "No connection";
    case rl::I_ERR_IO: return "Generic I/O error";
    case rl::I_ERR_TIMEOUT: return "Time-out occurred";
    case rl::I_ERR_NOLISTEN: return "No listeners on the interface bus";
    default: return "Unknown error";
  }
}

session *lookup(library_state &st, std::int16_t id) {
  const auto it = st.sessions.find(id);
  return it == st.sessions.end() ? nullptr : &it->second;
}

instrument *target(library_state &st, const session &s) {
  if (s.address < 0 || st.s.rav_interfaces.empty() || s.interface != st.s.rav_interfaces.front()) return nullptr;
  return st.bus->device_at(s.address);
}

std::int64_t timeout_of(const library_state &st, const session &s) {
  return s.timeout_ms == 0 ? st.s.forever_ms : s.timeout_ms;
}

}  // namespace

extern "C" {

int16_t vb_iopen(const char *address) {
  call c;
  auto &st = c.st();
  if (address == nullptr) {
    fail(rl::I_ERR_PARAM);
    return 0;
  }
  const std::string text(address);
  const auto comma = text.find(',');
  session s;
  s.interface = text.substr(0, comma);
  if (s.interface.empty()) {
    fail(rl::I_ERR_SYNTAX);
    return 0;
  }
  if (comma != std::string::npos) {
    const std::string a = text.substr(comma + 1);
    if (a.empty() || a.size() > 2 ||
        !std::all_of(a.begin(), a.end(), [](char ch) { return std::isdigit(static_cast<unsigned char>(ch)); })) {
      fail(rl::I_ERR_SYNTAX);
      return 0;
    }
    s.address = std::stoi(a);
    if (s.address > 30) {
      fail(rl::I_ERR_BADADDR);
      return 0;
    }
  }
  if (std::find(st.s.rav_interfaces.begin(), st.s.rav_interfaces.end(), s.interface) == st.s.rav_interfaces.end()) {
    fail(rl::I_ERR_BADADDR);
    return 0;
  }
  if (st.sessions.size() >= max_sessions) {
    fail(rl::I_ERR_IO);
    return 0;
  }
  std::int16_t id = 1;
  while (st.sessions.count(id) != 0) ++id;
  st.sessions[id] = s;
  ok();
  return id;
}

int16_t vb_itimeout(int16_t id, int32_t ms) {
  call c;
  session *s = lookup(c.st(), id);
  if (s == nullptr) return fail(rl::I_ERR_BADID);
  if (ms < 0) return fail(rl::I_ERR_PARAM);
  s->timeout_ms = ms;
  return ok();
}

int16_t vb_iclear(int16_t id) {
  call c;
  auto &st = c.st();
  session *s = lookup(st, id);
  if (s == nullptr) return fail(rl::I_ERR_BADID);
  if (s->address < 0) return ok();  // interface clear
  instrument *dev = target(st, *s);
  if (dev == nullptr) return fail(rl::I_ERR_NOLISTEN);
  if (dev->dropped()) {
    st.bus->wait(timeout_of(st, *s));
    return fail(rl::I_ERR_TIMEOUT);
  }
  dev->device_clear();
  return ok();
}

int16_t vb_iclose(int16_t id) {
  call c;
  if (c.st().sessions.erase(id) == 0) return fail(rl::I_ERR_BADID);
  return ok();
}

int16_t vb_ilocal(int16_t id) {
  call c;
  auto &st = c.st();
  session *s = lookup(st, id);
  if (s == nullptr) return fail(rl::I_ERR_BADID);
  if (s->address >= 0 && target(st, *s) == nullptr) return fail(rl::I_ERR_NOLISTEN);
  return ok();
}

int16_t vb_iwrite(int16_t mode, int16_t id, const void *buf, int32_t length, int16_t end, int32_t *actual) {
  call c;
  auto &st = c.st();
  if (actual != nullptr) *actual = 0;
  if (mode != rl::MODE_TEXT && mode != rl::MODE_INT16) return fail(rl::I_ERR_PARAM);
  session *s = lookup(st, id);
  if (s == nullptr) return fail(rl::I_ERR_BADID);
  if (length < 0 || (buf == nullptr && length > 0) || s->address < 0) return fail(rl::I_ERR_PARAM);
  instrument *dev = target(st, *s);
  if (dev == nullptr) return fail(rl::I_ERR_NOLISTEN);
  if (length == 0) return ok();
  const auto r = st.bus->write(*dev, std::string_view(static_cast<const char *>(buf), static_cast<std::size_t>(length)),
                               end != 0, timeout_of(st, *s));
  if (actual != nullptr) *actual = static_cast<int32_t>(r.count);
  return r.timed_out ? fail(rl::I_ERR_TIMEOUT) : ok();
}

int16_t vb_iread(int16_t mode, int16_t id, void *buf, int32_t size, int16_t *reason, int32_t *actual) {
  call c;
  auto &st = c.st();
  if (reason != nullptr) *reason = 0;
  if (actual != nullptr) *actual = 0;
  if (mode != rl::MODE_TEXT && mode != rl::MODE_INT16) return fail(rl::I_ERR_PARAM);
  session *s = lookup(st, id);
  if (s == nullptr) return fail(rl::I_ERR_BADID);
  if (size < 0 || (buf == nullptr && size > 0) || s->address < 0) return fail(rl::I_ERR_PARAM);
  const auto r = st.bus->read(target(st, *s), static_cast<char *>(buf), static_cast<std::size_t>(size),
                              timeout_of(st, *s));
  if (actual != nullptr) *actual = static_cast<int32_t>(r.count);
  if (reason != nullptr) {
    int16_t why = 0;
    if (r.end) why |= rl::REASON_END;
    if (r.count == static_cast<std::size_t>(size) && size > 0) why |= rl::REASON_REQCNT;
    *reason = why;
  }
  return r.timed_out ? fail(rl::I_ERR_TIMEOUT) : ok();
}

int16_t vb_iflush(int16_t id, int16_t /*mask*/) {
  call c;
  if (lookup(c.st(), id) == nullptr) return fail(rl::I_ERR_BADID);
  return ok();  // writes are never held back, so there is nothing to flush
}

int16_t vb_iswap(void *buf, int32_t length, int16_t item_size) {
  call c;
  if (item_size != 1 && item_size != 2 && item_size != 4 && item_size != 8) return fail(rl::I_ERR_PARAM);
  if (length < 0 || length % item_size != 0 || (buf == nullptr && length > 0)) return fail(rl::I_ERR_PARAM);
  auto *bytes = static_cast<unsigned char *>(buf);
  for (int32_t k = 0; k < length; k += item_size) std::reverse(bytes + k, bytes + k + item_size);
  return ok();
}

int16_t vb_igeterrno(void) { return last_error; }

int16_t vb_igeterrstr(int16_t err, char *buf) {
  if (buf == nullptr) return rl::I_ERR_PARAM;
  // The caller's buffer holds 60 characters: at most 59 and the end mark.
  std::strncpy(buf, error_text(err), 59);
  buf[59] = '\0';
  return 0;
}

int talmer_sim_reset(void) {
  std::lock_guard<std::mutex> lock(state().m);
  std::string errors;
  const settings s = library_settings_from_environment(errors);
  state().start(s, errors);
  last_error = 0;
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
  last_error = 0;
  return 0;
}

long talmer_sim_query(const char *what, char *buf, long size) {
  call c;
  auto &st = c.st();
  return answer_query(*st.bus, st.sessions.size(), st.settings_errors, what != nullptr ? what : "", buf, size);
}

}  // extern "C"
