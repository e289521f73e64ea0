#include "platform/fake_os.h"

namespace talmer::platform {

void fake_os::sleep_ms(std::int64_t ms) {
  sleeps.push_back(ms);
  if (ms > 0) clock_ms += ms;
  if (on_sleep) on_sleep(ms);
}

std::optional<std::string> fake_os::env(const std::string &name) {
  auto it = environment.find(name);
  if (it == environment.end()) return std::nullopt;
  return it->second;
}

std::optional<std::int64_t> fake_os::file_length(const std::string &path) {
  if (use_real_files) return real_os{}.file_length(path);
  auto it = files.find(path);
  if (it != files.end()) return it->second;
  auto c = file_contents.find(path);
  if (c != file_contents.end()) return static_cast<std::int64_t>(c->second.size());
  return std::nullopt;
}

std::unique_ptr<library> fake_os::load_library(const std::string &path, std::string &error) {
  auto it = libraries.find(path);
  if (it == libraries.end()) {
    if (use_real_files) return real_os{}.load_library(path, error);
    error = path + ": cannot open shared object file";
    return nullptr;
  }
  return it->second();
}

void fake_os::message_box(const std::string &title, const std::string &text) {
  message_boxes.emplace_back(title, text);
}

void fake_os::end_program(int status) { throw program_ended{status}; }

void fake_os::process_events() {
  ++process_events_calls;
  if (on_process_events) on_process_events();
}

}  // namespace talmer::platform
