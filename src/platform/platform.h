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
  std::unique_ptr<input_file> open_read(const std::string &path) override;
  std::string current_directory() override;
  std::optional<std::vector<dir_entry>> list_directory(const std::string &path) override;
  std::vector<std::string> drives() override;

  std::function<void(const std::string &, const std::string &)> message_box_hook;
  std::function<void()> process_events_hook;
  std::function<void(int)> before_end_hook;
};

}  // namespace talmer::platform
