#include "model/wire_log.h"

#include <cstdio>

namespace talmer::sim {

namespace {
// Records themselves are bounded too: past this many, bytes are only counted.
constexpr std::size_t max_records = 200000;
}  // namespace

void wire_log::complete_last() {
  if (open_ && !records_.empty() && sink_) sink_(records_.back());
  open_ = false;
}

void wire_log::add(direction dir, std::string_view bytes, bool end) {
  if (bytes.empty() && !end) return;
  (dir == direction::to_instrument ? total_in_ : total_out_) += bytes.size();
  if (!open_ || records_.empty() || records_.back().dir != dir) {
    complete_last();
    if (records_.size() >= max_records) {
      dropped_ += bytes.size();
      return;
    }
    records_.push_back(wire_record{dir, {}, 0, false});
    open_ = true;
  }
  auto &r = records_.back();
  const std::uint64_t room = kept_ < cap_ ? cap_ - kept_ : 0;
  const std::size_t keep = bytes.size() < room ? bytes.size() : static_cast<std::size_t>(room);
  r.bytes.append(bytes.substr(0, keep));
  kept_ += keep;
  dropped_ += bytes.size() - keep;
  r.length += bytes.size();
  if (end) {
    r.end = true;
    complete_last();
  }
}

void wire_log::close_record() { complete_last(); }

void wire_log::clear() {
  records_.clear();
  kept_ = dropped_ = total_in_ = total_out_ = 0;
  open_ = false;
}

std::string wire_log::joined(direction d) const {
  std::string out;
  for (const auto &r : records_)
    if (r.dir == d) out += r.bytes;
  return out;
}

std::vector<std::string> wire_log::received_messages() const {
  std::vector<std::string> out;
  bool open = false;
  for (const auto &r : records_) {
    if (r.dir != direction::to_instrument) continue;
    if (!open) out.emplace_back();
    out.back() += r.bytes;
    open = !r.end;
  }
  return out;
}

std::string wire_log::format(const wire_record &r) {
  std::string line = r.dir == direction::to_instrument ? "> " : "< ";
  line += std::to_string(r.length);
  line += r.end ? " E " : " - ";
  for (char c : r.bytes) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '\n': line += "\\n"; break;
      case '\r': line += "\\r"; break;
      case '\t': line += "\\t"; break;
      case '\\': line += "\\\\"; break;
      default:
        if (u < 0x20 || u > 0x7e) {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02x", u);
          line += hex;
        } else {
          line.push_back(c);
        }
    }
  }
  if (r.bytes.size() < r.length) line += "...";
  return line;
}

}  // namespace talmer::sim
