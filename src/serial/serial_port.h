// The window's serial-port component `rs232`: one of the ports "Comm 1" to
// "Comm 4", opened and closed by number, with its receive and transmit
// counts, text input, byte and text output, a receive threshold and a
// receive notification with its event code. The line settings are fixed:
// 19200 baud, no parity, 8 data bits, 1 stop bit, no flow control by the
// driver.
//
// Receive notifications: while the port is open and RThreshold is above 0,
// `poll_receive()` fires `on_comm` with CommEvent = comEvReceive when at
// least RThreshold bytes are waiting. The serial download's waits call it
// themselves; a view may also call it from a read notifier on
// `descriptor()` (observers are told with change::content whenever the
// port opens, closes, loses its line or changes its threshold).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "ui/controls.h"

namespace talmer::serial {

// CommEvent codes.
inline constexpr int comEvNone = 0;
inline constexpr int comEvReceive = 2;

// The errors the port raises. 8002 is the invalid-port error (the port's
// device does not exist on this computer).
enum class comm_error : int {
  none = 0,
  invalid_port = 8002,
  port_already_open = 8005,
  port_not_open = 8012,
  permission_denied = 8090,
  device_busy = 8091,
  lost_contact = 8092,
  timed_out = 8093,
  io_error = 8094,
};

class serial_port : public ui::control {
 public:
  // `os` gives the operating system when the port is used (the window's,
  // which exists before the port is first opened); `on_comm` is the
  // receive reaction.
  serial_port(std::string name, std::function<platform::os &()> os, std::function<void()> on_comm);
  ~serial_port() override;

  // Port number, 1 to 4 for "Comm 1" to "Comm 4" (set while closed).
  int CommPort() const { return port_; }
  comm_error set_CommPort(int port);
  // The device the current port number names ("" for no valid number).
  std::string device_path();

  bool PortOpen() const { return device_ != nullptr; }
  // Opens or closes the port. Opening a port whose device does not exist
  // gives invalid_port; closing a closed port does nothing.
  comm_error set_PortOpen(bool open);
  // The device path the last open tried.
  const std::string &last_device() const { return last_device_; }

  // Fixed settings, and the sizes and mode the program sets.
  static constexpr const char *Settings = "19200,n,8,1";
  int InBufferSize = 1024;
  int OutBufferSize = 512;
  enum class input_mode { text, binary };
  input_mode InputMode = input_mode::text;
  // How long a write may wait for room in the driver's buffer.
  std::int64_t write_timeout_ms = 60000;

  // Received bytes waiting; `count` keeps its value on an error.
  comm_error InBufferCount(std::int64_t &count);
  // Takes every waiting received byte ("" on an error).
  std::string Input();
  comm_error Input(std::string &data);
  // Writes text or bytes, all of them.
  comm_error Output(std::string_view text);
  comm_error Output(std::span<const std::uint8_t> bytes);
  // Written bytes not sent yet; `count` keeps its value on an error.
  comm_error OutBufferCount(std::int64_t &count);

  int RThreshold() const { return threshold_; }
  void set_RThreshold(int n);
  int CommEvent() const { return event_; }

  // The descriptor of the open device for a read notifier, -1 when closed
  // or when the device has none.
  int descriptor() const;
  // True after the open line hung up; cleared by closing.
  bool lost() const { return lost_; }
  // The last error any operation raised, until clear_error().
  comm_error pending_error() const { return pending_; }
  void clear_error() { pending_ = comm_error::none; }

  // Delivers a receive notification if one is due (see above).
  void poll_receive();

 private:
  comm_error raise(comm_error e);
  comm_error device_error(platform::serial_error e);

  std::function<platform::os &()> os_;
  std::function<void()> on_comm_;
  std::unique_ptr<platform::serial_device> device_;
  int port_ = 1;
  int threshold_ = 0;
  int event_ = comEvNone;
  bool lost_ = false;
  comm_error pending_ = comm_error::none;
  std::string last_device_;
};

}  // namespace talmer::serial
