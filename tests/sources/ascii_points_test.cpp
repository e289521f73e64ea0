// The ASCII tokenizer, the point conversion, the token counters and the
// block reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "sources/ascii_points.h"
#include "support/memory_file.h"

using namespace talmer::sources;
using talmer::testing::memory_file;
using namespace std::string_literals;

namespace {

struct token_case {
  const char *token;
  int point;   // expected point when valid
  bool valid;
};

const token_case token_cases[] = {
    {"0", 0, true},           {"12", 12, true},          {"32767", 32767, true},   {"32768", -32768, true},
    {"65535", -1, true},      {"65536", 0, true},        {"98303", 32767, true},   {"98304", 0, false},
    {"-32768", -32768, true}, {"-32769", 0, false},      {"-1", -1, true},         {"+5", 5, true},
    {"+32768", -32768, true}, {"1.5", 2, true},          {"2.5", 2, true},         {"3.5", 4, true},
    {"-0.5", 0, true},        {"-1.5", -2, true},        {"1e3", 1000, true},      {"1E3", 1000, true},
    {"2.5e1", 25, true},      {"1e+2", 100, true},       {"15e-1", 2, true},       {"32767.5", -32768, true},
    {"98303.5", 0, false},    {"98302.5", 32766, true},  {"-32768.5", -32768, true}, {"-32768.6", 0, false},
    {".5", 0, true},          {"5.", 5, true},           {"00012", 12, true},      {"000000000000000000000012", 12, true},
    {"abc", 0, false},        {"NaN", 0, false},         {"nan", 0, false},        {"inf", 0, false},
    {"-inf", 0, false},       {"Infinity", 0, false},    {"1e400", 0, false},      {"1e-400", 0, false},
    {"0x10", 0, false},       {"0X1F", 0, false},        {"1,5", 0, false},        {"--5", 0, false},
    {"+-5", 0, false},        {"-", 0, false},           {"+", 0, false},          {".", 0, false},
    {"1e", 0, false},         {"1.2.3", 0, false},       {"12abc", 0, false},      {"4294967296", 0, false},
    {"99999999", 0, false},   {"123456789", 0, false},   {"1_000", 0, false},      {"\xff", 0, false},
};

class token_conversion : public ::testing::TestWithParam<token_case> {};

}  // namespace

TEST_P(token_conversion, gives_the_point_or_marks_it_invalid) {
  const token_case &c = GetParam();
  auto p = token_to_point(c.token);
  EXPECT_EQ(p.has_value(), c.valid) << c.token;
  if (c.valid && p) {
    EXPECT_EQ(*p, c.point) << c.token;
  }

  // The block reader gives the same answer for the same token (its fast path
  // must agree with the general conversion).
  if (std::string_view(c.token).find(',') != std::string_view::npos) return;  // two tokens in a file
  // Five copies: the vector converter takes four at a time, the last one
  // goes through the plain loop.
  std::string text;
  for (int k = 0; k < 5; ++k) text += std::string(c.token) + (k % 2 ? "\r\n" : " ");
  memory_file f(text);
  ascii_reader r(f);
  std::int16_t out[6] = {99, 99, 99, 99, 99, 99};
  bool dataerror = false;
  EXPECT_EQ(r.read_points(out, 6, dataerror), 5);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(out[k], c.valid ? c.point : 0) << c.token << " copy " << k;
  EXPECT_EQ(dataerror, !c.valid) << c.token;
}

INSTANTIATE_TEST_SUITE_P(ascii, token_conversion, ::testing::ValuesIn(token_cases));

TEST(ascii_tokens, a_token_longer_than_any_number_is_invalid) {
  EXPECT_FALSE(token_to_point(std::string(max_token_bytes + 1, '1')));
  EXPECT_TRUE(token_to_point(std::string(max_token_bytes - 1, '0') + "7"));
  EXPECT_FALSE(token_to_point(""));
}

namespace {

std::int64_t count_of(const std::string &bytes, std::size_t piece = 1 << 20) {
  memory_file f(bytes, piece);
  return count_tokens(f);
}

std::vector<std::int16_t> read_all(const std::string &bytes, std::size_t piece, std::int64_t block, bool &dataerror) {
  memory_file f(bytes, piece);
  ascii_reader r(f);
  std::vector<std::int16_t> all;
  std::vector<std::int16_t> buf(static_cast<std::size_t>(block));
  for (;;) {
    std::int64_t got = r.read_points(buf.data(), block, dataerror);
    all.insert(all.end(), buf.begin(), buf.begin() + got);
    if (got < block) break;
  }
  return all;
}

}  // namespace

TEST(ascii_tokens, count_follows_the_delimiters) {
  struct {
    std::string bytes;
    std::int64_t count;
  } cases[] = {
      {"1, 2,,3\r\n", 3},
      {" \t\r\n,,\0 "s, 0},
      {"12", 1},
      {"", 0},
      {"abc 1 x", 3},  // counted whatever a token holds
      {"1\0" "2"s, 2},  // NUL is a delimiter
      {std::string(100000, ' ') + "5" + std::string(100000, ','), 1},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(count_of(c.bytes), c.count) << c.bytes.size();
    EXPECT_EQ(count_of(c.bytes, 1), c.count) << "one byte a read";
    bool dataerror = false;
    EXPECT_EQ(static_cast<std::int64_t>(read_all(c.bytes, 3, 8192, dataerror).size()), c.count);
  }
}

TEST(ascii_tokens, single_number_without_trailing_delimiter_reads_as_that_point) {
  bool dataerror = false;
  EXPECT_EQ(read_all("12", 1 << 20, 8192, dataerror), std::vector<std::int16_t>{12});
  EXPECT_FALSE(dataerror);
}

TEST(ascii_tokens, invalid_token_gives_zero_and_reading_goes_on) {
  bool dataerror = false;
  EXPECT_EQ(read_all("7 abc 8", 1 << 20, 8192, dataerror), (std::vector<std::int16_t>{7, 0, 8}));
  EXPECT_TRUE(dataerror);
}

TEST(ascii_reader, blocks_continue_with_the_next_number) {
  // 10000 numbers, several mixed delimiters after each: blocks of 8192 then
  // 1808, the second starting with the 8193rd number.
  std::string text;
  for (int k = 0; k < 10000; ++k) text += std::to_string(k) + (k % 3 == 0 ? ", \r\n" : " ");
  for (std::size_t piece : {std::size_t{1} << 20, std::size_t{7}, std::size_t{65536}}) {
    memory_file f(text, piece);
    ascii_reader r(f);
    std::vector<std::int16_t> buf(8192, -7);
    bool dataerror = false;
    ASSERT_EQ(r.read_points(buf.data(), 8192, dataerror), 8192);
    EXPECT_EQ(buf[8191], 8191);
    std::fill(buf.begin(), buf.end(), -7);
    ASSERT_EQ(r.read_points(buf.data(), 1808, dataerror), 1808);
    EXPECT_EQ(buf[0], 8192);
    EXPECT_EQ(buf[1807], 9999);
    EXPECT_EQ(buf[1808], -7) << "points past n are left as they were";
    EXPECT_EQ(r.read_points(buf.data(), 1, dataerror), 0) << "the file is at its end";
    EXPECT_FALSE(dataerror);
  }
}

TEST(ascii_reader, a_megabyte_token_is_one_invalid_point_and_memory_stays_fixed) {
  const std::string huge(1 << 20, '7');
  const std::string text = "1 " + huge + " 2 " + huge;  // the last one ends at the end of the file
  for (std::size_t piece : {std::size_t{1} << 21, std::size_t{4093}, std::size_t{65536}}) {
    bool dataerror = false;
    EXPECT_EQ(read_all(text, piece, 8192, dataerror), (std::vector<std::int16_t>{1, 0, 2, 0}));
    EXPECT_TRUE(dataerror);
    EXPECT_EQ(count_of(text, piece), 4);
  }
}

TEST(ascii_reader, tokens_cut_by_every_read_size_read_the_same) {
  std::mt19937 rng(7);
  const char *delims[] = {" ", ",", "\r\n", "\t", ", ", "\0"};
  std::string text;
  std::vector<std::int16_t> expected;
  for (int k = 0; k < 3000; ++k) {
    const int kind = static_cast<int>(rng() % 10);
    std::string tok;
    if (kind < 6) {
      const int v = static_cast<int>(rng() % 131072) - 32768;  // some out of range
      tok = std::to_string(v);
    } else if (kind == 6) {
      tok = std::to_string(rng() % 1000) + ".5";
    } else if (kind == 7) {
      tok = "+" + std::to_string(rng() % 100) + "e1";
    } else if (kind == 8) {
      tok = std::string(rng() % 40 + 1, '0') + "3";
    } else {
      tok = "x" + std::to_string(rng());
    }
    expected.push_back(token_to_point(tok).value_or(0));
    text += tok;
    const char *d = delims[rng() % 6];
    text.append(d, d[0] == 0 ? 1 : std::strlen(d));
  }
  for (std::size_t piece : {1, 2, 3, 13, 64, 4096, 65536, 1 << 20}) {
    for (std::int64_t block : {1, 7, 2048, 8192}) {
      bool dataerror = false;
      EXPECT_EQ(read_all(text, piece, block, dataerror), expected) << piece << " " << block;
      EXPECT_TRUE(dataerror);
    }
    EXPECT_EQ(count_of(text, piece), 3000);
  }
}

TEST(ascii_reader, a_read_error_ends_the_points) {
  memory_file f(std::string(200000, '1').replace(1, 1, " "), 65536);
  f.fail_after = 1;
  ascii_reader r(f);
  std::vector<std::int16_t> buf(10);
  bool dataerror = false;
  EXPECT_EQ(r.read_points(buf.data(), 10, dataerror), 1);
  EXPECT_TRUE(r.read_failed());
}

// The counters and indexers of every instruction set agree with the plain
// byte loop at every length and alignment.
TEST(ascii_simd, counters_and_indexers_agree_with_the_byte_loop) {
  std::mt19937 rng(3);
  const unsigned char alphabet[] = {'1', '2', '-', '.', 'e', ' ', ',', '\r', '\n', '\t', 0, 0xff, 'a', 0x80};
  std::vector<unsigned char> data(5000 + 128);
  for (int round = 0; round < 40; ++round) {
    // Runs of tokens and runs of delimiters of random lengths, so that every
    // bit pattern at block edges occurs.
    for (std::size_t k = 0; k < 5000; ++k) data[k] = alphabet[rng() % (round % 2 ? 14 : 6)];
    std::fill(data.begin() + 5000, data.end(), 0);
    for (std::size_t from : {0, 1, 17, 63, 64}) {
      for (std::size_t to : {from, from + 1, from + 63, from + 64, from + 65, std::size_t{4999}, std::size_t{5000}}) {
        if (to < from) continue;
        const unsigned char *p = data.data();
        bool in0 = false, in1 = false, in2 = false;
        const auto expect = detail::count_starts_scalar(p + from, to - from, in0);
        EXPECT_EQ(detail::count_starts_sse2(p + from, to - from, in1), expect);
        EXPECT_EQ(in1, in0);
        if (detail::have_avx2()) {
          EXPECT_EQ(detail::count_starts_avx2(p + from, to - from, in2), expect);
          EXPECT_EQ(in2, in0);
        }
        std::vector<std::uint32_t> s0(3000), e0(3000), s1(3000), e1(3000);
        // Bytes from `to` on must be delimiters for the indexers.
        std::vector<unsigned char> copy(data.begin(), data.begin() + static_cast<long>(to));
        copy.resize(to + 128, 0);
        const std::size_t n0 = detail::index_scalar(copy.data(), from, to, s0.data(), e0.data());
        EXPECT_EQ(static_cast<std::int64_t>(n0), expect);
        const std::size_t n1 = detail::index_sse2(copy.data(), from, to, s1.data(), e1.data());
        ASSERT_EQ(n1, n0);
        EXPECT_TRUE(std::equal(s0.begin(), s0.begin() + static_cast<long>(n0), s1.begin()));
        EXPECT_TRUE(std::equal(e0.begin(), e0.begin() + static_cast<long>(n0), e1.begin()));
        if (detail::have_avx2()) {
          const std::size_t n2 = detail::index_avx2(copy.data(), from, to, s1.data(), e1.data());
          ASSERT_EQ(n2, n0);
          EXPECT_TRUE(std::equal(s0.begin(), s0.begin() + static_cast<long>(n0), s1.begin()));
          EXPECT_TRUE(std::equal(e0.begin(), e0.begin() + static_cast<long>(n0), e1.begin()));
        }
      }
    }
  }
}

// Qt sets the C library's locale from the environment at start-up; under a
// German locale a locale-dependent reader would take "1.5" for 1.
TEST(ascii_locale, numbers_read_the_same_under_a_german_locale) {
  const char *old = std::setlocale(LC_ALL, nullptr);
  const std::string saved = old != nullptr ? old : "C";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
    GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/deps generates it with localedef)";
  EXPECT_EQ(std::localeconv()->decimal_point[0], ',');
  const auto p15 = token_to_point("1.5");
  const auto p25 = token_to_point("2.5e1");
  const auto comma = token_to_point("1,5");
  bool dataerror = false;
  const auto all = read_all("1.5 -2.5 3e2", 1 << 20, 8192, dataerror);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(p15, std::optional<std::int16_t>(2));
  EXPECT_EQ(p25, std::optional<std::int16_t>(25));
  EXPECT_FALSE(comma);
  EXPECT_EQ(all, (std::vector<std::int16_t>{2, -2, 300}));
  EXPECT_FALSE(dataerror);
}

// Both converters give exactly what the token conversion gives, lane by
// lane (the vector one takes four tokens at a time, the rest one by one).
TEST(ascii_simd, converters_agree_with_the_token_conversion) {
  std::mt19937 rng(11);
  const char *shapes[] = {"", "-", "+", "--", "-+"};
  std::string text;
  std::vector<std::uint32_t> starts, ends;
  std::vector<std::int16_t> expected;
  for (int k = 0; k < 4000; ++k) {
    std::string tok = shapes[rng() % 5];
    const int digits = static_cast<int>(rng() % 11);
    for (int j = 0; j < digits; ++j) tok += static_cast<char>('0' + rng() % 10);
    if (rng() % 8 == 0) tok += "x.e9"[rng() % 4];
    if (tok.empty()) tok = "0";
    starts.push_back(static_cast<std::uint32_t>(text.size()));
    text += tok;
    ends.push_back(static_cast<std::uint32_t>(text.size()));
    text += ' ';
    expected.push_back(token_to_point(tok).value_or(0));
  }
  // One entry of length 0 stands for a token too long to keep.
  starts.push_back(0);
  ends.push_back(0);
  expected.push_back(0);
  text.append(64, '\0');
  const auto *b = reinterpret_cast<const unsigned char *>(text.data());
  for (std::size_t from : {0, 1, 3}) {
    const std::size_t n = starts.size() - from;
    std::vector<std::int16_t> out(n, 99);
    bool bad = false;
    detail::convert_scalar(b, starts.data() + from, ends.data() + from, n, out.data(), bad);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), expected.begin() + static_cast<long>(from)));
    EXPECT_TRUE(bad);
    if (detail::have_avx2()) {
      std::fill(out.begin(), out.end(), 99);
      bool bad2 = false;
      detail::convert_avx2(b, starts.data() + from, ends.data() + from, n, out.data(), bad2);
      EXPECT_TRUE(std::equal(out.begin(), out.end(), expected.begin() + static_cast<long>(from)));
      EXPECT_TRUE(bad2);
    }
  }
  // All valid: the bad flag stays clear.
  const std::string good = "1 -2 +3 32767 98303 -32768 00000007 12 ";
  {
    // The range limits in one group of four.
    const std::string limits = "-32769 98304 -32768 98303 " + std::string(64, '\0');
    const std::uint32_t ls[] = {0, 7, 13, 20}, le[] = {6, 12, 19, 25};
    std::int16_t lo[4];
    bool lbad = false;
    detail::convert_scalar(reinterpret_cast<const unsigned char *>(limits.data()), ls, le, 4, lo, lbad);
    EXPECT_EQ(std::vector<std::int16_t>(lo, lo + 4), (std::vector<std::int16_t>{0, 0, -32768, 32767}));
    EXPECT_TRUE(lbad);
    if (detail::have_avx2()) {
      lbad = false;
      detail::convert_avx2(reinterpret_cast<const unsigned char *>(limits.data()), ls, le, 4, lo, lbad);
      EXPECT_EQ(std::vector<std::int16_t>(lo, lo + 4), (std::vector<std::int16_t>{0, 0, -32768, 32767}));
      EXPECT_TRUE(lbad);
    }
  }
  std::vector<std::uint32_t> s2, e2;
  for (std::size_t k = 0, st = 0; k < good.size(); ++k)
    if (good[k] == ' ') {
      s2.push_back(static_cast<std::uint32_t>(st));
      e2.push_back(static_cast<std::uint32_t>(k));
      st = k + 1;
    }
  std::string padded = good + std::string(64, '\0');
  std::vector<std::int16_t> out(s2.size());
  bool bad = false;
  detail::convert_avx2(reinterpret_cast<const unsigned char *>(padded.data()), s2.data(), e2.data(), s2.size(),
                       out.data(), bad);
  EXPECT_FALSE(bad);
  EXPECT_EQ(out, (std::vector<std::int16_t>{1, -2, 3, 32767, 32767, -32768, 7, 12}));
}
