// ASCII waveform files: whole numbers separated by blanks, commas, tabs,
// carriage returns, line feeds or NUL bytes, one number per waveform point.
//
// One tokenizer serves the count taken when a source is classified and the
// reader used during a download, so the count always equals the number of
// points the download reads. Both stream through fixed buffers: memory use
// does not grow with the file, and a token longer than `max_token_bytes`
// is read as an invalid point without being held.
//
// Numbers are read with "." as the decimal point whatever the user's
// locale (nothing here depends on the C library's locale).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/platform.h"

namespace talmer::sources {

// Tab, line feed, carriage return, blank, comma and NUL end a number.
constexpr bool is_delimiter(unsigned char c) {
  return c == 9 || c == 10 || c == 13 || c == 32 || c == 44 || c == 0;
}

// A token longer than this cannot be a number worth reading: it becomes an
// invalid point.
inline constexpr std::size_t max_token_bytes = 4096;

// The 16-bit point of one token, or nullopt when the token is invalid:
// not a decimal number (optional "+" or "-", digits with an optional
// fraction after a ".", optional exponent; NaN, infinities and hexadecimal
// forms are not numbers), longer than `max_token_bytes`, or outside
// -32768..98303 after rounding half to even. Values 32768..98303 wrap by
// -65536 (the unsigned form of a 16-bit word, and 65536..98303 to 0..32767).
std::optional<std::int16_t> token_to_point(std::string_view token);

// Counts the tokens of a stream fed in pieces: a token that runs across
// two pieces counts once.
class token_counter {
 public:
  void feed(const unsigned char *p, std::size_t n);
  std::int64_t count() const { return count_; }

 private:
  std::int64_t count_ = 0;
  bool in_token_ = false;
};

// The number of tokens of an open file, read to its end through a fixed
// buffer. A read error ends the count where it happened.
std::int64_t count_tokens(platform::input_file &file);

// Reads the points of an open ASCII file block by block. Each call continues
// just after the delimiter that ended the previous call's last number; the
// reader keeps the bytes it read ahead, so one reader must serve the whole
// file. It reads `file` sequentially and only through `file.read`.
//
// Internally it reads the file in pieces of `block_bytes`, finds where every
// token of a piece starts and ends in one pass (16 or 32 bytes at a time),
// then converts the tokens from that index. A token cut by the end of a
// piece moves to the front before the next piece is read after it.
class ascii_reader {
 public:
  static constexpr std::size_t block_bytes = 64 * 1024;

  explicit ascii_reader(platform::input_file &file);
  ~ascii_reader();
  ascii_reader(const ascii_reader &) = delete;
  ascii_reader &operator=(const ascii_reader &) = delete;

  // Stores up to `n` points in out[0..n-1]; returns how many were stored,
  // fewer than `n` only when the file ended (or a read failed). An invalid
  // token stores 0 and sets `dataerror`; `dataerror` is never cleared.
  std::int64_t read_points(std::int16_t *out, std::int64_t n, bool &dataerror);

  // True once a read of the file failed (the reader then behaves as at the
  // end of the file).
  bool read_failed() const { return read_failed_; }

 private:
  bool refill();
  void index_tokens();

  platform::input_file &file_;
  std::unique_ptr<unsigned char[]> buf_;
  std::unique_ptr<std::uint32_t[]> starts_, ends_;
  std::size_t end_ = 0;         // bytes held in buf_
  std::size_t tail_ = 0;        // start of a token that may go on in the next piece
  std::size_t tokens_ = 0;      // complete tokens indexed
  std::size_t next_ = 0;        // the next of them to convert
  bool skipping_ = false;       // inside a token too long to keep
  bool eof_ = false;
  bool read_failed_ = false;
};

// Fills the next min(numbufsize, num_wfm_points) points of `numbuf` from
// `source`. When the text ends before them (the file shrank after it was
// counted) the reader stops at once: the missing points are 0 and
// `dataerror` is set.
void get_ascii_points(ascii_reader &source, std::int16_t *numbuf, std::int64_t numbufsize,
                      std::int64_t num_wfm_points, bool &dataerror);


namespace detail {
// The token counters by instruction set, for tests and benchmarks: each
// counts the token starts in p[0..n-1]; `in_token` tells whether the byte
// before p was part of a token and is updated for the next piece.
std::int64_t count_starts_scalar(const unsigned char *p, std::size_t n, bool &in_token);
std::int64_t count_starts_sse2(const unsigned char *p, std::size_t n, bool &in_token);
std::int64_t count_starts_avx2(const unsigned char *p, std::size_t n, bool &in_token);

// The token indexers by instruction set: for the bytes p[from..to) (with
// at least 64 readable bytes after `to`, the first of them a delimiter,
// and p[from - 1] taken as a delimiter), writes the offset of every token's
// first byte to `starts` and of the delimiter after it to `ends`; returns
// the number of tokens. Each array needs room for the tokens plus 64.
std::size_t index_scalar(const unsigned char *p, std::size_t from, std::size_t to, std::uint32_t *starts,
                         std::uint32_t *ends);
std::size_t index_sse2(const unsigned char *p, std::size_t from, std::size_t to, std::uint32_t *starts,
                       std::uint32_t *ends);
std::size_t index_avx2(const unsigned char *p, std::size_t from, std::size_t to, std::uint32_t *starts,
                       std::uint32_t *ends);

// The token converters by instruction set: the points of `count` indexed
// tokens (offsets into `b`, which has 16 readable bytes after every token)
// go to out[0..count-1]; `bad` is set when a token is invalid. Both give
// exactly what token_to_point gives.
void convert_scalar(const unsigned char *b, const std::uint32_t *starts, const std::uint32_t *ends,
                    std::size_t count, std::int16_t *out, bool &bad);
void convert_avx2(const unsigned char *b, const std::uint32_t *starts, const std::uint32_t *ends,
                  std::size_t count, std::int16_t *out, bool &bad);

// Whether this processor runs the AVX2 variants (chosen at run time).
bool have_avx2();
}  // namespace detail

}  // namespace talmer::sources
