// A scripted operating system for tests: a clock that advances only when the
// program pauses, an environment and a file table held in memory, recorded
// message boxes, and a program end that throws `program_ended`.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace talmer::platform {

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
};

}  // namespace talmer::platform
