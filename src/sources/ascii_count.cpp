// Counting the tokens of an ASCII file: the number of token starts, a start
// being a non-delimiter byte after a delimiter (or at the very beginning).
// The SSE2 counter is the baseline of every x86-64 processor; the AVX2
// counter is chosen at run time where the processor has it.
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

}  // namespace

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

std::int64_t count_starts_sse2(const unsigned char *p, std::size_t n, bool &in_token) {
  return count_starts_scalar(p, n, in_token);
}
std::int64_t count_starts_avx2(const unsigned char *p, std::size_t n, bool &in_token) {
  return count_starts_scalar(p, n, in_token);
}
bool have_avx2() { return false; }

#endif

}  // namespace talmer::sources::detail
