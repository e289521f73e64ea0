// Loading a GPIB library at run time: resolving its entries by name and the
// texts that tell the user why a library cannot be used.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace talmer::gpib {

enum class library_state {
  usable,         // loaded, every entry the program uses is there
  not_found,      // card detection found no file to load
  cannot_load,    // the file is there but the loader refused it
  lacks_entries,  // loaded, but entries the program uses are missing
};

// The user's text for a library that cannot be used, from one table.
// `library` names the kind ("NI-488.2 driver library"); `detail` is the
// loader's reason (cannot_load) or the list of missing entries
// (lacks_entries). "" for a usable library.
std::string library_problem_text(library_state state, std::string_view library, std::string_view path,
                                 std::string_view detail);

// Loads the library file at `path`; nullptr with the user's text in
// `problem` when the loader refuses it.
std::unique_ptr<platform::library> load_driver_library(platform::os &os, const std::string &path,
                                                       std::string_view library, std::string &problem);

// "the entry x" or "the entries x, y, z".
std::string entry_list(const std::vector<std::string> &names);

// Looks up one entry and records its name in `missing` when it is absent.
template <class Fn>
Fn resolve_entry(platform::library &lib, const char *name, std::vector<std::string> &missing) {
  void *p = lib.entry(name);
  if (p == nullptr) {
    missing.emplace_back(name);
    return nullptr;
  }
  return reinterpret_cast<Fn>(p);
}

// As resolve_entry, but nothing is recorded when the entry is absent.
template <class Fn>
Fn optional_entry(platform::library &lib, const char *name) {
  return reinterpret_cast<Fn>(lib.entry(name));
}

}  // namespace talmer::gpib
