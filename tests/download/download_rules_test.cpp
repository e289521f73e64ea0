// Reading replies, the time-outs of both GPIB links and the download's texts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "download/download_rules.h"

using namespace talmer::download;

TEST(download_rules, numeric_value_reads_the_leading_number) {
  const struct {
    const char *text;
    double value;
  } rows[] = {{"123", 123},       {"  42abc", 42},  {"-5", -5},     {"+7", 7},
              {"1.5", 1.5},       {".5", 0.5},      {"1e3", 1000},  {"2D2", 200},
              {"1e", 1},          {"100000\n", 1e5}, {"\n\r 9", 9}, {"", 0},
              {"No Download", 0}, {"abc", 0},       {"-", 0},       {".", 0}};
  for (const auto &r : rows) EXPECT_DOUBLE_EQ(numeric_value(r.text), r.value) << r.text;
}

TEST(download_rules, rounding_takes_halves_to_the_even_neighbour) {
  const double rows[][2] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {-0.5, 0}, {-1.5, -2},
                            {2.4, 2}, {2.6, 3}, {-2.6, -3}, {7, 7}};
  for (const auto &r : rows) EXPECT_EQ(round_half_even(r[0]), r[1]) << r[0];
}

TEST(download_rules, the_arb_runs_only_when_the_reply_starts_with_a_digit_above_zero) {
  EXPECT_TRUE(arb_running("1\n"));
  EXPECT_TRUE(arb_running("9"));
  EXPECT_FALSE(arb_running("0\n"));
  EXPECT_FALSE(arb_running("ON"));
  EXPECT_FALSE(arb_running("-1"));
  EXPECT_FALSE(arb_running("+1"));
  EXPECT_FALSE(arb_running(" 1"));
  EXPECT_FALSE(arb_running(""));
  EXPECT_FALSE(arb_running(std::string(4880, ' ')));
}

TEST(download_rules, the_selected_waveform_test_ignores_case_and_needs_the_quote) {
  EXPECT_TRUE(selected_waveform_is("\"arbi:wave1\"\n", "wave1"));
  EXPECT_TRUE(selected_waveform_is("\"ARBI:WAVE1\"\n", "wave1"));
  EXPECT_TRUE(selected_waveform_is("\"arbi:wave1\"", "WAVE1"));
  EXPECT_FALSE(selected_waveform_is("\"arbi:wave10\"", "wave1"));
  EXPECT_FALSE(selected_waveform_is("\"arbq:wave1\"", "wave1"));
  EXPECT_FALSE(selected_waveform_is(std::string(4880, ' '), "wave1"));
}

// t seconds per 16384-byte chunk: an estimate of t seconds for 16384 bytes.
struct ni_row {
  double estimate, i_length, q_length;
  int code;
};

class ni_timeout_rows : public ::testing::TestWithParam<ni_row> {};

TEST_P(ni_timeout_rows, code_is_floor_of_the_log_rule_kept_within_12_and_15) {
  const auto r = GetParam();
  EXPECT_EQ(ni_data_timeout_code(r.estimate, r.i_length, r.q_length), r.code);
}

constexpr double inf_v = std::numeric_limits<double>::infinity();
constexpr double nan_v = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    download_rules, ni_timeout_rows,
    ::testing::Values(ni_row{1, 16384, 0, 12},       // t = 1 s: 12.42
                      ni_row{10, 8192, 8192, 14},    // t = 10 s: 14.42
                      ni_row{1000, 16384, 0, 15},    // 18.42, clamped
                      ni_row{0.01, 0, 16384, 12},    // 8.42, clamped
                      ni_row{40, 16384, 0, 15},      // 15.63
                      ni_row{0, 16384, 16384, 12},   // ln 0
                      ni_row{9, 0, 0, 15},           // empty sizes: t infinite
                      ni_row{0, 0, 0, 12},           // 0 / 0
                      ni_row{-3, 16384, 0, 12},      // ln of a negative t
                      ni_row{nan_v, 16384, 0, 12}, ni_row{inf_v, 16384, 0, 15},
                      ni_row{5, inf_v, 0, 12}));

struct ravlink_row {
  double estimate;
  std::int64_t points;
  std::int32_t ms;
};

class ravlink_timeout_rows : public ::testing::TestWithParam<ravlink_row> {};

TEST_P(ravlink_timeout_rows, is_twice_the_chunk_estimate_bounded_by_100_s) {
  const auto r = GetParam();
  EXPECT_EQ(ravlink_data_timeout_ms(r.estimate, r.points), r.ms);
}

INSTANTIATE_TEST_SUITE_P(
    download_rules, ravlink_timeout_rows,
    ::testing::Values(ravlink_row{1, 8192, 2000}, ravlink_row{1, 4096, 4000},
                      ravlink_row{0, 8192, 0},            // passed on unchanged
                      ravlink_row{1, 262144, 62},         // 62.5: half to even
                      ravlink_row{3, 262144, 188},        // 187.5
                      ravlink_row{6, 10000, 9830},        // 9830.4
                      ravlink_row{12, 2000, 98304},
                      ravlink_row{13, 2000, 100000},      // 106496, bounded
                      ravlink_row{5, 16, 100000},         // 5,120,000 unbounded
                      ravlink_row{1e12, 16, 100000}, ravlink_row{-1, 8192, 0}));

TEST(download_rules, texts_are_word_for_word) {
  EXPECT_EQ(using_interface_text("NI", "0", 19),
            "Using NI gpib interface at 0 with an Talmer at address 19.");
  EXPECT_EQ(using_interface_text("Corvane", "corvaneib", 7),
            "Using Corvane gpib interface at corvaneib with an Talmer at address 7.");
  EXPECT_EQ(downloading_text(channel::I), "Downloading I waveform.");
  EXPECT_EQ(downloading_text(channel::Q), "Downloading Q waveform.");
  EXPECT_EQ(replace_blocked_text("W1"),
            "In order to replace 'W1', the ARB must be off, or 'W1' must not be the selected "
            "waveform in the ARB.");
  EXPECT_EQ(unknown_io_error_text, "Unknown I/O error while finding memory size.");
  EXPECT_EQ(ni_timeout_text(channel::I),
            " I Waveform download timeout.  Check GPIB Cable and Talmer.");
  EXPECT_EQ(ni_timeout_text(channel::Q),
            " Q Waveform download timeout.  Check GPIB Cable and Talmer.");
  EXPECT_EQ(ravlink_timeout_text(channel::I),
            " I Waveform download timeout.  Check GPIB cable and Talmer.");
  EXPECT_EQ(ravlink_timeout_text(channel::Q),
            " Q Waveform download timeout.  Check GPIB cable and Talmer.");
}

TEST(download_rules, clock_numbers_have_seven_digits_at_most_and_the_sign_blank) {
  const struct {
    std::int32_t hz;
    const char *text;
  } rows[] = {{11, " 11 Hz"},
              {999, " 999 Hz"},
              {1000, " 1 kHz"},
              {1500, " 1.5 kHz"},
              {999999, " 999.999 kHz"},
              {1000000, " 1 MHz"},
              {1234567, " 1.234567 MHz"},
              {12345678, " 12.34568 MHz"},
              {100000000, " 100 MHz"},
              {536870656, " 536.8707 MHz"},
              {2147483647, " 2147.484 MHz"}};
  for (const auto &r : rows) EXPECT_EQ(clock_text(r.hz), r.text) << r.hz;
}

TEST(download_rules, success_text_shows_the_clock_or_the_data_error_line) {
  const std::string done = "Done with download.";
  const std::string clock = "Done with download.  Set ARB Sample Clock Frequency to ";
  EXPECT_EQ(success_text(false, 0, false), done);
  EXPECT_EQ(success_text(true, 10, false), done);
  EXPECT_EQ(success_text(true, 11, false), clock + " 11 Hz.");
  EXPECT_EQ(success_text(true, 100000000, false), clock + " 100 MHz.");
  EXPECT_EQ(success_text(true, 999999, true), clock + " 999.999 kHz.");  // no data-error line
  EXPECT_EQ(success_text(false, 100000000, false), done);               // not converted
  EXPECT_EQ(success_text(true, 0, true),
            done + "\n\rOne or more data points invalid or out-of-range.");
  EXPECT_EQ(success_text(true, 10, true),
            done + "\n\rOne or more data points invalid or out-of-range.");
}
