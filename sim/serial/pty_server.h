// The serial instrument on a pseudo-terminal: the simulator holds the
// master side, the product opens the slave side as its serial port. The
// server reads everything the host writes at once (a pseudo-terminal has no
// line rate and hides ~20 KB in kernel buffers), and models the line, the
// instrument's input buffer and XON/XOFF itself (serial_line). It keeps its
// own descriptor of the slave open so that the host may close and reopen the
// port between downloads.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "model/clock.h"
#include "model/instrument.h"
#include "model/serial_line.h"
#include "model/settings.h"

namespace talmer::sim {

class pty_server {
 public:
  // Opens the pseudo-terminal; throws std::runtime_error when it cannot.
  explicit pty_server(const settings &s);
  ~pty_server();
  pty_server(const pty_server &) = delete;
  pty_server &operator=(const pty_server &) = delete;

  // The device path the host opens (/dev/pts/N).
  const std::string &device() const { return device_; }

  enum class ending { stopped, dropped };
  // Serves until stop() is called (from any thread or a signal handler) or
  // the link drops (fault); a dropped link closes the pseudo-terminal.
  ending run();
  void stop();

  // Only while run() is not running (or from its thread).
  instrument &model() { return *inst_; }
  serial_line &line() { return *line_; }

 private:
  void close_pty();

  settings s_;
  scaled_clock clock_{1.0};
  std::unique_ptr<instrument> inst_;
  std::unique_ptr<serial_line> line_;
  std::string device_;
  int master_ = -1;
  int slave_ = -1;
  int wake_[2] = {-1, -1};
  std::FILE *wire_log_ = nullptr;
};

}  // namespace talmer::sim
