// Sequential reading of a file's bytes, for the download's source readers.
// The file is open for as long as the reader lives (or until close()).
#pragma once

#include <cstddef>
#include <string>

namespace talmer::platform {

class file_reader {
 public:
  file_reader() = default;
  // Opens `path` for reading; is_open() tells whether that worked.
  explicit file_reader(const std::string &path);
  ~file_reader();
  file_reader(file_reader &&other) noexcept;
  file_reader &operator=(file_reader &&other) noexcept;
  file_reader(const file_reader &) = delete;
  file_reader &operator=(const file_reader &) = delete;

  bool is_open() const { return fd_ >= 0; }
  // Reads up to `n` bytes into `dst`, continuing where the last read
  // stopped. Returns the number of bytes read: fewer than `n` only at the
  // end of the file or after a read error (then failed() is true). Reads
  // nothing when the file is not open.
  std::size_t read(void *dst, std::size_t n);
  bool failed() const { return failed_; }
  void close();

 private:
  int fd_ = -1;
  bool failed_ = false;
};

}  // namespace talmer::platform
