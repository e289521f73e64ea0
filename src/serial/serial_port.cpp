#include "serial/serial_port.h"

#include "serial/serial_rules.h"

namespace talmer::serial {

serial_port::serial_port(std::string name, std::function<platform::os &()> os, std::function<void()> on_comm)
    : control(std::move(name), ui::control_kind::serial_port), os_(std::move(os)), on_comm_(std::move(on_comm)) {}

serial_port::~serial_port() = default;

comm_error serial_port::raise(comm_error e) {
  if (e != comm_error::none) pending_ = e;
  return e;
}

comm_error serial_port::device_error(platform::serial_error e) {
  using platform::serial_error;
  switch (e) {
    case serial_error::none: return comm_error::none;
    case serial_error::hung_up:
      if (!lost_) {
        lost_ = true;
        notify(ui::change::content);
      }
      return raise(comm_error::lost_contact);
    case serial_error::timed_out: return raise(comm_error::timed_out);
    case serial_error::no_device: return raise(comm_error::invalid_port);
    case serial_error::permission_denied: return raise(comm_error::permission_denied);
    case serial_error::busy: return raise(comm_error::device_busy);
    case serial_error::io_error: return raise(comm_error::io_error);
  }
  return raise(comm_error::io_error);
}

comm_error serial_port::set_CommPort(int port) {
  if (device_) return raise(comm_error::port_already_open);
  port_ = port;
  return comm_error::none;
}

std::string serial_port::device_path() {
  if (port_ < first_port || port_ > last_port) return "";
  return comm_device_path(port_, os_().env(comm_env_name(port_)));
}

comm_error serial_port::set_PortOpen(bool open) {
  if (!open) {
    if (!device_) return comm_error::none;
    device_.reset();
    lost_ = false;
    event_ = comEvNone;
    notify(ui::change::content);
    return comm_error::none;
  }
  if (device_) return raise(comm_error::port_already_open);
  last_device_ = device_path();
  if (last_device_.empty()) return raise(comm_error::invalid_port);
  platform::serial_error e = platform::serial_error::none;
  device_ = os_().open_serial(last_device_, e);
  if (!device_) {
    if (e == platform::serial_error::none || e == platform::serial_error::hung_up)
      e = platform::serial_error::io_error;
    return device_error(e);
  }
  lost_ = false;
  notify(ui::change::content);
  return comm_error::none;
}

comm_error serial_port::InBufferCount(std::int64_t &count) {
  if (!device_) return raise(comm_error::port_not_open);
  if (lost_) return raise(comm_error::lost_contact);
  std::int64_t n = 0;
  comm_error e = device_error(device_->bytes_waiting(n));
  if (e == comm_error::none) count = n;
  return e;
}

std::string serial_port::Input() {
  std::string data;
  Input(data);
  return data;
}

comm_error serial_port::Input(std::string &data) {
  data.clear();
  if (!device_) return raise(comm_error::port_not_open);
  if (lost_) return raise(comm_error::lost_contact);
  return device_error(device_->read_waiting(data));
}

comm_error serial_port::Output(std::string_view text) {
  if (!device_) return raise(comm_error::port_not_open);
  if (lost_) return raise(comm_error::lost_contact);
  return device_error(device_->write_all(text, write_timeout_ms));
}

comm_error serial_port::Output(std::span<const std::uint8_t> bytes) {
  return Output(std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()));
}

comm_error serial_port::OutBufferCount(std::int64_t &count) {
  if (!device_) return raise(comm_error::port_not_open);
  if (lost_) return raise(comm_error::lost_contact);
  std::int64_t n = 0;
  comm_error e = device_error(device_->output_pending(n));
  if (e == comm_error::none) count = n;
  return e;
}

void serial_port::set_RThreshold(int n) {
  if (n < 0) n = 0;
  if (n == threshold_) return;
  threshold_ = n;
  notify(ui::change::content);
}

int serial_port::descriptor() const { return device_ && !lost_ ? device_->descriptor() : -1; }

void serial_port::poll_receive() {
  if (!device_ || lost_ || threshold_ <= 0) return;
  std::int64_t n = 0;
  platform::serial_error e = device_->bytes_waiting(n);
  if (e != platform::serial_error::none) {
    device_error(e);
    return;
  }
  if (n < threshold_) return;
  event_ = comEvReceive;
  if (on_comm_) on_comm_();
}

}  // namespace talmer::serial
