// The serial instrument on a real pseudo-terminal, as the program's serial
// port sees it. Rates are high so the tests stay short; the marks and the
// drain under a slow rate are covered on a manual clock (serial_line_test).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

#include "serial/pty_server.h"
#include "sim_rig.h"

namespace talmer::sim {
namespace {

using testing::block_header;
using testing::pattern;
using testing::store_prefix;

struct served {
  settings s;
  std::unique_ptr<pty_server> server;
  std::thread thread;
  std::atomic<int> how{-1};

  explicit served(const std::function<void(settings &)> &tweak = {}) {
    s.serial.drain_rate = 1e6;
    s.serial.line_rate = 0;
    if (tweak) tweak(s);
    server = std::make_unique<pty_server>(s);
    thread = std::thread([this] { how = static_cast<int>(server->run()); });
  }
  void finish() {
    server->stop();
    thread.join();
  }
  ~served() {
    if (thread.joinable()) finish();
  }
};

int open_port(const std::string &path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return fd;
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

void write_all(int fd, const std::string &bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 100);
    }
  }
}

// Reads until `stop` has been seen (or the time is up).
std::string read_until(int fd, char stop, int ms = 2000) {
  std::string out;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) continue;
    char buf[256];
    const auto n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<std::size_t>(n));
    if (out.find(stop) != std::string::npos) break;
  }
  return out;
}

TEST(pty_server, answers_queries_and_survives_the_port_being_reopened) {
  served sim;
  int fd = open_port(sim.server->device());
  ASSERT_GE(fd, 0);
  write_all(fd, "*IDN?\n");
  EXPECT_EQ(read_until(fd, '\n'), sim.s.identity + "\n");
  ::close(fd);
  fd = open_port(sim.server->device());
  ASSERT_GE(fd, 0);
  write_all(fd, "*OPC?\n");
  EXPECT_EQ(read_until(fd, '\n'), "1\n");
  ::close(fd);
}

TEST(pty_server, stores_a_block_sent_in_groups_of_sixteen_bytes) {
  served sim([](settings &s) {
    s.serial.buffer_size = 1 << 20;
    s.serial.high_mark = 3 << 18;
  });
  const int fd = open_port(sim.server->device());
  const std::string data = pattern(10000);
  const std::string wire = store_prefix(channel::i, "Pty") + block_header(data.size()) + data + "\n";
  for (std::size_t k = 0; k < wire.size(); k += 16) write_all(fd, wire.substr(k, 16));
  write_all(fd, "*OPC?\n");
  EXPECT_EQ(read_until(fd, '\n'), "1\n");
  ::close(fd);
  sim.finish();
  const waveform *w = sim.server->model().find(channel::i, "Pty");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->data, data);
}

TEST(pty_server, a_host_that_keeps_sending_after_xoff_overruns_the_input_buffer) {
  served sim([](settings &s) {
    s.serial.buffer_size = 256;
    s.serial.high_mark = 192;
    s.serial.low_mark = 64;
    s.serial.drain_rate = 2000;
  });
  const int fd = open_port(sim.server->device());
  const std::string wire = store_prefix(channel::i, "Lost") + block_header(4000) + pattern(4000) + "\n";
  write_all(fd, wire.substr(0, 300));
  EXPECT_EQ(read_until(fd, XOFF), std::string(1, XOFF));
  write_all(fd, wire.substr(300));  // ignoring it
  EXPECT_NE(read_until(fd, XON, 5000).find(XON), std::string::npos);
  ::close(fd);
  sim.finish();
  EXPECT_GT(sim.server->line().overrun_bytes(), 3000u);
  EXPECT_EQ(sim.server->model().find(channel::i, "Lost"), nullptr);
}

TEST(pty_server, a_host_that_obeys_xoff_loses_nothing) {
  served sim([](settings &s) {
    s.serial.buffer_size = 256;
    s.serial.high_mark = 192;
    s.serial.low_mark = 64;
    s.serial.drain_rate = 100000;
    // On a loaded machine the simulator's thread may run late, so the host
    // can be well ahead of the XOFF when it is sent; a host that ignored
    // XOFF would still send far more than this.
    s.serial.xoff_slack = 4096;
  });
  const int fd = open_port(sim.server->device());
  const std::string data = pattern(20000, 7);
  const std::string wire = store_prefix(channel::i, "Paced") + block_header(data.size()) + data + "\n";
  bool paused = false;
  std::size_t sent = 0;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (sent < wire.size() && std::chrono::steady_clock::now() < give_up) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, paused ? 5 : 0) > 0) {
      char buf[64];
      const auto n = ::read(fd, buf, sizeof buf);
      for (ssize_t k = 0; k < n; ++k) {
        if (buf[k] == XOFF) paused = true;
        if (buf[k] == XON) paused = false;
      }
    }
    if (!paused) {
      write_all(fd, wire.substr(sent, 16));
      sent += 16;
    }
  }
  write_all(fd, "*OPC?\n");
  EXPECT_NE(read_until(fd, '1', 5000).find('1'), std::string::npos);
  ::close(fd);
  sim.finish();
  EXPECT_EQ(sim.server->line().overrun_bytes(), 0u);
  EXPECT_GT(sim.server->line().xoff_count(), 0u);
  const waveform *w = sim.server->model().find(channel::i, "Paced");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->data, data);
}

TEST(pty_server, a_dropped_link_closes_the_pseudo_terminal) {
  served sim([](settings &s) { s.faults.drop_after = 10; });
  const int fd = open_port(sim.server->device());
  write_all(fd, store_prefix(channel::i, "W") + block_header(100) + pattern(100) + "\n");
  sim.thread.join();
  EXPECT_EQ(sim.how, static_cast<int>(pty_server::ending::dropped));
  // The host sees the line hang up instead of waiting for ever.
  pollfd p{fd, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 2000), 1);
  EXPECT_TRUE(p.revents & (POLLHUP | POLLERR));
  char b;
  EXPECT_LE(::read(fd, &b, 1), 0);
  ::close(fd);
}

}  // namespace
}  // namespace talmer::sim
