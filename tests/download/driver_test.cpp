// The GPIB download over a recording link: the order of the link
// operations, what the instrument receives, and every way the run can end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "download/driver.h"
#include "platform/fake_os.h"
#include "recording_link.h"
#include "ui/talmer_arb.h"

using namespace talmer::download;
using namespace talmer::download::testing;
using ::testing::ElementsAreArray;

namespace {

const std::string catalog(catalog_query);

struct driver_fixture : ::testing::Test {
  call_log calls;
  recording_link link{calls};
  scripted_opener opener{calls};
  recording_panel panel{calls};
  recording_progress progress;
  download_request req;
  std::vector<std::int16_t> points[2];
  std::function<void(channel, scripted_source &)> configure;

  void SetUp() override {
    req.gpibcard = "NI";
    req.intfc = "0";
    req.address = 19;
    req.name = "W1";
    req.swap_yes = true;
    req.convert_flg = false;
    link.replies["rad:arb:stat?"] = "0\n";
    link.replies["rad:arb:wav?"] = "\"arbi:other\"\n";
    link.replies[catalog] = "0,100000000\n";
    opener.make = [this](channel ch, const std::string &) -> std::unique_ptr<point_source> {
      auto s = std::make_unique<scripted_source>(calls, ch, points[ch == channel::I ? 0 : 1]);
      if (configure) configure(ch, *s);
      return s;
    };
  }

  void sources(std::int64_t i, std::int64_t q) {
    req.i = {i, "i.bin", "BINARY"};
    req.q = {q, "q.bin", "BINARY"};
    points[0] = ramp(i, 0);
    points[1] = ramp(q, 1000);
    req.points_caption = std::to_string(i > 0 ? i : q);
  }

  download_result run() { return send_over_link(link, opener, req, panel, &progress); }

  std::string first_starting(const std::string &prefix) const {
    for (const auto &c : calls)
      if (c.rfind(prefix, 0) == 0) return c;
    return "";
  }

  // The lines of the call_log from the first one equal to `from` on.
  call_log from(const std::string &first) const {
    auto it = std::find(calls.begin(), calls.end(), first);
    return call_log(it, calls.end());
  }
};

// The bytes an instrument must receive for a channel, computed from the
// points: each point most significant byte first.
std::string expected_block(channel ch, const std::string &name, const std::vector<std::int16_t> &v) {
  std::string s = store_prefix(ch, name) + block_header(static_cast<std::int64_t>(v.size()));
  for (auto p : v) {
    const auto b = encode_point(p);
    s += static_cast<char>(b[0]);
    s += static_cast<char>(b[1]);
  }
  return s;
}

}  // namespace

TEST_F(driver_fixture, i_only_10000_points_runs_the_link_operations_in_order) {
  sources(10000, 0);
  const download_result r = run();
  const call_log expected = {
      "panel teal Using NI gpib interface at 0 with an Talmer at address 19.",
      "pause 500",
      "open_link 0 19",
      "query rad:arb:stat?",
      "query rad:arb:wav?",
      "query mmem:cat? \"arbi:\"",
      "query_phase_failed unparsable=0",
      "enter_data_phase",
      "panel green Downloading I waveform.",
      "pause 500",
      "begin_block I #520000 10000 swap",
      "open source I binary i.bin",
      "write_chunk 16384",
      "chunk_failed",
      "write_chunk 3616 last",
      "chunk_failed",
      "end_block",
      "close source I",
      "wait_complete",
      "wait_complete",
      "completion_failed",
      "close_link",
  };
  EXPECT_THAT(calls, ElementsAreArray(expected));
  EXPECT_FALSE(r.error_active);
  EXPECT_EQ(r.message, "Done with download.");
  EXPECT_EQ(link.wire[0], expected_block(channel::I, "W1", points[0]));
  EXPECT_EQ(link.wire[0].size(), 21u + 7u + 20000u);
  EXPECT_TRUE(link.wire[1].empty());
  EXPECT_THAT(progress.lines, ElementsAreArray({"I 0/10000", "I 8192/10000", "I 10000/10000"}));
}

TEST_F(driver_fixture, q_only_still_waits_for_completion_after_the_empty_i_step) {
  sources(0, 16);
  EXPECT_FALSE(run().error_active);
  const call_log expected = {
      "enter_data_phase",
      "wait_complete",
      "panel green Downloading Q waveform.",
      "pause 500",
      "begin_block Q #232 16 swap",
      "open source Q binary q.bin",
      "write_chunk 32 last",
      "chunk_failed",
      "end_block",
      "close source Q",
      "wait_complete",
      "completion_failed",
      "close_link",
  };
  EXPECT_THAT(from("enter_data_phase"), ElementsAreArray(expected));
  EXPECT_TRUE(link.wire[0].empty());
  EXPECT_EQ(link.wire[1], expected_block(channel::Q, "W1", points[1]));
}

TEST_F(driver_fixture, both_channels_are_sent_i_first_each_followed_by_its_completion_wait) {
  sources(8192, 8192);
  EXPECT_FALSE(run().error_active);
  const call_log expected = {
      "enter_data_phase",
      "panel green Downloading I waveform.",
      "pause 500",
      "begin_block I #516384 8192 swap",
      "open source I binary i.bin",
      "write_chunk 16384 last",
      "chunk_failed",
      "end_block",
      "close source I",
      "wait_complete",
      "panel green Downloading Q waveform.",
      "pause 500",
      "begin_block Q #516384 8192 swap",
      "open source Q binary q.bin",
      "write_chunk 16384 last",
      "chunk_failed",
      "end_block",
      "close source Q",
      "wait_complete",
      "completion_failed",
      "close_link",
  };
  EXPECT_THAT(from("enter_data_phase"), ElementsAreArray(expected));
  EXPECT_EQ(link.wire[0], expected_block(channel::I, "W1", points[0]));
  EXPECT_EQ(link.wire[1], expected_block(channel::Q, "W1", points[1]));
}

struct chunk_case {
  std::int64_t points;
  std::vector<std::string> writes;
};

class driver_chunks : public driver_fixture, public ::testing::WithParamInterface<chunk_case> {};

TEST_P(driver_chunks, a_channel_is_cut_into_8192_point_chunks_the_last_one_flagged) {
  sources(GetParam().points, 0);
  EXPECT_FALSE(run().error_active);
  call_log writes;
  for (const auto &c : calls)
    if (c.rfind("write_chunk", 0) == 0) writes.push_back(c);
  EXPECT_THAT(writes, ElementsAreArray(GetParam().writes));
  EXPECT_EQ(link.wire[0], expected_block(channel::I, "W1", points[0]));
}

INSTANTIATE_TEST_SUITE_P(
    driver, driver_chunks,
    ::testing::Values(
        chunk_case{16, {"write_chunk 32 last"}},
        chunk_case{8192, {"write_chunk 16384 last"}},
        chunk_case{8194, {"write_chunk 16384", "write_chunk 4 last"}},
        chunk_case{3 * 8192, {"write_chunk 16384", "write_chunk 16384", "write_chunk 16384 last"}},
        chunk_case{2 * 8192 + 8190,
                   {"write_chunk 16384", "write_chunk 16384", "write_chunk 16380 last"}}));

TEST_F(driver_fixture, swap_is_set_for_swap_yes_and_for_converted_sources) {
  const struct {
    bool swap_yes, convert;
    const char *filetype;
    const char *begin, *reader;
  } rows[] = {
      {false, false, "BINARY", "begin_block I #232 16 as-stored", "open source I binary i.bin"},
      {true, false, "BINARY", "begin_block I #232 16 swap", "open source I binary i.bin"},
      {false, true, "ASCII", "begin_block I #232 16 swap", "open source I ascii i.bin"},
      {false, true, "AWG", "begin_block I #232 16 swap", "open source I awg i.bin"},
      {false, false, "ASCII", "begin_block I #232 16 as-stored", "open source I binary i.bin"},
  };
  for (const auto &row : rows) {
    calls.clear();
    link.wire[0].clear();
    sources(16, 0);
    req.swap_yes = row.swap_yes;
    req.convert_flg = row.convert;
    req.i.filetype = row.filetype;
    EXPECT_FALSE(run().error_active);
    EXPECT_EQ(first_starting("begin_block"), row.begin);
    EXPECT_EQ(first_starting("open source"), row.reader);
  }
}

TEST_F(driver_fixture, replace_rule_blocks_only_the_selected_waveform_of_a_running_arb) {
  const struct {
    const char *stat, *wav, *name;
    bool blocked;
  } rows[] = {
      {"1\n", "\"arbi:W1\"\n", "W1", true},
      {"1\n", "\"ARBI:WAVE1\"\n", "wave1", true},
      {"1\n", "\"arbi:wave1\"\n", "WAVE1", true},
      {"0\n", "\"ARBI:WAVE1\"\n", "wave1", false},
      {"ON\n", "\"arbi:W1\"\n", "W1", false},
      {"", "\"arbi:W1\"\n", "W1", false},
      {"1\n", "\"arbi:W10\"\n", "W1", false},
      {"1\n", "\"arbq:W1\"\n", "W1", false},
  };
  for (const auto &row : rows) {
    calls.clear();
    sources(16, 0);
    req.name = row.name;
    link.replies["rad:arb:stat?"] = row.stat;
    link.replies["rad:arb:wav?"] = row.wav;
    const download_result r = run();
    EXPECT_EQ(r.error_active, row.blocked) << row.stat << row.wav;
    if (row.blocked) {
      EXPECT_EQ(r.error_text, replace_blocked_text(row.name));
      EXPECT_THAT(from("query rad:arb:wav?"),
                  ElementsAreArray({"query rad:arb:wav?", "abort_link"}));
    } else {
      EXPECT_EQ(calls.back(), "close_link");
    }
  }
}

TEST_F(driver_fixture, not_enough_memory_ends_the_run_before_any_block) {
  sources(50001, 0);
  link.replies[catalog] = "0,100000\n";
  const download_result r = run();
  EXPECT_TRUE(r.error_active);
  EXPECT_EQ(r.error_text, "Not enough memory to download 'W1'.");
  EXPECT_THAT(from("query mmem:cat? \"arbi:\""),
              ElementsAreArray({"query mmem:cat? \"arbi:\"", "abort_link"}));
}

TEST_F(driver_fixture, an_unparsable_catalog_is_left_to_the_link) {
  sources(16, 0);
  link.replies[catalog] = "";
  EXPECT_FALSE(run().error_active);  // a link that reports nothing: the run goes on
  EXPECT_FALSE(from("query_phase_failed unparsable=1").empty());

  calls.clear();
  link.report_query_phase_failure = true;
  const download_result r = run();
  EXPECT_TRUE(r.error_active);
  EXPECT_EQ(r.error_text, "Unknown I/O error while finding memory size.");
  EXPECT_THAT(from("query_phase_failed unparsable=1"),
              ElementsAreArray({"query_phase_failed unparsable=1", "abort_link"}));
}

TEST_F(driver_fixture, a_failed_chunk_closes_the_source_and_ends_with_the_links_message) {
  sources(20000, 16);
  link.failing_chunk = 1;
  const download_result r = run();
  EXPECT_TRUE(r.error_active);
  EXPECT_EQ(r.error_text, "timeout I");
  EXPECT_THAT(from("write_chunk 16384"),
              ElementsAreArray({"write_chunk 16384", "chunk_failed", "write_chunk 16384",
                                "chunk_failed", "close source I", "abort_link"}));
}

TEST_F(driver_fixture, a_failed_q_chunk_leaves_the_i_block_sent) {
  sources(16, 16);
  link.failing_chunk = 1;
  const download_result r = run();
  EXPECT_EQ(r.error_text, "timeout Q");
  EXPECT_EQ(link.wire[0], expected_block(channel::I, "W1", points[0]));
  EXPECT_EQ(calls.back(), "abort_link");
}

TEST_F(driver_fixture, a_short_read_sends_nothing_of_that_chunk) {
  sources(20000, 0);
  configure = [](channel, scripted_source &s) { s.failing_chunk = 1; };
  const download_result r = run();
  EXPECT_TRUE(r.error_active);
  EXPECT_EQ(r.error_text, source_read_failed_text(channel::I, "i.bin"));
  EXPECT_EQ(r.error_text,
            "Could not read the I waveform file i.bin in full; it was moved or changed after it "
            "was checked.  The I waveform download was stopped.");
  EXPECT_THAT(from("write_chunk 16384"),
              ElementsAreArray({"write_chunk 16384", "chunk_failed", "close source I",
                                "abort_link"}));
  EXPECT_EQ(link.wire[0].size(), 21u + 7u + 16384u);
}

TEST_F(driver_fixture, a_source_that_cannot_be_opened_fails_its_channel) {
  sources(16, 16);
  opener.make = [this](channel ch, const std::string &) -> std::unique_ptr<point_source> {
    if (ch == channel::Q) return nullptr;
    return std::make_unique<scripted_source>(calls, ch, points[0]);
  };
  const download_result r = run();
  EXPECT_EQ(r.error_text, source_read_failed_text(channel::Q, "q.bin"));
  EXPECT_THAT(from("begin_block Q #232 16 swap"),
              ElementsAreArray({"begin_block Q #232 16 swap", "open source Q binary q.bin",
                                "abort_link"}));
}

TEST_F(driver_fixture, an_unconfirmed_last_block_is_not_reported_as_done) {
  sources(16, 16);
  link.report_completion_failure = true;
  const download_result r = run();
  EXPECT_TRUE(r.error_active);
  EXPECT_EQ(r.error_text, not_confirmed_text());
  EXPECT_THAT(from("completion_failed"), ElementsAreArray({"completion_failed", "abort_link"}));
}

TEST_F(driver_fixture, an_exception_from_the_link_releases_it_and_closes_the_source) {
  sources(16, 0);
  link.on_write_chunk = [] { throw std::runtime_error("bus gone"); };
  EXPECT_THROW(run(), std::runtime_error);
  EXPECT_THAT(from("write_chunk 32 last"),
              ElementsAreArray({"write_chunk 32 last", "close source I", "abort_link"}));
}

TEST_F(driver_fixture, too_long_a_waveform_is_refused_before_the_link_opens) {
  sources(16, 0);
  req.i.points = max_block_points + 1;
  const download_result r = run();
  EXPECT_TRUE(r.error_active);
  EXPECT_EQ(r.error_text, too_long_text());
  EXPECT_TRUE(from("open_link 0 19").empty());
}

TEST_F(driver_fixture, the_i_sample_clock_and_the_data_error_reach_the_message) {
  sources(16, 16);
  req.convert_flg = true;
  req.i.filetype = req.q.filetype = "AWG";
  configure = [](channel ch, scripted_source &s) { s.clock = ch == channel::I ? 100000000 : 5; };
  download_result r = run();
  EXPECT_EQ(r.awg_clock, 100000000);
  EXPECT_EQ(r.message, "Done with download.  Set ARB Sample Clock Frequency to  100 MHz.");

  // A Q clock is never used: with no I points there is no clock.
  sources(0, 16);
  req.convert_flg = true;
  r = run();
  EXPECT_EQ(r.message, "Done with download.");

  sources(16, 16);
  req.convert_flg = true;
  req.i.filetype = req.q.filetype = "ASCII";
  configure = [](channel ch, scripted_source &s) { s.set_dataerror = ch == channel::Q; };
  r = run();
  EXPECT_TRUE(r.dataerror);
  EXPECT_EQ(r.message, "Done with download.\n\rOne or more data points invalid or out-of-range.");
}

// ---- BINARY files as stored and swapped ------------------------------------------

namespace {

struct temp_file {
  std::filesystem::path path;
  explicit temp_file(const std::string &bytes) {
    static int n = 0;
    path = std::filesystem::temp_directory_path() /
           ("talmer_driver_test_" + std::to_string(::getpid()) + "_" + std::to_string(n++));
    std::ofstream(path, std::ios::binary) << bytes;
  }
  ~temp_file() { std::filesystem::remove(path); }
};

std::string file_bytes(std::size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (std::size_t k = 0; k < n; ++k) s[k] = static_cast<char>((k * 131 + seed * 7 + k / 256) & 0xFF);
  return s;
}

}  // namespace

TEST_F(driver_fixture, binary_files_reach_the_wire_in_file_order_or_with_pairs_reversed) {
  const std::string i_bytes = file_bytes(2 * 10000, 1), q_bytes = file_bytes(2 * 10000, 2);
  temp_file fi(i_bytes), fq(q_bytes);
  talmer::platform::real_os real;
  standard_opener files(real);
  for (bool swap_yes : {false, true}) {
    recording_link l(calls);
    l.replies = link.replies;
    req.i = {10000, fi.path.string(), "BINARY"};
    req.q = {10000, fq.path.string(), "BINARY"};
    req.points_caption = "10000";
    req.swap_yes = swap_yes;
    const download_result r = send_over_link(l, files, req, panel, nullptr);
    ASSERT_FALSE(r.error_active) << r.error_text;
    auto expected = [&](channel ch, std::string data) {
      if (swap_yes)
        for (std::size_t k = 0; k + 1 < data.size(); k += 2) std::swap(data[k], data[k + 1]);
      return store_prefix(ch, "W1") + "#520000" + data;
    };
    EXPECT_EQ(l.wire[0], expected(channel::I, i_bytes)) << "swap " << swap_yes;
    EXPECT_EQ(l.wire[1], expected(channel::Q, q_bytes)) << "swap " << swap_yes;
  }
}

TEST_F(driver_fixture, a_binary_file_that_shrank_fails_the_channel_without_stale_bytes) {
  temp_file fi(file_bytes(2 * 9000, 3));
  talmer::platform::real_os real;
  standard_opener files(real);
  req.i = {10000, fi.path.string(), "BINARY"};  // counted when the file was longer
  req.q = {0, "", "BINARY"};
  req.points_caption = "10000";
  const download_result r = send_over_link(link, files, req, panel, nullptr);
  EXPECT_TRUE(r.error_active);
  EXPECT_EQ(r.error_text, source_read_failed_text(channel::I, fi.path.string()));
  EXPECT_EQ(link.wire[0].size(), 21u + 7u + 16384u);  // only the first, complete chunk
  EXPECT_EQ(calls.back(), "abort_link");
}

TEST_F(driver_fixture, an_awg_file_shorter_than_its_header_fails_instead_of_sending_raw_bytes) {
  temp_file fi(file_bytes(64, 4));
  talmer::platform::real_os real;
  standard_opener files(real);
  req.i = {32, fi.path.string(), "AWG"};
  req.q = {0, "", "BINARY"};
  req.points_caption = "32";
  req.convert_flg = true;
  const download_result r = send_over_link(link, files, req, panel, nullptr);
  EXPECT_EQ(r.error_text, source_read_failed_text(channel::I, fi.path.string()));
  EXPECT_EQ(calls.back(), "abort_link");
}

// ---- The window's GPIB download -----------------------------------------------------

TEST(gpib_download, reads_the_window_and_shows_its_messages_on_the_panel) {
  talmer::platform::fake_os os;
  talmer::ui::TALMER_ARB w(os);
  w.I_source.set_text("a.bin");
  w.Q_source.set_text("b.txt");
  w.destination.set_text("wave1");  // typed after the I file, so it wins over the automatic name
  w.points.set_caption("16");
  w.Swap.set_text("No");
  w.i_points = 16;
  w.q_points = 16;
  w.i_filetype = "BINARY";
  w.q_filetype = "ASCII";
  const download_request req = request_from_window(w, "Corvane", "corvaneib", 7, false);
  EXPECT_EQ(req.name, "wave1");
  EXPECT_EQ(req.points_caption, "16");
  EXPECT_FALSE(req.swap_yes);
  EXPECT_EQ(req.i.path, "a.bin");
  EXPECT_EQ(req.q.path, "b.txt");
  EXPECT_EQ(req.q.filetype, "ASCII");
  EXPECT_EQ(req.address, 7);

  call_log calls;
  recording_link link(calls);
  link.replies[catalog] = "0,100000\n";
  scripted_opener opener(calls);
  opener.make = [&calls](channel ch, const std::string &) {
    return std::make_unique<scripted_source>(calls, ch, ramp(16));
  };
  std::vector<std::string> panel;
  w.Messages.observe([&](talmer::ui::control &, talmer::ui::change c) {
    if (c == talmer::ui::change::refresh)
      panel.push_back(talmer::ui::colour_name(w.msgsbkgd.fill()) + " " + w.Messages.caption());
  });
  std::vector<std::string> progress;
  w.download_progress.observe([&](const talmer::ui::progress &p) {
    progress.push_back(std::string(1, p.channel()) + std::to_string(p.done()) + "/" + std::to_string(p.total()));
  });
  bool error_active = false;
  std::string error_text;
  gpib_download(w, link, opener, "Corvane", "corvaneib", 7, false, error_active, error_text);
  EXPECT_FALSE(error_active);
  EXPECT_THAT(panel, ElementsAreArray({
                         "teal Using Corvane gpib interface at corvaneib with an Talmer at address 7.",
                         "green Downloading I waveform.",
                         "green Downloading Q waveform.",
                     }));
  EXPECT_THAT(os.sleeps, ElementsAreArray({500, 500, 500}));
  EXPECT_EQ(w.Messages.caption(), "Done with download.");
  EXPECT_EQ(w.msgsbkgd.fill(), talmer::ui::panel_teal);
  EXPECT_THAT(progress, ElementsAreArray({"I0/16", "I16/16", "Q0/16", "Q16/16"}));

  link.replies[catalog] = "0,10\n";
  gpib_download(w, link, opener, "Corvane", "corvaneib", 7, false, error_active, error_text);
  EXPECT_TRUE(error_active);
  EXPECT_EQ(error_text, "Not enough memory to download 'wave1'.");
}
