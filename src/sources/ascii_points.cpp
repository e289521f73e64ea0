#include "sources/ascii_points.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>

#include "sources/rounding.h"


namespace talmer::sources {

namespace {

// The point of a value read from a token, or nullopt when out of range.
std::optional<std::int16_t> wrap_point(std::int64_t v) {
  if (v > 32767) v -= 65536;
  if (v < -32768 || v > 32767) return std::nullopt;
  return static_cast<std::int16_t>(v);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::int16_t> token_to_point(std::string_view t) {
  if (t.empty() || t.size() > max_token_bytes) return std::nullopt;
  std::size_t i = 0;
  bool neg = false;
  if (t[0] == '+' || t[0] == '-') {
    neg = t[0] == '-';
    i = 1;
  }
  if (i == t.size()) return std::nullopt;
  // A number starts with a digit or the decimal point: this keeps out a
  // second sign and the words the floating-point reader would accept
  // ("inf", "nan", "infinity").
  if (!is_digit(t[i]) && t[i] != '.') return std::nullopt;

  // Whole numbers of up to 18 digits are read exactly as integers.
  std::size_t digits = 0;
  while (i + digits < t.size() && is_digit(t[i + digits])) ++digits;
  if (i + digits == t.size() && digits <= 18) {
    std::int64_t v = 0;
    for (std::size_t k = i; k < t.size(); ++k) v = v * 10 + (t[k] - '0');
    return wrap_point(neg ? -v : v);
  }

  // Fractions and exponents: std::from_chars reads "." as the decimal point
  // whatever the locale, and with the general format takes no hexadecimal.
  double d = 0;
  const char *first = t.data() + i;
  const char *last = t.data() + t.size();
  auto [ptr, ec] = std::from_chars(first, last, d, std::chars_format::general);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  if (neg) d = -d;
  if (!(d >= -32768.5 && d <= 98303.5)) return std::nullopt;
  return wrap_point(static_cast<std::int64_t>(round_half_even(d)));
}

void token_counter::feed(const unsigned char *p, std::size_t n) {
  static const auto counter = detail::have_avx2() ? &detail::count_starts_avx2 : &detail::count_starts_sse2;
  count_ += counter(p, n, in_token_);
}

std::int64_t count_tokens(platform::input_file &file) {
  constexpr std::size_t chunk = 128 * 1024;
  std::unique_ptr<unsigned char[]> buf(new unsigned char[chunk]);
  token_counter c;
  for (;;) {
    std::int64_t r = file.read(buf.get(), chunk);
    if (r <= 0) break;
    c.feed(buf.get(), static_cast<std::size_t>(r));
  }
  return c.count();
}

// ---- ascii_reader ---------------------------------------------------------
//
// The buffer holds the bytes of the current piece, [0, end_), followed by
// `pad` zero bytes: NUL is a delimiter, so the last token of the piece
// always ends at end_ at the latest, and the indexer and the 8-byte loads of
// the converter never leave the buffer. Before the next piece is read, the
// unfinished token [tail_, end_) (at most max_token_bytes) moves to the
// front. An index entry whose start equals its end stands for a token that
// was too long to keep.

namespace {

constexpr std::size_t pad = 128;
constexpr std::size_t held_bytes = max_token_bytes + ascii_reader::block_bytes;
constexpr std::size_t capacity = held_bytes + pad;
constexpr std::size_t index_capacity = held_bytes / 2 + 2 + 64;

using indexer = std::size_t (*)(const unsigned char *, std::size_t, std::size_t, std::uint32_t *, std::uint32_t *);

indexer chosen_indexer() {
  static const indexer f = detail::have_avx2() ? &detail::index_avx2 : &detail::index_sse2;
  return f;
}

using converter = void (*)(const unsigned char *, const std::uint32_t *, const std::uint32_t *, std::size_t,
                           std::int16_t *, bool &);

converter chosen_converter() {
  static const converter f = detail::have_avx2() ? &detail::convert_avx2 : &detail::convert_scalar;
  return f;
}

}  // namespace

ascii_reader::ascii_reader(platform::input_file &file)
    : file_(file),
      buf_(new unsigned char[capacity]),
      starts_(new std::uint32_t[index_capacity]),
      ends_(new std::uint32_t[index_capacity]) {
  std::memset(buf_.get(), 0, pad);
}

ascii_reader::~ascii_reader() = default;

bool ascii_reader::refill() {
  if (eof_) return false;
  std::size_t keep = end_ - tail_;
  if (keep > max_token_bytes) {
    skipping_ = true;  // too long for a number: drop what was read of it
    keep = 0;
  }
  if (keep > 0 && tail_ > 0) std::memmove(buf_.get(), buf_.get() + tail_, keep);
  end_ = keep;
  const std::int64_t r = file_.read(buf_.get() + end_, static_cast<std::int64_t>(block_bytes));
  if (r > 0) {
    end_ += static_cast<std::size_t>(r);
  } else {
    eof_ = true;
    if (r < 0) {
      // A token cut by a failed read is not a token of the file.
      read_failed_ = true;
      end_ = 0;
      skipping_ = false;
    }
  }
  std::memset(buf_.get() + end_, 0, pad);
  index_tokens();
  return true;
}

void ascii_reader::index_tokens() {
  tokens_ = next_ = 0;
  tail_ = end_;
  std::size_t from = 0;
  if (skipping_) {
    while (from < end_ && !is_delimiter(buf_[from])) ++from;
    if (from == end_ && !eof_) return;  // the long token goes on
    starts_[0] = ends_[0] = 0;
    tokens_ = 1;
    skipping_ = false;
  }
  tokens_ += chosen_indexer()(buf_.get(), from, end_, starts_.get() + tokens_, ends_.get() + tokens_);
  if (!eof_ && tokens_ > 0 && ends_[tokens_ - 1] == end_ && starts_[tokens_ - 1] != end_) {
    // The last token reaches the end of the piece: it may go on.
    tail_ = starts_[tokens_ - 1];
    --tokens_;
  }
}

std::int64_t ascii_reader::read_points(std::int16_t *out, std::int64_t n, bool &dataerror) {
  std::int64_t i = 0;
  bool bad = false;
  while (i < n) {
    if (next_ == tokens_) {
      if (!refill()) break;
      continue;
    }
    const std::size_t take = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(tokens_ - next_), n - i));
    chosen_converter()(buf_.get(), starts_.get() + next_, ends_.get() + next_, take, out + i, bad);
    next_ += take;
    i += static_cast<std::int64_t>(take);
  }
  if (bad) dataerror = true;
  return i;
}

void get_ascii_points(ascii_reader &source, std::int16_t *numbuf, std::int64_t numbufsize,
                      std::int64_t num_wfm_points, bool &dataerror) {
  const std::int64_t n = std::min(num_wfm_points, numbufsize);
  if (n <= 0) return;
  const std::int64_t got = source.read_points(numbuf, n, dataerror);
  if (got < n) {
    std::fill(numbuf + got, numbuf + n, std::int16_t{0});
    dataerror = true;
  }
}

}  // namespace talmer::sources
