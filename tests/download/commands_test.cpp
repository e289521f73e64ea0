// Command texts, the block header, the point encoding and the chunking.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <cstdint>
#include <string>

#include "download/commands.h"

using namespace talmer::download;

TEST(commands, query_texts_are_exact) {
  EXPECT_EQ(arb_state_query, "rad:arb:stat?");
  EXPECT_EQ(selected_waveform_query, "rad:arb:wav?");
  EXPECT_EQ(operation_complete_query, "*OPC?");
  EXPECT_EQ(catalog_query, "mmem:cat? \"arbi:\"");
  EXPECT_EQ(catalog_query.size(), 17u);
}

TEST(commands, store_prefix_names_the_memory_of_the_channel_and_keeps_the_name_as_typed) {
  EXPECT_EQ(store_prefix(channel::I, "waveform1"), "mmem:data \"arbi:waveform1\", ");
  EXPECT_EQ(store_prefix(channel::I, "waveform1").size(), 28u);
  EXPECT_EQ(store_prefix(channel::Q, "W1"), "mmem:data \"arbq:W1\", ");
  EXPECT_EQ(store_prefix(channel::I, "W1").size(), 21u);
  EXPECT_EQ(store_prefix(channel::Q, "WAVE1"), "mmem:data \"arbq:WAVE1\", ");
}

struct header_row {
  std::int64_t points;
  const char *header;
};

class block_header_rows : public ::testing::TestWithParam<header_row> {};

TEST_P(block_header_rows, is_marker_digit_count_and_byte_count) {
  EXPECT_EQ(block_header(GetParam().points), GetParam().header);
}

INSTANTIATE_TEST_SUITE_P(commands, block_header_rows,
                         ::testing::Values(header_row{4, "#18"}, header_row{5, "#210"},
                                           header_row{16, "#232"}, header_row{49, "#298"},
                                           header_row{50, "#3100"}, header_row{499, "#3998"},
                                           header_row{500, "#41000"}, header_row{1000, "#42000"},
                                           header_row{10000, "#520000"},
                                           header_row{8192, "#516384"},
                                           header_row{499999999, "#9999999998"}));

TEST(commands, a_block_holds_at_most_nine_count_digits) {
  EXPECT_TRUE(block_fits(16));
  EXPECT_TRUE(block_fits(499999999));
  EXPECT_FALSE(block_fits(500000000));
  EXPECT_FALSE(block_fits(0));
}

struct point_row {
  std::int16_t value;
  std::uint8_t msb, lsb;
};

TEST(commands, points_go_most_significant_byte_first_in_twos_complement) {
  const point_row rows[] = {{0, 0x00, 0x00},      {1, 0x00, 0x01},      {-1, 0xFF, 0xFF},
                            {32767, 0x7F, 0xFF},  {-32768, 0x80, 0x00}, {0x1234, 0x12, 0x34},
                            {-16380, 0xC0, 0x04}, {256, 0x01, 0x00}};
  for (const auto &r : rows) {
    const auto b = encode_point(r.value);
    EXPECT_EQ(b[0], r.msb) << r.value;
    EXPECT_EQ(b[1], r.lsb) << r.value;
  }
}

TEST(commands, pairs_are_exchanged_for_converted_sources_and_for_swap_yes) {
  EXPECT_FALSE(swap_bytes(false, false));
  EXPECT_TRUE(swap_bytes(true, false));
  EXPECT_TRUE(swap_bytes(false, true));
  EXPECT_TRUE(swap_bytes(true, true));
}

TEST(commands, a_converted_point_in_host_order_reaches_the_wire_most_significant_byte_first) {
  const std::array<std::int16_t, 3> v{0x1234, -2, 16380};
  std::string expected;
  for (auto p : v) {
    const auto b = encode_point(p);
    expected += static_cast<char>(b[0]);
    expected += static_cast<char>(b[1]);
  }
  EXPECT_EQ(wire_bytes(v, 6, true), expected);
}

TEST(commands, wire_bytes_are_memory_order_or_exchanged_pairs_and_only_count_bytes) {
  std::array<std::int16_t, 2> v{};
  const unsigned char mem[4] = {0x01, 0x02, 0x03, 0x04};
  std::memcpy(v.data(), mem, 4);
  EXPECT_EQ(wire_bytes(v, 4, false), std::string("\x01\x02\x03\x04", 4));
  EXPECT_EQ(wire_bytes(v, 4, true), std::string("\x02\x01\x04\x03", 4));
  EXPECT_EQ(wire_bytes(v, 2, true), std::string("\x02\x01", 2));
  swap_pairs(v);
  EXPECT_EQ(wire_bytes(v, 4, false), std::string("\x02\x01\x04\x03", 4));
}

struct chunk_row {
  std::int64_t points;
  std::int64_t chunks;
  std::size_t last_bytes;
};

class chunking_rows : public ::testing::TestWithParam<chunk_row> {};

TEST_P(chunking_rows, full_chunks_then_a_last_chunk_of_the_rest) {
  const auto r = GetParam();
  EXPECT_EQ(chunk_count(r.points), r.chunks);
  std::int64_t remaining = r.points, n = 0;
  std::size_t bytes = 0;
  while (remaining > 0) {
    const chunk c = next_chunk(remaining);
    ++n;
    bytes += c.bytes;
    remaining -= c.points;
    EXPECT_EQ(c.last, remaining == 0) << "chunk " << n;
    EXPECT_EQ(c.bytes, c.last ? r.last_bytes : chunk_bytes) << "chunk " << n;
  }
  EXPECT_EQ(n, r.chunks);
  EXPECT_EQ(bytes, static_cast<std::size_t>(2 * r.points));
}

INSTANTIATE_TEST_SUITE_P(
    commands, chunking_rows,
    ::testing::Values(chunk_row{16, 1, 32}, chunk_row{8190, 1, 16380}, chunk_row{8192, 1, 16384},
                      chunk_row{8193, 2, 2}, chunk_row{10000, 2, 3616},
                      chunk_row{16384, 2, 16384}, chunk_row{3 * 8192, 3, 16384},
                      chunk_row{2 * 8192 + 1, 3, 2}, chunk_row{2 * 8192 + 8191, 3, 16382}));

TEST(commands, no_points_means_no_chunk) {
  EXPECT_EQ(chunk_count(0), 0);
  EXPECT_EQ(chunk_count(-1), 0);
}
