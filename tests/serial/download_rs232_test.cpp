// The download over RS-232 against scripted instruments on fake serial
// lines, with the fake clock: the port search, the instrument checks, the
// paced transfer, the waits for XON and for the output to drain, and the
// exits.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "download/commands.h"
#include "download/download_rules.h"
#include "platform/fake_os.h"
#include "serial/serial_rules.h"
#include "serial/serial_support.h"
#include "ui/talmer_arb.h"

using namespace talmer::ui;
using serial_test::fake_talmer;
using talmer::platform::fake_os;
using talmer::platform::fake_serial_line;
using talmer::platform::serial_error;

namespace {

const std::string not_found = "Talmer not found.  Check Talmer's RS232 settings and the cable.";
const std::string lost = "Lost contact with Talmer.";

std::string tty(int port) { return "/dev/ttyS" + std::to_string(port - 1); }

// Little-endian 16-bit words, as a PC writes them.
std::string le_words(const std::vector<std::int16_t> &v) {
  std::string s;
  for (std::int16_t x : v) {
    const auto u = static_cast<std::uint16_t>(x);
    s += static_cast<char>(u & 0xFF);
    s += static_cast<char>(u >> 8);
  }
  return s;
}

std::vector<std::int16_t> ramp(std::int64_t n) {
  std::vector<std::int16_t> v(static_cast<size_t>(n));
  for (std::int64_t i = 0; i < n; ++i) v[static_cast<size_t>(i)] = static_cast<std::int16_t>(i * 37 - 20000);
  return v;
}

struct download_fixture : ::testing::Test {
  fake_os os;
  TALMER_ARB w{os};
  std::shared_ptr<serial_test::memory_script> mem = std::make_shared<serial_test::memory_script>();
  std::map<int, std::shared_ptr<fake_serial_line>> lines;
  std::map<int, std::unique_ptr<fake_talmer>> talmers;
  std::filesystem::path dir;
  bool error_active = false;
  std::string error_text;
  std::vector<std::pair<std::string, std::string>> panel;  // (colour, text) at each repaint of the text

  void SetUp() override {
    // The program's own rules, with the catalog replies recorded.
    auto check = w.serial_parts.check_avail_memory;
    w.serial_parts.check_avail_memory = [this, check](std::string &strbuf, bool &ea, std::string &et) {
      ++mem->calls;
      mem->last_reply = strbuf;
      return check(strbuf, ea, et);
    };
    w.Auto_name.set_checked(false);
    w.auto_find_q.set_checked(false);
    w.serial_MouseDown();
    w.Swap.set_text("No");
    w.Messages.observe([this](control &, change c) {
      if (c == change::refresh) panel.emplace_back(colour_name(w.msgsbkgd.fill()), w.Messages.caption());
    });
    char tmpl[] = "/tmp/talmer-serial-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    w.I_source.set_text("");
    w.Q_source.set_text("");
    w.i_points = 0;
    w.q_points = 0;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  fake_serial_line &line(int port, const std::string &path = "") {
    auto &l = lines[port];
    if (!l) {
      l = std::make_shared<fake_serial_line>();
      l->clock = &os;
      os.serial_lines[path.empty() ? tty(port) : path] = l;
    }
    return *l;
  }
  fake_talmer &talmer_on(int port, const std::string &path = "") {
    auto &t = talmers[port];
    t = std::make_unique<fake_talmer>();
    t->attach(line(port, path));
    return *t;
  }
  // A device that answers every line with something else.
  void other_device_on(int port) {
    line(port).on_write = [](fake_serial_line &l, std::string_view b) {
      if (!b.empty() && b.back() == '\n') l.deliver("ACME DMM 34401\n");
    };
  }

  std::string write_file(const std::string &name, const std::string &bytes) {
    const auto p = dir / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }
  void binary_i(const std::vector<std::int16_t> &v) {
    w.I_source.set_text(write_file("i.bin", le_words(v)));
    w.i_filetype = "BINARY";
    w.i_points = static_cast<std::int64_t>(v.size());
  }
  void binary_q(const std::vector<std::int16_t> &v) {
    w.Q_source.set_text(write_file("q.bin", le_words(v)));
    w.q_filetype = "BINARY";
    w.q_points = static_cast<std::int64_t>(v.size());
  }

  void run(bool convert = false) {
    error_active = false;
    error_text = "";
    // The point display the memory check compares with.
    w.points.set_caption(std::to_string(std::max(w.i_points, w.q_points)));
    w.download_RS232(convert, error_active, error_text);
    // Every way out closes the port and switches notifications off.
    EXPECT_FALSE(w.rs232.PortOpen());
    EXPECT_EQ(w.rs232.RThreshold(), 0);
    for (auto &[port, l] : lines) EXPECT_FALSE(l->open) << "port " << port;
  }
  void expect_failure(const std::string &text) {
    EXPECT_TRUE(error_active);
    EXPECT_EQ(error_text, text);
  }
  void expect_success() {
    EXPECT_FALSE(error_active) << error_text;
    EXPECT_EQ(error_text, "");
  }
  int pauses_of(std::int64_t ms) const { return static_cast<int>(std::count(os.sleeps.begin(), os.sleeps.end(), ms)); }
};

}  // namespace

// ---- Port search -----------------------------------------------------------

TEST_F(download_fixture, finds_the_instrument_on_port_3_after_two_silent_ports) {
  line(1);
  line(2);
  fake_talmer &t = talmer_on(3);
  binary_i(ramp(16));
  run();
  expect_success();
  EXPECT_EQ(w.Talmerid.text(), "Comm 3");
  EXPECT_EQ(os.serial_open_attempts, (std::vector<std::string>{tty(1), tty(2), tty(3)}));
  for (int p : {1, 2}) {
    EXPECT_EQ(lines[p]->written, "*IDN?\n") << p;
    EXPECT_EQ(lines[p]->opens, 1);
    EXPECT_EQ(lines[p]->closes, 1);
  }
  EXPECT_EQ(t.commands, (std::vector<std::string>{"*IDN?", "DIAG:INFO:OPT?", "rad:arb:stat?", "rad:arb:wav?",
                                                  "mmem:cat? \"arbi:\""}));
  // The memory check judged the whole catalog reply, once.
  EXPECT_EQ(mem->calls, 1);
  EXPECT_EQ(mem->last_reply.rfind("1024,500000,\"OTHER,BIN,8192\"\n", 0), 0u);
  ASSERT_EQ(t.blocks.size(), 1u);
  EXPECT_EQ(t.blocks[0].prefix, "mmem:data \"arbi:waveform1\", ");
  EXPECT_EQ(t.blocks[0].header, "#232");
  EXPECT_TRUE(t.blocks[0].terminated);
  ASSERT_GE(panel.size(), 3u);
  EXPECT_EQ(panel.front(), std::make_pair(std::string("teal"),
                                          std::string("Finding the RS232 Serial Port with an Talmer connected.")));
  EXPECT_NE(std::find(panel.begin(), panel.end(), std::make_pair(std::string("green"), std::string("Downloading I waveform."))),
            panel.end());
  EXPECT_EQ(panel.back(), std::make_pair(std::string("teal"), std::string("Done with download.")));
}

TEST_F(download_fixture, stops_at_a_port_where_another_device_answers) {
  other_device_on(1);
  talmer_on(2);
  binary_i(ramp(16));
  run();
  expect_failure(not_found);
  EXPECT_EQ(os.serial_open_attempts, std::vector<std::string>{tty(1)});
  EXPECT_EQ(w.Talmerid.text(), "Auto Detect");
}

TEST_F(download_fixture, with_no_serial_ports_tries_all_four_and_reports_not_found) {
  binary_i(ramp(16));
  run();
  expect_failure(not_found);
  EXPECT_EQ(os.serial_open_attempts, (std::vector<std::string>{tty(1), tty(2), tty(3), tty(4)}));
}

TEST_F(download_fixture, a_chosen_port_that_does_not_exist_is_named_in_the_message) {
  line(1);
  line(2);
  w.Talmerid.set_text("Comm 4");
  binary_i(ramp(16));
  run();
  expect_failure("Comm 4 not found on this computer.");
  EXPECT_EQ(os.serial_open_attempts, std::vector<std::string>{tty(4)});
  EXPECT_EQ(panel.front().second, "Testing Serial Port Comm 4");
}

TEST_F(download_fixture, a_chosen_port_without_instrument_is_tried_in_four_rounds) {
  line(2);
  w.Talmerid.set_text("Comm 2");
  binary_i(ramp(16));
  run();
  expect_failure(not_found);
  EXPECT_EQ(lines[2]->opens, 4);
  EXPECT_EQ(lines[2]->closes, 4);
  EXPECT_EQ(lines[2]->written, "*IDN?\n*IDN?\n*IDN?\n*IDN?\n");
  EXPECT_EQ(pauses_of(10), 4 * 25);
}

TEST_F(download_fixture, a_found_port_is_chosen_for_the_next_download) {
  talmer_on(2);
  binary_i(ramp(16));
  run();
  expect_success();
  EXPECT_EQ(w.Talmerid.text(), "Comm 2");
  os.serial_open_attempts.clear();
  panel.clear();
  run();
  expect_success();
  EXPECT_EQ(os.serial_open_attempts, std::vector<std::string>{tty(2)});
  EXPECT_EQ(panel.front().second, "Testing Serial Port Comm 2");
}

TEST_F(download_fixture, accepts_an_identification_in_lower_case_and_discards_stale_input) {
  fake_talmer &t = talmer_on(1);
  t.idn = "acme k902 compatible\n";
  line(1).deliver("stale bytes from before\n");
  binary_i(ramp(16));
  run();
  expect_success();
  EXPECT_EQ(w.Talmerid.text(), "Comm 1");
}

TEST_F(download_fixture, a_port_named_by_the_environment_is_searched_in_its_place) {
  os.environment["TALMER_ARB_COMM2"] = "/tmp/talmer-sim-pty";
  talmer_on(2, "/tmp/talmer-sim-pty");
  binary_i(ramp(16));
  run();
  expect_success();
  EXPECT_EQ(w.Talmerid.text(), "Comm 2");
  EXPECT_EQ(os.serial_open_attempts, (std::vector<std::string>{tty(1), "/tmp/talmer-sim-pty"}));
}

TEST_F(download_fixture, permission_denied_on_a_chosen_port_names_the_device_and_the_fix) {
  os.serial_open_errors[tty(1)] = serial_error::permission_denied;
  w.Talmerid.set_text("Comm 1");
  binary_i(ramp(16));
  run();
  expect_failure(talmer::serial::permission_text("Comm 1", "/dev/ttyS0"));
  EXPECT_EQ(os.serial_open_attempts.size(), 1u);
}

TEST_F(download_fixture, permission_denied_in_the_search_is_reported_when_no_instrument_answers) {
  for (int p = 1; p <= 4; ++p) os.serial_open_errors[tty(p)] = serial_error::permission_denied;
  binary_i(ramp(16));
  run();
  expect_failure(talmer::serial::permission_text("Comm 1", "/dev/ttyS0"));
  EXPECT_EQ(os.serial_open_attempts.size(), 4u);
}

TEST_F(download_fixture, permission_denied_on_one_port_does_not_stop_the_search) {
  os.serial_open_errors[tty(1)] = serial_error::permission_denied;
  talmer_on(2);
  binary_i(ramp(16));
  run();
  expect_success();
  EXPECT_EQ(w.Talmerid.text(), "Comm 2");
}

TEST_F(download_fixture, a_busy_port_counts_as_a_port_that_does_not_answer) {
  os.serial_open_errors[tty(1)] = serial_error::busy;
  talmer_on(2);
  binary_i(ramp(16));
  run();
  expect_success();
  EXPECT_EQ(w.Talmerid.text(), "Comm 2");
}

// ---- Instrument checks -----------------------------------------------------

struct check_row {
  const char *what;
  std::function<void(fake_talmer &)> setup;
  std::string text;  // "" when the download goes on
};

void PrintTo(const check_row &r, std::ostream *os) { *os << r.what; }

struct check_test : download_fixture, ::testing::WithParamInterface<check_row> {};

TEST_P(check_test, fails_with_its_message_before_any_data) {
  const check_row &r = GetParam();
  fake_talmer &t = talmer_on(1);
  r.setup(t);
  binary_i(ramp(16));
  run();
  if (r.text.empty()) {
    expect_success();
    EXPECT_EQ(t.blocks.size(), 1u);
  } else {
    expect_failure(r.text);
    EXPECT_TRUE(t.blocks.empty());
    EXPECT_EQ(lines[1]->written.find("mmem:data"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    rows, check_test,
    ::testing::Values(
        check_row{"option_query_unanswered", [](fake_talmer &tal) { tal.silent.insert("DIAG:INFO:OPT?"); }, lost},
        check_row{"option_missing", [](fake_talmer &tal) { tal.opt = "ABC,XYZ\n"; }, "Talmer option QVX not found."},
        check_row{"option_in_lower_case", [](fake_talmer &tal) { tal.opt = "abc,qvx\n"; }, ""},
        check_row{"arb_state_unanswered", [](fake_talmer &tal) { tal.silent.insert("rad:arb:stat?"); }, lost},
        check_row{"selected_waveform_unanswered", [](fake_talmer &tal) { tal.silent.insert("rad:arb:wav?"); }, lost},
        check_row{"arb_on_playing_the_destination",
                  [](fake_talmer &tal) {
                    tal.stat = "1\n";
                    tal.wav = "\"ARBI:WAVEFORM1\"\n";
                  },
                  "In order to replace 'waveform1', the ARB must be off, or 'waveform1' must not be the selected "
                  "waveform in the ARB."},
        check_row{"arb_off_with_the_destination_selected", [](fake_talmer &tal) { tal.wav = "\"ARBI:WAVEFORM1\"\n"; }, ""},
        check_row{"arb_on_playing_another_waveform", [](fake_talmer &tal) { tal.stat = "1\n"; }, ""},
        check_row{"catalog_unanswered", [](fake_talmer &tal) { tal.silent.insert("mmem:cat? \"arbi:\""); }, lost},
        check_row{"catalog_too_slow",
                  [](fake_talmer &tal) { tal.delay_ms["mmem:cat? \"arbi:\""] = 300; },  // slower than the wait
                  lost},
        check_row{"memory_full", [](fake_talmer &tal) { tal.cat = "1024,30,\"OTHER,BIN,8192\"\n"; },  // 15 points free
                  "Not enough memory to download 'waveform1'."},
        check_row{"catalog_unparsable", [](fake_talmer &tal) { tal.cat = "garbled\n"; },
                  "Unknown I/O error while finding memory size."}),
    [](const ::testing::TestParamInfo<check_row> &i) { return std::string(i.param.what); });

TEST_F(download_fixture, a_line_that_hangs_up_during_the_checks_is_lost_contact) {
  fake_talmer &t = talmer_on(1);
  binary_i(ramp(16));
  // Drop the line when the option query goes out.
  line(1).hang_up_after = static_cast<std::int64_t>(std::string("*IDN?\n").size());
  run();
  expect_failure(lost);
  EXPECT_EQ(t.commands, std::vector<std::string>{"*IDN?"});
}

// ---- Transfer --------------------------------------------------------------

TEST_F(download_fixture, sends_1001_points_as_125_groups_and_2_single_bytes) {
  fake_talmer &t = talmer_on(1);
  const auto points = ramp(1001);
  binary_i(points);
  run();
  expect_success();
  ASSERT_EQ(t.blocks.size(), 1u);
  EXPECT_EQ(t.blocks[0].header, "#42002");
  EXPECT_EQ(t.blocks[0].data, le_words(points));
  // The writes of the data phase: head, header, 125 groups, 2 bytes, LF.
  const auto &writes = lines[1]->writes;
  auto head = std::find(writes.begin(), writes.end(), "mmem:data \"arbi:waveform1\", ");
  ASSERT_NE(head, writes.end());
  std::vector<std::string> data(head + 1, writes.end());
  ASSERT_EQ(data.size(), 1u + 125u + 2u + 1u);
  EXPECT_EQ(data[0], "#42002");
  for (size_t i = 1; i <= 125; ++i) EXPECT_EQ(data[i].size(), 16u) << i;
  EXPECT_EQ(data[126].size(), 1u);
  EXPECT_EQ(data[127].size(), 1u);
  EXPECT_EQ(data[128], "\n");
}

TEST_F(download_fixture, binary_bytes_go_in_file_order_without_swap_and_reversed_with_it) {
  std::vector<std::int16_t> points(16, 0);
  points[0] = -1;
  points[1] = 258;
  points[2] = 0x1234;
  for (const char *swap : {"No", "Yes"}) {
    talmers.clear();
    lines.clear();
    os.serial_lines.clear();
    fake_talmer &t = talmer_on(1);
    w.Swap.set_text(swap);
    binary_i(points);
    run();
    expect_success();
    ASSERT_EQ(t.blocks.size(), 1u);
    const std::string expected = std::string(swap) == "No" ? std::string("\xFF\xFF\x02\x01\x34\x12", 6)
                                                           : std::string("\xFF\xFF\x01\x02\x12\x34", 6);
    EXPECT_EQ(t.blocks[0].data.substr(0, 6), expected) << swap;
    EXPECT_EQ(t.blocks[0].data.size(), 32u);
  }
}

TEST_F(download_fixture, sends_blocks_of_2048_points_and_reports_progress_after_each) {
  fake_talmer &t = talmer_on(1);
  const auto points = ramp(5000);
  binary_i(points);
  std::vector<std::int64_t> sent;
  w.download_progress.observe([&](const progress &p) {
    if (!p.active()) return;
    EXPECT_EQ(p.channel(), 'I');
    EXPECT_EQ(p.total(), 5000);
    sent.push_back(p.done());
  });
  run();
  expect_success();
  EXPECT_EQ(sent, (std::vector<std::int64_t>{0, 2048, 4096, 5000}));
  ASSERT_EQ(t.blocks.size(), 1u);
  EXPECT_EQ(t.blocks[0].data, le_words(points));
}

TEST_F(download_fixture, sends_i_then_q_with_the_pauses_between) {
  fake_talmer &t = talmer_on(1);
  binary_i(ramp(20));
  binary_q(ramp(30));
  run();
  expect_success();
  ASSERT_EQ(t.blocks.size(), 2u);
  EXPECT_EQ(t.blocks[0].prefix, "mmem:data \"arbi:waveform1\", ");
  EXPECT_EQ(t.blocks[1].prefix, "mmem:data \"arbq:waveform1\", ");
  EXPECT_EQ(t.blocks[1].header, "#260");
  EXPECT_EQ(t.blocks[1].data, le_words(ramp(30)));
  // After the checks, before I, between the channels, before Q.
  EXPECT_EQ(pauses_of(1000), 4);
}

TEST_F(download_fixture, with_no_i_points_sends_only_q_after_the_pause) {
  fake_talmer &t = talmer_on(1);
  binary_q(ramp(16));
  run();
  expect_success();
  ASSERT_EQ(t.blocks.size(), 1u);
  EXPECT_EQ(t.blocks[0].prefix, "mmem:data \"arbq:waveform1\", ");
  EXPECT_EQ(pauses_of(1000), 3);
  EXPECT_NE(std::find(panel.begin(), panel.end(), std::make_pair(std::string("green"), std::string("Downloading Q waveform."))),
            panel.end());
}

TEST_F(download_fixture, waits_for_the_output_to_drain_after_every_group_and_byte) {
  talmer_on(1);
  fake_serial_line &l = line(1);
  l.drain_per_poll = 3;
  binary_i(ramp(1001));
  std::vector<std::int64_t> pending_before;  // unsent bytes at each data write
  auto inner = l.on_write;
  bool data_phase = false;
  l.on_write = [&](fake_serial_line &fl, std::string_view b) {
    if (data_phase) pending_before.push_back(fl.out_pending - static_cast<std::int64_t>(b.size()));
    if (b.substr(0, 1) == "#") data_phase = true;
    inner(fl, b);
  };
  run();
  expect_success();
  ASSERT_EQ(pending_before.size(), 128u);
  // Only the command head and header may still be queued before the first
  // group; after that nothing is written before the last write has gone.
  for (size_t i = 1; i < pending_before.size(); ++i) EXPECT_EQ(pending_before[i], 0) << i;
}

TEST_F(download_fixture, an_output_that_never_drains_fails_the_channel_after_60_seconds) {
  fake_talmer &t = talmer_on(1);
  fake_serial_line &l = line(1);
  binary_q(ramp(100));
  std::int64_t data_start = -1;
  auto inner = l.on_write;
  l.on_write = [&](fake_serial_line &fl, std::string_view b) {
    if (b.substr(0, 1) == "#") {
      data_start = os.clock_ms;
      fl.drain_per_poll = 0;  // the line stalls from here on
      fl.ms_per_poll = 1;
    }
    inner(fl, b);
  };
  run();
  expect_failure(" Error for Q download.");
  ASSERT_EQ(t.blocks.size(), 1u);
  EXPECT_EQ(t.blocks[0].data.size(), 16u);  // nothing more after the stalled group
  EXPECT_GE(os.clock_ms - data_start, 60000);
  EXPECT_LT(os.clock_ms - data_start, 61000);
}

TEST_F(download_fixture, holds_back_data_while_the_instrument_has_sent_xoff) {
  fake_talmer &t = talmer_on(1);
  t.xoff_every = 64;
  t.xon_after_ms = 50;
  fake_serial_line &l = line(1);
  const auto points = ramp(1001);
  binary_i(points);
  int writes_while_paused = 0;
  auto inner = l.on_write;
  l.on_write = [&](fake_serial_line &fl, std::string_view b) {
    if (!fl.later.empty()) ++writes_while_paused;  // an XON is still to come
    inner(fl, b);
  };
  run();
  expect_success();
  EXPECT_EQ(writes_while_paused, 0);
  EXPECT_EQ(t.xoffs, 2002 / 64);
  EXPECT_EQ(t.blocks[0].data, le_words(points));
  EXPECT_EQ(w.wait_for_talmer, vb_false);
}

TEST_F(download_fixture, an_xoff_without_xon_fails_the_channel_after_60_seconds) {
  fake_talmer &t = talmer_on(1);
  t.xoff_every = 32;
  t.xon_after_ms = -1;
  binary_i(ramp(100));
  binary_q(ramp(100));
  std::int64_t data_start = -1;
  auto inner = line(1).on_write;
  line(1).on_write = [&](fake_serial_line &fl, std::string_view b) {
    if (b.substr(0, 1) == "#") data_start = os.clock_ms;
    inner(fl, b);
  };
  run();
  expect_failure(" Error for I download.");
  ASSERT_EQ(t.blocks.size(), 1u);
  EXPECT_EQ(t.blocks[0].data.size(), 32u);
  EXPECT_GE(os.clock_ms - data_start, 60000);
  EXPECT_LT(os.clock_ms - data_start, 61000);
}

TEST_F(download_fixture, a_stale_xoff_from_an_earlier_download_does_not_block_the_next) {
  fake_talmer &t = talmer_on(1);
  w.wait_for_talmer = vb_true;
  binary_i(ramp(100));
  run();
  expect_success();
  EXPECT_EQ(t.blocks[0].data.size(), 200u);
  EXPECT_LT(os.clock_ms, 10000);
}

TEST_F(download_fixture, a_line_dropped_mid_transfer_fails_the_channel_at_once) {
  fake_talmer &t = talmer_on(1);
  binary_i(ramp(1001));
  binary_q(ramp(16));
  std::int64_t dropped_at = -1;
  auto inner = line(1).on_write;
  line(1).on_write = [&](fake_serial_line &fl, std::string_view b) {
    if (b.substr(0, 1) == "#") {
      fl.hang_up_after = static_cast<std::int64_t>(fl.written.size()) + 100;
      dropped_at = os.clock_ms;
    }
    inner(fl, b);
  };
  run();
  expect_failure(" Error for I download.");
  EXPECT_EQ(t.blocks.size(), 1u);
  EXPECT_EQ(t.blocks[0].data.size(), 100u);
  EXPECT_LT(os.clock_ms - dropped_at, 100);
}

TEST_F(download_fixture, a_source_that_vanished_fails_the_channel_before_its_command) {
  fake_talmer &t = talmer_on(1);
  binary_i(ramp(16));
  std::filesystem::remove(w.I_source.text());
  run();
  expect_failure(" Error for I download.");
  EXPECT_TRUE(t.blocks.empty());
}

TEST_F(download_fixture, a_source_shorter_than_its_count_fails_the_channel_without_stale_bytes) {
  fake_talmer &t = talmer_on(1);
  binary_i(ramp(3000));
  w.i_points = 5000;  // the file shrank after it was counted
  run();
  expect_failure(" Error for I download.");
  ASSERT_EQ(t.blocks.size(), 1u);
  EXPECT_EQ(t.blocks[0].data, le_words(ramp(2048)));
}

TEST_F(download_fixture, converted_awg_sources_send_msb_first_with_the_i_clock) {
  fake_talmer &t = talmer_on(1);
  // A 102-byte header whose clock field (bytes 56 to 59) reads 100 MHz.
  auto header = [](bool with_clock) {
    std::string h(102, ' ');
    const std::string clock = with_clock ? std::string("\x41\x97\xD7\x84", 4) : std::string(4, '\0');
    h.replace(56, 4, clock);
    return h;
  };
  // Words as the file stores them, most significant byte first: marker
  // bits 13 and 14 and a 12-bit value.
  std::string words = std::string("\x6F\xFE\x2F\xFE\x00\x01\x1F\xFF", 8) + std::string(24, '\0');
  w.I_source.set_text(write_file("i.wfm", header(true) + words));
  w.Q_source.set_text(write_file("q.wfm", header(false) + words));
  w.i_filetype = w.q_filetype = "AWG";
  w.i_points = w.q_points = 16;
  w.Swap.set_text("No");  // conversion swaps anyway
  run(true);
  expect_success();
  EXPECT_EQ(w.Messages.caption(), "Done with download.  Set ARB Sample Clock Frequency to  100 MHz.");
  ASSERT_EQ(t.blocks.size(), 2u);
  // Instrument points: markers to bits 14 and 15, the value to bits 2 to 13.
  EXPECT_EQ(t.blocks[0].data.substr(0, 8), std::string("\xFF\xF8\x7F\xF8\x00\x04\x3F\xFC", 8));
  // Q carries no markers.
  EXPECT_EQ(t.blocks[1].data.substr(0, 8), std::string("\x3F\xF8\x3F\xF8\x00\x04\x3F\xFC", 8));
}

TEST_F(download_fixture, invalid_ascii_points_are_reported_with_the_completion) {
  fake_talmer &t = talmer_on(1);
  std::string text = "1 -1 258 oops";
  for (int i = 0; i < 12; ++i) text += " 5";
  w.I_source.set_text(write_file("i.txt", text));
  w.i_filetype = "ASCII";
  w.i_points = 16;
  run(true);
  expect_success();
  EXPECT_EQ(w.Messages.caption(), "Done with download.\n\rOne or more data points invalid or out-of-range.");
  EXPECT_EQ(t.blocks[0].data.substr(0, 8), std::string("\x00\x01\xFF\xFF\x01\x02\x00\x00", 8));
}

TEST_F(download_fixture, an_ascii_file_sent_without_conversion_goes_as_raw_words) {
  fake_talmer &t = talmer_on(1);
  w.I_source.set_text(write_file("i.txt", "0123456789abcdefghijklmnopqrstuv"));
  w.i_filetype = "ASCII";
  w.i_points = 16;
  run(false);
  expect_success();
  EXPECT_EQ(t.blocks[0].data, "0123456789abcdefghijklmnopqrstuv");
  EXPECT_EQ(w.Messages.caption(), "Done with download.");
}

TEST_F(download_fixture, without_the_rules_of_the_other_subsystems_nothing_is_opened) {
  talmer_on(1);
  w.serial_parts = {};
  binary_i(ramp(16));
  run();
  EXPECT_TRUE(error_active);
  EXPECT_FALSE(error_text.empty());
  EXPECT_TRUE(os.serial_open_attempts.empty());
}

TEST_F(download_fixture, a_channel_longer_than_a_block_header_can_announce_is_refused_before_anything_is_sent) {
  fake_talmer &t = talmer_on(1);
  binary_i(ramp(16));
  binary_q(ramp(16));
  w.q_points = talmer::download::max_block_points + 1;  // a 10-digit byte count
  t.cat = "0,2000000000\n";                            // room enough
  run();
  expect_failure(talmer::download::too_long_text());
  EXPECT_TRUE(t.blocks.empty());
  EXPECT_EQ(lines[1]->written, "");
}
