// The one place the program touches the operating system. Everything above
// this layer asks an `os` object for pauses, the clock, the environment,
// file lengths, run-time libraries, message boxes and program end, so that
// tests can run the whole window against `fake_os` without real waiting.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talmer::platform {

// A run-time loaded shared library. Entries are looked up by name; a missing
// entry gives nullptr, never a crash.
class library {
 public:
  virtual ~library() = default;
  virtual void *entry(const std::string &name) = 0;
};

// A file opened for sequential reading of its bytes; closed when destroyed.
class input_file {
 public:
  virtual ~input_file() = default;
  // Reads up to `n` bytes into `buf`: the number read (fewer than asked is
  // not the end), 0 at the end of the file, -1 on a read error.
  virtual std::int64_t read(void *buf, std::int64_t n) = 0;
  // Reads until `n` bytes are in `buf` or the file ends: the number read,
  // -1 on a read error.
  std::int64_t read_full(void *buf, std::int64_t n);
};

// One entry of a folder listing.
struct dir_entry {
  std::string name;
  bool is_dir = false;
};

// Thrown by `os::end_program` in tests (fake_os) so the caller can observe
// the end of the program; the real implementation never returns.
struct program_ended {
  int status;
};

// What can go wrong with a serial device. Every OS error number is mapped
// onto these in one place (serial_error_from_errno).
enum class serial_error {
  none,
  no_device,          // the path names no serial device (missing, not a terminal)
  permission_denied,  // the device exists, the user may not open it
  busy,               // another program holds the device
  hung_up,            // the line was dropped: read gave 0, EIO, POLLHUP
  timed_out,          // a write could not be finished in the time allowed
  io_error,           // anything else
};

// Where the error number came from: opening a device or using an open one.
enum class serial_stage { opening, using_port };

serial_error serial_error_from_errno(int err, serial_stage stage);
// A short English description, for messages and test output.
const char *serial_error_text(serial_error e);

// An open serial device set to 19200 baud, 8 data bits, no parity, 1 stop
// bit, raw, with no flow control by the driver: XON and XOFF bytes reach
// the program and go out unchanged. Destroying it closes the device.
class serial_device {
 public:
  virtual ~serial_device() = default;
  // The OS descriptor for a read notifier; -1 when there is none.
  virtual int descriptor() const = 0;
  // Received bytes waiting to be read (FIONREAD).
  virtual serial_error bytes_waiting(std::int64_t &count) = 0;
  // Appends every waiting received byte to `data`; none waiting is not an
  // error.
  virtual serial_error read_waiting(std::string &data) = 0;
  // Writes all of `data`, waiting at most `timeout_ms` for room in the
  // driver's buffer.
  virtual serial_error write_all(std::string_view data, std::int64_t timeout_ms) = 0;
  // Written bytes the driver has not sent yet (TIOCOUTQ).
  virtual serial_error output_pending(std::int64_t &count) = 0;
};

class os {
 public:
  virtual ~os() = default;

  // Blocking pause of `ms` milliseconds (the event loop does not run).
  virtual void sleep_ms(std::int64_t ms) = 0;
  // Monotonic clock in milliseconds.
  virtual std::int64_t now_ms() = 0;
  // The value of an environment variable, nullopt when unset.
  virtual std::optional<std::string> env(const std::string &name) = 0;
  // Length of a file in bytes; nullopt when it does not exist, cannot be
  // read, or is not a regular file.
  virtual std::optional<std::int64_t> file_length(const std::string &path) = 0;
  // Loads a shared library; nullptr with `error` filled when it cannot.
  virtual std::unique_ptr<library> load_library(const std::string &path, std::string &error) = 0;
  // A modal message box with a critical icon.
  virtual void message_box(const std::string &title, const std::string &text) = 0;
  // Ends the program. The real implementation does not return.
  virtual void end_program(int status) = 0;
  // Lets the window toolkit process pending events (paint, input).
  virtual void process_events() = 0;
  // Opens the serial device at `path`; nullptr with `error` set when it
  // cannot. A system without serial devices has none to open.
  virtual std::unique_ptr<serial_device> open_serial(const std::string &path, serial_error &error) {
    (void)path;
    error = serial_error::no_device;
    return nullptr;
  }

  // Opens a file for reading; nullptr when it cannot be opened or is not a
  // regular file.
  virtual std::unique_ptr<input_file> open_read(const std::string &path);
  // The program's current folder ("" when unknown).
  virtual std::string current_directory();
  // The entries of a folder ("." and ".." left out), unsorted; nullopt when
  // it cannot be read.
  virtual std::optional<std::vector<dir_entry>> list_directory(const std::string &path);
  // The roots a user can choose from in the file chooser ("drives").
  virtual std::vector<std::string> drives();
};

// The real operating system. The window toolkit installs its hooks for
// message boxes, event processing and program end.
class real_os : public os {
 public:
  void sleep_ms(std::int64_t ms) override;
  std::int64_t now_ms() override;
  std::optional<std::string> env(const std::string &name) override;
  std::optional<std::int64_t> file_length(const std::string &path) override;
  std::unique_ptr<library> load_library(const std::string &path, std::string &error) override;
  void message_box(const std::string &title, const std::string &text) override;
  void end_program(int status) override;
  void process_events() override;
  std::unique_ptr<serial_device> open_serial(const std::string &path, serial_error &error) override;
  std::unique_ptr<input_file> open_read(const std::string &path) override;
  std::string current_directory() override;
  std::optional<std::vector<dir_entry>> list_directory(const std::string &path) override;
  std::vector<std::string> drives() override;

  std::function<void(const std::string &, const std::string &)> message_box_hook;
  std::function<void()> process_events_hook;
  std::function<void(int)> before_end_hook;
};

}  // namespace talmer::platform
