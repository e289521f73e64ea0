#include "support/fake_gpib.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "gpib/ni488/ni488_abi.h"
#include "gpib/ravlink/ravlink_abi.h"

namespace talmer::testing {

std::vector<std::string> &gpib_calls() {
  static std::vector<std::string> calls;
  return calls;
}

std::vector<std::string> calls_starting(const std::string &prefix) {
  std::vector<std::string> r;
  for (const auto &c : gpib_calls())
    if (c.rfind(prefix, 0) == 0) r.push_back(c);
  return r;
}

fake_ni488_state &fake_ni488() {
  static fake_ni488_state s;
  return s;
}

void reset_fake_ni488() {
  fake_ni488() = fake_ni488_state{};
  gpib_calls().clear();
}

fake_ravlink_state &fake_ravlink() {
  static fake_ravlink_state s;
  return s;
}

void reset_fake_ravlink() {
  fake_ravlink() = fake_ravlink_state{};
  gpib_calls().clear();
}

std::string fake_ravlink_error_text(int errnum) { return "fake ravlink error " + std::to_string(errnum); }

namespace {

void record(std::string s) { gpib_calls().push_back(std::move(s)); }

std::string printable(const void *buf, long count) {
  std::string s;
  const auto *p = static_cast<const unsigned char *>(buf);
  for (long i = 0; i < count; ++i) s += (p[i] >= 0x20 && p[i] < 0x7F) ? static_cast<char>(p[i]) : '.';
  return s;
}

// ---- NI-488.2 --------------------------------------------------------------

void ni_report(int sta, int err, long cntl) {
  auto &s = fake_ni488();
  if (s.force_status) {
    sta = s.forced_sta;
    cntl = s.forced_cntl;
  }
  s.last_sta = sta;
  s.last_err = err;
  s.last_cntl = cntl;
  if (s.sta != nullptr) {
    *s.sta = sta;
    *s.err = err;
    *s.cnt = static_cast<int>(cntl);
    *s.cntl = cntl;
  }
}

int ni_fail(int err) {
  ni_report(ni488::ERR | ni488::CMPL, err, 0);
  return -1;
}

fake_ni488_state::descriptor *ni_find(int ud) {
  auto &s = fake_ni488();
  auto it = s.descriptors.find(ud);
  return it == s.descriptors.end() ? nullptr : &it->second;
}

int ni_find_board(const char *name) {
  auto &s = fake_ni488();
  std::string n(name);
  if (n.rfind("GPIB", 0) != 0 || n.size() != 5 || !std::isdigit(static_cast<unsigned char>(n[4])))
    return ni_fail(ni488::EDVR);
  int board = n[4] - '0';
  if (!s.boards.count(board)) return ni_fail(ni488::EDVR);
  int ud = 100 + board;
  s.descriptors[ud] = {board, -1, ""};
  ni_report(ni488::CMPL, 0, 0);
  return ud;
}

int ni_simple(const char *what, int ud, std::string args) {
  record(std::string(what) + "(" + std::to_string(ud) + args + ")");
  if (ni_find(ud) == nullptr) return ni_fail(ni488::EDVR);
  ni_report(ni488::CMPL, 0, 0);
  return ni488::CMPL;
}

}  // namespace
}  // namespace talmer::testing

using namespace talmer;
using namespace talmer::testing;

extern "C" {

static int fake_ibfindA(const char *name) {
  record(std::string("ibfindA(") + name + ")");
  return ni_find_board(name);
}

static int fake_ibfind(const char *name) {
  record(std::string("ibfind(") + name + ")");
  return ni_find_board(name);
}

static int fake_ibdev(int board, int pad, int sad, int tmo, int eot, int eos) {
  record("ibdev(" + std::to_string(board) + "," + std::to_string(pad) + "," + std::to_string(sad) + "," +
      std::to_string(tmo) + "," + std::to_string(eot) + "," + std::to_string(eos) + ")");
  auto &s = fake_ni488();
  if (!s.boards.count(board)) return ni_fail(ni488::ENEB);
  int ud = s.next_ud++;
  s.descriptors[ud] = {board, pad, ""};
  ni_report(ni488::CMPL, 0, 0);
  return ud;
}

static int fake_ibclr(int ud) { return ni_simple("ibclr", ud, ""); }
static int fake_ibsic(int ud) { return ni_simple("ibsic", ud, ""); }
static int fake_ibloc(int ud) { return ni_simple("ibloc", ud, ""); }
static int fake_ibtmo(int ud, int v) { return ni_simple("ibtmo", ud, "," + std::to_string(v)); }
static int fake_ibeot(int ud, int v) { return ni_simple("ibeot", ud, "," + std::to_string(v)); }

static int fake_ibconfig(int ud, int option, int value) {
  return ni_simple("ibconfig", ud, "," + std::to_string(option) + "," + std::to_string(value));
}

static int fake_ibonl(int ud, int v) {
  int r = ni_simple("ibonl", ud, "," + std::to_string(v));
  if (v == 0) fake_ni488().descriptors.erase(ud);
  return r;
}

static int fake_ibwrt(int ud, const void *buf, long count) {
  const std::string text(static_cast<const char *>(buf), static_cast<std::size_t>(std::max(count, 0L)));
  record("ibwrt(" + std::to_string(ud) + ",\"" + printable(buf, count) + "\"," + std::to_string(count) + ")");
  auto &s = fake_ni488();
  auto *d = ni_find(ud);
  if (d == nullptr) return ni_fail(ni488::EDVR);
  auto inst = s.instruments.find(d->pad);
  if (d->pad < 0 || inst == s.instruments.end()) return ni_fail(ni488::ENOL);
  d->reply.clear();
  if (text == "*IDN?") {
    if (inst->second.silent_queries > 0) {
      --inst->second.silent_queries;
    } else {
      d->reply = inst->second.idn + "\n";
    }
  } else if (text == "DIAG:INFO:OPT?") {
    d->reply = inst->second.options + "\n";
  }
  ni_report(ni488::CMPL, 0, count);
  return ni488::CMPL;
}

static int fake_ibrd(int ud, void *buf, long count) {
  record("ibrd(" + std::to_string(ud) + "," + std::to_string(count) + ")");
  auto *d = ni_find(ud);
  if (d == nullptr) return ni_fail(ni488::EDVR);
  if (d->reply.empty()) {
    ni_report(ni488::ERR | ni488::TIMO | ni488::CMPL, ni488::EABO, 0);
    return ni488::ERR | ni488::TIMO | ni488::CMPL;
  }
  const long n = std::min<long>(count, static_cast<long>(d->reply.size()));
  std::memcpy(buf, d->reply.data(), static_cast<std::size_t>(n));
  d->reply.erase(0, static_cast<std::size_t>(n));
  ni_report(ni488::END | ni488::CMPL, 0, n);
  return ni488::END | ni488::CMPL;
}

static int fake_register(int *sta, int *err, int *cnt, long *cntl) {
  record("RegisterGpibGlobalsForThread");
  auto &s = fake_ni488();
  int answer = 0;
  if (!s.register_answers.empty()) {
    answer = s.register_answers.front();
    s.register_answers.pop_front();
  }
  if (answer == 0) {
    s.sta = sta;
    s.err = err;
    s.cnt = cnt;
    s.cntl = cntl;
  }
  return answer;
}

static int fake_unregister(void) {
  record("UnregisterGpibGlobalsForThread");
  auto &s = fake_ni488();
  s.sta = s.err = s.cnt = nullptr;
  s.cntl = nullptr;
  return 0;
}

static int fake_thread_ibsta(void) { return fake_ni488().last_sta; }
static int fake_thread_iberr(void) { return fake_ni488().last_err; }
static int fake_thread_ibcnt(void) { return static_cast<int>(fake_ni488().last_cntl); }
static long fake_thread_ibcntl(void) { return fake_ni488().last_cntl; }

}  // extern "C"

namespace {

// ---- Ravlink ---------------------------------------------------------------

std::int16_t rav_fail(std::int16_t errnum) {
  auto &s = fake_ravlink();
  s.errnum = s.errors_without_number ? std::int16_t{0} : errnum;
  return -1;
}

fake_ravlink_state::connection *rav_find(std::int16_t id) {
  auto &s = fake_ravlink();
  auto it = s.connections.find(id);
  if (it == s.connections.end() || !it->second.open) return nullptr;
  return &it->second;
}

const fake_instrument *rav_instrument(const fake_ravlink_state::connection &c) {
  auto &s = fake_ravlink();
  if (c.address < 0) return nullptr;
  auto it = s.instruments.find(c.address);
  return it == s.instruments.end() ? nullptr : &it->second;
}

std::int16_t rav_simple(const char *what, std::int16_t id, const std::string &args = "") {
  record(std::string(what) + "(" + std::to_string(id) + args + ")");
  if (rav_find(id) == nullptr) return rav_fail(ravlink::I_ERR_BADID);
  return 0;
}

}  // namespace

extern "C" {

static std::int16_t fake_vb_iopen(const char *address) {
  record(std::string("vb_iopen(") + address + ")");
  auto &s = fake_ravlink();
  std::string a(address);
  std::string name = a;
  int addr = -1;
  if (auto comma = a.find(','); comma != std::string::npos) {
    name = a.substr(0, comma);
    addr = std::stoi(a.substr(comma + 1));
  }
  if (!s.interfaces.count(name)) {
    rav_fail(ravlink::I_ERR_BADADDR);
    return 0;
  }
  std::int16_t id = s.next_id++;
  s.connections[id] = {name, addr, true, false, ""};
  return id;
}

static std::int16_t fake_vb_itimeout(std::int16_t id, std::int32_t ms) {
  return rav_simple("vb_itimeout", id, "," + std::to_string(ms));
}

static std::int16_t fake_vb_iclear(std::int16_t id) {
  record("vb_iclear(" + std::to_string(id) + ")");
  auto &s = fake_ravlink();
  auto *c = rav_find(id);
  if (c == nullptr) return rav_fail(ravlink::I_ERR_BADID);
  if (s.failing_clears > 0) {
    --s.failing_clears;
    return rav_fail(ravlink::I_ERR_IO);
  }
  if (c->address >= 0 && rav_instrument(*c) == nullptr) return rav_fail(ravlink::I_ERR_NOLISTEN);
  return 0;
}

static std::int16_t fake_vb_iclose(std::int16_t id) {
  std::int16_t r = rav_simple("vb_iclose", id);
  if (auto *c = rav_find(id)) c->open = false;
  return r;
}

static std::int16_t fake_vb_ilocal(std::int16_t id) { return rav_simple("vb_ilocal", id); }

static std::int16_t fake_vb_iflush(std::int16_t id, std::int16_t mask) {
  return rav_simple("vb_iflush", id, "," + std::to_string(mask));
}

static std::int16_t fake_vb_iwrite(std::int16_t mode, std::int16_t id, const void *buf, std::int32_t length,
                                   std::int16_t end, std::int32_t *actual) {
  record("vb_iwrite(" + std::to_string(mode) + "," + std::to_string(id) + ",\"" + printable(buf, length) +
      "\"," + std::to_string(length) + "," + std::to_string(end) + ")");
  *actual = 0;
  auto *c = rav_find(id);
  if (c == nullptr) return rav_fail(ravlink::I_ERR_BADID);
  auto &s = fake_ravlink();
  auto inst = c->address >= 0 ? s.instruments.find(c->address) : s.instruments.end();
  if (inst == s.instruments.end()) return rav_fail(ravlink::I_ERR_NOLISTEN);
  const std::string text(static_cast<const char *>(buf), static_cast<std::size_t>(std::max(length, 0)));
  c->reply.clear();
  if (text == "*IDN?") {
    if (inst->second.silent_queries > 0) {
      --inst->second.silent_queries;
    } else {
      c->reply = inst->second.idn + "\n";
      if (inst->second.first_reply_zero && !c->replied) c->reply = std::string(2, '\0') + c->reply;
      c->replied = true;
    }
  } else if (text == "DIAG:INFO:OPT?") {
    c->reply = inst->second.options + "\n";
  }
  *actual = length;
  return 0;
}

static std::int16_t fake_vb_iread(std::int16_t mode, std::int16_t id, void *buf, std::int32_t size,
                                  std::int16_t *reason, std::int32_t *actual) {
  record("vb_iread(" + std::to_string(mode) + "," + std::to_string(id) + "," + std::to_string(size) + ")");
  *actual = 0;
  *reason = 0;
  auto *c = rav_find(id);
  if (c == nullptr) return rav_fail(ravlink::I_ERR_BADID);
  if (c->reply.empty()) return rav_fail(ravlink::I_ERR_TIMEOUT);
  const auto n = std::min<std::size_t>(static_cast<std::size_t>(std::max(size, 0)), c->reply.size());
  std::memcpy(buf, c->reply.data(), n);
  c->reply.erase(0, n);
  *actual = static_cast<std::int32_t>(n);
  *reason = c->reply.empty() ? ravlink::REASON_END : ravlink::REASON_REQCNT;
  return 0;
}

static std::int16_t fake_vb_iswap(void *buf, std::int32_t length, std::int16_t item_size) {
  record("vb_iswap(" + std::to_string(length) + "," + std::to_string(item_size) + ")");
  if (item_size <= 0) return rav_fail(ravlink::I_ERR_PARAM);
  auto *p = static_cast<unsigned char *>(buf);
  for (std::int32_t i = 0; i + item_size <= length; i += item_size) std::reverse(p + i, p + i + item_size);
  return 0;
}

static std::int16_t fake_vb_igeterrno(void) { return fake_ravlink().errnum; }

static std::int16_t fake_vb_igeterrstr(std::int16_t err, char *buf) {
  record("vb_igeterrstr(" + std::to_string(err) + ")");
  const std::string t = fake_ravlink_error_text(err);
  const std::size_t n = std::min<std::size_t>(t.size(), 59);
  std::memcpy(buf, t.data(), n);
  buf[n] = '\0';
  return 0;
}

}  // extern "C"

namespace talmer::testing {

namespace {
template <class F>
void *entry_ptr(F *f) {
  return reinterpret_cast<void *>(f);
}

std::unique_ptr<platform::library> make_library(std::map<std::string, void *> entries,
                                                const std::set<std::string> &omit) {
  for (const auto &name : omit) entries.erase(name);
  return std::make_unique<fake_library>(std::move(entries));
}
}  // namespace

std::unique_ptr<platform::library> make_fake_ni488(bool registration, const std::set<std::string> &omit) {
  std::map<std::string, void *> e{
      {"ibfindA", entry_ptr(&fake_ibfindA)},
      {"ibfind", entry_ptr(&fake_ibfind)},
      {"ibdev", entry_ptr(&fake_ibdev)},
      {"ibclr", entry_ptr(&fake_ibclr)},
      {"ibsic", entry_ptr(&fake_ibsic)},
      {"ibloc", entry_ptr(&fake_ibloc)},
      {"ibonl", entry_ptr(&fake_ibonl)},
      {"ibtmo", entry_ptr(&fake_ibtmo)},
      {"ibeot", entry_ptr(&fake_ibeot)},
      {"ibconfig", entry_ptr(&fake_ibconfig)},
      {"ibwrt", entry_ptr(&fake_ibwrt)},
      {"ibrd", entry_ptr(&fake_ibrd)},
      {"ThreadIbsta", entry_ptr(&fake_thread_ibsta)},
      {"ThreadIberr", entry_ptr(&fake_thread_iberr)},
      {"ThreadIbcnt", entry_ptr(&fake_thread_ibcnt)},
      {"ThreadIbcntl", entry_ptr(&fake_thread_ibcntl)},
  };
  if (registration) {
    e["RegisterGpibGlobalsForThread"] = entry_ptr(&fake_register);
    e["UnregisterGpibGlobalsForThread"] = entry_ptr(&fake_unregister);
  }
  return make_library(std::move(e), omit);
}

std::unique_ptr<platform::library> make_fake_ravlink(const std::set<std::string> &omit) {
  return make_library(
      {
          {"vb_iopen", entry_ptr(&fake_vb_iopen)},
          {"vb_itimeout", entry_ptr(&fake_vb_itimeout)},
          {"vb_iclear", entry_ptr(&fake_vb_iclear)},
          {"vb_iclose", entry_ptr(&fake_vb_iclose)},
          {"vb_ilocal", entry_ptr(&fake_vb_ilocal)},
          {"vb_iwrite", entry_ptr(&fake_vb_iwrite)},
          {"vb_iread", entry_ptr(&fake_vb_iread)},
          {"vb_iflush", entry_ptr(&fake_vb_iflush)},
          {"vb_iswap", entry_ptr(&fake_vb_iswap)},
          {"vb_igeterrno", entry_ptr(&fake_vb_igeterrno)},
          {"vb_igeterrstr", entry_ptr(&fake_vb_igeterrstr)},
      },
      omit);
}

}  // namespace talmer::testing
