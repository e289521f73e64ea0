// An open file held in memory that hands out its bytes in pieces of a
// chosen size, to test readers at every cut of their input.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace talmer::testing {

class memory_file : public platform::input_file {
 public:
  explicit memory_file(std::string bytes, std::size_t piece = 1 << 20) : bytes_(std::move(bytes)), piece_(piece) {}
  std::int64_t read(void *buf, std::int64_t n) override {
    ++reads;
    if (fail_after >= 0 && reads > fail_after) return -1;
    std::size_t k = std::min({static_cast<std::size_t>(n), piece_, bytes_.size() - pos_});
    std::memcpy(buf, bytes_.data() + pos_, k);
    pos_ += k;
    return static_cast<std::int64_t>(k);
  }
  std::size_t position() const { return pos_; }
  int reads = 0;
  int fail_after = -1;  // reads after this many fail

 private:
  std::string bytes_;
  std::size_t piece_;
  std::size_t pos_ = 0;
};

}  // namespace talmer::testing
