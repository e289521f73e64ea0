#include "sources/awg2021.h"

namespace talmer::sources {

std::int32_t awg_clock_frequency(std::span<const std::uint8_t, 102> b) {
  if (b[56] >= 128) return 0;  // sign bit set
  const std::int32_t e = 256 * b[56] + b[57];
  std::int64_t m = 65536 * (e & 15) + 256 * b[58] + b[59] + 1048576;
  std::int32_t x = (e & 4080) / 16 + 1 - 20;
  if (!(x > -19 && x < 9)) return 0;
  for (; x > 0; --x) m *= 2;
  for (; x < 0; ++x) {
    // Halve, ties to the even result.
    const std::int64_t h = m / 2;
    m = (m % 2 == 0 || h % 2 == 0) ? h : h + 1;
  }
  return static_cast<std::int32_t>(m);
}

void convert_awg_words(std::int16_t *words, std::int64_t n, bool i_channel) {
  const std::uint16_t keep = i_channel ? 0xFFFF : 0x3FFF;
  for (std::int64_t k = 0; k < n; ++k) {
    std::uint16_t w = static_cast<std::uint16_t>(words[k]);
    w = static_cast<std::uint16_t>((w << 8) | (w >> 8));  // the word as stored in the file
    const unsigned r = 2u * (w & 0x6000u) + 4u * (w & 0x0FFFu);
    words[k] = static_cast<std::int16_t>(static_cast<std::uint16_t>(r & keep));
  }
}

}  // namespace talmer::sources
