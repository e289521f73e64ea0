#include "sources/ascii_points.h"

#include <bit>
#include <charconv>
#include <cstring>

#include "sources/rounding.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>
#define TALMER_SSE2 1
#endif

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
// The buffer holds the bytes read ahead, [pos_, end_), followed by `pad`
// zero bytes. NUL is a delimiter, so a scan for the end of a token always
// stops at end_ at the latest, and 16-byte loads at any position up to end_
// stay inside the buffer. Before more is read, the unread part (at most one
// partial token of up to max_token_bytes) moves to the front.

namespace {

constexpr std::size_t pad = 64;
constexpr std::size_t capacity = max_token_bytes + ascii_reader::block_bytes + pad;

// Bit k is set when p[k] is a delimiter (16 bytes).
inline std::uint32_t delimiter_mask16(const unsigned char *p) {
#ifdef TALMER_SSE2
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  __m128i m = _mm_cmpeq_epi8(v, _mm_setzero_si128());
  m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(9)));
  m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(10)));
  m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(13)));
  m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(32)));
  m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(44)));
  return static_cast<std::uint32_t>(_mm_movemask_epi8(m));
#else
  std::uint32_t m = 0;
  for (unsigned k = 0; k < 16; ++k)
    if (is_delimiter(p[k])) m |= 1u << k;
  return m;
#endif
}

// Eight ASCII digits (first digit in the lowest byte) to their value, and
// the test that all eight bytes are digits.
inline bool eight_digits(std::uint64_t x) {
  return (((x + 0x4646464646464646ULL) | (x - 0x3030303030303030ULL)) & 0x8080808080808080ULL) == 0;
}
inline std::uint32_t eight_digit_value(std::uint64_t x) {
  x -= 0x3030303030303030ULL;
  x = (x * 10) + (x >> 8);
  x = (((x & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
       (((x >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
      32;
  return static_cast<std::uint32_t>(x);
}
// '0' bytes that fill the low end of a shifted group of d digits.
constexpr std::uint64_t zero_fill[9] = {
    0x3030303030303030ULL, 0x30303030303030ULL, 0x303030303030ULL, 0x3030303030ULL, 0x30303030ULL,
    0x303030ULL,           0x3030ULL,           0x30ULL,           0ULL};

constexpr bool little_endian = std::endian::native == std::endian::little;

}  // namespace

ascii_reader::ascii_reader(platform::input_file &file) : file_(file), buf_(new unsigned char[capacity]) {
  std::memset(buf_.get(), 0, pad);
}

ascii_reader::~ascii_reader() = default;

bool ascii_reader::refill() {
  if (eof_) return false;
  const std::size_t keep = end_ - pos_;
  if (pos_ > 0 && keep > 0) std::memmove(buf_.get(), buf_.get() + pos_, keep);
  pos_ = 0;
  end_ = keep;
  const std::int64_t r = file_.read(buf_.get() + end_, static_cast<std::int64_t>(block_bytes));
  bool more = r > 0;
  if (more) {
    end_ += static_cast<std::size_t>(r);
  } else {
    eof_ = true;
    if (r < 0) read_failed_ = true;
  }
  std::memset(buf_.get() + end_, 0, pad);
  return more;
}

// The token at pos_ when it may run past the bytes read so far, is long,
// or is not a plain whole number.
std::int16_t ascii_reader::slow_token(bool &dataerror) {
  for (;;) {
    std::size_t q = pos_;
    for (;;) {
      const std::uint32_t m = delimiter_mask16(buf_.get() + q);
      if (m != 0) {
        q += static_cast<std::size_t>(std::countr_zero(m));
        break;
      }
      q += 16;
    }
    if (q > end_) q = end_;
    if (q < end_ || eof_) {
      auto v = token_to_point(std::string_view(reinterpret_cast<const char *>(buf_.get() + pos_), q - pos_));
      pos_ = q;
      if (!v) dataerror = true;
      return v.value_or(0);
    }
    if (end_ - pos_ > max_token_bytes) {
      // Too long for a number: skip it without keeping it.
      for (;;) {
        pos_ = end_;
        if (!refill()) break;
        std::size_t k = 0;
        while (k < end_ && !is_delimiter(buf_[k])) ++k;
        if (k < end_) {
          pos_ = k;
          break;
        }
      }
      dataerror = true;
      return 0;
    }
    refill();  // at the end of the file the token is complete next time round
  }
}

std::int64_t ascii_reader::read_points(std::int16_t *out, std::int64_t n, bool &dataerror) {
  std::int64_t i = 0;
  while (i < n) {
    // Skip delimiters up to the next token.
    for (;;) {
      std::uint32_t nd = ~delimiter_mask16(buf_.get() + pos_) & 0xFFFFu;
      if (nd != 0) {
        const std::size_t q = pos_ + static_cast<std::size_t>(std::countr_zero(nd));
        if (q < end_) {
          pos_ = q;
          break;
        }
      }
      pos_ += 16;
      if (pos_ >= end_) {
        pos_ = end_;
        if (!refill()) return i;
      }
    }

    // A token of fewer than 16 bytes that ends inside the bytes read: a plain
    // whole number of up to 8 digits is converted here, without a copy.
    const unsigned char *p = buf_.get() + pos_;
    const std::uint32_t m = delimiter_mask16(p);
    const unsigned len = static_cast<unsigned>(std::countr_zero(m | 0x10000u));
    const std::size_t avail = end_ - pos_;
    if (little_endian && len < 16 && (len < avail || eof_)) {
      const unsigned s = (p[0] == '-' || p[0] == '+') ? 1u : 0u;
      const unsigned d = len - s;
      if (d - 1u < 8u) {
        std::uint64_t x;
        std::memcpy(&x, p + s, 8);
        x = (x << (8 * (8 - d))) | zero_fill[d];
        if (eight_digits(x)) {
          std::int64_t v = eight_digit_value(x);
          if (p[0] == '-') v = -v;
          auto pt = wrap_point(v);
          if (!pt) dataerror = true;
          out[i++] = pt.value_or(0);
          // Step over the delimiters that the same 16 bytes show.
          const std::uint32_t next = ~m & 0xFFFFu & (0xFFFEu << len);
          pos_ += next != 0 ? static_cast<std::size_t>(std::countr_zero(next)) : len;
          if (pos_ > end_) pos_ = end_;
          continue;
        }
      }
    }
    out[i++] = slow_token(dataerror);
  }
  return i;
}

}  // namespace talmer::sources
