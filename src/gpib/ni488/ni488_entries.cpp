#include "gpib/ni488/ni488_entries.h"

#include <vector>

#include "gpib/library_status.h"

namespace talmer::ni488 {

std::unique_ptr<driver_entries> driver_entries::load(platform::os &os, const std::string &path,
                                                     std::string &problem) {
  auto lib = gpib::load_driver_library(os, path, library_kind, problem);
  if (!lib) return nullptr;
  return from_library(std::move(lib), path, problem);
}

std::unique_ptr<driver_entries> driver_entries::from_library(std::unique_ptr<platform::library> lib,
                                                             const std::string &path,
                                                             std::string &problem) {
  using gpib::optional_entry;
  using gpib::resolve_entry;
  std::unique_ptr<driver_entries> d(new driver_entries);
  std::vector<std::string> missing;
  platform::library &l = *lib;

  // The Windows drivers export the 8-bit name search as ibfindA, the Linux
  // drivers as ibfind.
  d->ibfind_ = optional_entry<ibfind_fn>(l, "ibfindA");
  if (d->ibfind_ == nullptr) d->ibfind_ = optional_entry<ibfind_fn>(l, "ibfind");
  if (d->ibfind_ == nullptr) missing.emplace_back("ibfindA (or ibfind)");
  d->ibdev_ = resolve_entry<ibdev_fn>(l, "ibdev", missing);
  d->ibclr_ = resolve_entry<ibud_fn>(l, "ibclr", missing);
  d->ibsic_ = resolve_entry<ibud_fn>(l, "ibsic", missing);
  d->ibloc_ = resolve_entry<ibud_fn>(l, "ibloc", missing);
  d->ibonl_ = resolve_entry<ibud_int_fn>(l, "ibonl", missing);
  d->ibtmo_ = resolve_entry<ibud_int_fn>(l, "ibtmo", missing);
  d->ibeot_ = resolve_entry<ibud_int_fn>(l, "ibeot", missing);
  d->ibconfig_ = resolve_entry<ibconfig_fn>(l, "ibconfig", missing);
  d->ibwrt_ = resolve_entry<ibwrt_fn>(l, "ibwrt", missing);
  d->ibrd_ = resolve_entry<ibrd_fn>(l, "ibrd", missing);

  // Status: either registered cells (both registration entries), or the
  // per-thread values read after each call.
  d->register_ = optional_entry<register_fn>(l, "RegisterGpibGlobalsForThread");
  d->unregister_ = optional_entry<unregister_fn>(l, "UnregisterGpibGlobalsForThread");
  d->thread_ibsta_ = optional_entry<thread_int_fn>(l, "ThreadIbsta");
  d->thread_iberr_ = optional_entry<thread_int_fn>(l, "ThreadIberr");
  d->thread_ibcnt_ = optional_entry<thread_int_fn>(l, "ThreadIbcnt");
  d->thread_ibcntl_ = optional_entry<thread_long_fn>(l, "ThreadIbcntl");
  if (!d->has_registration()) {
    if (d->thread_ibsta_ == nullptr) missing.emplace_back("ThreadIbsta");
    if (d->thread_iberr_ == nullptr) missing.emplace_back("ThreadIberr");
    if (d->thread_ibcntl_ == nullptr) missing.emplace_back("ThreadIbcntl");
  }

  if (!missing.empty()) {
    problem = gpib::library_problem_text(gpib::library_state::lacks_entries, library_kind, path,
                                         gpib::entry_list(missing));
    return nullptr;
  }
  d->lib_ = std::move(lib);
  d->path_ = path;
  return d;
}

}  // namespace talmer::ni488
