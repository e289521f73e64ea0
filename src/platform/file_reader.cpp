#include "platform/file_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace talmer::platform {

file_reader::file_reader(const std::string &path) {
  if (path.empty()) return;
  do {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd_ < 0 && errno == EINTR);
}

file_reader::~file_reader() { close(); }

file_reader::file_reader(file_reader &&other) noexcept
    : fd_(std::exchange(other.fd_, -1)), failed_(other.failed_) {}

file_reader &file_reader::operator=(file_reader &&other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    failed_ = other.failed_;
  }
  return *this;
}

std::size_t file_reader::read(void *dst, std::size_t n) {
  if (fd_ < 0) return 0;
  auto *p = static_cast<char *>(dst);
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::read(fd_, p + got, n - got);
    if (r > 0) {
      got += static_cast<std::size_t>(r);
    } else if (r == 0) {
      break;
    } else if (errno != EINTR) {
      failed_ = true;
      break;
    }
  }
  return got;
}

void file_reader::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace talmer::platform
