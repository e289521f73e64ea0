// The Ravlink call layer: the program's only way to a Corvane GPIB card.
// Each operation calls one library entry. When the entry reports a failure
// and the library has an error number for it, the layer raises that number
// and the library's error text into the pending error and delivers no
// result: the caller's statement is abandoned, so a variable that was to
// receive the result keeps its old value (written as
// `if (auto r = layer.vb_iopen(name)) id = *r;`). Output arguments keep
// what the library wrote into them. A later success never clears a pending
// error. The layer shows nothing to the user.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "gpib/pending_error.h"
#include "gpib/ravlink/ravlink_entries.h"

namespace talmer::ravlink {

// The library's error texts are read into a buffer of this many characters.
inline constexpr std::size_t error_text_length = 60;

class call_layer {
 public:
  // The entry's own result, or nullopt when a failure was raised into the
  // pending error.
  using result = std::optional<std::int16_t>;

  call_layer(std::unique_ptr<library_entries> library, gpib::pending_error &pending);
  call_layer(const call_layer &) = delete;
  call_layer &operator=(const call_layer &) = delete;

  const library_entries &library() const { return *library_; }

  // Opens an interface ("gpib7") or an instrument on it ("gpib7,19"); the
  // connection id. Failure is a result of 0.
  result vb_iopen(const std::string &address);
  result vb_itimeout(std::int16_t id, std::int32_t ms);
  result vb_iclear(std::int16_t id);
  result vb_iclose(std::int16_t id);
  result vb_ilocal(std::int16_t id);

  // Sends the first `length` bytes (never more than there are): of the
  // text's 8-bit copy, or of the buffer in memory order. end = 1 sends END
  // with the last byte. vb_iwrite passes mode 2, vb_iwrite_mode1 mode 1.
  // The text form is for commands and names (the 8-bit copy of a UTF-8
  // text can be shorter than the text); binary data goes through the
  // array form, which sends bytes unchanged.
  result vb_iwrite(std::int16_t id, const std::string &text, std::int32_t length, std::int16_t end,
                   std::int32_t &actual);
  result vb_iwrite(std::int16_t id, std::span<const std::int16_t> buffer, std::int32_t length,
                   std::int16_t end, std::int32_t &actual);
  result vb_iwrite_mode1(std::int16_t id, const std::string &text, std::int32_t length,
                         std::int16_t end, std::int32_t &actual);
  result vb_iwrite_mode1(std::int16_t id, std::span<const std::int16_t> buffer, std::int32_t length,
                         std::int16_t end, std::int32_t &actual);

  // Reads at most `size` bytes. Text form: the library reads into a copy
  // of the buffer, which is assigned back (its length unchanged) only when
  // no failure was raised; so a read that times out leaves the buffer as
  // it was. Array form: the library reads into the array itself (never
  // beyond its end). vb_iread passes mode 2, vb_iread_mode1 mode 1.
  result vb_iread(std::int16_t id, std::string &buffer, std::int32_t size, std::int16_t &reason,
                  std::int32_t &actual);
  result vb_iread(std::int16_t id, std::span<std::int16_t> buffer, std::int32_t size,
                  std::int16_t &reason, std::int32_t &actual);
  result vb_iread_mode1(std::int16_t id, std::string &buffer, std::int32_t size, std::int16_t &reason,
                        std::int32_t &actual);
  result vb_iread_mode1(std::int16_t id, std::span<std::int16_t> buffer, std::int32_t size,
                        std::int16_t &reason, std::int32_t &actual);

  result vb_iflush(std::int16_t id, std::int16_t mask);
  // Reverses the bytes of each item of `item_size` bytes within the first
  // `length` bytes of the buffer (never beyond its end).
  result vb_iswap(std::span<std::int16_t> buffer, std::int32_t length, std::int16_t item_size);

 private:
  // The failure rule shared by every operation.
  result outcome(std::int16_t r, bool failed);
  result write_text(std::int16_t mode, std::int16_t id, const std::string &text, std::int32_t length,
                    std::int16_t end, std::int32_t &actual);
  result write_array(std::int16_t mode, std::int16_t id, std::span<const std::int16_t> buffer,
                     std::int32_t length, std::int16_t end, std::int32_t &actual);
  result read_text(std::int16_t mode, std::int16_t id, std::string &buffer, std::int32_t size,
                   std::int16_t &reason, std::int32_t &actual);
  result read_array(std::int16_t mode, std::int16_t id, std::span<std::int16_t> buffer,
                    std::int32_t size, std::int16_t &reason, std::int32_t &actual);

  std::unique_ptr<library_entries> library_;
  gpib::pending_error &pending_;
};

}  // namespace talmer::ravlink
