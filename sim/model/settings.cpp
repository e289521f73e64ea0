#include "model/settings.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "model/scpi.h"

namespace talmer::sim {

namespace {

std::string normal_key(std::string_view key) {
  std::string k;
  for (char c : trim(key)) k.push_back(c == '-' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return k;
}

std::optional<std::int64_t> parse_int(std::string_view text) {
  text = trim(text);
  std::int64_t v = 0;
  const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || p != text.data() + text.size() || text.empty()) return std::nullopt;
  return v;
}

// A byte count with an optional K, M or G suffix (powers of 1024).
std::optional<std::uint64_t> parse_bytes(std::string_view text) {
  text = trim(text);
  std::uint64_t mult = 1;
  if (!text.empty()) {
    switch (std::toupper(static_cast<unsigned char>(text.back()))) {
      case 'K': mult = 1ull << 10; break;
      case 'M': mult = 1ull << 20; break;
      case 'G': mult = 1ull << 30; break;
      default: break;
    }
    if (mult != 1) text.remove_suffix(1);
  }
  const auto v = parse_int(text);
  if (!v || *v < 0 || static_cast<std::uint64_t>(*v) > (UINT64_MAX / mult)) return std::nullopt;
  return static_cast<std::uint64_t>(*v) * mult;
}

std::optional<double> parse_double(std::string_view text) {
  const std::string t(trim(text));
  if (t.empty()) return std::nullopt;
  char *end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

std::vector<std::string_view> split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto k = text.find(sep);
    parts.push_back(text.substr(0, k));
    if (k == std::string_view::npos) return parts;
    text.remove_prefix(k + 1);
  }
}

std::string bad(std::string_view key, std::string_view value, std::string_view why) {
  return std::string(key) + ": '" + std::string(value) + "' " + std::string(why);
}

std::string parse_waveform(settings &s, std::string_view value) {
  // arbi:NAME:SIZE
  const std::string_view v = trim(value);
  const auto first = v.find(':');
  const auto last = v.rfind(':');
  if (first == std::string_view::npos || last == first) return bad("waveform", value, "is not MEMORY:NAME:SIZE");
  prestored_waveform w;
  const auto mem = v.substr(0, first);
  if (iequals(mem, "arbi")) {
    w.ch = channel::i;
  } else if (iequals(mem, "arbq")) {
    w.ch = channel::q;
  } else {
    return bad("waveform", value, "names no memory (arbi or arbq)");
  }
  w.name = std::string(v.substr(first + 1, last - first - 1));
  if (!valid_waveform_name(w.name)) return bad("waveform", value, "has an invalid waveform name");
  const auto size = parse_bytes(v.substr(last + 1));
  if (!size) return bad("waveform", value, "has no valid size");
  w.size = *size;
  s.waveforms.push_back(w);
  return {};
}

std::string parse_query_name(std::string_view text, std::string &out) {
  text = trim(text);
  if (text == "*") {
    out = "*";
    return {};
  }
  out = canonical_query(text);
  if (out.empty()) return "'" + std::string(text) + "' is not a query of the instrument";
  return {};
}

}  // namespace

bool fault_set::any() const {
  return !no_reply.empty() || !timing.empty() || garbled_catalog || unparsable_catalog || other_device || no_qvx ||
         arb_playing || memory_full || drop_after || xoff_stuck;
}

std::string_view channel_prefix(channel ch) { return ch == channel::i ? "arbi" : "arbq"; }

bool valid_waveform_name(std::string_view name) {
  if (name.empty() || name.size() > 23) return false;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u > 0x7e || c == '"' || c == ',') return false;
  }
  return true;
}

std::string canonical_query(std::string_view header) {
  const auto h = resolve_header(header);
  if (!h || !h->query) return {};
  switch (h->id) {
    case command_id::idn:
    case command_id::opc:
    case command_id::options:
    case command_id::arb_state:
    case command_id::arb_waveform:
    case command_id::catalog:
    case command_id::error: return canonical_name(*h);
    default: return {};
  }
}

const std::vector<setting_info> &setting_table() {
  static const std::vector<setting_info> table = {
      {"identity", "TEXT", "reply to \"*IDN?\""},
      {"options", "TEXT", "reply to \"DIAG:INFO:OPT?\" (the ARB option is QVX)"},
      {"capacity", "BYTES", "size of each waveform memory, I and Q (suffix K, M or G)"},
      {"arb", "on|off", "ARB state at start"},
      {"selected", "NAME", "waveform selected in the ARB at start"},
      {"waveform", "MEM:NAME:SIZE", "a waveform stored before the run, e.g. arbi:OLD:8192", true},
      {"store", "DIR", "folder where every stored waveform is written as arbi_NAME.bin / arbq_NAME.bin; "
                       "waveforms already there are in the memory at start"},
      {"keep", "BYTES", "data bytes of each waveform kept in memory for inspection"},
      {"log_cap", "BYTES", "bytes the wire log keeps (later bytes are counted only)"},
      {"wire_log", "FILE", "file that receives the wire log, one line per message"},
      {"fault", "FAULT", "a fault of this run (see the list of faults)", true},
      {"address", "N", "GPIB primary address of the instrument (0 to 30)", false, setting_scope::gpib},
      {"ni_boards", "LIST", "NI-488.2 boards present, e.g. 0,1 (GPIB0, GPIB1); the instrument is on the first; "
                            "'none' for no board", false, setting_scope::gpib},
      {"rav_interfaces", "LIST", "Ravlink interface names present, e.g. corvaneib,gpib7; the instrument is on the "
                                 "first; 'none' for no interface", false, setting_scope::gpib},
      {"other_address", "N", "address of another device on the same bus (-1 = none)", false, setting_scope::gpib},
      {"other_identity", "TEXT", "the other device's reply to \"*IDN?\" (also the fault other-device)"},
      {"timeout_scale", "X", "real milliseconds per instrument millisecond for time-outs and delays", false, setting_scope::gpib},
      {"register", "N", "answer of RegisterGpibGlobalsForThread (0 ok, 1 already registered, 2, 3, other)", false, setting_scope::gpib},
      {"forever", "MS", "longest wait when a time-out is switched off", false, setting_scope::gpib},
      {"buffer_size", "BYTES", "serial input buffer of the instrument", false, setting_scope::serial},
      {"high_mark", "BYTES", "serial: XOFF when the input buffer holds more than this", false, setting_scope::serial},
      {"low_mark", "BYTES", "serial: XON when it holds less than this", false, setting_scope::serial},
      {"drain_rate", "BYTES/S", "serial: bytes per second the instrument takes from its input buffer", false, setting_scope::serial},
      {"line_rate", "BYTES/S", "serial: bytes per second of the replies (0 = unpaced)", false, setting_scope::serial},
      {"xoff_slack", "BYTES", "serial: bytes the host may still send after XOFF before an overrun counts", false, setting_scope::serial},
      {"message_timeout", "MS", "serial: a message stalled this long is abandoned with an error", false, setting_scope::serial},
  };
  return table;
}

std::string add_faults(fault_set &f, std::string_view text) {
  std::string errors;
  for (auto part : split(text, ';')) {
    part = trim(part);
    if (part.empty() || part == "none") continue;
    const auto eq = part.find('=');
    const std::string name = normal_key(part.substr(0, eq));
    const std::string_view arg = eq == std::string_view::npos ? std::string_view{} : trim(part.substr(eq + 1));
    const bool has_arg = eq != std::string_view::npos;
    std::string err;
    const auto flag = [&](bool &b) {
      if (has_arg) err = "takes no value";
      b = true;
    };
    if (name == "no_reply") {
      const auto fields = split(arg, '/');
      silence q;
      if (fields.size() > 2) {
        err = "needs QUERY or QUERY/TIMES";
      } else {
        err = parse_query_name(fields[0], q.query);
        if (fields.size() == 2) {
          const auto times = parse_int(fields[1]);
          if (!times || *times < 1)
            err = "needs a count of 1 or more after the query";
          else
            q.times = static_cast<std::uint64_t>(*times);
        }
      }
      if (err.empty()) f.no_reply.push_back(q);
    } else if (name == "slow_reply" || name == "split_reply") {
      const auto fields = split(arg, '/');
      reply_timing t;
      const bool split_reply = name == "split_reply";
      if (fields.size() != (split_reply ? 3u : 2u)) {
        err = split_reply ? "needs QUERY/PIECES/GAP_MS" : "needs QUERY/DELAY_MS";
      } else {
        err = parse_query_name(fields[0], t.query);
        if (split_reply) {
          const auto pieces = parse_int(fields[1]);
          const auto gap = parse_int(fields[2]);
          if (!pieces || *pieces < 1 || *pieces > 1000 || !gap || *gap < 0)
            err = "needs a piece count of 1 to 1000 and a gap of 0 ms or more";
          else {
            t.pieces = static_cast<int>(*pieces);
            t.gap_ms = *gap;
          }
        } else {
          const auto delay = parse_int(fields[1]);
          if (!delay || *delay < 0)
            err = "needs a delay of 0 ms or more";
          else
            t.delay_ms = *delay;
        }
      }
      if (err.empty()) f.timing.push_back(t);
    } else if (name == "garbled_catalog") {
      flag(f.garbled_catalog);
    } else if (name == "unparsable_catalog") {
      flag(f.unparsable_catalog);
    } else if (name == "other_device") {
      flag(f.other_device);
    } else if (name == "no_qvx") {
      flag(f.no_qvx);
    } else if (name == "memory_full") {
      flag(f.memory_full);
    } else if (name == "xoff_stuck") {
      flag(f.xoff_stuck);
    } else if (name == "arb_playing") {
      if (!valid_waveform_name(arg))
        err = "needs a waveform name";
      else
        f.arb_playing = std::string(arg);
    } else if (name == "drop_after") {
      const auto n = parse_bytes(arg);
      if (!n)
        err = "needs a byte count";
      else
        f.drop_after = *n;
    } else {
      err = "is not a fault of the simulator";
    }
    if (!err.empty()) errors += "fault: '" + std::string(part) + "' " + err + "\n";
  }
  if (!errors.empty()) errors.pop_back();
  return errors;
}

std::string apply_setting(settings &s, std::string_view key_text, std::string_view value) {
  const std::string key = normal_key(key_text);
  const std::string v(trim(value));
  const auto need_bytes = [&](std::uint64_t &out) -> std::string {
    const auto b = parse_bytes(v);
    if (!b) return bad(key, value, "is not a byte count");
    out = *b;
    return {};
  };
  const auto need_rate = [&](double &out, bool zero_ok) -> std::string {
    const auto d = parse_double(v);
    if (!d || *d < 0 || (!zero_ok && *d == 0)) return bad(key, value, "is not a valid rate");
    out = *d;
    return {};
  };
  const auto need_ms = [&](std::int64_t &out) -> std::string {
    const auto n = parse_int(v);
    if (!n || *n < 0) return bad(key, value, "is not a number of milliseconds");
    out = *n;
    return {};
  };
  if (key == "identity") {
    s.identity = v;
  } else if (key == "options") {
    s.options = v;
  } else if (key == "capacity") {
    return need_bytes(s.capacity);
  } else if (key == "arb") {
    if (iequals(v, "on") || v == "1")
      s.arb_on = true;
    else if (iequals(v, "off") || v == "0")
      s.arb_on = false;
    else
      return bad(key, value, "is neither on nor off");
  } else if (key == "selected") {
    if (!v.empty() && !valid_waveform_name(v)) return bad(key, value, "is not a valid waveform name");
    s.selected = v;
  } else if (key == "waveform") {
    std::string errors;
    for (auto part : split(v, ';')) {
      if (trim(part).empty()) continue;
      const auto e = parse_waveform(s, part);
      if (!e.empty()) errors += (errors.empty() ? "" : "\n") + e;
    }
    return errors;
  } else if (key == "store") {
    s.store_dir = v;
  } else if (key == "keep") {
    return need_bytes(s.keep_bytes);
  } else if (key == "log_cap") {
    return need_bytes(s.log_cap);
  } else if (key == "wire_log") {
    s.wire_log_path = v;
  } else if (key == "fault") {
    return add_faults(s.faults, v);
  } else if (key == "address" || key == "other_address") {
    const auto n = parse_int(v);
    const int lowest = key == "address" ? 0 : -1;
    if (!n || *n < lowest || *n > 30) return bad(key, value, "is not a GPIB address (0 to 30)");
    (key == "address" ? s.address : s.other_address) = static_cast<int>(*n);
  } else if (key == "ni_boards") {
    s.ni_boards.clear();
    if (v.empty() || iequals(v, "none")) return {};
    for (auto part : split(v, ',')) {
      const auto n = parse_int(part);
      if (!n || *n < 0 || *n > 99) return bad(key, value, "is not a list of board numbers");
      s.ni_boards.push_back(static_cast<int>(*n));
    }
  } else if (key == "rav_interfaces") {
    s.rav_interfaces.clear();
    if (v.empty() || iequals(v, "none")) return {};
    for (auto part : split(v, ',')) {
      const auto name = trim(part);
      if (name.empty() || name.find_first_of(" \t\"") != std::string_view::npos)
        return bad(key, value, "is not a list of interface names");
      s.rav_interfaces.emplace_back(name);
    }
  } else if (key == "other_identity") {
    s.other_identity = v;
  } else if (key == "timeout_scale") {
    const auto d = parse_double(v);
    if (!d || *d <= 0) return bad(key, value, "is not a positive number");
    s.timeout_scale = *d;
  } else if (key == "register") {
    const auto n = parse_int(v);
    if (!n || *n < INT32_MIN || *n > INT32_MAX) return bad(key, value, "is not a number");
    s.register_answer = static_cast<int>(*n);
  } else if (key == "forever") {
    return need_ms(s.forever_ms);
  } else if (key == "buffer_size") {
    return need_bytes(s.serial.buffer_size);
  } else if (key == "high_mark") {
    return need_bytes(s.serial.high_mark);
  } else if (key == "low_mark") {
    return need_bytes(s.serial.low_mark);
  } else if (key == "drain_rate") {
    return need_rate(s.serial.drain_rate, false);
  } else if (key == "line_rate") {
    return need_rate(s.serial.line_rate, true);
  } else if (key == "xoff_slack") {
    return need_bytes(s.serial.xoff_slack);
  } else if (key == "message_timeout") {
    return need_ms(s.serial.message_timeout_ms);
  } else {
    return std::string(key_text) + ": not a setting of the simulator";
  }
  return {};
}

std::string apply_config_text(settings &s, std::string_view text) {
  std::string errors;
  int line_no = 0;
  for (auto line : split(text, '\n')) {
    ++line_no;
    const auto hash = line.find('#');
    if (hash != std::string_view::npos) line = line.substr(0, hash);
    line = trim(line);
    if (line.empty()) continue;
    const auto eq = line.find('=');
    std::string e;
    if (eq == std::string_view::npos)
      e = "'" + std::string(line) + "' is not key = value";
    else
      e = apply_setting(s, line.substr(0, eq), line.substr(eq + 1));
    if (!e.empty()) errors += "line " + std::to_string(line_no) + ": " + e + "\n";
  }
  return errors;
}

std::string env_name(std::string_view key) { return "TALMER_SIM_" + upper(normal_key(key)); }

env_lookup process_environment() {
  return [](const std::string &name) -> std::optional<std::string> {
    const char *v = std::getenv(name.c_str());
    if (v == nullptr) return std::nullopt;
    return std::string(v);
  };
}

settings settings_from_environment(const env_lookup &env, std::string &errors) {
  settings s;
  errors.clear();
  if (const auto path = env("TALMER_SIM_CONFIG"); path && !path->empty()) {
    std::string text;
    if (FILE *f = std::fopen(path->c_str(), "rb")) {
      char buf[4096];
      std::size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
      std::fclose(f);
      const auto e = apply_config_text(s, text);
      if (!e.empty()) errors += *path + " " + e;
    } else {
      errors += "TALMER_SIM_CONFIG: cannot read '" + *path + "'\n";
    }
  }
  for (const auto &info : setting_table()) {
    const std::string name = env_name(info.key);
    const auto value = env(name);
    if (!value) continue;
    const auto e = apply_setting(s, info.key, *value);
    if (!e.empty()) errors += name + ": " + e + "\n";
  }
  if (const auto e = check_settings(s); !e.empty()) errors += e + "\n";
  if (!errors.empty() && errors.back() == '\n') errors.pop_back();
  return s;
}

}  // namespace talmer::sim

namespace talmer::sim {

std::string check_settings(settings &s) {
  auto &l = s.serial;
  if (l.buffer_size < 2 || l.high_mark >= l.buffer_size || l.low_mark >= l.high_mark) {
    const std::string msg = "serial marks: need low_mark < high_mark < buffer_size (got " +
                            std::to_string(l.low_mark) + " < " + std::to_string(l.high_mark) + " < " +
                            std::to_string(l.buffer_size) + "); using 1/4 and 3/4 of the buffer";
    if (l.buffer_size < 4) l.buffer_size = 4;
    l.high_mark = l.buffer_size * 3 / 4;
    l.low_mark = l.buffer_size / 4;
    return msg;
  }
  return {};
}

}  // namespace talmer::sim
