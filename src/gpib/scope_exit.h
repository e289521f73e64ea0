// Runs an action when the scope it guards is left, on every way out.
#pragma once

#include <utility>

namespace talmer::gpib {

template <class F>
class scope_exit {
 public:
  explicit scope_exit(F f) : f_(std::move(f)) {}
  ~scope_exit() { f_(); }
  scope_exit(const scope_exit &) = delete;
  scope_exit &operator=(const scope_exit &) = delete;

 private:
  F f_;
};

}  // namespace talmer::gpib
