#include "lib/control.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace talmer::sim {

namespace {

const char *outcome_name(store_outcome o) {
  switch (o) {
    case store_outcome::stored: return "stored";
    case store_outcome::out_of_memory: return "out_of_memory";
    case store_outcome::playing: return "playing";
    case store_outcome::bad_target: return "bad_target";
    case store_outcome::protocol_error: return "protocol_error";
    case store_outcome::aborted: return "aborted";
  }
  return "?";
}

bool memory_of(std::string_view text, channel &ch) {
  if (text == "arbi") {
    ch = channel::i;
    return true;
  }
  if (text == "arbq") {
    ch = channel::q;
    return true;
  }
  return false;
}

}  // namespace

long answer_query(gpib_bus &bus, std::size_t open, const std::string &settings_errors, std::string_view what,
                  char *buf, long size) {
  instrument &dev = bus.talmer();
  std::string out;
  channel ch;
  if (what == "wire_log") {
    for (const auto &r : dev.log().records()) out += wire_log::format(r) + "\n";
  } else if (what == "errors") {
    for (const auto &e : dev.errors()) out += std::to_string(e.code) + "," + e.text + "\n";
  } else if (what.substr(0, 8) == "catalog:" && memory_of(what.substr(8), ch)) {
    out = dev.catalog_text(ch);
  } else if ((what.substr(0, 5) == "data:" || what.substr(0, 5) == "hash:") && what.size() > 10 &&
             what[9] == ':' && memory_of(what.substr(5, 4), ch)) {
    const waveform *w = dev.find(ch, what.substr(10));
    if (w == nullptr) return -1;
    if (what[0] == 'd') {
      out = w->data;
    } else {
      char hash[32] = "-";
      if (w->hash) std::snprintf(hash, sizeof hash, "%016" PRIx64, *w->hash);
      out = std::to_string(w->size) + " " + hash;
    }
  } else if (what == "stores") {
    for (const auto &a : dev.stores())
      out += std::string(channel_prefix(a.ch)) + ":" + a.name + " " + std::to_string(a.declared) + " " +
             std::to_string(a.received) + " " + outcome_name(a.outcome) + "\n";
  } else if (what == "open") {
    out = std::to_string(open);
  } else if (what == "settings_errors") {
    out = settings_errors;
  } else {
    return -1;
  }
  if (buf != nullptr && size > 0) std::memcpy(buf, out.data(), std::min<std::size_t>(out.size(), size));
  return static_cast<long>(out.size());
}

}  // namespace talmer::sim
