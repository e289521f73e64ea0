#include "serial/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace talmer::sim {

namespace {

constexpr std::size_t max_pending = 1 << 16;  // bytes for the host held while it does not read

std::runtime_error os_error(const std::string &what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

pty_server::pty_server(const settings &s) : s_(s) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) throw os_error("posix_openpt");
  if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
    const auto e = os_error("grantpt/unlockpt");
    close_pty();
    throw e;
  }
  char name[128];
  if (ptsname_r(master_, name, sizeof name) != 0) {
    const auto e = os_error("ptsname");
    close_pty();
    throw e;
  }
  device_ = name;
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) {
    const auto e = os_error("open " + device_);
    close_pty();
    throw e;
  }
  // A raw line: no echo, no line editing, no translation of CR/LF, and no
  // flow control by the terminal driver (XON/XOFF are data the host reads).
  termios t{};
  tcgetattr(slave_, &t);
  cfmakeraw(&t);
  cfsetispeed(&t, B19200);
  cfsetospeed(&t, B19200);
  tcsetattr(slave_, TCSANOW, &t);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    const auto e = os_error("pipe");
    close_pty();
    throw e;
  }
  inst_ = std::make_unique<instrument>(s_, clock_, link_kind::rs232);
  line_ = std::make_unique<serial_line>(*inst_, s_.serial, s_.faults.xoff_stuck, clock_);
  if (!s_.wire_log_path.empty()) {
    wire_log_ = std::fopen(s_.wire_log_path.c_str(), "a");
    if (wire_log_ != nullptr)
      inst_->log().set_sink([f = wire_log_](const wire_record &r) {
        std::fprintf(f, "rs232 - %s\n", wire_log::format(r).c_str());
        std::fflush(f);
      });
  }
}

pty_server::~pty_server() {
  if (inst_) inst_->log().close_record();
  if (inst_) inst_->log().set_sink(nullptr);
  if (wire_log_ != nullptr) std::fclose(wire_log_);
  close_pty();
  for (int &fd : wake_)
    if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
}

void pty_server::close_pty() {
  if (slave_ >= 0) ::close(slave_);
  if (master_ >= 0) ::close(master_);
  slave_ = master_ = -1;
}

void pty_server::stop() {
  const char b = 1;
  [[maybe_unused]] const auto n = ::write(wake_[1], &b, 1);
}

pty_server::ending pty_server::run() {
  std::string pending;  // bytes for the host the pseudo-terminal has not taken yet
  char buf[65536];
  for (;;) {
    line_->advance();
    pending += line_->take_output();
    // A host that does not read loses what does not fit, as on a real line.
    if (pending.size() > max_pending) pending.resize(max_pending);
    while (!pending.empty()) {
      const auto n = ::write(master_, pending.data(), pending.size());
      if (n <= 0) break;
      pending.erase(0, static_cast<std::size_t>(n));
    }
    if (line_->dropped()) {
      inst_->log().close_record();
      close_pty();
      return ending::dropped;
    }
    int timeout = -1;
    if (const auto next = line_->next_event_ms()) {
      const auto wait = *next - clock_.now_ms();
      timeout = wait <= 0 ? 0 : static_cast<int>(std::min<std::int64_t>(wait, 1000));
    }
    if (!pending.empty() && (timeout < 0 || timeout > 10)) timeout = 10;
    pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    const int r = ::poll(fds, 2, timeout);
    if (r < 0 && errno != EINTR) throw os_error("poll");
    if (r > 0 && (fds[1].revents & POLLIN)) return ending::stopped;
    if (r > 0 && (fds[0].revents & POLLIN)) {
      for (;;) {
        const auto n = ::read(master_, buf, sizeof buf);
        if (n <= 0) break;
        line_->arrive(std::string_view(buf, static_cast<std::size_t>(n)));
        if (line_->dropped()) break;
      }
    }
  }
}

}  // namespace talmer::sim
