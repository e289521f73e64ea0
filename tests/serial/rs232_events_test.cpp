// The serial port component over a fake line, the reply wait counted in
// ticks of the fake clock, and the receive reaction's XON/XOFF tracking.
#include <gtest/gtest.h>

#include "platform/fake_os.h"
#include "serial/serial_port.h"
#include "serial/serial_rules.h"
#include "ui/talmer_arb.h"

using namespace talmer::ui;
using talmer::platform::fake_os;
using talmer::platform::fake_serial_line;
using talmer::platform::serial_error;
using talmer::serial::comm_error;

namespace {

struct port_fixture : ::testing::Test {
  fake_os os;
  TALMER_ARB w{os};
  std::shared_ptr<fake_serial_line> line = std::make_shared<fake_serial_line>();

  void SetUp() override {
    os.use_real_files = false;
    line->clock = &os;
    os.serial_lines["/dev/ttyS0"] = line;
  }
  void open_port(int port = 1) {
    ASSERT_EQ(w.rs232.set_CommPort(port), comm_error::none);
    ASSERT_EQ(w.rs232.set_PortOpen(true), comm_error::none);
  }
  int ten_ms_sleeps() const { return static_cast<int>(std::count(os.sleeps.begin(), os.sleeps.end(), 10)); }
};

}  // namespace

// ---- The component ---------------------------------------------------------

TEST_F(port_fixture, opens_the_device_of_its_port_number_or_the_one_the_environment_names) {
  open_port(1);
  EXPECT_TRUE(w.rs232.PortOpen());
  EXPECT_EQ(line->opens, 1);
  EXPECT_EQ(w.rs232.set_CommPort(2), comm_error::port_already_open);
  EXPECT_EQ(w.rs232.set_PortOpen(true), comm_error::port_already_open);
  EXPECT_EQ(w.rs232.set_PortOpen(false), comm_error::none);
  EXPECT_EQ(line->closes, 1);

  os.environment["TALMER_ARB_COMM3"] = "/tmp/adapter";
  os.serial_lines["/tmp/adapter"] = line;
  open_port(3);
  EXPECT_EQ(w.rs232.last_device(), "/tmp/adapter");
  EXPECT_EQ(line->opens, 2);
}

TEST_F(port_fixture, reports_a_missing_device_as_invalid_port_and_a_refused_one_as_permission_denied) {
  w.rs232.set_CommPort(2);
  EXPECT_EQ(w.rs232.set_PortOpen(true), comm_error::invalid_port);
  EXPECT_EQ(static_cast<int>(w.rs232.pending_error()), 8002);
  EXPECT_EQ(w.rs232.last_device(), "/dev/ttyS1");
  w.rs232.set_CommPort(5);
  EXPECT_EQ(w.rs232.set_PortOpen(true), comm_error::invalid_port);
  os.serial_open_errors["/dev/ttyS2"] = serial_error::permission_denied;
  w.rs232.set_CommPort(3);
  EXPECT_EQ(w.rs232.set_PortOpen(true), comm_error::permission_denied);
  EXPECT_FALSE(w.rs232.PortOpen());
  w.rs232.clear_error();
  EXPECT_EQ(w.rs232.pending_error(), comm_error::none);
}

TEST_F(port_fixture, counts_reads_and_writes_through_the_device) {
  open_port();
  std::int64_t n = -5;
  EXPECT_EQ(w.rs232.InBufferCount(n), comm_error::none);
  EXPECT_EQ(n, 0);
  line->deliver("abc");
  w.rs232.InBufferCount(n);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(w.rs232.Input(), "abc");
  EXPECT_EQ(w.rs232.Output("*IDN?\n"), comm_error::none);
  const std::uint8_t bytes[] = {0, 255, 19};
  EXPECT_EQ(w.rs232.Output(std::span<const std::uint8_t>(bytes)), comm_error::none);
  EXPECT_EQ(line->written, std::string("*IDN?\n\0\xFF\x13", 9));
  line->drain_per_poll = 4;
  EXPECT_EQ(w.rs232.OutBufferCount(n), comm_error::none);
  EXPECT_EQ(n, 5);
}

TEST_F(port_fixture, a_line_that_hangs_up_is_lost_contact_and_closing_clears_it) {
  open_port();
  int changes = 0;
  w.rs232.observe([&](talmer::ui::control &, change c) { changes += c == change::content; });
  line->hung_up = true;
  std::int64_t n = 7;
  EXPECT_EQ(w.rs232.InBufferCount(n), comm_error::lost_contact);
  EXPECT_EQ(n, 7);  // keeps its value on an error
  EXPECT_TRUE(w.rs232.lost());
  EXPECT_EQ(w.rs232.Output("x"), comm_error::lost_contact);
  EXPECT_EQ(w.rs232.Input(), "");
  EXPECT_EQ(w.rs232.descriptor(), -1);
  EXPECT_EQ(changes, 1);
  w.rs232.set_PortOpen(false);
  EXPECT_FALSE(w.rs232.lost());
  EXPECT_EQ(changes, 2);
}

TEST_F(port_fixture, operations_on_a_closed_port_fail_without_touching_a_device) {
  std::int64_t n = 3;
  EXPECT_EQ(w.rs232.InBufferCount(n), comm_error::port_not_open);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(w.rs232.Output("x"), comm_error::port_not_open);
  EXPECT_EQ(w.rs232.OutBufferCount(n), comm_error::port_not_open);
  EXPECT_EQ(w.rs232.set_PortOpen(false), comm_error::none);
  EXPECT_TRUE(os.serial_open_attempts.empty());
}

TEST_F(port_fixture, receive_notifications_come_only_while_the_threshold_is_above_zero) {
  open_port();
  line->deliver(std::string(1, talmer::serial::XOFF));
  w.rs232.poll_receive();
  EXPECT_EQ(w.wait_for_talmer, vb_false);
  EXPECT_EQ(w.rs232.CommEvent(), talmer::serial::comEvNone);
  w.rs232.set_RThreshold(1);
  w.rs232.poll_receive();
  EXPECT_EQ(w.rs232.CommEvent(), talmer::serial::comEvReceive);
  EXPECT_EQ(w.wait_for_talmer, vb_true);
  EXPECT_EQ(os.process_events_calls, 1);
  // Nothing waiting: no notification.
  w.rs232.poll_receive();
  EXPECT_EQ(os.process_events_calls, 1);
}

// ---- rs232_OnComm ----------------------------------------------------------

TEST_F(port_fixture, on_comm_looks_at_every_byte_of_a_group) {
  struct row {
    std::string group;
    std::int16_t before, after;
  };
  const std::string off(1, talmer::serial::XOFF), on(1, talmer::serial::XON);
  open_port();
  w.rs232.set_RThreshold(1);
  for (const row &r : {row{off + on, vb_true, vb_false}, row{on + off, vb_false, vb_true},
                       row{"\r" + on, vb_true, vb_false}, row{off + "other bytes", vb_false, vb_true},
                       row{"no flow bytes", vb_true, vb_true}, row{on, vb_true, vb_false}}) {
    w.wait_for_talmer = r.before;
    line->deliver(r.group);
    w.rs232.poll_receive();
    EXPECT_EQ(w.wait_for_talmer, r.after) << ::testing::PrintToString(r.group);
    EXPECT_TRUE(line->input.empty());  // the whole group was taken
  }
}

TEST_F(port_fixture, on_comm_ignores_other_events_and_an_empty_receive) {
  open_port();
  line->deliver(std::string(1, talmer::serial::XOFF));
  w.rs232_OnComm();  // CommEvent is not a receive event
  EXPECT_EQ(w.wait_for_talmer, vb_false);
  EXPECT_EQ(line->input.size(), 1u);
  w.rs232.set_RThreshold(1);
  w.rs232.poll_receive();
  EXPECT_EQ(w.wait_for_talmer, vb_true);
  // A receive event that finds nothing waiting changes nothing.
  w.rs232_OnComm();
  EXPECT_EQ(w.wait_for_talmer, vb_true);
  // Nor does one whose line has gone.
  line->hung_up = true;
  w.rs232_OnComm();
  EXPECT_EQ(w.wait_for_talmer, vb_true);
}

// ---- wait_answer -----------------------------------------------------------

TEST_F(port_fixture, wait_answer_without_any_reply_runs_out_after_the_limit) {
  open_port();
  bool answer = true;
  w.wait_answer(200, answer);
  EXPECT_FALSE(answer);
  EXPECT_EQ(ten_ms_sleeps(), 20);
  EXPECT_EQ(os.clock_ms, 200);
}

TEST_F(port_fixture, wait_answer_ends_one_tick_after_the_reply_came_to_rest) {
  open_port();
  line->deliver_after(30, "Talmer-D,");
  line->deliver_after(40, "K902\n");
  bool answer = false;
  w.wait_answer(250, answer);
  EXPECT_TRUE(answer);
  EXPECT_EQ(os.clock_ms, 50);
  EXPECT_EQ(line->input, "Talmer-D,K902\n");  // left for Input
}

TEST_F(port_fixture, wait_answer_counts_a_reply_that_is_already_waiting_after_two_ticks) {
  open_port();
  line->deliver("1\n");
  bool answer = false;
  w.wait_answer(200, answer);
  EXPECT_TRUE(answer);
  EXPECT_EQ(ten_ms_sleeps(), 2);
}

TEST_F(port_fixture, wait_answer_gives_false_for_a_reply_still_arriving_at_the_time_out) {
  open_port();
  for (int t = 10; t <= 400; t += 10) line->deliver_after(t, "x");
  bool answer = true;
  w.wait_answer(200, answer);
  EXPECT_FALSE(answer);
  EXPECT_EQ(ten_ms_sleeps(), 20);
  EXPECT_FALSE(line->input.empty());
}

TEST_F(port_fixture, wait_answer_lets_the_tick_limit_win_a_tie) {
  // One byte a tick up to tick 19: the reply is at rest at tick 20, which is
  // also the last tick of a 200 ms wait.
  for (int timeout : {200, 210}) {
    open_port();
    line->later.clear();
    line->input.clear();
    const std::int64_t start = os.clock_ms;
    for (int t = 10; t <= 190; t += 10) line->deliver_after(t, "x");
    bool answer = timeout == 200;
    w.wait_answer(timeout, answer);
    EXPECT_EQ(answer, timeout == 210) << timeout;
    EXPECT_EQ(os.clock_ms - start, 200) << timeout;
    w.rs232.set_PortOpen(false);
  }
}

TEST_F(port_fixture, wait_answer_with_a_limit_of_zero_returns_at_once) {
  open_port();
  line->deliver("ready\n");
  for (double timeout : {5.0, 0.0, -1.0}) {
    bool answer = true;
    w.wait_answer(timeout, answer);
    EXPECT_FALSE(answer) << timeout;
  }
  EXPECT_TRUE(os.sleeps.empty());
  // 25 ms is 2.5 ticks, rounded to 2: the reply is at rest on the second
  // tick, which is also the last.
  bool answer = true;
  w.wait_answer(25, answer);
  EXPECT_FALSE(answer);
  EXPECT_EQ(ten_ms_sleeps(), 2);
}

TEST_F(port_fixture, wait_answer_on_a_port_that_is_not_open_times_out_quietly) {
  bool answer = true;
  w.wait_answer(100, answer);
  EXPECT_FALSE(answer);
  EXPECT_EQ(ten_ms_sleeps(), 10);
}
