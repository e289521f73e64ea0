// The BINARY reader and the file reader under it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>

#include "download/point_source.h"
#include "platform/file_reader.h"

using namespace talmer::download;
using talmer::platform::file_reader;

namespace {

struct binary_source_fixture : ::testing::Test {
  std::filesystem::path path = std::filesystem::temp_directory_path() /
                               ("talmer_binary_source_" + std::to_string(::getpid()));
  void write(const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }
  void TearDown() override { std::filesystem::remove(path); }
};

}  // namespace

TEST_F(binary_source_fixture, chunks_hold_the_file_bytes_in_memory_order) {
  write(std::string("\x01\x02\x03\x04\x05\x06", 6));
  auto s = binary_point_source::open(path.string());
  ASSERT_TRUE(s);
  std::array<std::int16_t, chunk_points> buf{};
  bool dataerror = false;
  ASSERT_TRUE(s->read_chunk(buf, 2, dataerror));
  EXPECT_EQ(wire_bytes(buf, 4, false), std::string("\x01\x02\x03\x04", 4));
  ASSERT_TRUE(s->read_chunk(buf, 1, dataerror));
  EXPECT_EQ(wire_bytes(buf, 2, false), std::string("\x05\x06", 2));
  EXPECT_FALSE(s->read_chunk(buf, 1, dataerror));  // nothing left
  EXPECT_FALSE(dataerror);
  EXPECT_EQ(s->sample_clock(), 0);
}

TEST_F(binary_source_fixture, a_chunk_the_file_cannot_fill_fails) {
  write(std::string(5, 'x'));
  auto s = binary_point_source::open(path.string());
  ASSERT_TRUE(s);
  std::array<std::int16_t, chunk_points> buf{};
  bool dataerror = false;
  EXPECT_FALSE(s->read_chunk(buf, 3, dataerror));
}

TEST_F(binary_source_fixture, a_missing_file_does_not_open) {
  EXPECT_FALSE(binary_point_source::open(path.string()));
  EXPECT_FALSE(binary_point_source::open(""));
  file_reader f(path.string());
  EXPECT_FALSE(f.is_open());
  char c;
  EXPECT_EQ(f.read(&c, 1), 0u);
}

TEST_F(binary_source_fixture, the_file_reader_moves_its_file_and_closes_it_once) {
  write("abc");
  file_reader a(path.string());
  ASSERT_TRUE(a.is_open());
  file_reader b(std::move(a));
  EXPECT_FALSE(a.is_open());
  char buf[4] = {};
  EXPECT_EQ(b.read(buf, 4), 3u);
  EXPECT_FALSE(b.failed());
  file_reader c;
  c = std::move(b);
  EXPECT_FALSE(b.is_open());
  c.close();
  EXPECT_FALSE(c.is_open());
}

TEST(point_source, converted_readers_only_when_conversion_is_on) {
  EXPECT_EQ(reader_for(true, "ASCII"), source_format::ascii);
  EXPECT_EQ(reader_for(true, "AWG"), source_format::awg);
  EXPECT_EQ(reader_for(true, "BINARY"), source_format::binary);
  EXPECT_EQ(reader_for(false, "ASCII"), source_format::binary);
  EXPECT_EQ(reader_for(false, "AWG"), source_format::binary);
}
