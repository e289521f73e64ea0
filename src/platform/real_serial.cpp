// Serial devices over termios. The descriptor is non-blocking with VMIN 1,
// so an empty receive buffer reads as EAGAIN and a read of 0 bytes means
// the line hung up (a pseudo-terminal whose other end closed, an adapter
// that was unplugged).
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/platform.h"

namespace talmer::platform {

serial_error serial_error_from_errno(int err, serial_stage stage) {
  switch (err) {
    case 0:
      return serial_error::none;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTTY:
    case ENOTDIR:
    case EISDIR:
      return serial_error::no_device;
    case EACCES:
    case EPERM:
    case EROFS:
      return serial_error::permission_denied;
    case EBUSY:
      return serial_error::busy;
    case EIO:
      // A serial port whose hardware is missing fails its open with EIO;
      // on an open port EIO means the line went away.
      return stage == serial_stage::opening ? serial_error::no_device : serial_error::hung_up;
    case EPIPE:
    case ENOLINK:
      return serial_error::hung_up;
    case ETIMEDOUT:
      return serial_error::timed_out;
    default:
      return serial_error::io_error;
  }
}

const char *serial_error_text(serial_error e) {
  switch (e) {
    case serial_error::none: return "no error";
    case serial_error::no_device: return "no such serial device";
    case serial_error::permission_denied: return "permission denied";
    case serial_error::busy: return "device busy";
    case serial_error::hung_up: return "line hung up";
    case serial_error::timed_out: return "write timed out";
    case serial_error::io_error: return "input/output error";
  }
  return "input/output error";
}

namespace {

class termios_device : public serial_device {
 public:
  explicit termios_device(int fd) : fd_(fd) {}
  ~termios_device() override { ::close(fd_); }
  termios_device(const termios_device &) = delete;
  termios_device &operator=(const termios_device &) = delete;

  int descriptor() const override { return fd_; }

  serial_error bytes_waiting(std::int64_t &count) override {
    int n = 0;
    if (::ioctl(fd_, FIONREAD, &n) != 0) return using_error(errno);
    if (n == 0 && hung_up()) return serial_error::hung_up;
    count = n;
    return serial_error::none;
  }

  serial_error read_waiting(std::string &data) override {
    char buf[4096];
    for (;;) {
      ssize_t r = ::read(fd_, buf, sizeof buf);
      if (r > 0) {
        data.append(buf, static_cast<size_t>(r));
        continue;
      }
      if (r == 0) return serial_error::hung_up;
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return serial_error::none;
      return using_error(errno);
    }
  }

  serial_error write_all(std::string_view data, std::int64_t timeout_ms) override {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!data.empty()) {
      ssize_t r = ::write(fd_, data.data(), data.size());
      if (r > 0) {
        data.remove_prefix(static_cast<size_t>(r));
        continue;
      }
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return using_error(errno);
      // The driver's buffer is full: wait for room, up to the deadline.
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
      if (left <= 0) return serial_error::timed_out;
      pollfd p{fd_, POLLOUT, 0};
      int pr = ::poll(&p, 1, static_cast<int>(left > 1000 ? 1000 : left));
      if (pr < 0 && errno != EINTR) return using_error(errno);
      if (pr > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return serial_error::hung_up;
    }
    return serial_error::none;
  }

  serial_error output_pending(std::int64_t &count) override {
    int n = 0;
    if (::ioctl(fd_, TIOCOUTQ, &n) != 0) return using_error(errno);
    count = n;
    return serial_error::none;
  }

 private:
  static serial_error using_error(int err) { return serial_error_from_errno(err, serial_stage::using_port); }

  bool hung_up() const {
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  }

  int fd_;
};

}  // namespace

std::unique_ptr<serial_device> real_os::open_serial(const std::string &path, serial_error &error) {
  error = serial_error::none;
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = serial_error_from_errno(errno, serial_stage::opening);
    return nullptr;
  }
  termios t{};
  if (::tcgetattr(fd, &t) != 0) {
    error = serial_error_from_errno(errno, serial_stage::opening);
    ::close(fd);
    return nullptr;
  }
  // Raw bytes both ways; the program itself tracks the instrument's XON
  // and XOFF, so the driver must neither act on them nor send its own.
  ::cfmakeraw(&t);
  ::cfsetispeed(&t, B19200);
  ::cfsetospeed(&t, B19200);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (::tcsetattr(fd, TCSANOW, &t) != 0) {
    error = serial_error_from_errno(errno, serial_stage::opening);
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<termios_device>(fd);
}

}  // namespace talmer::platform
