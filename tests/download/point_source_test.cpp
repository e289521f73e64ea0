// The three readers of a channel's source file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "download/commands.h"
#include "download/point_source.h"
#include "platform/platform.h"

using namespace talmer::download;

namespace {

struct point_source_fixture : ::testing::Test {
  talmer::platform::real_os os;
  std::filesystem::path path = std::filesystem::temp_directory_path() /
                               ("talmer_point_source_" + std::to_string(::getpid()));
  std::array<std::int16_t, chunk_points> buf{};
  bool dataerror = false;
  void write(const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }
  std::unique_ptr<point_source> open(source_format f, channel ch = channel::I) {
    return open_point_source(os, f, ch, path.string());
  }
  void TearDown() override { std::filesystem::remove(path); }
};

// The 102-byte header of an AWG2021 file with a 100 MHz sample clock (a
// big-endian double at offset 56).
std::string awg_header_100mhz() {
  std::string h(102, '\0');
  const char clock[] = "\x41\x97\xD7\x84\x00\x00\x00\x00";
  h.replace(56, 8, clock, 8);
  return h;
}

}  // namespace

TEST_F(point_source_fixture, binary_chunks_hold_the_file_bytes_in_memory_order_and_never_pad) {
  write(std::string("\x01\x02\x03\x04\x05\x06", 6));
  auto s = open(source_format::binary);
  ASSERT_TRUE(s);
  ASSERT_TRUE(s->read_chunk(buf, 2, dataerror));
  EXPECT_EQ(wire_bytes(buf, 4, false), std::string("\x01\x02\x03\x04", 4));
  EXPECT_FALSE(s->read_chunk(buf, 2, dataerror));  // one point left, two asked
  EXPECT_FALSE(dataerror);
  EXPECT_EQ(s->sample_clock(), 0);
}

TEST_F(point_source_fixture, a_missing_file_opens_no_reader_of_any_format) {
  for (auto f : {source_format::binary, source_format::ascii, source_format::awg})
    EXPECT_FALSE(open(f)) << static_cast<int>(f);
}

TEST_F(point_source_fixture, ascii_points_convert_and_a_short_text_gives_zeros_and_the_data_error) {
  write("1, -2\r\n3.5 junk");
  auto s = open(source_format::ascii);
  ASSERT_TRUE(s);
  ASSERT_TRUE(s->read_chunk(buf, 6, dataerror));
  EXPECT_EQ(buf[0], 1);
  EXPECT_EQ(buf[1], -2);
  EXPECT_EQ(buf[2], 4);  // half to even
  EXPECT_EQ(buf[3], 0);  // invalid token
  EXPECT_EQ(buf[4], 0);  // the text ended: missing points are 0
  EXPECT_TRUE(dataerror);
}

TEST_F(point_source_fixture, awg_files_skip_their_header_and_report_the_i_clock_only) {
  std::string data = awg_header_100mhz();
  data += std::string("\x00\x00\x00\x00", 4);
  write(data);
  auto i = open(source_format::awg, channel::I);
  ASSERT_TRUE(i);
  EXPECT_EQ(i->sample_clock(), 100000000);
  EXPECT_TRUE(i->read_chunk(buf, 2, dataerror));
  EXPECT_FALSE(i->read_chunk(buf, 1, dataerror));
  auto q = open(source_format::awg, channel::Q);
  ASSERT_TRUE(q);
  EXPECT_EQ(q->sample_clock(), 0);
  write(data.substr(0, 101));
  EXPECT_FALSE(open(source_format::awg));  // shorter than its header
}
