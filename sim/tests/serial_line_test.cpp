// The instrument's end of the serial line on a manual clock: the input
// buffer, its drain, XON/XOFF at the marks, overruns, reply pacing, stalls.
#include <gtest/gtest.h>

#include "model/serial_line.h"
#include "sim_rig.h"

namespace talmer::sim {
namespace {

using testing::block_header;
using testing::pattern;
using testing::store_prefix;

struct line_rig {
  manual_clock clock;
  settings s;
  std::unique_ptr<instrument> inst;
  std::unique_ptr<serial_line> line;

  explicit line_rig(const std::function<void(settings &)> &tweak = {}) {
    s.serial.buffer_size = 100;
    s.serial.high_mark = 75;
    s.serial.low_mark = 25;
    s.serial.drain_rate = 1000;  // one byte per millisecond
    s.serial.line_rate = 0;
    if (tweak) tweak(s);
    inst = std::make_unique<instrument>(s, clock, link_kind::rs232);
    line = std::make_unique<serial_line>(*inst, s.serial, s.faults.xoff_stuck, clock);
  }
  void pass(std::int64_t ms) {
    for (std::int64_t k = 0; k < ms; ++k) {
      clock.advance(1);
      line->advance();
    }
  }
};

TEST(serial_line, sends_xoff_above_the_high_mark_and_xon_below_the_low_mark) {
  line_rig r;
  r.line->arrive(std::string(75, ' '));
  EXPECT_EQ(r.line->take_output(), "");  // at the mark, not above it
  r.line->arrive(" ");
  EXPECT_EQ(r.line->take_output(), std::string(1, XOFF));
  EXPECT_TRUE(r.line->holding());
  r.pass(51);  // 76 - 51 = 25: not yet below the low mark
  EXPECT_EQ(r.line->buffered(), 25u);
  EXPECT_EQ(r.line->take_output(), "");
  r.pass(1);
  EXPECT_EQ(r.line->take_output(), std::string(1, XON));
  EXPECT_FALSE(r.line->holding());
  EXPECT_EQ(r.line->xoff_count(), 1u);
  EXPECT_EQ(r.line->xon_count(), 1u);
  EXPECT_EQ(r.inst->log().sent(), std::string(1, XOFF) + std::string(1, XON));
}

TEST(serial_line, keeps_what_the_host_sent_before_the_xoff_could_reach_it) {
  line_rig r;
  r.line->arrive(std::string(150, ' '));  // a host that ran ahead of the line
  EXPECT_EQ(r.line->buffered(), 150u);
  EXPECT_EQ(r.line->overrun_bytes(), 0u);
  EXPECT_EQ(r.line->take_output(), std::string(1, XOFF));
  EXPECT_EQ(r.line->peak(), 150u);
}

TEST(serial_line, loses_and_counts_bytes_sent_while_xoff_is_in_force_and_the_buffer_is_full) {
  line_rig r([](settings &s) { s.serial.xoff_slack = 8; });
  const std::string data = pattern(130);
  r.line->arrive(store_prefix(channel::i, "W") + block_header(130) + data.substr(0, 60));  // 85 bytes
  ASSERT_EQ(r.line->take_output(), std::string(1, XOFF));
  // 8 bytes of slack, then room for 7 more, then 56 are lost.
  r.line->arrive(data.substr(60) + "\n");
  EXPECT_EQ(r.line->buffered(), 100u);
  EXPECT_EQ(r.line->overrun_bytes(), 56u);
  r.pass(6000);
  EXPECT_EQ(r.inst->find(channel::i, "W"), nullptr);
  EXPECT_FALSE(r.inst->errors().empty());
  EXPECT_EQ(r.line->peak(), 100u);
}

TEST(serial_line, xoff_stuck_never_sends_xon) {
  line_rig r([](settings &s) { s.faults.xoff_stuck = true; });
  r.line->arrive(std::string(80, ' '));
  EXPECT_EQ(r.line->take_output(), std::string(1, XOFF));
  r.pass(200);
  EXPECT_EQ(r.line->buffered(), 0u);
  EXPECT_EQ(r.line->take_output(), "");
  EXPECT_TRUE(r.line->holding());
}

// A host that sends 16 bytes at a time and pauses while XOFF is in force,
// as the serial download does, against a slow drain: every byte arrives in
// order and nothing overruns.
TEST(serial_line, a_host_that_obeys_xoff_loses_nothing_under_a_slow_drain) {
  line_rig r([](settings &s) {
    s.serial.buffer_size = 256;
    s.serial.high_mark = 192;
    s.serial.low_mark = 64;
    s.serial.drain_rate = 500;
  });
  const std::string data = pattern(5000);
  const std::string wire = store_prefix(channel::i, "Slow") + block_header(data.size()) + data + "\n";
  bool paused = false;
  std::size_t sent = 0;
  while (sent < wire.size()) {
    for (char c : r.line->take_output()) {
      if (c == XOFF) paused = true;
      if (c == XON) paused = false;
    }
    if (!paused) {
      const auto n = std::min<std::size_t>(16, wire.size() - sent);
      r.line->arrive(wire.substr(sent, n));
      sent += n;
    }
    r.pass(1);
  }
  r.pass(1000);
  EXPECT_EQ(r.line->overrun_bytes(), 0u);
  EXPECT_GT(r.line->xoff_count(), 10u);
  EXPECT_EQ(r.line->xoff_count(), r.line->xon_count());
  EXPECT_LE(r.line->peak(), 256u);
  const waveform *w = r.inst->find(channel::i, "Slow");
  ASSERT_NE(w, nullptr) << (r.inst->errors().empty() ? "" : r.inst->errors().back().text);
  EXPECT_EQ(w->data, data);
}

TEST(serial_line, the_instrument_sees_bytes_only_at_the_drain_rate) {
  line_rig r;
  r.line->arrive("*OPC?\n");
  EXPECT_EQ(r.line->take_output(), "");
  r.pass(5);
  EXPECT_FALSE(r.inst->has_output());
  r.pass(1);
  EXPECT_EQ(r.line->take_output(), "1\n");
}

TEST(serial_line, paces_replies_at_the_line_rate) {
  line_rig r([](settings &s) {
    s.serial.line_rate = 100;  // one byte per 10 ms
    s.serial.drain_rate = 100000;
  });
  r.line->arrive("*IDN?\n");
  r.pass(1);
  std::string got = r.line->take_output();
  EXPECT_EQ(got.size(), 1u);  // the first byte goes at once
  for (int k = 0; k < 10; ++k) {
    r.pass(10);
    got += r.line->take_output();
  }
  EXPECT_EQ(got.size(), 11u);
  EXPECT_EQ(got, (r.s.identity + "\n").substr(0, 11));
  ASSERT_TRUE(r.line->next_event_ms().has_value());
}

TEST(serial_line, gives_up_on_a_message_that_stalls) {
  line_rig r([](settings &s) { s.serial.message_timeout_ms = 300; });
  r.line->arrive(store_prefix(channel::i, "W") + block_header(32) + pattern(10));
  r.pass(100);
  EXPECT_TRUE(r.inst->mid_message());
  EXPECT_EQ(r.line->next_event_ms(), 300);  // counted from the last byte that arrived
  r.pass(200);
  EXPECT_FALSE(r.inst->mid_message());
  EXPECT_EQ(r.inst->errors().back().code, -160);
  r.line->arrive("*OPC?\n");
  r.pass(10);
  EXPECT_EQ(r.line->take_output(), "1\n");
}

TEST(serial_line, stops_when_the_link_drops) {
  line_rig r([](settings &s) { s.faults.drop_after = 10; });
  r.line->arrive(store_prefix(channel::i, "W") + block_header(32) + pattern(32) + "\n");
  r.pass(100);
  EXPECT_TRUE(r.line->dropped());
  EXPECT_EQ(r.line->take_output(), "");
  EXPECT_FALSE(r.line->next_event_ms().has_value());
}

}  // namespace
}  // namespace talmer::sim
