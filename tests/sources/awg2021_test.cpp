// AWG2021 waveform files: the sample clock from the header and the word
// conversion.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "sources/awg2021.h"
#include "ui/talmer_arb.h"

using namespace talmer::sources;
using talmer::ui::TALMER_ARB;

namespace {

struct clock_case {
  std::uint8_t b56, b57, b58, b59;
  std::int32_t hz;
};

class awg_clock : public ::testing::TestWithParam<clock_case> {};

std::array<std::uint8_t, 102> header_with(const clock_case &c) {
  std::array<std::uint8_t, 102> h{};
  h.fill(0xA5);  // bytes that are not read
  h[56] = c.b56;
  h[57] = c.b57;
  h[58] = c.b58;
  h[59] = c.b59;
  return h;
}

}  // namespace

TEST_P(awg_clock, reads_the_frequency_from_bytes_56_to_59) {
  const auto h = header_with(GetParam());
  EXPECT_EQ(awg_clock_frequency(h), GetParam().hz);
  EXPECT_EQ(TALMER_ARB::extract_AWG_clock_freq(h.data()), GetParam().hz);
}

INSTANTIATE_TEST_SUITE_P(
    awg, awg_clock,
    ::testing::Values(clock_case{0x41, 0x97, 0xD7, 0x84, 100000000},  // 100 MHz
                      clock_case{0x41, 0x2E, 0x84, 0x80, 1000000},    // 1 MHz
                      clock_case{0x41, 0x87, 0xD7, 0x84, 50000000},   // 50 MHz
                      clock_case{0x41, 0x43, 0x12, 0xD0, 2500000},    // 2.5 MHz
                      clock_case{0x40, 0x10, 0x00, 0x00, 4},          // 4 Hz
                      clock_case{0x40, 0x08, 0x00, 0x00, 0},          // 3 Hz
                      clock_case{0x41, 0xC0, 0x00, 0x00, 0},          // 2^29 Hz
                      clock_case{0x41, 0xBF, 0xFF, 0xFF, 536870656},  // just below 2^29
                      clock_case{0x3F, 0xE0, 0x00, 0x00, 0},          // 0.5 Hz
                      clock_case{0xC1, 0x97, 0xD7, 0x84, 0},          // negative
                      clock_case{0x40, 0x24, 0x00, 0x00, 10},         // 10 Hz
                      clock_case{0x41, 0x20, 0x00, 0x01, 524288},     // 524288.5: halved, ties to even
                      clock_case{0x41, 0x20, 0x00, 0x03, 524290},     // 524289.5
                      clock_case{0x41, 0x60, 0x00, 0x01, 8388616}));  // 2^23 + 8: low bits shifted in as 0

namespace {
struct word_case {
  std::uint8_t first, second;  // bytes in file order
  std::int16_t i_point, q_point;
};
}  // namespace

TEST(awg_words, convert_samples_and_markers_per_channel) {
  const word_case cases[] = {
      {0x0F, 0xFF, 16380, 16380}, {0x6F, 0xFF, -4, 16380}, {0x40, 0x00, -32768, 0},
      {0x20, 0x01, 16388, 4},     {0x10, 0x00, 0, 0},      {0x80, 0x00, 0, 0},
      {0x08, 0x00, 8192, 8192},   {0xFF, 0xFF, -4, 16380}, {0x00, 0x00, 0, 0},
  };
  for (const auto &c : cases) {
    // The driver reads the file into the buffer as little-endian words.
    const unsigned char bytes[2] = {c.first, c.second};
    std::int16_t i_word, q_word;
    std::memcpy(&i_word, bytes, 2);
    std::memcpy(&q_word, bytes, 2);
    TALMER_ARB::convert_AWG(1, &i_word, "I");
    TALMER_ARB::convert_AWG(1, &q_word, "Q");
    EXPECT_EQ(i_word, c.i_point) << int(c.first) << " " << int(c.second);
    EXPECT_EQ(q_word, c.q_point) << int(c.first) << " " << int(c.second);
  }
}

TEST(awg_words, the_whole_block_is_converted_in_place) {
  std::int16_t block[4];
  const unsigned char bytes[8] = {0x0F, 0xFF, 0x6F, 0xFF, 0x40, 0x00, 0x08, 0x00};
  std::memcpy(block, bytes, 8);
  TALMER_ARB::convert_AWG(4, block, "Q");
  EXPECT_EQ(block[0], 16380);
  EXPECT_EQ(block[1], 16380);
  EXPECT_EQ(block[2], 0);
  EXPECT_EQ(block[3], 8192);
}
