// The termios serial device on a real pseudo-terminal pair: the line
// settings, raw bytes both ways (XON and XOFF untouched), the counts, the
// hang-up of the far end, and devices that are not there. The far end here
// is the pair's master side held by the test.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/platform.h"
#include "serial/serial_rules.h"
#include "ui/talmer_arb.h"

using namespace talmer::platform;

namespace {

struct pty_fixture : ::testing::Test {
  int master = -1;
  std::string slave;
  real_os os;

  void SetUp() override {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    slave = ptsname(master);
    // The master side stays raw too, so the test sees the bytes as sent.
    termios t{};
    ASSERT_EQ(tcgetattr(master, &t), 0);
    cfmakeraw(&t);
    ASSERT_EQ(tcsetattr(master, TCSANOW, &t), 0);
  }
  void TearDown() override {
    if (master >= 0) close(master);
  }
  void close_master() {
    close(master);
    master = -1;
  }
  // Waits (for real, bounded) until `fd` is readable.
  static bool readable(int fd, int timeout_ms = 2000) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeout_ms) > 0;
  }
  std::string read_master(size_t n) {
    std::string got;
    char buf[512];
    while (got.size() < n && readable(master)) {
      ssize_t r = read(master, buf, sizeof buf);
      if (r <= 0) break;
      got.append(buf, static_cast<size_t>(r));
    }
    return got;
  }
  static std::string all_bytes() {
    std::string s;
    for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
    return s;
  }
};

}  // namespace

TEST_F(pty_fixture, opens_raw_at_19200_8n1_without_flow_control_by_the_driver) {
  serial_error e = serial_error::io_error;
  auto dev = os.open_serial(slave, e);
  ASSERT_TRUE(dev) << serial_error_text(e);
  EXPECT_EQ(e, serial_error::none);
  termios t{};
  ASSERT_EQ(tcgetattr(dev->descriptor(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B19200));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_NE(t.c_cflag & CLOCAL, 0u);
  EXPECT_NE(t.c_cflag & CREAD, 0u);
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | ISTRIP), 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_cc[VMIN], 1);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_NE(fcntl(dev->descriptor(), F_GETFL) & O_NONBLOCK, 0);
}

TEST_F(pty_fixture, carries_every_byte_value_both_ways_unchanged) {
  serial_error e{};
  auto dev = os.open_serial(slave, e);
  ASSERT_TRUE(dev);
  std::int64_t n = -1;
  EXPECT_EQ(dev->bytes_waiting(n), serial_error::none);
  EXPECT_EQ(n, 0);
  std::string none;
  EXPECT_EQ(dev->read_waiting(none), serial_error::none);  // nothing waiting is no error
  EXPECT_EQ(none, "");

  const std::string bytes = all_bytes();
  ASSERT_EQ(write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  std::string got;
  while (got.size() < bytes.size() && readable(dev->descriptor())) {
    ASSERT_EQ(dev->read_waiting(got), serial_error::none);
  }
  EXPECT_EQ(got, bytes);

  EXPECT_EQ(dev->write_all(bytes, 1000), serial_error::none);
  EXPECT_EQ(read_master(bytes.size()), bytes);
  EXPECT_EQ(dev->output_pending(n), serial_error::none);
  EXPECT_EQ(n, 0);
}

TEST_F(pty_fixture, a_far_end_that_closes_is_a_hang_up_on_every_call) {
  serial_error e{};
  auto dev = os.open_serial(slave, e);
  ASSERT_TRUE(dev);
  close_master();
  std::int64_t n = 5;
  EXPECT_EQ(dev->bytes_waiting(n), serial_error::hung_up);
  std::string data;
  EXPECT_EQ(dev->read_waiting(data), serial_error::hung_up);
  EXPECT_EQ(dev->write_all("x", 1000), serial_error::hung_up);
  EXPECT_EQ(dev->output_pending(n), serial_error::hung_up);
}

TEST_F(pty_fixture, paths_without_a_serial_device_are_no_device) {
  const auto dir = std::filesystem::temp_directory_path() / ("talmer-tty-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto file = dir / "plain";
  { FILE *f = fopen(file.c_str(), "w"); ASSERT_NE(f, nullptr); fclose(f); }
  for (const std::string &p : {std::string("/dev/ttyS-none"), dir.string(), file.string()}) {
    serial_error e = serial_error::none;
    EXPECT_EQ(os.open_serial(p, e), nullptr) << p;
    EXPECT_EQ(e, serial_error::no_device) << p;
  }
  std::filesystem::remove_all(dir);
}

TEST_F(pty_fixture, a_device_the_user_may_not_open_is_permission_denied) {
  if (geteuid() == 0) GTEST_SKIP() << "root may open any device";
  ASSERT_EQ(chmod(slave.c_str(), 0), 0);
  serial_error e = serial_error::none;
  EXPECT_EQ(os.open_serial(slave, e), nullptr);
  EXPECT_EQ(e, serial_error::permission_denied);
}

TEST_F(pty_fixture, the_window_port_reaches_the_device_named_by_the_environment) {
  ASSERT_EQ(setenv("TALMER_ARB_COMM2", slave.c_str(), 1), 0);
  talmer::ui::TALMER_ARB w(os);
  w.rs232.set_CommPort(2);
  EXPECT_EQ(w.rs232.set_PortOpen(true), talmer::serial::comm_error::none);
  unsetenv("TALMER_ARB_COMM2");
  ASSERT_TRUE(w.rs232.PortOpen());
  EXPECT_GE(w.rs232.descriptor(), 0);

  // A query out, its reply back through the reply wait (real 10 ms ticks).
  EXPECT_EQ(w.rs232.Output("*IDN?\n"), talmer::serial::comm_error::none);
  EXPECT_EQ(read_master(6), "*IDN?\n");
  ASSERT_EQ(write(master, "Talmer-D\n", 9), 9);
  bool answer = false;
  w.wait_answer(250, answer);
  EXPECT_TRUE(answer);
  EXPECT_EQ(w.rs232.Input(), "Talmer-D\n");

  // XOFF and XON arrive as bytes and reach the receive reaction.
  w.rs232.set_RThreshold(1);
  const char off = talmer::serial::XOFF;
  ASSERT_EQ(write(master, &off, 1), 1);
  ASSERT_TRUE(readable(w.rs232.descriptor()));
  w.rs232.poll_receive();
  EXPECT_EQ(w.wait_for_talmer, talmer::ui::vb_true);

  // The far end goes away: lost contact, no hang.
  close_master();
  std::int64_t n = 0;
  EXPECT_EQ(w.rs232.InBufferCount(n), talmer::serial::comm_error::lost_contact);
  EXPECT_TRUE(w.rs232.lost());
  w.rs232.poll_receive();
  w.rs232.set_PortOpen(false);
  EXPECT_FALSE(w.rs232.PortOpen());
}
