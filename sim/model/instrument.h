// The simulated Talmer signal generator, free of any transport: it takes the
// bytes a link delivers (with the EOI/END mark of the GPIB links), parses
// them as the instrument does, keeps its two waveform memories, its error
// queue and a wire log, and queues its replies for the link to fetch.
//
// Message rules per link:
//   NI-488.2  a message ends with EOI on its last byte; a block ends with EOI
//             on its last data byte, nothing follows it.
//   Ravlink   a message ends with END on its last byte; a block is followed
//             by one line feed carrying END.
//   RS-232    a message ends with a line feed; so does a block.
// A block that breaks these rules (wrong digit count, short, unterminated,
// followed by extra bytes) is a protocol error in the error queue and
// stores nothing; a store never truncates silently.
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/clock.h"
#include "model/scpi.h"
#include "model/settings.h"
#include "model/wire_log.h"

namespace talmer::sim {

enum class link_kind { ni488, ravlink, rs232 };

std::string_view link_name(link_kind link);  // "ni488", "ravlink", "rs232"

inline constexpr std::uint64_t memory_block = 8192;  // a waveform occupies whole blocks of this size

// Bytes a waveform of `size` data bytes occupies.
std::uint64_t occupied_bytes(std::uint64_t size);

// 64-bit FNV-1a, the fingerprint of stored data.
inline constexpr std::uint64_t fnv_basis = 0xcbf29ce484222325ull;
std::uint64_t fnv1a(std::string_view bytes, std::uint64_t h = fnv_basis);

struct scpi_error {
  int code = 0;
  std::string text;
};

struct waveform {
  std::string name;
  std::uint64_t size = 0;              // data bytes
  std::optional<std::uint64_t> hash;   // fnv1a of the data; unknown for waveforms loaded without data
  std::string data;                    // the first `keep` data bytes
  bool data_complete = false;          // `data` holds every byte
};

enum class store_outcome {
  stored,
  out_of_memory,   // did not fit; nothing stored
  playing,         // the target plays in the ARB
  bad_target,      // memory, name, separator or size not acceptable
  protocol_error,  // the block broke the message rules
  aborted,         // device clear, dropped link
};

struct store_attempt {
  channel ch = channel::i;
  std::string name;
  std::uint64_t declared = 0;  // byte count of the block header
  std::uint64_t received = 0;  // data bytes that arrived
  store_outcome outcome = store_outcome::stored;
  std::uint64_t hash = fnv_basis;  // of the bytes received
};

// Encodes a waveform name for a file name: letters, digits and "_-.+" as
// they are, anything else as %XX.
std::string file_name_for(channel ch, std::string_view name);

class instrument {
 public:
  // `other_device`: a different device that only knows the common commands
  // and identifies with `s.other_identity`.
  instrument(const settings &s, const clock &c, link_kind link, bool other_device = false);
  ~instrument();
  instrument(const instrument &) = delete;
  instrument &operator=(const instrument &) = delete;

  // Bytes from the host; `end`: the last of them carries EOI / END. Returns
  // how many the instrument took: fewer only when the link dropped.
  std::size_t receive(std::string_view bytes, bool end);
  // Device clear: the input parser and the output queue are emptied; a
  // store in progress is abandoned.
  void device_clear();
  // The serial line gave up on a stalled message.
  void abort_message();
  // The serial line lost bytes of the current message.
  void note_overrun();
  // Part of a message has arrived and its end has not.
  bool mid_message() const;

  // Replies. A reply is due at a time (slow or split reply faults).
  bool has_output() const { return !output_.empty(); }
  std::optional<std::int64_t> next_output_ms() const;
  // Removes up to `max` due bytes, never more than the rest of one reply;
  // `end` tells whether the last byte taken ends that reply.
  std::string take_output(std::size_t max, bool &end);
  // Bytes the line itself sent (XON/XOFF), for the wire log.
  void log_sent(std::string_view bytes);

  // The link dropped (fault): nothing is taken or sent any more.
  bool dropped() const { return dropped_; }
  std::uint64_t data_bytes() const { return data_total_; }

  const std::vector<waveform> &memory(channel ch) const { return memory_[index(ch)]; }
  const waveform *find(channel ch, std::string_view name) const;
  std::uint64_t capacity() const { return capacity_; }
  std::uint64_t used(channel ch) const;
  std::uint64_t free(channel ch) const;
  // The catalog reply as the instrument sends it, without its line feed.
  std::string catalog_text(channel ch) const;

  const std::vector<store_attempt> &stores() const { return stores_; }
  const std::deque<scpi_error> &errors() const { return errors_; }
  bool arb_on() const { return arb_on_; }
  const std::string &selected() const { return selected_; }
  const std::string &identity() const { return identity_; }
  link_kind link() const { return link_; }
  wire_log &log() { return log_; }
  const wire_log &log() const { return log_; }

 private:
  enum class parse_state { command, block_digit, block_count, block_data, block_term, block_term_lf, discard };

  static std::size_t index(channel ch) { return ch == channel::i ? 0 : 1; }
  bool gpib() const { return link_ != link_kind::rs232; }
  void push_error(int code, std::string text);
  void queue_reply(command_header h, std::string text);
  void execute(std::string_view text);
  void command_byte(char b, bool end);
  void end_of_message();
  bool start_block();
  void begin_store();
  void consume_data(std::string_view bytes);
  void finish_block();
  void fail_block(std::string_view why, bool end);
  void abandon_block(store_outcome why);
  void record(store_attempt a);
  void close_store_file(bool keep);
  void load_store_dir();
  void put_waveform(channel ch, waveform w);

  settings s_;
  const clock &clock_;
  link_kind link_;
  bool other_device_;
  std::string identity_;
  std::string options_;
  std::uint64_t capacity_;
  std::uint64_t filler_[2] = {0, 0};
  bool arb_on_;
  std::string selected_;

  parse_state state_ = parse_state::command;
  bool message_open_ = false;
  std::string cmd_;
  char quote_ = 0;  // the open quote character inside cmd_, 0 = none

  // The block being received.
  channel block_ch_ = channel::i;
  std::string block_name_;
  std::optional<scpi_error> block_reject_;
  int digits_left_ = 0;
  std::uint64_t declared_ = 0;
  std::uint64_t remaining_ = 0;
  std::uint64_t received_ = 0;
  std::uint64_t block_hash_ = fnv_basis;
  std::string block_data_;
  bool overrun_in_message_ = false;
  std::FILE *store_file_ = nullptr;
  std::string store_temp_;
  bool store_write_failed_ = false;

  struct reply_piece {
    std::string bytes;
    std::int64_t at_ms;
    bool end;
  };
  std::deque<reply_piece> output_;
  std::vector<std::uint64_t> silenced_;  // replies left out so far, per no-reply fault

  std::vector<waveform> memory_[2];
  std::vector<store_attempt> stores_;
  std::deque<scpi_error> errors_;
  bool dropped_ = false;
  std::uint64_t data_total_ = 0;
  wire_log log_;
};

}  // namespace talmer::sim
