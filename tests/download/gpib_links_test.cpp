// Both GPIB download links under the driver, against recording call
// layers: the exact library calls of a download, the messages the
// instrument receives, and how each link recognises a failure.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "download/driver.h"
#include "download/ni488_link.h"
#include "download/ravlink_link.h"
#include "platform/fake_os.h"
#include "recording_layers.h"
#include "recording_link.h"

using namespace talmer::download;
using namespace talmer::download::testing;
using ::testing::ElementsAreArray;

namespace {

const std::string cat_line = "ibwrt \"mmem:cat? \"arbi:\"\"";

// The data bytes of a block as the instrument must store them: each point
// most significant byte first.
std::string big_endian(const std::vector<std::int16_t> &v) {
  std::string s;
  for (auto p : v) {
    const auto b = encode_point(p);
    s += static_cast<char>(b[0]);
    s += static_cast<char>(b[1]);
  }
  return s;
}

struct link_fixture : ::testing::Test {
  call_log calls, side;  // library calls; panel and source events
  scripted_opener opener{side};
  recording_panel panel{side};
  download_request req;
  std::vector<std::int16_t> points[2];

  void SetUp() override {
    req.intfc = "0";
    req.address = 19;
    req.name = "W1";
    req.swap_yes = true;
    opener.make = [this](channel ch, const std::string &) {
      return std::make_unique<scripted_source>(side, ch, points[ch == channel::I ? 0 : 1]);
    };
  }
  void sources(std::int64_t i, std::int64_t q) {
    req.i = {i, "i.bin", "BINARY"};
    req.q = {q, "q.bin", "BINARY"};
    points[0] = ramp(i, 7);
    points[1] = ramp(q, -300);
    req.points_caption = std::to_string(i > 0 ? i : q);
  }
  download_result run(download_link &link) {
    return send_over_link(link, opener, req, panel, nullptr);
  }
  call_log from(const std::string &first) const {
    auto it = std::find(calls.begin(), calls.end(), first);
    return call_log(it, calls.end());
  }
  bool sent_a_block() const {
    return std::any_of(calls.begin(), calls.end(),
                       [](const std::string &c) { return c.rfind("ibwrt buffer", 0) == 0; });
  }
};

}  // namespace

// ---- NI-488.2 ------------------------------------------------------------------

struct ni_fixture : link_fixture {
  recording_ni488 ib{calls};
  link_timing timing{6, 20000, 0};
  void SetUp() override {
    link_fixture::SetUp();
    req.gpibcard = "NI";
  }
  download_result run() {
    ni488_link link(ib, timing);
    return link_fixture::run(link);
  }
};

TEST_F(ni_fixture, the_example_download_makes_exactly_these_calls) {
  sources(10000, 0);
  timing = {1, 16384, 0};  // t = 1 s per chunk: data code 12
  const download_result r = run();
  EXPECT_FALSE(r.error_active) << r.error_text;
  const call_log expected = {
      "ibdev(0, 19, 0, 9, 1, 0)",
      "ibclr",
      "ibtmo(13)",
      "ibwrt \"rad:arb:stat?\"",
      "ibrd 4880",
      "ibwrt \"rad:arb:wav?\"",
      "ibrd 4880",
      cat_line,
      "ibrd 4880",
      "ibtmo(12)",
      "ibeot(0)",
      "ibwrt \"mmem:data \"arbi:W1\", \"",
      "ibwrt \"#520000\"",
      "ibconfig(20, 1)",
      "ibwrt buffer 16384",
      "ibeot(1)",
      "ibwrt buffer 3616",
      "ibconfig(20, 0)",
      "ibwrt \"*OPC?\"",
      "ibrd 4880",
      "ibwrt \"*OPC?\"",
      "ibrd 4880",
      "ibloc",
      "ibonl(0)",
  };
  EXPECT_THAT(calls, ElementsAreArray(expected));
  // EOI ends each query and the block's last data byte: the instrument
  // receives prefix, header and data as one message, with no terminator.
  EXPECT_THAT(ib.instrument.messages,
              ElementsAreArray(call_log{"rad:arb:stat?", "rad:arb:wav?", std::string(catalog_query),
                                "mmem:data \"arbi:W1\", #520000" + big_endian(points[0]), "*OPC?",
                                "*OPC?"}));
  EXPECT_TRUE(ib.instrument.current.empty());
}

TEST_F(ni_fixture, the_data_time_out_code_follows_the_estimate) {
  sources(16, 0);
  const struct {
    link_timing t;
    const char *code;
  } rows[] = {{{6, 20000, 0}, "ibtmo(13)"},    // t = 4.9 s
              {{10, 8192, 8192}, "ibtmo(14)"},  // t = 10 s
              {{0, 32, 0}, "ibtmo(12)"},        // no logarithm of 0
              {{9, 0, 0}, "ibtmo(15)"},         // empty sizes
              {{1000, 16384, 0}, "ibtmo(15)"}};
  for (const auto &row : rows) {
    calls.clear();
    timing = row.t;
    run();
    EXPECT_EQ(from("ibrd 4880").at(5), row.code);  // after the three queries
  }
}

TEST_F(ni_fixture, q_only_swap_off_single_chunk) {
  sources(0, 16);
  req.swap_yes = false;
  req.intfc = "1";
  EXPECT_FALSE(run().error_active);
  EXPECT_EQ(calls.front(), "ibdev(1, 19, 0, 9, 1, 0)");
  const call_log expected = {
      "ibwrt \"*OPC?\"",  // the empty I step
      "ibrd 4880",
      "ibeot(0)",
      "ibwrt \"mmem:data \"arbq:W1\", \"",
      "ibwrt \"#232\"",
      "ibconfig(20, 0)",  // set explicitly also without swap
      "ibeot(1)",         // before the single chunk
      "ibwrt buffer 32",
      "ibconfig(20, 0)",
      "ibwrt \"*OPC?\"",
      "ibrd 4880",
      "ibloc",
      "ibonl(0)",
  };
  EXPECT_THAT(from("ibwrt \"*OPC?\""), ElementsAreArray(expected));
  // Without swap the bytes go in memory order.
  std::string data(32, '\0');
  std::memcpy(data.data(), points[1].data(), 32);
  EXPECT_EQ(ib.instrument.messages.at(4), "mmem:data \"arbq:W1\", #232" + data);
}

TEST_F(ni_fixture, both_channels_each_end_with_eoi_and_a_completion_query) {
  sources(8200, 8200);
  EXPECT_FALSE(run().error_active);
  ASSERT_EQ(ib.instrument.messages.size(), 7u);
  EXPECT_EQ(ib.instrument.messages[3], "mmem:data \"arbi:W1\", #516400" + big_endian(points[0]));
  EXPECT_EQ(ib.instrument.messages[4], "*OPC?");
  EXPECT_EQ(ib.instrument.messages[5], "mmem:data \"arbq:W1\", #516400" + big_endian(points[1]));
  EXPECT_EQ(ib.instrument.messages[6], "*OPC?");
}

TEST_F(ni_fixture, a_chunk_write_fails_on_time_out_on_error_without_time_out_and_when_short) {
  const struct {
    const char *what;
    std::int16_t sta;
    std::int32_t cnt;
  } rows[] = {{"time-out", static_cast<std::int16_t>(0xC100), 0},
              {"no listener", static_cast<std::int16_t>(0x8100), 0},
              {"short count", static_cast<std::int16_t>(0x0100), 16000}};
  for (const auto &row : rows) {
    calls.clear();
    sources(20000, 16);
    ib.status = [&](const std::string &line, std::int16_t &sta, std::int32_t &cnt) {
      if (line == "ibwrt buffer 16384") sta = row.sta, cnt = row.cnt;
    };
    const download_result r = run();
    EXPECT_TRUE(r.error_active) << row.what;
    EXPECT_EQ(r.error_text, " I Waveform download timeout.  Check GPIB Cable and Talmer.")
        << row.what;
    EXPECT_THAT(from("ibwrt buffer 16384"),
                ElementsAreArray({"ibwrt buffer 16384", "ibloc", "ibonl(0)"}))
        << row.what;
  }
}

// Without the ARB state or the catalog the instrument may refuse the store
// while still answering the completion query: a failed query stops the run
// before any block, as on Ravlink.
TEST_F(ni_fixture, a_failed_query_stops_the_run_before_any_block) {
  const auto answers = ib.instrument.replies;
  for (const std::string &query : {std::string("rad:arb:stat?"), std::string("rad:arb:wav?"),
                                   std::string(catalog_query)}) {
    calls.clear();
    ib.instrument.replies = answers;
    sources(16, 0);
    ib.instrument.replies.erase(query);
    const download_result r = run();
    EXPECT_TRUE(r.error_active) << query;
    EXPECT_EQ(r.error_text, unknown_io_error_text) << query;
    EXPECT_FALSE(sent_a_block()) << query;
    EXPECT_EQ(calls.back(), "ibonl(0)") << query;
  }
}

TEST_F(ni_fixture, a_catalog_read_but_unparsable_lets_the_download_go_on_without_the_check) {
  sources(16, 0);
  ib.instrument.replies[std::string(catalog_query)] = "nothing here\n";
  const download_result r = run();
  EXPECT_FALSE(r.error_active) << r.error_text;
  EXPECT_TRUE(sent_a_block());
}

TEST_F(ni_fixture, no_answer_to_the_last_completion_query_fails_the_run) {
  sources(16, 0);
  ib.instrument.replies.erase("*OPC?");
  const download_result r = run();
  EXPECT_TRUE(r.error_active);
  EXPECT_EQ(r.error_text, not_confirmed_text());
  EXPECT_EQ(calls.back(), "ibonl(0)");
}

TEST_F(ni_fixture, a_late_answer_to_the_i_completion_query_is_not_a_failure) {
  sources(16, 16);
  int opc_reads = 0;
  ib.status = [&](const std::string &line, std::int16_t &sta, std::int32_t &) {
    if (line == "ibrd 4880" && ib.instrument.messages.back() == "*OPC?" && opc_reads++ == 0)
      sta = recording_ni488::timo_err;
  };
  const download_result r = run();
  EXPECT_FALSE(r.error_active) << r.error_text;
}

TEST_F(ni_fixture, the_replace_rule_and_the_memory_check_release_the_device) {
  sources(16, 0);
  ib.instrument.replies["rad:arb:stat?"] = "1\n";
  ib.instrument.replies["rad:arb:wav?"] = "\"ARBI:w1\"\n";
  download_result r = run();
  EXPECT_EQ(r.error_text, replace_blocked_text("W1"));
  EXPECT_THAT(from("ibrd 4880"), ElementsAreArray({"ibrd 4880", "ibwrt \"rad:arb:wav?\"",
                                                   "ibrd 4880", "ibloc", "ibonl(0)"}));

  calls.clear();
  ib.instrument.replies["rad:arb:stat?"] = "0\n";
  ib.instrument.replies[std::string(catalog_query)] = "0,30\n";
  r = run();
  EXPECT_EQ(r.error_text, "Not enough memory to download 'W1'.");
  EXPECT_THAT(from(cat_line), ElementsAreArray(call_log{cat_line, "ibrd 4880", "ibloc", "ibonl(0)"}));
}

// ---- Ravlink -------------------------------------------------------------------

struct ravlink_fixture : link_fixture {
  talmer::platform::fake_os os;
  recording_ravlink rl{calls};
  link_timing timing{6, 20000, 0};
  void SetUp() override {
    link_fixture::SetUp();
    req.gpibcard = "Corvane";
    req.intfc = "corvaneib";
    os.on_sleep = [this](std::int64_t ms) { calls.push_back("pause " + std::to_string(ms)); };
  }
  download_result run() {
    ravlink_link link(rl, os, timing);
    return link_fixture::run(link);
  }
};

TEST_F(ravlink_fixture, the_example_download_makes_exactly_these_calls) {
  sources(10000, 0);
  const download_result r = run();
  EXPECT_FALSE(r.error_active) << r.error_text;
  const call_log expected = {
      "vb_iopen corvaneib,19",
      "vb_iclear",
      "clear pending",
      "vb_itimeout 3000",
      "vb_iwrite \"rad:arb:stat?\" 13 END",
      "vb_iread 4880",
      "vb_iwrite \"rad:arb:wav?\" 12 END",
      "vb_iread 4880",
      "vb_iwrite \"mmem:cat? \"arbi:\"\" 17 END",
      "vb_iread 4880",
      "test pending",
      "clear pending",
      "vb_itimeout 9830",
      "vb_iwrite \"mmem:data \"arbi:W1\", \" 21",
      "vb_iwrite \"#520000\" 7",
      "vb_iflush 2",
      "vb_iswap 16384 2",
      "vb_iwrite data 16384",
      "vb_iflush 2",
      "test pending",
      "vb_iswap 16384 2",
      "vb_iwrite data 3616",
      "vb_iflush 2",
      "test pending",
      "vb_iwrite \"\n\" 1 END",
      "vb_iwrite \"*OPC?\" 5 END",
      "vb_iread 1",
      "vb_iwrite \"*OPC?\" 5 END",
      "vb_iread 1",
      "test pending",  // the last completion wait
      "pause 100",
      "vb_ilocal",
      "vb_iclose",
  };
  EXPECT_THAT(calls, ElementsAreArray(expected));
  // The block ends with a line feed sent with END, after the 20000 data bytes.
  EXPECT_THAT(rl.instrument.messages,
              ElementsAreArray(call_log{"rad:arb:stat?", "rad:arb:wav?", std::string(catalog_query),
                                "mmem:data \"arbi:W1\", #520000" + big_endian(points[0]) + "\n",
                                "*OPC?", "*OPC?"}));
}

TEST_F(ravlink_fixture, each_channel_gets_its_own_bounded_time_out_and_swap_off_sends_memory_order) {
  sources(16, 8192);
  req.swap_yes = false;
  timing = {5, 32, 16384};
  EXPECT_FALSE(run().error_active);
  call_log timeouts;
  for (const auto &c : calls)
    if (c.rfind("vb_itimeout", 0) == 0) timeouts.push_back(c);
  // 16 points with 5 s would be 5,120,000 ms; 8192 points give 10000 ms.
  EXPECT_THAT(timeouts, ElementsAreArray({"vb_itimeout 3000", "vb_itimeout 100000",
                                          "vb_itimeout 10000"}));
  EXPECT_TRUE(std::none_of(calls.begin(), calls.end(),
                           [](const std::string &c) { return c.rfind("vb_iswap", 0) == 0; }));
  std::string data(32, '\0');
  std::memcpy(data.data(), points[0].data(), 32);
  EXPECT_EQ(rl.instrument.messages.at(3), "mmem:data \"arbi:W1\", #232" + data + "\n");
}

TEST_F(ravlink_fixture, an_estimate_of_zero_is_passed_on_as_zero) {
  sources(16, 0);
  timing = {0, 32, 0};
  run();
  EXPECT_FALSE(from("vb_itimeout 0").empty());
}

TEST_F(ravlink_fixture, a_failed_open_shows_at_the_end_of_the_query_phase) {
  sources(16, 0);
  rl.open_fails = true;
  const download_result r = run();
  EXPECT_TRUE(r.error_active);
  EXPECT_EQ(r.error_text, "Unknown I/O error while finding memory size.");
  EXPECT_THAT(from("test pending"), ElementsAreArray({"test pending", "vb_ilocal on a bad id",
                                                      "vb_iclose on a bad id", "clear pending"}));
}

TEST_F(ravlink_fixture, an_unparsable_catalog_is_an_io_error_on_this_link) {
  sources(16, 0);
  rl.instrument.replies[std::string(catalog_query)] = "nothing here\n";
  const download_result r = run();
  EXPECT_EQ(r.error_text, "Unknown I/O error while finding memory size.");
}

TEST_F(ravlink_fixture, a_failed_chunk_write_is_the_channels_time_out) {
  sources(20000, 16);
  rl.fails = [](const std::string &line) { return line == "vb_iwrite data 16384"; };
  const download_result r = run();
  EXPECT_EQ(r.error_text, " I Waveform download timeout.  Check GPIB cable and Talmer.");
  EXPECT_THAT(from("vb_iwrite data 16384"),
              ElementsAreArray({"vb_iwrite data 16384", "vb_iflush 2", "test pending", "vb_ilocal",
                                "vb_iclose", "clear pending"}));
}

TEST_F(ravlink_fixture, a_failed_i_completion_wait_shows_at_the_first_q_chunk) {
  sources(16, 16);
  int reads = 0;
  rl.fails = [&](const std::string &line) { return line == "vb_iread 1" && reads++ == 0; };
  const download_result r = run();
  EXPECT_EQ(r.error_text, " Q Waveform download timeout.  Check GPIB cable and Talmer.");
}

TEST_F(ravlink_fixture, a_failed_last_completion_wait_fails_the_run_but_the_release_does_not) {
  sources(16, 0);
  rl.instrument.replies.erase("*OPC?");
  download_result r = run();
  EXPECT_EQ(r.error_text, not_confirmed_text());
  EXPECT_THAT(from("vb_iread 1"), ElementsAreArray({"vb_iread 1", "vb_iwrite \"*OPC?\" 5 END",
                                                    "vb_iread 1", "test pending", "vb_ilocal",
                                                    "vb_iclose", "clear pending"}));

  calls.clear();
  rl.instrument.replies["*OPC?"] = "1\n";
  rl.fails = [](const std::string &line) { return line == "vb_iclose"; };
  r = run();
  EXPECT_FALSE(r.error_active);
  EXPECT_EQ(r.message, "Done with download.");
}

TEST_F(ravlink_fixture, a_short_last_chunk_is_sent_after_swapping_the_whole_buffer) {
  sources(8193, 0);
  EXPECT_FALSE(run().error_active);
  EXPECT_THAT(from("vb_iwrite data 16384"),
              ::testing::IsSupersetOf({"vb_iswap 16384 2", "vb_iwrite data 2"}));
  const call_log last = from("vb_iwrite data 2");
  const auto at = calls.size() - last.size();
  EXPECT_EQ(calls.at(at - 1), "vb_iswap 16384 2");
  EXPECT_EQ(rl.instrument.messages.at(3),
            "mmem:data \"arbi:W1\", #516386" + big_endian(points[0]) + "\n");
}
