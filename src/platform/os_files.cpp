// File reading, folder listings and roots: the parts of the OS layer used
// by the source files and the file chooser. The base class answers
// "nothing there", so an `os` that does not deal with files needs none of it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/fake_os.h"
#include "platform/platform.h"

namespace talmer::platform {

std::int64_t input_file::read_full(void *buf, std::int64_t n) {
  auto *p = static_cast<unsigned char *>(buf);
  std::int64_t got = 0;
  while (got < n) {
    std::int64_t r = read(p + got, n - got);
    if (r < 0) return -1;
    if (r == 0) break;
    got += r;
  }
  return got;
}

std::unique_ptr<input_file> os::open_read(const std::string &) { return nullptr; }
std::string os::current_directory() { return ""; }
std::optional<std::vector<dir_entry>> os::list_directory(const std::string &) { return std::nullopt; }
std::vector<std::string> os::drives() { return {}; }

namespace {

class posix_file : public input_file {
 public:
  explicit posix_file(int fd) : fd_(fd) {}
  ~posix_file() override { ::close(fd_); }
  posix_file(const posix_file &) = delete;
  posix_file &operator=(const posix_file &) = delete;
  std::int64_t read(void *buf, std::int64_t n) override {
    if (n <= 0) return 0;
    const auto want = static_cast<std::size_t>(n > (1 << 30) ? (1 << 30) : n);
    for (;;) {
      ssize_t r = ::read(fd_, buf, want);
      if (r >= 0) return static_cast<std::int64_t>(r);
      if (errno != EINTR) return -1;
    }
  }

 private:
  int fd_;
};

class memory_file : public input_file {
 public:
  explicit memory_file(std::string bytes) : bytes_(std::move(bytes)) {}
  std::int64_t read(void *buf, std::int64_t n) override {
    if (n <= 0) return 0;
    const std::size_t left = bytes_.size() - pos_;
    const std::size_t k = static_cast<std::size_t>(n) < left ? static_cast<std::size_t>(n) : left;
    if (k > 0) std::memcpy(buf, bytes_.data() + pos_, k);
    pos_ += k;
    return static_cast<std::int64_t>(k);
  }

 private:
  std::string bytes_;
  std::size_t pos_ = 0;
};

}  // namespace

std::unique_ptr<input_file> real_os::open_read(const std::string &path) {
  if (path.empty()) return nullptr;
  // Opened without blocking: a named pipe or a device put in the file's
  // place after it was checked would otherwise hold the open until a writer
  // came. Only regular files are read; then reads block as usual.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return nullptr;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return std::make_unique<posix_file>(fd);
}

std::string real_os::current_directory() {
  char buf[PATH_MAX];
  if (getcwd(buf, sizeof buf) == nullptr) return "";
  return buf;
}

std::optional<std::vector<dir_entry>> real_os::list_directory(const std::string &path) {
  DIR *d = opendir(path.c_str());
  if (d == nullptr) return std::nullopt;
  std::vector<dir_entry> out;
  const std::string prefix = path.empty() || path.back() == '/' ? path : path + "/";
  while (dirent *e = readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    // Follow links, so a link to a folder opens like a folder.
    bool is_dir = stat((prefix + name).c_str(), &st) == 0 ? S_ISDIR(st.st_mode) : false;
    out.push_back({std::move(name), is_dir});
  }
  closedir(d);
  return out;
}

std::vector<std::string> real_os::drives() {
  // The root, then mounted media (removable drives and mounted shares).
  std::vector<std::string> out{"/"};
  if (FILE *f = std::fopen("/proc/self/mounts", "re")) {
    char dev[512], dir[1024];
    while (std::fscanf(f, "%511s %1023s %*[^\n]", dev, dir) == 2) {
      std::string m = dir;
      if (m.rfind("/media/", 0) == 0 || m.rfind("/mnt/", 0) == 0 || m.rfind("/run/media/", 0) == 0)
        out.push_back(m);
    }
    std::fclose(f);
  }
  return out;
}

std::unique_ptr<input_file> fake_os::open_read(const std::string &path) {
  opened.push_back(path);
  if (use_real_files) return real_os{}.open_read(path);
  auto it = file_contents.find(path);
  if (it == file_contents.end()) return nullptr;
  return std::make_unique<memory_file>(it->second);
}

std::string fake_os::current_directory() {
  if (use_real_files) return real_os{}.current_directory();
  return cwd;
}

std::optional<std::vector<dir_entry>> fake_os::list_directory(const std::string &path) {
  if (use_real_files) return real_os{}.list_directory(path);
  auto it = directories.find(path);
  if (it == directories.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string> fake_os::drives() { return drive_list; }

}  // namespace talmer::platform
