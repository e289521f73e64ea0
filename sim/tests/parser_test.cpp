// The instrument's parser: queries in any letter case and keyword form, the
// terminators of each link, and the strict checks of the definite-length
// block.
#include <gtest/gtest.h>

#include "sim_rig.h"

namespace talmer::sim {
namespace {

using testing::block_header;
using testing::pattern;
using testing::rig;
using testing::store_prefix;

const link_kind all_links[] = {link_kind::ni488, link_kind::ravlink, link_kind::rs232};

std::string link_label(const ::testing::TestParamInfo<link_kind> &info) {
  return std::string(link_name(info.param));
}

class on_every_link : public ::testing::TestWithParam<link_kind> {};

TEST_P(on_every_link, answers_each_query_with_a_line_feed) {
  rig r(GetParam());
  const std::string capacity = std::to_string(r.s.capacity);
  const std::pair<const char *, std::string> rows[] = {
      {"*IDN?", r.s.identity + "\n"},
      {"*idn?", r.s.identity + "\n"},
      {"DIAG:INFO:OPT?", "QVB,QVX\n"},
      {"diagnostic:information:options?", "QVB,QVX\n"},
      {"rad:arb:stat?", "0\n"},
      {"RADio:ARB:STATe?", "0\n"},
      {"rad:arb:wav?", "\"\"\n"},
      {"mmem:cat? \"arbi:\"", "0," + capacity + "\n"},
      {"MMEMory:CATalog? 'ARBQ:'", "0," + capacity + "\n"},
      {"*OPC?", "1\n"},
      {"SYST:ERR?", "0,\"No error\"\n"},
      {":syst:err:next?", "0,\"No error\"\n"},
  };
  for (const auto &[q, want] : rows) EXPECT_EQ(r.query(q), want) << q;
  EXPECT_TRUE(r.inst->errors().empty());
}

TEST_P(on_every_link, switches_the_arb_and_selects_a_stored_waveform) {
  rig r(GetParam());
  r.store(channel::i, "Wave1", pattern(64));
  r.message("rad:arb:stat 1");
  r.message("rad:arb:wav \"arbi:wave1\"");
  EXPECT_EQ(r.query("rad:arb:stat?"), "1\n");
  EXPECT_EQ(r.query("rad:arb:wav?"), "\"ARBI:Wave1\"\n");
  r.message("rad:arb:stat OFF");
  EXPECT_EQ(r.query("rad:arb:stat?"), "0\n");
  r.message("rad:arb:wav \"arbi:missing\"");
  EXPECT_EQ(r.inst->errors().back().code, -256);
}

TEST_P(on_every_link, stores_a_block_sent_with_the_links_terminator) {
  rig r(GetParam());
  const std::string data = pattern(32);
  r.store(channel::i, "waveform1", data);
  ASSERT_NE(r.inst->find(channel::i, "waveform1"), nullptr);
  EXPECT_EQ(r.inst->find(channel::i, "waveform1")->data, data);
  EXPECT_EQ(r.inst->find(channel::i, "waveform1")->hash, fnv1a(data));
  EXPECT_TRUE(r.inst->errors().empty()) << r.last_error();
  EXPECT_EQ(r.query("*OPC?"), "1\n");
}

TEST_P(on_every_link, parses_a_block_that_arrives_one_byte_at_a_time) {
  rig r(GetParam());
  const std::string data = pattern(1000) + "\n#1\"";  // data bytes that look like syntax
  const std::string wire = store_prefix(channel::q, "W") + block_header(data.size()) + data;
  const bool gpib = GetParam() != link_kind::rs232;
  for (std::size_t k = 0; k < wire.size(); ++k)
    r.send(wire.substr(k, 1), GetParam() == link_kind::ni488 && k + 1 == wire.size());
  if (GetParam() != link_kind::ni488) r.send("\n", gpib);
  ASSERT_NE(r.inst->find(channel::q, "W"), nullptr) << r.last_error();
  EXPECT_EQ(r.inst->find(channel::q, "W")->data, data);
}

TEST_P(on_every_link, refuses_unknown_headers_and_misplaced_parameters) {
  rig r(GetParam());
  const std::pair<const char *, int> rows[] = {
      {"*IDX?", -113},       {"rad:arb:frob?", -113},  {"*IDN? now", -108},
      {"mmem:cat?", -109},   {"mmem:cat? \"arbx:\"", -224}, {"rad:arb:stat maybe", -224},
      {"mmem:data", -109},   {"*IDN", -113},
  };
  for (const auto &[text, code] : rows) {
    EXPECT_EQ(r.query(text), "") << text;
    ASSERT_FALSE(r.inst->errors().empty()) << text;
    EXPECT_EQ(r.inst->errors().back().code, code) << text;
  }
  EXPECT_EQ(r.query("SYST:ERR?"), "-113,\"Undefined header\"\n");
}

TEST_P(on_every_link, takes_a_hash_inside_quotes_as_part_of_the_name) {
  rig r(GetParam());
  r.store(channel::i, "a#b", pattern(16));
  EXPECT_NE(r.inst->find(channel::i, "a#b"), nullptr) << r.last_error();
}

TEST_P(on_every_link, consumes_a_refused_block_whole_and_stays_in_step) {
  struct row {
    const char *prefix;
    std::size_t bytes;
    int code;
  };
  const row rows[] = {
      {"mmem:data \"arbx:W\", ", 16, -224},                      // no such memory
      {"mmem:data \"arbi:W\" ", 16, -103},                       // no comma
      {"mmem:data \"arbi:123456789012345678901234\", ", 16, -151},  // name of 24 characters
      {"mmem:data \"arbi:W\", ", 15, -224},                      // odd byte count
  };
  for (const auto &[prefix, bytes, code] : rows) {
    rig r(GetParam());
    const std::string data = pattern(bytes);
    const std::string head = std::string(prefix) + block_header(bytes);
    if (GetParam() == link_kind::rs232)
      r.send(head + data + "\n", false);
    else if (GetParam() == link_kind::ni488)
      r.send(head + data, true);
    else {
      r.send(head + data, false);
      r.send("\n", true);
    }
    EXPECT_TRUE(r.inst->memory(channel::i).empty()) << prefix;
    ASSERT_FALSE(r.inst->errors().empty()) << prefix;
    EXPECT_EQ(r.inst->errors().back().code, code) << prefix;
    EXPECT_EQ(r.query("*OPC?"), "1\n") << prefix;
  }
}

TEST_P(on_every_link, device_clear_abandons_a_store_in_progress) {
  rig r(GetParam());
  r.send(store_prefix(channel::i, "W") + block_header(64) + pattern(10), false);
  EXPECT_TRUE(r.inst->mid_message());
  r.inst->device_clear();
  EXPECT_FALSE(r.inst->mid_message());
  EXPECT_EQ(r.query("*OPC?"), "1\n");
  EXPECT_EQ(r.inst->find(channel::i, "W"), nullptr);
  ASSERT_EQ(r.inst->stores().size(), 1u);
  EXPECT_EQ(r.inst->stores()[0].outcome, store_outcome::aborted);
}

INSTANTIATE_TEST_SUITE_P(links, on_every_link, ::testing::ValuesIn(all_links), link_label);

// A malformed block on one link: the pieces as written (true = END on the
// last byte of the piece), the error it must give, and then the parser must
// be back in step for the next message.
struct bad_block {
  const char *name;
  link_kind link;
  std::vector<std::pair<std::string, bool>> pieces;
  const char *error;
};

std::string head(std::size_t claimed) { return store_prefix(channel::i, "W") + block_header(claimed); }

const bad_block bad_blocks[] = {
    {"digit_count_says_3_but_2_digits", link_kind::ni488,
     {{store_prefix(channel::i, "W") + "#332", false}, {pattern(32), true}}, "invalid byte count"},
    {"digit_count_zero", link_kind::ni488, {{store_prefix(channel::i, "W") + "#0", false}, {pattern(32), true}},
     "invalid digit count"},
    {"digit_count_not_a_digit", link_kind::ravlink,
     {{store_prefix(channel::i, "W") + "#x32", false}, {pattern(32) + "\n", true}}, "invalid digit count"},
    {"eoi_inside_the_header", link_kind::ni488, {{store_prefix(channel::i, "W") + "#23", true}}, "short block"},
    {"ni_short_block", link_kind::ni488, {{head(32), false}, {pattern(30), true}}, "short block"},
    {"ni_block_without_eoi_then_a_query", link_kind::ni488, {{head(32), false}, {pattern(32), false}, {"*OPC?", true}},
     "extra bytes after block"},
    {"ni_extra_bytes", link_kind::ni488, {{head(30), false}, {pattern(32), true}}, "extra bytes after block"},
    {"ni_line_feed_after_block", link_kind::ni488, {{head(32), false}, {pattern(32), false}, {"\n", true}},
     "extra bytes after block"},
    {"ravlink_short_block", link_kind::ravlink, {{head(32), false}, {pattern(30), false}, {"\n", true}},
     "short block"},
    {"ravlink_end_on_last_data_byte", link_kind::ravlink, {{head(32), false}, {pattern(32), true}},
     "missing terminator"},
    {"ravlink_other_terminator", link_kind::ravlink, {{head(32), false}, {pattern(32), false}, {"\r", true}},
     "missing terminator"},
    {"ravlink_line_feed_without_end", link_kind::ravlink,
     {{head(32), false}, {pattern(32), false}, {"\n", false}, {"*OPC?", true}}, "extra bytes after block"},
    {"rs232_cr_lf_after_block", link_kind::rs232, {{head(32) + pattern(32) + "\r\n", false}}, "missing terminator"},
    {"rs232_short_block_swallows_the_next_query", link_kind::rs232,
     {{head(32) + pattern(30) + "\n", false}, {"*IDN?\n", false}}, "missing terminator"},
    {"rs232_extra_bytes", link_kind::rs232, {{head(30) + pattern(32) + "\n", false}}, "missing terminator"},
};

class malformed_block : public ::testing::TestWithParam<bad_block> {};

TEST_P(malformed_block, is_a_protocol_error_that_stores_nothing) {
  const auto &p = GetParam();
  rig r(p.link);
  for (const auto &[bytes, end] : p.pieces) r.send(bytes, end);
  EXPECT_EQ(r.inst->find(channel::i, "W"), nullptr);
  ASSERT_FALSE(r.inst->errors().empty());
  EXPECT_EQ(r.inst->errors().front().code, -160);
  EXPECT_NE(r.inst->errors().front().text.find(p.error), std::string::npos) << r.inst->errors().front().text;
  ASSERT_FALSE(r.inst->stores().empty());
  EXPECT_EQ(r.inst->stores().back().outcome, store_outcome::protocol_error);
  r.reply();
  // Back in step: the next message is understood.
  EXPECT_EQ(r.query("*OPC?"), "1\n");
}

std::string block_label(const ::testing::TestParamInfo<bad_block> &row) { return row.param.name; }

INSTANTIATE_TEST_SUITE_P(blocks, malformed_block, ::testing::ValuesIn(bad_blocks), block_label);

TEST(parser, a_query_sent_over_an_unread_reply_interrupts_it_on_gpib_only) {
  rig gpib(link_kind::ni488);
  gpib.message("*IDN?");
  gpib.message("*OPC?");
  EXPECT_EQ(gpib.reply(), "1\n");
  EXPECT_EQ(gpib.inst->errors().back().code, -410);

  rig serial(link_kind::rs232);
  serial.message("*IDN?");
  serial.message("*OPC?");
  EXPECT_EQ(serial.reply(), serial.s.identity + "\n1\n");
  EXPECT_TRUE(serial.inst->errors().empty());
}

TEST(parser, a_read_takes_no_more_than_one_reply) {
  rig r(link_kind::rs232);
  r.message("*OPC?");
  r.message("*OPC?");
  bool end = false;
  EXPECT_EQ(r.inst->take_output(100, end), "1\n");
  EXPECT_TRUE(end);
  EXPECT_EQ(r.inst->take_output(1, end), "1");
  EXPECT_FALSE(end);
  EXPECT_EQ(r.inst->take_output(100, end), "\n");
  EXPECT_TRUE(end);
}

TEST(parser, serial_commands_may_end_with_cr_lf_but_blocks_may_not) {
  rig r(link_kind::rs232);
  EXPECT_EQ(r.query("*OPC?\r"), "1\n");
}

TEST(parser, a_message_longer_than_the_input_limit_is_refused_and_skipped) {
  rig r(link_kind::ni488);
  r.send(std::string(5000, 'A'), true);
  ASSERT_FALSE(r.inst->errors().empty());
  EXPECT_EQ(r.inst->errors().back().code, -100);
  EXPECT_EQ(r.query("*OPC?"), "1\n");
}

TEST(parser, the_error_queue_holds_twenty_and_reports_the_overflow) {
  rig r(link_kind::ni488);
  for (int k = 0; k < 25; ++k) r.message("*BAD");
  ASSERT_EQ(r.inst->errors().size(), 20u);
  EXPECT_EQ(r.inst->errors().back().code, -350);
  r.message("*CLS");
  EXPECT_TRUE(r.inst->errors().empty());
}

TEST(parser, an_overrun_during_a_message_spoils_it) {
  rig r(link_kind::rs232);
  r.send(store_prefix(channel::i, "W") + block_header(32) + pattern(10), false);
  r.inst->note_overrun();
  r.send(pattern(22) + "\n", false);
  EXPECT_EQ(r.inst->find(channel::i, "W"), nullptr);
  EXPECT_EQ(r.inst->errors().back().code, -363);
  EXPECT_EQ(r.query("*OPC?"), "1\n");
}

TEST(parser, a_stalled_message_is_abandoned_with_an_error) {
  rig r(link_kind::rs232);
  r.send(store_prefix(channel::i, "W") + block_header(32) + pattern(10), false);
  r.inst->abort_message();
  EXPECT_FALSE(r.inst->mid_message());
  EXPECT_EQ(r.inst->errors().back().code, -160);
  EXPECT_EQ(r.query("*OPC?"), "1\n");
}

// Whatever bytes arrive, the parser neither fails nor loses its footing
// for good: after a device clear (GPIB) or a line feed (RS-232) it answers.
TEST(parser, survives_random_bytes_on_every_link) {
  std::uint32_t seed = 12345;
  const auto next = [&seed]() {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  const std::string alphabet = "#0123456789\"',:;? \n\r*abcdimnopqrstvwxyzARBIQ\x00\xff";
  for (link_kind link : all_links) {
    rig r(link, [](settings &s) { s.capacity = 1 << 16; });
    for (int message = 0; message < 2000; ++message) {
      std::string bytes;
      const std::size_t n = next() % 64;
      for (std::size_t k = 0; k < n; ++k)
        bytes.push_back(next() % 4 == 0 ? static_cast<char>(next()) : alphabet[next() % alphabet.size()]);
      if (message % 7 == 0) bytes = store_prefix(channel::i, "R") + bytes;
      r.send(bytes, next() % 2 == 0);
      r.reply();
    }
    r.inst->device_clear();
    if (link == link_kind::rs232) r.send("\n", false);
    r.reply();
    EXPECT_EQ(r.query("*OPC?"), "1\n") << link_name(link);
    EXPECT_LE(r.inst->errors().size(), 20u);
  }
}

TEST(scpi, resolves_short_and_long_forms_without_regard_to_case) {
  EXPECT_EQ(canonical_query("mmem:cat?"), "MMEM:CAT?");
  EXPECT_EQ(canonical_query("MMEMORY:CATALOG?"), "MMEM:CAT?");
  EXPECT_EQ(canonical_query("Diag:Info:Opt?"), "DIAG:INFO:OPT?");
  EXPECT_EQ(canonical_query("syst:err:next?"), "SYST:ERR?");
  EXPECT_EQ(canonical_query("mmem:catal?"), "");  // neither form
  EXPECT_EQ(canonical_query("*RST"), "");         // not a query
  std::string_view text = " 'it''s', more";
  EXPECT_EQ(parse_string(text), "it's");
  EXPECT_EQ(text, ", more");
  std::string_view open = "\"unclosed";
  EXPECT_EQ(parse_string(open), std::nullopt);
}

}  // namespace
}  // namespace talmer::sim
