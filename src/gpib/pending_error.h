// The pending error of an operation that runs with failures suppressed.
//
// The window's operations that talk to the GPIB libraries do not stop at a
// failing step: the step leaves a pending error (a number and a text) and the
// operation goes on with its next step. An operation clears the pending error
// before a step whose outcome matters and tests its number afterwards
// (0 = none). The Ravlink call layer raises its library's failures into it;
// the download link also raises its own failures (source file, catalog)
// into it. The window owns exactly one.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace talmer::gpib {

class pending_error {
 public:
  // Forgets the pending error: number 0, empty text.
  void clear() {
    number_ = 0;
    text_.clear();
  }
  // Records a failure. A later success never clears it; only clear() does.
  void raise(std::int32_t number, std::string text) {
    number_ = number;
    text_ = std::move(text);
  }
  // 0 when no error is pending.
  std::int32_t number() const { return number_; }
  const std::string &text() const { return text_; }

 private:
  std::int32_t number_ = 0;
  std::string text_;
};

}  // namespace talmer::gpib
