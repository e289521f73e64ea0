// Every byte the instrument received and sent, with message boundaries.
// Consecutive bytes in one direction form one record until a message ends
// (EOI on GPIB, END on Ravlink) or the direction changes. The log keeps the
// first `cap` bytes; later bytes are only counted, so a long transfer cannot
// grow it without bound.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace talmer::sim {

enum class direction { to_instrument, from_instrument };

struct wire_record {
  direction dir = direction::to_instrument;
  std::string bytes;        // the kept bytes (all of them unless the cap was reached)
  std::uint64_t length = 0;  // every byte of the record, kept or not
  bool end = false;          // the last byte carried EOI / END
};

class wire_log {
 public:
  explicit wire_log(std::uint64_t cap = 4ull << 20) : cap_(cap) {}

  void add(direction dir, std::string_view bytes, bool end);
  // Closes the open record so that the next bytes start a new one.
  void close_record();
  void clear();

  const std::vector<wire_record> &records() const { return records_; }
  // All kept bytes of one direction, concatenated.
  std::string received() const { return joined(direction::to_instrument); }
  std::string sent() const { return joined(direction::from_instrument); }
  // The received bytes cut into messages at each END (a final message
  // without END is included).
  std::vector<std::string> received_messages() const;
  std::uint64_t received_total() const { return total_in_; }
  std::uint64_t sent_total() const { return total_out_; }
  // True when some bytes were counted but not kept.
  bool truncated() const { return dropped_ > 0; }

  // Called with each record once it is complete (for a log file).
  void set_sink(std::function<void(const wire_record &)> sink) { sink_ = std::move(sink); }

  // One line for a record: direction ('>' to the instrument, '<' from it),
  // byte count, 'E' for END or '-', and the kept bytes with C escapes
  // (\n, \r, \t, \\, \xNN), "..." when bytes were not kept.
  static std::string format(const wire_record &r);

 private:
  std::string joined(direction d) const;
  void complete_last();

  std::uint64_t cap_;
  std::uint64_t kept_ = 0;
  std::uint64_t dropped_ = 0;
  std::uint64_t total_in_ = 0;
  std::uint64_t total_out_ = 0;
  bool open_ = false;  // the last record may still grow
  std::vector<wire_record> records_;
  std::function<void(const wire_record &)> sink_;
};

}  // namespace talmer::sim
