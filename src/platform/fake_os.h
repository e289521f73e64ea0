// A scripted operating system for tests: a clock that advances only when the
// program pauses, an environment and a file table held in memory, recorded
// message boxes, and a program end that throws `program_ended`.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace talmer::platform {

class fake_os;

// The far end of a scripted serial line. A test keeps it (shared with every
// port opened on it), plays the device on it through `on_write`, and reads
// back what the program wrote. Time is the fake clock of the fake_os that
// opened it.
struct fake_serial_line {
  // Received bytes the program can read now.
  std::string input;
  // Bytes that become readable when the fake clock reaches a time.
  std::vector<std::pair<std::int64_t, std::string>> later;
  // Every write the program made, in order, and all of it in one text.
  std::vector<std::string> writes;
  std::string written;
  // Called after each write with the bytes written (the device's reaction).
  std::function<void(fake_serial_line &, std::string_view)> on_write;
  // Bytes written and not yet sent. Each query of the count first moves the
  // clock on by `ms_per_poll`, then sends up to `drain_per_poll` bytes.
  std::int64_t out_pending = 0;
  std::int64_t drain_per_poll = std::numeric_limits<std::int64_t>::max();
  std::int64_t ms_per_poll = 0;
  // The highest count of unsent bytes seen at the start of a write.
  std::int64_t most_pending_at_write = 0;
  // The line drops once this many bytes have been written in all (-1: never),
  // or at once when `hung_up` is set.
  std::int64_t hang_up_after = -1;
  bool hung_up = false;
  int opens = 0;
  int closes = 0;
  bool open = false;
  fake_os *clock = nullptr;

  // Makes bytes readable now, or `after_ms` from now on the fake clock.
  void deliver(std::string_view bytes) { input.append(bytes); }
  void deliver_after(std::int64_t after_ms, std::string_view bytes);
  // Moves bytes whose time has come into `input`.
  void catch_up();
};

class fake_os : public os {
 public:
  void sleep_ms(std::int64_t ms) override;
  std::int64_t now_ms() override { return clock_ms; }
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

  std::int64_t clock_ms = 0;
  std::vector<std::int64_t> sleeps;
  std::map<std::string, std::string> environment;
  // When `use_real_files` is set, file lengths come from the real file
  // system; otherwise from `files` (path -> length).
  bool use_real_files = true;
  std::map<std::string, std::int64_t> files;
  // Contents of in-memory files (path -> bytes), used when
  // `use_real_files` is not set; their length counts when `files` has no
  // entry for the path. `opened` records every path opened for reading.
  std::map<std::string, std::string> file_contents;
  std::vector<std::string> opened;
  // The folder tree when `use_real_files` is not set: folder path -> entries.
  std::map<std::string, std::vector<dir_entry>> directories;
  std::string cwd = "/";
  std::vector<std::string> drive_list{"/"};
  // Libraries handed out by load_library, by path (a factory per path).
  std::map<std::string, std::function<std::unique_ptr<library>()>> libraries;
  std::vector<std::pair<std::string, std::string>> message_boxes;
  int process_events_calls = 0;
  std::function<void()> on_process_events;
  std::function<void(std::int64_t)> on_sleep;
  // Serial devices by path; a path in `serial_open_errors` fails to open
  // with that error; any other path is absent (no_device), or opened as a
  // real device when `use_real_serial` is set. Every attempt is recorded in
  // `serial_open_attempts`.
  bool use_real_serial = false;
  std::map<std::string, std::shared_ptr<fake_serial_line>> serial_lines;
  std::map<std::string, serial_error> serial_open_errors;
  std::vector<std::string> serial_open_attempts;
};

}  // namespace talmer::platform
