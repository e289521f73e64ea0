// A simulated instrument on a manual clock, with the link's own way of
// ending messages and blocks.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include <stdexcept>

#include "model/clock.h"
#include "model/instrument.h"
#include "model/settings.h"

namespace talmer::sim::testing {

inline std::string block_header(std::size_t bytes) {
  const std::string count = std::to_string(bytes);
  return "#" + std::to_string(count.size()) + count;
}

inline std::string store_prefix(channel ch, const std::string &name) {
  return "mmem:data \"" + std::string(channel_prefix(ch)) + ":" + name + "\", ";
}

// Data bytes that are easy to tell apart: 0, 1, 2, ... modulo 251.
inline std::string pattern(std::size_t n, int seed = 0) {
  std::string s(n, '\0');
  for (std::size_t k = 0; k < n; ++k) s[k] = static_cast<char>((k + static_cast<std::size_t>(seed)) % 251);
  return s;
}

// A scratch folder removed with everything in it.
class temp_dir {
 public:
  temp_dir() {
    std::string t = (std::filesystem::temp_directory_path() / "talmer-sim-XXXXXX").string();
    if (mkdtemp(t.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = t;
  }
  ~temp_dir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  temp_dir(const temp_dir &) = delete;
  temp_dir &operator=(const temp_dir &) = delete;
  const std::string &path() const { return path_; }
  std::string operator/(const std::string &name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string read_file(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

struct rig {
  manual_clock clock;
  settings s;
  link_kind link;
  std::unique_ptr<instrument> inst;

  explicit rig(link_kind l = link_kind::ni488, const std::function<void(settings &)> &tweak = {}) : link(l) {
    if (tweak) tweak(s);
    inst = std::make_unique<instrument>(s, clock, link);
  }

  void send(const std::string &bytes, bool end) { inst->receive(bytes, end); }

  // A whole message, ended as the link ends it.
  void message(const std::string &text) {
    if (link == link_kind::rs232)
      send(text + "\n", false);
    else
      send(text, true);
  }

  // Everything due now.
  std::string reply() {
    std::string out;
    while (inst->has_output()) {
      bool end = false;
      const auto piece = inst->take_output(1 << 20, end);
      if (piece.empty()) break;
      out += piece;
    }
    return out;
  }

  std::string query(const std::string &q) {
    message(q);
    return reply();
  }

  // A correct store command for the link: prefix, header and data in
  // separate writes as the program sends them.
  void store(channel ch, const std::string &name, const std::string &data) {
    const std::string head = store_prefix(ch, name), count = block_header(data.size());
    switch (link) {
      case link_kind::ni488:
        send(head, false);
        send(count, false);
        send(data, true);
        break;
      case link_kind::ravlink:
        send(head, false);
        send(count, false);
        send(data, false);
        send("\n", true);
        break;
      case link_kind::rs232: send(head + count + data + "\n", false); break;
    }
  }

  std::string last_error() const { return inst->errors().empty() ? std::string() : inst->errors().back().text; }
};

}  // namespace talmer::sim::testing
