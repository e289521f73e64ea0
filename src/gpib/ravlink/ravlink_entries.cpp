#include "gpib/ravlink/ravlink_entries.h"

#include <vector>

#include "gpib/library_status.h"

namespace talmer::ravlink {

std::unique_ptr<library_entries> library_entries::load(platform::os &os, const std::string &path,
                                                       std::string &problem) {
  auto lib = gpib::load_driver_library(os, path, library_kind, problem);
  if (!lib) return nullptr;
  return from_library(std::move(lib), path, problem);
}

std::unique_ptr<library_entries> library_entries::from_library(std::unique_ptr<platform::library> lib,
                                                               const std::string &path,
                                                               std::string &problem) {
  using gpib::resolve_entry;
  std::unique_ptr<library_entries> r(new library_entries);
  std::vector<std::string> missing;
  platform::library &l = *lib;
  r->iopen_ = resolve_entry<iopen_fn>(l, "vb_iopen", missing);
  r->itimeout_ = resolve_entry<itimeout_fn>(l, "vb_itimeout", missing);
  r->iclear_ = resolve_entry<iid_fn>(l, "vb_iclear", missing);
  r->iclose_ = resolve_entry<iid_fn>(l, "vb_iclose", missing);
  r->ilocal_ = resolve_entry<iid_fn>(l, "vb_ilocal", missing);
  r->iwrite_ = resolve_entry<iwrite_fn>(l, "vb_iwrite", missing);
  r->iread_ = resolve_entry<iread_fn>(l, "vb_iread", missing);
  r->iflush_ = resolve_entry<iflush_fn>(l, "vb_iflush", missing);
  r->iswap_ = resolve_entry<iswap_fn>(l, "vb_iswap", missing);
  r->igeterrno_ = resolve_entry<igeterrno_fn>(l, "vb_igeterrno", missing);
  r->igeterrstr_ = resolve_entry<igeterrstr_fn>(l, "vb_igeterrstr", missing);
  if (!missing.empty()) {
    problem = gpib::library_problem_text(gpib::library_state::lacks_entries, library_kind, path,
                                         gpib::entry_list(missing));
    return nullptr;
  }
  r->lib_ = std::move(lib);
  r->path_ = path;
  return r;
}

}  // namespace talmer::ravlink
