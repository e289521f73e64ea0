#include "platform/platform.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace talmer::platform {

namespace {

class dl_library : public library {
 public:
  explicit dl_library(void *handle) : handle_(handle) {}
  ~dl_library() override { dlclose(handle_); }
  dl_library(const dl_library &) = delete;
  dl_library &operator=(const dl_library &) = delete;
  void *entry(const std::string &name) override { return dlsym(handle_, name.c_str()); }

 private:
  void *handle_;
};

}  // namespace

void real_os::sleep_ms(std::int64_t ms) {
  if (ms <= 0) return;
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

std::int64_t real_os::now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::optional<std::string> real_os::env(const std::string &name) {
  const char *v = std::getenv(name.c_str());
  if (v == nullptr) return std::nullopt;
  return std::string(v);
}

std::optional<std::int64_t> real_os::file_length(const std::string &path) {
  if (path.empty()) return std::nullopt;
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  if (!S_ISREG(st.st_mode)) return std::nullopt;
  if (access(path.c_str(), R_OK) != 0) return std::nullopt;
  return static_cast<std::int64_t>(st.st_size);
}

std::unique_ptr<library> real_os::load_library(const std::string &path, std::string &error) {
  void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (h == nullptr) {
    const char *e = dlerror();
    error = e != nullptr ? e : "cannot load " + path;
    return nullptr;
  }
  return std::make_unique<dl_library>(h);
}

void real_os::message_box(const std::string &title, const std::string &text) {
  if (message_box_hook) {
    message_box_hook(title, text);
    return;
  }
  std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
}

void real_os::end_program(int status) {
  if (before_end_hook) before_end_hook(status);
  std::fflush(nullptr);
  std::exit(status);
}

void real_os::process_events() {
  if (process_events_hook) process_events_hook();
}

}  // namespace talmer::platform
