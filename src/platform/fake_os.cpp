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

namespace talmer::platform {

void fake_serial_line::deliver_after(std::int64_t after_ms, std::string_view bytes) {
  const std::int64_t now = clock != nullptr ? clock->clock_ms : 0;
  later.emplace_back(now + after_ms, std::string(bytes));
}

void fake_serial_line::catch_up() {
  const std::int64_t now = clock != nullptr ? clock->clock_ms : 0;
  for (auto it = later.begin(); it != later.end();) {
    if (it->first <= now) {
      input += it->second;
      it = later.erase(it);
    } else {
      ++it;
    }
  }
}

namespace {

class fake_serial_device : public serial_device {
 public:
  explicit fake_serial_device(std::shared_ptr<fake_serial_line> line) : line_(std::move(line)) {
    ++line_->opens;
    line_->open = true;
  }
  ~fake_serial_device() override {
    ++line_->closes;
    line_->open = false;
  }
  fake_serial_device(const fake_serial_device &) = delete;
  fake_serial_device &operator=(const fake_serial_device &) = delete;

  int descriptor() const override { return -1; }

  serial_error bytes_waiting(std::int64_t &count) override {
    if (line_->hung_up) return serial_error::hung_up;
    line_->catch_up();
    count = static_cast<std::int64_t>(line_->input.size());
    return serial_error::none;
  }

  serial_error read_waiting(std::string &data) override {
    if (line_->hung_up) return serial_error::hung_up;
    line_->catch_up();
    data += line_->input;
    line_->input.clear();
    return serial_error::none;
  }

  serial_error write_all(std::string_view data, std::int64_t) override {
    fake_serial_line &l = *line_;
    if (l.hung_up) return serial_error::hung_up;
    if (l.out_pending > l.most_pending_at_write) l.most_pending_at_write = l.out_pending;
    std::string_view sent = data;
    bool drop = false;
    if (l.hang_up_after >= 0) {
      const auto room = l.hang_up_after - static_cast<std::int64_t>(l.written.size());
      if (room < static_cast<std::int64_t>(data.size())) {
        sent = data.substr(0, static_cast<size_t>(room < 0 ? 0 : room));
        drop = true;
      }
    }
    l.writes.emplace_back(sent);
    l.written.append(sent);
    l.out_pending += static_cast<std::int64_t>(sent.size());
    // The far end gets what went out before the line dropped.
    if (l.on_write && !sent.empty()) l.on_write(l, sent);
    if (drop) {
      l.hung_up = true;
      return serial_error::hung_up;
    }
    return serial_error::none;
  }

  serial_error output_pending(std::int64_t &count) override {
    fake_serial_line &l = *line_;
    if (l.hung_up) return serial_error::hung_up;
    if (l.clock != nullptr) l.clock->clock_ms += l.ms_per_poll;
    l.out_pending -= l.out_pending < l.drain_per_poll ? l.out_pending : l.drain_per_poll;
    count = l.out_pending;
    return serial_error::none;
  }

 private:
  std::shared_ptr<fake_serial_line> line_;
};

}  // namespace

std::unique_ptr<serial_device> fake_os::open_serial(const std::string &path, serial_error &error) {
  serial_open_attempts.push_back(path);
  error = serial_error::none;
  if (auto e = serial_open_errors.find(path); e != serial_open_errors.end()) {
    error = e->second;
    return nullptr;
  }
  auto it = serial_lines.find(path);
  if (it == serial_lines.end() || !it->second) {
    if (use_real_serial) return real_os{}.open_serial(path, error);
    error = serial_error::no_device;
    return nullptr;
  }
  it->second->clock = this;
  return std::make_unique<fake_serial_device>(it->second);
}

}  // namespace talmer::platform
