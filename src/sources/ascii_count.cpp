// Finding the tokens of an ASCII file: counting their starts (a start is a
// non-delimiter byte after a delimiter or at the very beginning), and
// indexing where each starts and ends. The SSE2 variants are the baseline
// of every x86-64 processor; the AVX2 variants are chosen at run time where
// the processor has them.
#include <bit>

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
bool have_avx2() { return false; }

#endif

}  // namespace talmer::sources::detail
