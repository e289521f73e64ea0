// The entries of one run-time loaded NI-488.2 driver library: one function
// per entry, named after it, passing its arguments through unchanged. No
// status handling here; that is the call layer's job (ni488_layer.h).
#pragma once

#include <memory>
#include <string>

#include "gpib/ni488/ni488_abi.h"
#include "platform/platform.h"

namespace talmer::ni488 {

// How the user's messages name this kind of library.
inline constexpr const char *library_kind = "NI-488.2 driver library";

class driver_entries {
 public:
  // Loads the library file at `path` and resolves its entries by name.
  // nullptr when it cannot be used, with `problem` set to the user's text
  // (cannot be loaded, or lacks entries the program uses).
  static std::unique_ptr<driver_entries> load(platform::os &os, const std::string &path,
                                              std::string &problem);
  // The same for a library that is loaded already.
  static std::unique_ptr<driver_entries> from_library(std::unique_ptr<platform::library> lib,
                                                      const std::string &path, std::string &problem);

  const std::string &path() const { return path_; }
  // True when the library exports RegisterGpibGlobalsForThread and
  // UnregisterGpibGlobalsForThread (the Windows driver); otherwise the status
  // of each call is read with ThreadIbsta, ThreadIberr and ThreadIbcntl.
  bool has_registration() const { return register_ != nullptr && unregister_ != nullptr; }
  bool has_thread_ibcnt() const { return thread_ibcnt_ != nullptr; }

  // ibfindA, or ibfind where the library exports only that name.
  int ibfind(const char *name) const { return ibfind_(name); }
  int ibdev(int board, int pad, int sad, int tmo, int eot, int eos) const {
    return ibdev_(board, pad, sad, tmo, eot, eos);
  }
  int ibclr(int ud) const { return ibclr_(ud); }
  int ibsic(int ud) const { return ibsic_(ud); }
  int ibloc(int ud) const { return ibloc_(ud); }
  int ibonl(int ud, int v) const { return ibonl_(ud, v); }
  int ibtmo(int ud, int v) const { return ibtmo_(ud, v); }
  int ibeot(int ud, int v) const { return ibeot_(ud, v); }
  int ibconfig(int ud, int option, int value) const { return ibconfig_(ud, option, value); }
  int ibwrt(int ud, const void *buf, long count) const { return ibwrt_(ud, buf, count); }
  int ibrd(int ud, void *buf, long count) const { return ibrd_(ud, buf, count); }
  int RegisterGpibGlobalsForThread(int *sta, int *err, int *cnt, long *cntl) const {
    return register_(sta, err, cnt, cntl);
  }
  int UnregisterGpibGlobalsForThread() const { return unregister_(); }
  int ThreadIbsta() const { return thread_ibsta_(); }
  int ThreadIberr() const { return thread_iberr_(); }
  int ThreadIbcnt() const { return thread_ibcnt_(); }
  long ThreadIbcntl() const { return thread_ibcntl_(); }

 private:
  driver_entries() = default;

  std::unique_ptr<platform::library> lib_;
  std::string path_;
  ibfind_fn ibfind_ = nullptr;
  ibdev_fn ibdev_ = nullptr;
  ibud_fn ibclr_ = nullptr, ibsic_ = nullptr, ibloc_ = nullptr;
  ibud_int_fn ibonl_ = nullptr, ibtmo_ = nullptr, ibeot_ = nullptr;
  ibconfig_fn ibconfig_ = nullptr;
  ibwrt_fn ibwrt_ = nullptr;
  ibrd_fn ibrd_ = nullptr;
  register_fn register_ = nullptr;
  unregister_fn unregister_ = nullptr;
  thread_int_fn thread_ibsta_ = nullptr, thread_iberr_ = nullptr, thread_ibcnt_ = nullptr;
  thread_long_fn thread_ibcntl_ = nullptr;
};

}  // namespace talmer::ni488
