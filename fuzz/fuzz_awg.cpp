// The AWG2021 conversion: any header gives 0 or a clock from 4 Hz to just
// below 2^29 Hz, matching the value the header's double holds within its
// 21 significant bits; any words convert to points whose low two bits are
// 0, with the marker bits kept for I and dropped for Q.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sources/awg2021.h"

using namespace talmer::sources;

namespace {
void check(bool ok) {
  if (!ok) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::array<std::uint8_t, 102> header{};
  std::memcpy(header.data(), data, std::min<std::size_t>(size, 102));
  const std::int32_t hz = awg_clock_frequency(header);
  check(hz == 0 || (hz >= 4 && hz < 536870912));
  std::uint64_t bits = 0;
  for (int k = 56; k < 64; ++k) bits = bits << 8 | header[static_cast<std::size_t>(k)];
  double value;
  std::memcpy(&value, &bits, 8);
  const int biased = static_cast<int>(bits >> 52 & 0x7FF);
  if (hz != 0 && biased >= 1025 && biased <= 1051) check(std::fabs(value - hz) <= value / 1048576.0 + 1);
  if (biased >= 1025 && biased <= 1051 && !(bits >> 63)) check(hz != 0);

  if (size < 104) return 0;
  const std::size_t n = (size - 102) / 2;
  std::vector<std::int16_t> words(n), i_points(n), q_points(n);
  std::memcpy(words.data(), data + 102, n * 2);
  i_points = words;
  q_points = words;
  convert_awg_words(i_points.data(), static_cast<std::int64_t>(n), true);
  convert_awg_words(q_points.data(), static_cast<std::int64_t>(n), false);
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint8_t hi = data[102 + 2 * k], lo = data[103 + 2 * k];  // file order
    const unsigned w = hi * 256u + lo;
    const unsigned expect = ((w & 0x6000u) << 1) | ((w & 0x0FFFu) << 2);
    check(static_cast<std::uint16_t>(i_points[k]) == expect);
    check(static_cast<std::uint16_t>(q_points[k]) == (expect & 0x3FFFu));
  }
  return 0;
}
