// File types, point counts, the point display, the estimate and the checks
// before a download, as plain rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sources/auto_names.h"
#include "sources/source_rules.h"

using namespace talmer::sources;

TEST(source_type, follows_the_name_and_the_conversion_choice) {
  struct {
    const char *name;
    bool convert;
    const char *type;
  } cases[] = {
      {"wave.wfm", true, "AWG"},       {"sig.WFM", true, "AWG"},          {"a.wfm.txt", true, "ASCII"},
      {"data.txt", true, "ASCII"},     {"data.txt", false, "BINARY"},     {"x.asc", true, "ASCII"},
      {"x.CSV", true, "ASCII"},        {"x.prn", true, "ASCII"},          {"x.Dat", true, "ASCII"},
      {"C:\\DATA.TXT\\wave.bin", true, "ASCII"}, {"/home/u/old.wfm/w.bin", true, "AWG"},
      {"wave.bin", true, "BINARY"},    {"", true, "BINARY"},              {"wave.wfm", false, "BINARY"},
      {"txt", true, "BINARY"},
  };
  for (const auto &c : cases) EXPECT_STREQ(source_type(c.name, c.convert), c.type) << c.name;
}

TEST(source_points, from_the_byte_length) {
  struct {
    const char *type;
    std::int64_t length, points;
  } cases[] = {
      {"BINARY", 0, 0},        {"BINARY", 7, -1},      {"BINARY", 5, -1},       {"BINARY", 16384, 8192},
      {"BINARY", 10'000'000'000, 5'000'000'000},         // beyond 32 bits
      {"AWG", 16486, 8192},    {"AWG", 16487, 8192},    // an odd length counts whole words only
      {"AWG", 102, 0},         {"AWG", 103, 0},         {"AWG", 100, -1},        {"AWG", 101, -1},
      {"AWG", 0, -51},
  };
  for (const auto &c : cases) EXPECT_EQ(points_from_length(c.type, c.length), c.points) << c.type << c.length;
}

TEST(source_points, size_captions_read_as_numbers) {
  EXPECT_EQ(caption_number("16384"), 16384);
  EXPECT_EQ(caption_number(""), 0);
  EXPECT_EQ(caption_number("12 "), 0);
  EXPECT_EQ(caption_number("-5"), 0);
  EXPECT_EQ(caption_number("5000000000"), 5000000000);
}

TEST(point_display, rules_in_their_order) {
  struct {
    std::int64_t i, q;
    bool convert;
    const char *it, *qt;
    const char *shown;  // nullptr: the display keeps its text
  } cases[] = {
      {0, 0, true, "BINARY", "BINARY", "No Download"},
      {-1, 0, true, "BINARY", "BINARY", "No Download"},
      {0, 100, true, "BINARY", "BINARY", "100"},
      {100, 0, true, "BINARY", "BINARY", "100"},
      {100, 200, true, "BINARY", "BINARY", "No Download"},
      {8192, 8192, true, "BINARY", "BINARY", "8192"},
      {8192, 8192, true, "ASCII", "BINARY", "No Download"},
      {8192, 8192, false, "ASCII", "BINARY", "8192"},
      // A negative count next to a positive one never leaves a stale number.
      {-1, 100, true, "BINARY", "BINARY", "No Download"},
      {100, -1, true, "BINARY", "BINARY", "No Download"},
      {8192, -51, true, "AWG", "AWG", "No Download"},
      {5'000'000'000, 0, true, "BINARY", "BINARY", "5000000000"},
  };
  for (const auto &c : cases) {
    auto r = point_display(c.i, c.q, c.convert, c.it, c.qt);
    ASSERT_EQ(r.has_value(), c.shown != nullptr) << c.i << " " << c.q;
    if (r) {
      EXPECT_EQ(*r, c.shown) << c.i << " " << c.q;
    }
  }
}

TEST(download_estimate, figures) {
  struct {
    std::int64_t i, q, il, ql;
    const char *it, *qt;
    bool convert, rs232;
    float seconds;
    const char *shown;
  } cases[] = {
      {8192, 8192, 16384, 16384, "BINARY", "BINARY", true, false, 8.93f, "9"},
      {8192, 8192, 16384, 16384, "BINARY", "BINARY", true, true, 26.94f, "27"},
      {8192, 8192, 50000, 50000, "ASCII", "ASCII", true, false, 8.22f, "8"},
      {8192, 8192, 50000, 50000, "ASCII", "ASCII", true, true, 26.43f, "26"},
      {9500, 0, 19000, 0, "BINARY", "BINARY", true, false, 5.5f, "6"},
      {1000, 0, 22500, 0, "ASCII", "BINARY", true, false, 4.5f, "4"},
      // With conversion off an ASCII type does not count as ASCII.
      {9500, 0, 19000, 0, "ASCII", "BINARY", false, false, 5.5f, "6"},
      {0, 0, 0, 0, "BINARY", "BINARY", true, false, 2.0f, "2"},
  };
  for (const auto &c : cases) {
    estimate_inputs in{c.i, c.q, c.il, c.ql, c.it, c.qt, c.convert, c.rs232};
    EXPECT_NEAR(download_seconds(in), c.seconds, 0.006) << c.i;
    EXPECT_EQ(time_display("8192", in), c.shown) << c.i;
  }
  estimate_inputs none{};
  EXPECT_EQ(time_display("No Download", none), "No Download");
}

namespace {

struct check_case {
  const char *what;
  std::int64_t i, q;
  const char *it, *qt;
  bool convert;
  const char *name;
  const char *points;
  const char *message;  // "" when the check passes
  int convert_flg;      // -1: not decided, 0, 1
};

const std::string nl = "\n\r";
const std::string equal_length =
    "Waveforms must be equal length or one of zero length," + nl + " and must have an even number of points.";

class source_checks : public ::testing::TestWithParam<check_case> {};

}  // namespace

TEST_P(source_checks, first_failing_check_gives_the_message) {
  const auto &c = GetParam();
  validation_inputs in{c.i, c.q, c.it, c.qt, c.convert, c.name, c.points};
  const auto r = validate_sources(in);
  EXPECT_EQ(r.text, c.message) << c.what;
  EXPECT_EQ(r.error, std::string(c.message) != "") << c.what;
  EXPECT_EQ(r.convert.has_value() ? (*r.convert ? 1 : 0) : -1, c.convert_flg) << c.what;
  EXPECT_EQ(r.no_download_displays, c.i + c.q == 0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    validation, source_checks,
    ::testing::Values(
        check_case{"nothing", 0, 0, "BINARY", "BINARY", true, "", "No Download", "Source I and Q files not found.", -1},
        check_case{"no name", 100, 100, "BINARY", "BINARY", true, "", "100", "Talmer Waveform Name must be entered.", -1},
        check_case{"name of 24", 100, 100, "BINARY", "BINARY", true, "abcdefghijklmnopqrstuvwx", "100",
                   "Talmer Waveform Name must be less than 24 characters.", -1},
        check_case{"name of 23", 100, 100, "BINARY", "BINARY", true, "abcdefghijklmnopqrstuvw", "100", "", 0},
        check_case{"quote", 100, 100, "BINARY", "BINARY", true, "wave\"x", "100",
                   "Talmer Waveform Name must not contain double quotes, commas, control or non-ASCII characters.", -1},
        check_case{"line feed", 100, 100, "BINARY", "BINARY", true, "wave\nx", "100",
                   "Talmer Waveform Name must not contain double quotes, commas, control or non-ASCII characters.", -1},
        check_case{"comma", 100, 100, "BINARY", "BINARY", true, "a,b", "100",
                   "Talmer Waveform Name must not contain double quotes, commas, control or non-ASCII characters.", -1},
        check_case{"not one byte", 100, 100, "BINARY", "BINARY", true, "welle\xc3\xa4", "100",
                   "Talmer Waveform Name must not contain double quotes, commas, control or non-ASCII characters.", -1},
        check_case{"23 characters in more bytes", 100, 100, "BINARY", "BINARY", true,
                   "\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4\xc3\xa4"
                   "abcdefghijk",
                   "100", "Talmer Waveform Name must not contain double quotes, commas, control or non-ASCII characters.",
                   -1},
        check_case{"blank inside", 100, 100, "BINARY", "BINARY", true, "my wave", "100", "", 0},
        check_case{"types differ", 100, 100, "ASCII", "BINARY", true, "w", "No Download",
                   "I and Q files must be the same type for conversion.", 0},
        check_case{"types differ, conversion off", 100, 100, "ASCII", "BINARY", false, "w", "100", "", 0},
        check_case{"AWG alone", 8192, 0, "AWG", "BINARY", true, "w", "8192", "", 1},
        check_case{"Q ASCII alone", 0, 500, "BINARY", "ASCII", true, "w", "500", "", 1},
        check_case{"both ASCII", 500, 500, "ASCII", "ASCII", true, "w", "500", "", 1},
        check_case{"both BINARY", 500, 500, "BINARY", "BINARY", true, "w", "500", "", 0},
        check_case{"unequal", 100, 200, "BINARY", "BINARY", true, "w", "No Download", equal_length.c_str(), 0},
        check_case{"odd binary next to a good one", -1, 200, "BINARY", "BINARY", true, "w", "No Download",
                   equal_length.c_str(), 0},
        check_case{"14 points", 14, 0, "BINARY", "BINARY", true, "w", "14",
                   "Waveform must have at least 16 waveform points.", 0},
        check_case{"17 points", 17, 0, "ASCII", "BINARY", true, "w", "17",
                   "Waveform must have an even number of waveform points.", 1},
        check_case{"18 points", 18, 0, "BINARY", "BINARY", true, "w", "18", "", 0},
        check_case{"largest block", 499999998, 0, "BINARY", "BINARY", true, "w", "499999998", "", 0},
        check_case{"too large for a block", 500000000, 0, "BINARY", "BINARY", true, "w", "500000000",
                   "Waveform must have at most 499999999 waveform points.", 0},
        check_case{"beyond 32 bits", 3000000000, 3000000000, "BINARY", "BINARY", true, "w", "3000000000",
                   "Waveform must have at most 499999999 waveform points.", 0}));

// ---- Automatic names ---------------------------------------------------------

TEST(auto_names, matching_q_file_and_waveform_name) {
  struct {
    const char *i_name;
    std::vector<std::string> present;
    const char *q_name;  // "" when none is found
    const char *waveform;
  } cases[] = {
      {"C:\\wave\\sig_i.bin", {"C:\\wave\\sig_q.bin"}, "C:\\wave\\sig_q.bin", "sig"},
      {"C:\\wave\\i-test.bin", {"C:\\wave\\q-test.bin"}, "C:\\wave\\q-test.bin", "test"},
      {"C:\\wave\\x-i_y.bin", {"C:\\wave\\x-q_y.bin"}, "C:\\wave\\x-q_y.bin", "x-y"},
      {"C:\\wave\\WAVE_I.BIN", {"C:\\wave\\WAVE_Q.BIN"}, "C:\\wave\\WAVE_Q.BIN", "WAVE"},
      {"C:\\wave\\sigi.bin", {"C:\\wave\\sigq.bin"}, "C:\\wave\\sigq.bin", "sig"},
      {"C:\\wave\\sig_i.bin", {}, "", "sig_i"},
      {"i.bin", {"q.bin"}, "q.bin", ""},
      {"C:\\old.data\\wave.bin", {}, "", "old"},
      {"C:\\wave\\sig.bin", {}, "", "sig"},
      {"  C:\\wave\\sig_i.bin  ", {}, "", "sig_i"},
      {"C:\\wireless\\data_i.bin", {"C:\\wireless\\data_q.bin", "C:\\wqreless\\data_i.bin"},
       "C:\\wqreless\\data_i.bin", "data_i"},  // the first letter that names a file wins
      {"\\.hidden", {}, "", ""},
      // Linux paths: "/" ends a folder name as ":" and "\" do.
      {"/home/user/examples/sine_i.bin", {"/home/user/examples/sine_q.bin"}, "/home/user/examples/sine_q.bin", "sine"},
      {"/data/ramp_i.txt", {"/data/ramp_q.txt"}, "/data/ramp_q.txt", "ramp"},
      {"/data/run.1/x_i.bin", {}, "", "run"},
      {"/data/tone_i.wfm", {}, "", "tone_i"},
      {"/mnt/d/i-x.bin", {"/mnt/d/q-x.bin"}, "/mnt/d/q-x.bin", "x"},
  };
  for (const auto &c : cases) {
    auto m = find_matching_q(c.i_name, [&](const std::string &cand) {
      return std::find(c.present.begin(), c.present.end(), cand) != c.present.end();
    });
    EXPECT_EQ(m ? m->name : "", c.q_name) << c.i_name;
    EXPECT_EQ(waveform_name_from(c.i_name, m ? m->i_position : -1), c.waveform) << c.i_name;
  }
}

TEST(auto_names, separator_positions_next_to_the_letter) {
  // Position 5 is the i of "sig_i.bin"; 1 the first letter.
  EXPECT_EQ(waveform_name_from("sig_i.bin", 5), "sig");
  EXPECT_EQ(waveform_name_from("i_sig.bin", 1), "sig");
  EXPECT_EQ(waveform_name_from("a_i-b.bin", 3), "a-b");   // "_" tried first: the one before goes
  EXPECT_EQ(waveform_name_from("ab-i.bin", 4), "ab");
  EXPECT_EQ(waveform_name_from("ab_x_i.bin", 6), "ab_x");
  EXPECT_EQ(waveform_name_from("aib.bin", 2), "ab");
  EXPECT_EQ(waveform_name_from("wave", 0), "wave");
}
