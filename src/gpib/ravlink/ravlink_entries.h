// The entries of one run-time loaded Ravlink instrument I/O library: one
// function per entry, named after it, passing its arguments through
// unchanged. The failure rule lives in the call layer (ravlink_layer.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "gpib/ravlink/ravlink_abi.h"
#include "platform/platform.h"

namespace talmer::ravlink {

// How the user's messages name this kind of library.
inline constexpr const char *library_kind = "Ravlink I/O library";

class library_entries {
 public:
  // Loads the library file at `path` and resolves its entries by name.
  // nullptr when it cannot be used, with `problem` set to the user's text.
  static std::unique_ptr<library_entries> load(platform::os &os, const std::string &path,
                                               std::string &problem);
  // The same for a library that is loaded already.
  static std::unique_ptr<library_entries> from_library(std::unique_ptr<platform::library> lib,
                                                       const std::string &path, std::string &problem);

  const std::string &path() const { return path_; }

  std::int16_t vb_iopen(const char *address) const { return iopen_(address); }
  std::int16_t vb_itimeout(std::int16_t id, std::int32_t ms) const { return itimeout_(id, ms); }
  std::int16_t vb_iclear(std::int16_t id) const { return iclear_(id); }
  std::int16_t vb_iclose(std::int16_t id) const { return iclose_(id); }
  std::int16_t vb_ilocal(std::int16_t id) const { return ilocal_(id); }
  std::int16_t vb_iwrite(std::int16_t mode, std::int16_t id, const void *buf, std::int32_t length,
                         std::int16_t end, std::int32_t *actual) const {
    return iwrite_(mode, id, buf, length, end, actual);
  }
  std::int16_t vb_iread(std::int16_t mode, std::int16_t id, void *buf, std::int32_t size,
                        std::int16_t *reason, std::int32_t *actual) const {
    return iread_(mode, id, buf, size, reason, actual);
  }
  std::int16_t vb_iflush(std::int16_t id, std::int16_t mask) const { return iflush_(id, mask); }
  std::int16_t vb_iswap(void *buf, std::int32_t length, std::int16_t item_size) const {
    return iswap_(buf, length, item_size);
  }
  std::int16_t vb_igeterrno() const { return igeterrno_(); }
  std::int16_t vb_igeterrstr(std::int16_t err, char *buf) const { return igeterrstr_(err, buf); }

 private:
  library_entries() = default;

  std::unique_ptr<platform::library> lib_;
  std::string path_;
  iopen_fn iopen_ = nullptr;
  itimeout_fn itimeout_ = nullptr;
  iid_fn iclear_ = nullptr, iclose_ = nullptr, ilocal_ = nullptr;
  iwrite_fn iwrite_ = nullptr;
  iread_fn iread_ = nullptr;
  iflush_fn iflush_ = nullptr;
  iswap_fn iswap_ = nullptr;
  igeterrno_fn igeterrno_ = nullptr;
  igeterrstr_fn igeterrstr_ = nullptr;
};

}  // namespace talmer::ravlink
