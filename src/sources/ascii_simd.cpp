// The inner loops of the ASCII reader: counting token starts (a start is a
// non-delimiter byte after a delimiter or at the very beginning), indexing
// where each token starts and ends, and converting indexed tokens to points.
// The SSE2 (and plain) variants are the baseline of every x86-64 processor;
// the AVX2 variants are chosen at run time where the processor has them.
#include <bit>
#include <cstring>

#include "sources/ascii_points.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#define TALMER_X86 1
#endif

namespace talmer::sources::detail {

std::int64_t count_starts_scalar(const unsigned char *p, std::size_t n, bool &in_token) {
  std::int64_t c = 0;
  bool in = in_token;
  for (std::size_t k = 0; k < n; ++k) {
    const bool d = is_delimiter(p[k]);
    c += (!d && !in) ? 1 : 0;
    in = !d;
  }
  in_token = in;
  return c;
}

std::size_t index_scalar(const unsigned char *p, std::size_t from, std::size_t to, std::uint32_t *starts,
                         std::uint32_t *ends) {
  std::size_t n = 0;
  bool in = false;
  for (std::size_t k = from; k < to; ++k) {
    const bool d = is_delimiter(p[k]);
    if (!d && !in) starts[n] = static_cast<std::uint32_t>(k);
    if (d && in) ends[n++] = static_cast<std::uint32_t>(k);
    in = !d;
  }
  if (in) ends[n++] = static_cast<std::uint32_t>(to);
  return n;
}

namespace {

constexpr bool little_endian = std::endian::native == std::endian::little;

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
// '0' bytes that fill the low end of a group of d digits moved to the top
// (entries past 8 are never used for a conversion).
constexpr std::uint64_t zero_fill[16] = {
    0x3030303030303030ULL, 0x30303030303030ULL, 0x303030303030ULL, 0x3030303030ULL, 0x30303030ULL,
    0x303030ULL,           0x3030ULL,           0x30ULL,           0ULL,           0ULL,
    0ULL,                  0ULL,                0ULL,              0ULL,           0ULL,
    0ULL};

inline std::int16_t slow_point(const unsigned char *p, unsigned len, bool &bad) {
  auto v = len == 0 ? std::nullopt : token_to_point(std::string_view(reinterpret_cast<const char *>(p), len));
  bad |= !v;
  return v.value_or(0);
}

}  // namespace

void convert_scalar(const unsigned char *b, const std::uint32_t *starts, const std::uint32_t *ends,
                    std::size_t count, std::int16_t *out, bool &bad) {
  bool any_bad = false;
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint32_t s = starts[k];
    const unsigned len = ends[k] - s;
    const unsigned char *p = b + s;
    // A plain whole number of up to 8 digits is converted without a copy and
    // without branches (the signs and lengths of real data would defeat the
    // branch predictor): its digits are moved to the top of a 64-bit word
    // and the bytes below filled with '0'.
    const unsigned c0 = p[0];
    const unsigned neg = c0 == '-' ? 1u : 0u;
    const unsigned sign = neg | (c0 == '+' ? 1u : 0u);
    const unsigned d = len - sign;
    std::uint64_t x;
    std::memcpy(&x, p + sign, 8);
    x = (x << ((8 * (8 - d)) & 63)) | zero_fill[d & 15];
    if (__builtin_expect(little_endian && d - 1u < 8u && eight_digits(x), 1)) {
      std::int64_t v = eight_digit_value(x);
      v = (v ^ -static_cast<std::int64_t>(neg)) + neg;
      v -= static_cast<std::int64_t>(v > 32767) << 16;
      const bool ok = static_cast<std::uint64_t>(v + 32768) <= 65535;
      any_bad |= !ok;
      out[k] = static_cast<std::int16_t>(ok ? v : 0);
      continue;
    }
    out[k] = slow_point(p, len, any_bad);
  }
  if (any_bad) bad = true;
}

#ifdef TALMER_X86

namespace {

// Software population count: the SSE2 baseline has no popcnt instruction.
inline std::int64_t bit_count(std::uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555ULL);
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<std::int64_t>((x * 0x0101010101010101ULL) >> 56);
}

inline std::uint64_t delimiters16(const unsigned char *p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  __m128i m = _mm_cmpeq_epi8(v, _mm_setzero_si128());
  m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(9)));
  m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(10)));
  m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(13)));
  m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(32)));
  m = _mm_or_si128(m, _mm_cmpeq_epi8(v, _mm_set1_epi8(44)));
  return static_cast<std::uint32_t>(_mm_movemask_epi8(m));
}

__attribute__((target("avx2"))) inline std::uint64_t delimiters32(const unsigned char *p) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
  __m256i m = _mm256_cmpeq_epi8(v, _mm256_setzero_si256());
  m = _mm256_or_si256(m, _mm256_cmpeq_epi8(v, _mm256_set1_epi8(9)));
  m = _mm256_or_si256(m, _mm256_cmpeq_epi8(v, _mm256_set1_epi8(10)));
  m = _mm256_or_si256(m, _mm256_cmpeq_epi8(v, _mm256_set1_epi8(13)));
  m = _mm256_or_si256(m, _mm256_cmpeq_epi8(v, _mm256_set1_epi8(32)));
  m = _mm256_or_si256(m, _mm256_cmpeq_epi8(v, _mm256_set1_epi8(44)));
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(m));
}

inline std::uint64_t delimiters64_sse2(const unsigned char *p) {
  return delimiters16(p) | (delimiters16(p + 16) << 16) | (delimiters16(p + 32) << 32) |
         (delimiters16(p + 48) << 48);
}

__attribute__((target("avx2"))) inline std::uint64_t delimiters64_avx2(const unsigned char *p) {
  return delimiters32(p) | (delimiters32(p + 32) << 32);
}

// Writes base + the position of every set bit of m to out[n..], in order;
// returns the new n. Writes 8 (or 16) entries at once without looking,
// so the branch depends only on how many bits are set.
template <bool hw_popcount>
__attribute__((always_inline)) inline std::size_t flatten(std::uint64_t m, std::uint32_t base, std::uint32_t *out,
                                                          std::size_t n) {
  if (m == 0) return n;
  const auto cnt = static_cast<std::size_t>(hw_popcount ? __builtin_popcountll(m) : bit_count(m));
  std::uint32_t *o = out + n;
  for (int j = 0; j < 8; ++j) {
    o[j] = base + static_cast<std::uint32_t>(std::countr_zero(m));
    m &= m - 1;
  }
  if (cnt > 8) {
    for (int j = 8; j < 16; ++j) {
      o[j] = base + static_cast<std::uint32_t>(std::countr_zero(m));
      m &= m - 1;
    }
    for (int j = 16; m != 0; ++j) {
      o[j] = base + static_cast<std::uint32_t>(std::countr_zero(m));
      m &= m - 1;
    }
  }
  return n + cnt;
}

}  // namespace

// One pass over 64-byte blocks: token starts are token bytes after a
// delimiter, token ends are delimiters after a token byte. The bytes from
// `to` on are delimiters, so a token cut by `to` ends there. Written as a
// macro so that each instruction set gets its own loop, with its mask
// function inlined.
#define TALMER_INDEX_BLOCKS(MASK64, HW_POPCOUNT)                                  \
  std::size_t ns = 0, ne = 0;                                                     \
  std::uint64_t carry = 0;                                                        \
  std::size_t b = from;                                                           \
  for (; b < to; b += 64) {                                                       \
    const std::uint64_t d = MASK64(p + b);                                        \
    const std::uint64_t t = ~d;                                                   \
    const std::uint64_t before = (t << 1) | carry;                                \
    const auto base = static_cast<std::uint32_t>(b);                              \
    ns = flatten<HW_POPCOUNT>(t & ~before, base, starts, ns);                     \
    ne = flatten<HW_POPCOUNT>(d & before, base, ends, ne);                        \
    carry = t >> 63;                                                              \
  }                                                                               \
  if (carry != 0) ends[ne++] = static_cast<std::uint32_t>(b);                     \
  return ns

std::size_t index_sse2(const unsigned char *p, std::size_t from, std::size_t to, std::uint32_t *starts,
                       std::uint32_t *ends) {
  TALMER_INDEX_BLOCKS(delimiters64_sse2, false);
}

__attribute__((target("avx2,popcnt,bmi"))) std::size_t index_avx2(const unsigned char *p, std::size_t from,
                                                                  std::size_t to, std::uint32_t *starts,
                                                                  std::uint32_t *ends) {
  TALMER_INDEX_BLOCKS(delimiters64_avx2, true);
}

#undef TALMER_INDEX_BLOCKS

// Four tokens at a time: the 8 bytes at each token's start are gathered
// into one 64-bit lane each; a lane whose token is a whole number of at most
// 8 bytes (sign included) is converted there, the others by the plain path.
__attribute__((target("avx2"))) void convert_avx2(const unsigned char *b, const std::uint32_t *starts,
                                                  const std::uint32_t *ends, std::size_t count, std::int16_t *out,
                                                  bool &bad) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i one = _mm256_set1_epi64x(1);
  const __m256i eight = _mm256_set1_epi64x(8);
  const __m256i low_byte = _mm256_set1_epi64x(0xFF);
  const __m256i minus = _mm256_set1_epi64x('-');
  const __m256i plus = _mm256_set1_epi64x('+');
  const __m256i zeros = _mm256_set1_epi64x(0x3030303030303030LL);
  const __m256i c46 = _mm256_set1_epi64x(0x4646464646464646LL);
  const __m256i c80 = _mm256_set1_epi64x(static_cast<long long>(0x8080808080808080ULL));
  const __m256i tens = _mm256_set1_epi16(0x010A);          // bytes 10, 1
  const __m256i hundreds = _mm256_set1_epi32(0x00010064);  // words 100, 1
  const __m256i ten_thousand = _mm256_set1_epi64x(10000);
  const __m256i top = _mm256_set1_epi64x(32767);
  const __m256i bottom = _mm256_set1_epi64x(-32768);
  const __m256i wrap = _mm256_set1_epi64x(65536);
  const __m256i low_dwords = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
  bool any_bad = false;
  std::size_t k = 0;
  for (; k + 4 <= count; k += 4) {
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i *>(starts + k));
    const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i *>(ends + k));
    const __m256i len = _mm256_cvtepu32_epi64(_mm_sub_epi32(e, s));
    const __m256i w = _mm256_i32gather_epi64(reinterpret_cast<const long long *>(b), s, 1);
    const __m256i c0 = _mm256_and_si256(w, low_byte);
    const __m256i neg = _mm256_cmpeq_epi64(c0, minus);
    const __m256i sign = _mm256_and_si256(_mm256_or_si256(neg, _mm256_cmpeq_epi64(c0, plus)), one);
    const __m256i d = _mm256_sub_epi64(len, sign);
    // Drop the sign byte, move the d digits to the top, fill below with '0'
    // (a shift by 64 or more gives 0 in these instructions).
    __m256i x = _mm256_srlv_epi64(w, _mm256_slli_epi64(sign, 3));
    x = _mm256_sllv_epi64(x, _mm256_slli_epi64(_mm256_sub_epi64(eight, d), 3));
    x = _mm256_or_si256(x, _mm256_srlv_epi64(zeros, _mm256_slli_epi64(d, 3)));
    const __m256i length_ok = _mm256_andnot_si256(_mm256_cmpgt_epi64(len, eight), _mm256_cmpgt_epi64(d, zero));
    const __m256i not_digit =
        _mm256_and_si256(_mm256_or_si256(_mm256_add_epi64(x, c46), _mm256_sub_epi64(x, zeros)), c80);
    const __m256i fast = _mm256_and_si256(length_ok, _mm256_cmpeq_epi64(not_digit, zero));
    // Digit pairs, then groups of four, then the eight-digit value.
    __m256i v = _mm256_maddubs_epi16(_mm256_sub_epi8(x, zeros), tens);
    v = _mm256_madd_epi16(v, hundreds);
    v = _mm256_add_epi64(_mm256_mul_epu32(v, ten_thousand), _mm256_srli_epi64(v, 32));
    v = _mm256_sub_epi64(_mm256_xor_si256(v, neg), neg);
    v = _mm256_sub_epi64(v, _mm256_and_si256(_mm256_cmpgt_epi64(v, top), wrap));
    const __m256i outside = _mm256_or_si256(_mm256_cmpgt_epi64(v, top), _mm256_cmpgt_epi64(bottom, v));
    v = _mm256_andnot_si256(outside, v);
    const int fast_lanes = _mm256_movemask_pd(_mm256_castsi256_pd(fast));
    any_bad |= (_mm256_movemask_pd(_mm256_castsi256_pd(_mm256_and_si256(fast, outside))) != 0);
    // The four low 16-bit halves, in order, into out[k..k+3].
    const __m128i packed = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(v, low_dwords));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + k), _mm_packs_epi32(packed, packed));
    if (fast_lanes != 0xF) {
      for (int j = 0; j < 4; ++j)
        if (!(fast_lanes >> j & 1)) {
          const std::uint32_t st = starts[k + static_cast<std::size_t>(j)];
          out[k + static_cast<std::size_t>(j)] = slow_point(b + st, ends[k + static_cast<std::size_t>(j)] - st, any_bad);
        }
    }
  }
  convert_scalar(b, starts + k, ends + k, count - k, out + k, any_bad);
  if (any_bad) bad = true;
}

std::int64_t count_starts_sse2(const unsigned char *p, std::size_t n, bool &in_token) {
  std::int64_t c = 0;
  std::uint64_t carry = in_token ? 1 : 0;
  std::size_t k = 0;
  for (; k + 64 <= n; k += 64) {
    const std::uint64_t d = delimiters16(p + k) | (delimiters16(p + k + 16) << 16) |
                            (delimiters16(p + k + 32) << 32) | (delimiters16(p + k + 48) << 48);
    const std::uint64_t t = ~d;  // token bytes
    c += bit_count(t & ~((t << 1) | carry));
    carry = t >> 63;
  }
  bool in = carry != 0;
  c += count_starts_scalar(p + k, n - k, in);
  in_token = in;
  return c;
}

__attribute__((target("avx2,popcnt"))) std::int64_t count_starts_avx2(const unsigned char *p, std::size_t n,
                                                                      bool &in_token) {
  std::int64_t c = 0;
  std::uint64_t carry = in_token ? 1 : 0;
  std::size_t k = 0;
  for (; k + 128 <= n; k += 128) {
    const std::uint64_t t0 = ~(delimiters32(p + k) | (delimiters32(p + k + 32) << 32));
    const std::uint64_t t1 = ~(delimiters32(p + k + 64) | (delimiters32(p + k + 96) << 32));
    c += __builtin_popcountll(t0 & ~((t0 << 1) | carry));
    c += __builtin_popcountll(t1 & ~((t1 << 1) | (t0 >> 63)));
    carry = t1 >> 63;
  }
  bool in = carry != 0;
  c += count_starts_sse2(p + k, n - k, in);
  in_token = in;
  return c;
}

bool have_avx2() {
  static const bool yes = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return yes;
}

#else

std::size_t index_sse2(const unsigned char *p, std::size_t from, std::size_t to, std::uint32_t *starts,
                       std::uint32_t *ends) {
  return index_scalar(p, from, to, starts, ends);
}
std::size_t index_avx2(const unsigned char *p, std::size_t from, std::size_t to, std::uint32_t *starts,
                       std::uint32_t *ends) {
  return index_scalar(p, from, to, starts, ends);
}
std::int64_t count_starts_sse2(const unsigned char *p, std::size_t n, bool &in_token) {
  return count_starts_scalar(p, n, in_token);
}
std::int64_t count_starts_avx2(const unsigned char *p, std::size_t n, bool &in_token) {
  return count_starts_scalar(p, n, in_token);
}
void convert_avx2(const unsigned char *b, const std::uint32_t *starts, const std::uint32_t *ends,
                  std::size_t count, std::int16_t *out, bool &bad) {
  convert_scalar(b, starts, ends, count, out, bad);
}
bool have_avx2() { return false; }

#endif

}  // namespace talmer::sources::detail
